#include "editors/frmzmdedit.h"

#include <QLineEdit>
#include <algorithm>
#include <QSignalBlocker>

#include "editors/frameinterface.h"
#include "editors/framenamecolor.h"
#include "editors/framerange.h"
#include "editors/spinedit.h"
#include "qtbase/qtstrings.h"

namespace zl {

TFrmZmdEdit::TFrmZmdEdit() : TPropertyDialog("FrmZmdEdit", "走马灯属性编辑器", 466, 347) {
    Framenamecolor1 = new TFramenamecolor(this);
    Framenamecolor1->setGeometry(8, 32, 244, 54);
    FrameRange1 = new TFrameRange(this);
    FrameRange1->setGeometry(8, 94, 244, 76);
    SpinEditSpeed = NewSpinRow(this, "每隔", "SpinEditSpeed", "毫秒移动一步", 180);
    SpinEditSteps = NewSpinRow(this, "文字", "SpinEditSteps", "步滚动完毕", 210);
    Frameinterface1 = new TFrameinterface(this);
    Frameinterface1->setGeometry(262, 32, 196, 212);
    NewCaption(this, "显示内容:(连续输入,不要回车)", {8, 252, 450, 18});
    // A line field: the running text is one line, whatever is pasted into it.
    Editcaption = new QLineEdit(this);
    Editcaption->setObjectName("Editcaption");
    Editcaption->setGeometry(8, 272, 450, 22);

    connect(Editcaption, &QLineEdit::textChanged, this, GuardedHandler([this] { EditcaptionChange(); }));
    connect(SpinEditSpeed, &TSpinEdit::Changed, this, GuardedHandler([this] { SpinEditSpeedChange(); }));
    connect(SpinEditSteps, &TSpinEdit::Changed, this, GuardedHandler([this] { SpinEditStepsChange(); }));
}

void TFrmZmdEdit::BindControl(Tzmd& marquee) {
    target_.Set(&marquee);
    Framenamecolor1->BindControl(marquee);
    Frameinterface1->BindControl(marquee);
    FrameRange1->BindControl(marquee);
    const QSignalBlocker a(Editcaption), b(SpinEditSpeed), c(SpinEditSteps);
    Editcaption->setText(Q(marquee.RunningCaption()));
    ShowTarget(marquee);
    SpinEditSpeed->SetValue(marquee.Speed());
    SpinEditSteps->SetValue(marquee.Steps());
}

void TFrmZmdEdit::EditcaptionChange() {
    // A line field still takes pasted line breaks; the running text is one line, so each
    // break (CR LF counted once) becomes a space in the field and in the text.
    const QString typed = Editcaption->text();
    QString text = typed;
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    for (const QChar br : {QChar('\r'), QChar('\n'), QChar(QChar::LineSeparator), QChar(QChar::ParagraphSeparator)})
        text.replace(br, QLatin1Char(' '));
    if (text != typed) {
        const int cursor = Editcaption->cursorPosition() - static_cast<int>(typed.size() - text.size());
        const QSignalBlocker block(Editcaption);
        Editcaption->setText(text);
        Editcaption->setCursorPosition(std::max(0, cursor));
    }
    if (Tzmd* marquee = Target()) marquee->SetRunningCaption(Gbk(text));
}

void TFrmZmdEdit::SpinEditSpeedChange() {
    if (Tzmd* marquee = Target()) marquee->SetSpeed(SpinEditSpeed->Value());
}

void TFrmZmdEdit::SpinEditStepsChange() {
    if (Tzmd* marquee = Target()) marquee->SetSteps(SpinEditSteps->Value());
}

void ShowZmdEdit(Tzmd& marquee) {
    TFrmZmdEdit dialog;
    dialog.BindControl(marquee);
    dialog.exec();
}

}  // namespace zl
