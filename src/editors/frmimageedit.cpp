#include "editors/frmimageedit.h"

#include <QCheckBox>
#include <QFile>
#include <QPushButton>

#include "editors/framenamecolor.h"
#include "editors/framerange.h"

namespace zl {

TFrmimageEdit::TFrmimageEdit() : TPropertyDialog("FrmimageEdit", "图片属性编辑器", 279, 271) {
    Framenamecolor1 = new TFramenamecolor(this);
    Framenamecolor1->HideFontRow();
    Framenamecolor1->setGeometry(8, 32, 263, 24);
    FrameRange1 = new TFrameRange(this);
    FrameRange1->setGeometry(8, 64, 263, 76);
    NewCaption(this, "图片的显示内容:", {8, 153, 126, 18});
    BitBtnselectGraph = new QPushButton(U("选择"), this);
    BitBtnselectGraph->setObjectName("BitBtnselectGraph");
    BitBtnselectGraph->setAutoDefault(false);
    BitBtnselectGraph->setGeometry(138, 149, 56, 25);
    CheckBoxtransparent = new QCheckBox(U("是否透明"), this);
    CheckBoxtransparent->setObjectName("CheckBoxtransparent");
    CheckBoxtransparent->setFont(CaptionFont());
    CheckBoxtransparent->setGeometry(8, 182, 200, 20);
    CheckBoxstretch = new QCheckBox(U("图片适应定义的大小"), this);
    CheckBoxstretch->setObjectName("CheckBoxstretch");
    CheckBoxstretch->setFont(CaptionFont());
    CheckBoxstretch->setGeometry(8, 206, 220, 20);
    connect(BitBtnselectGraph, &QPushButton::clicked, this, GuardedHandler([this] { BitBtnselectGraphClick(); }));
    connect(CheckBoxtransparent, &QCheckBox::clicked, this, GuardedHandler([this] { CheckBoxtransparentClick(); }));
    connect(CheckBoxstretch, &QCheckBox::clicked, this, GuardedHandler([this] { CheckBoxstretchClick(); }));
}

void TFrmimageEdit::BindControl(Tzorledimage& image) {
    target_.Set(&image);
    Framenamecolor1->BindControl(image);
    FrameRange1->BindControl(image);
    ShowTarget(image);
    CheckBoxtransparent->setChecked(image.Transparent());
    CheckBoxstretch->setChecked(image.Stretch());
}

void TFrmimageEdit::BitBtnselectGraphClick() {
    const auto path = ChooseOpenFile(this, U("LED页面定义文件 (*.bmp *.jpg *.BMP *.JPG)"), QStringLiteral("LED"));
    if (!path) return;
    if (Tzorledimage* image = Target()) image->Picture().LoadFromFile(QFile::encodeName(*path).toStdString());
}

void TFrmimageEdit::CheckBoxtransparentClick() {
    if (Tzorledimage* image = Target()) image->SetTransparent(CheckBoxtransparent->isChecked());
}

void TFrmimageEdit::CheckBoxstretchClick() {
    if (Tzorledimage* image = Target()) image->SetStretch(CheckBoxstretch->isChecked());
}

void ShowImageEdit(Tzorledimage& image) {
    TFrmimageEdit dialog;
    dialog.BindControl(image);
    dialog.exec();
}

}  // namespace zl
