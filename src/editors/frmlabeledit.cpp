#include "editors/frmlabeledit.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSignalBlocker>

#include "editors/framenamecolor.h"
#include "editors/framerange.h"
#include "qtbase/qtstrings.h"

namespace zl {

TFrmLabelEdit::TFrmLabelEdit() : TPropertyDialog("FrmLabelEdit", "标签属性编辑器", 283, 276) {
    Framenamecolor1 = new TFramenamecolor(this);
    Framenamecolor1->setGeometry(8, 32, 267, 54);
    FrameRange1 = new TFrameRange(this);
    FrameRange1->setGeometry(8, 94, 267, 76);
    NewCaption(this, "显示内容:", {8, 181, 76, 18});
    Editcaption = new QLineEdit(this);
    Editcaption->setObjectName("Editcaption");
    Editcaption->setGeometry(84, 178, 191, 22);
    CheckBoxtransparent = new QCheckBox(U("是否透明"), this);
    CheckBoxtransparent->setObjectName("CheckBoxtransparent");
    CheckBoxtransparent->setFont(CaptionFont());
    CheckBoxtransparent->setGeometry(8, 208, 200, 20);
    connect(Editcaption, &QLineEdit::textChanged, this, GuardedHandler([this] { EditcaptionChange(); }));
    connect(CheckBoxtransparent, &QCheckBox::clicked, this, GuardedHandler([this] { CheckBoxtransparentClick(); }));
}

void TFrmLabelEdit::BindControl(Tzorledlabel& label) {
    target_.Set(&label);
    Framenamecolor1->BindControl(label);
    FrameRange1->BindControl(label);
    ShowTarget(label);
    const QSignalBlocker quiet(Editcaption);
    Editcaption->setText(Q(label.Caption()));
    CheckBoxtransparent->setChecked(label.Transparent());
}

void TFrmLabelEdit::EditcaptionChange() {
    if (Tzorledlabel* label = Target()) label->SetCaption(Gbk(Editcaption->text()));
}

void TFrmLabelEdit::CheckBoxtransparentClick() {
    if (Tzorledlabel* label = Target()) label->SetTransparent(CheckBoxtransparent->isChecked());
}

void ShowLabelEdit(Tzorledlabel& label) {
    TFrmLabelEdit dialog;
    dialog.BindControl(label);
    dialog.exec();
}

}  // namespace zl
