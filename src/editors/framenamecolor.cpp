#include "editors/framenamecolor.h"

#include <QLabel>
#include <QPushButton>

#include "editors/colorbox.h"
#include "editors/fontdialog.h"

namespace zl {

TFramenamecolor::TFramenamecolor(QWidget* parent) : QFrame(parent) {
    setObjectName("Framenamecolor1");
    NewCaption(this, "颜色：", {0, 3, 48, 18});
    ColorBox1 = new TColorBox(this);
    ColorBox1->setObjectName("ColorBox1");
    ColorBox1->setGeometry(48, 0, 140, 22);
    fontCaption_ = NewCaption(this, "字体：", {0, 33, 48, 18});
    Labelfont = new TLabelFont(this);
    Labelfont->setGeometry(48, 30, 140, 22);
    BitBtnselectfont = new QPushButton(U("选择"), this);
    BitBtnselectfont->setObjectName("BitBtnselectfont");
    BitBtnselectfont->setAutoDefault(false);
    BitBtnselectfont->setGeometry(194, 29, 50, 24);
    connect(ColorBox1, &TColorBox::Changed, this, GuardedHandler([this] { ColorBox1Change(); }));
    connect(BitBtnselectfont, &QPushButton::clicked, this, GuardedHandler([this] { BitBtnselectfontClick(); }));
}

void TFramenamecolor::HideFontRow() {
    fontCaption_->hide();
    Labelfont->hide();
    BitBtnselectfont->hide();
}

void TFramenamecolor::BindControl(Control& control) {
    target_.Set(&control);
    // A control that takes its parent's colour or font shows the parent's, as it draws.
    ColorBox1->SetSelected(control.EffectiveColor());
    Labelfont->Show(control.EffectiveFont());
}

void TFramenamecolor::ColorBox1Change() {
    Control* t = Target();
    const auto color = ColorBox1->Selected();
    if (t && color) t->SetColor(*color);
}

void TFramenamecolor::BitBtnselectfontClick() {
    if (!Labelfont->Choose()) return;
    if (Control* t = Target()) t->Font().Assign(Labelfont->Font());
}

}  // namespace zl
