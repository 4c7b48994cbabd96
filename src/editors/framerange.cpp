#include "editors/framerange.h"

#include <QSignalBlocker>

#include "editors/spinedit.h"

namespace zl {

TFrameRange::TFrameRange(QWidget* parent) : QFrame(parent) {
    setObjectName("FrameRange1");
    NewCaption(this, "对象的范围:", {0, 0, 160, 18});
    const auto field = [this](const char* name, const char* caption, int x, int y) {
        NewCaption(this, caption, {x, y + 3, 50, 18});
        auto* spin = new TSpinEdit(this);
        spin->setObjectName(name);
        spin->setGeometry(x + 48, y, 68, 22);
        return spin;
    };
    SpinEditLeft = field("SpinEditLeft", "位置X:", 0, 22);
    SpinEditTop = field("SpinEditTop", "位置Y:", 124, 22);
    SpinEditWidth = field("SpinEditWidth", "宽度:", 0, 50);
    SpinEditheight = field("SpinEditheight", "高度:", 124, 50);
    connect(SpinEditLeft, &TSpinEdit::Changed, this, GuardedHandler([this] { SpinEditLeftChange(); }));
    connect(SpinEditTop, &TSpinEdit::Changed, this, GuardedHandler([this] { SpinEditTopChange(); }));
    connect(SpinEditWidth, &TSpinEdit::Changed, this, GuardedHandler([this] { SpinEditWidthChange(); }));
    connect(SpinEditheight, &TSpinEdit::Changed, this, GuardedHandler([this] { SpinEditheightChange(); }));
}

void TFrameRange::BindControl(Control& control) {
    target_.Set(&control);
    const QSignalBlocker a(SpinEditLeft), b(SpinEditTop), c(SpinEditWidth), d(SpinEditheight);
    SpinEditLeft->SetValue(control.Left());
    SpinEditWidth->SetValue(control.Width());
    SpinEditTop->SetValue(control.Top());
    SpinEditheight->SetValue(control.Height());
}

void TFrameRange::SpinEditLeftChange() {
    if (Control* t = Target()) t->SetLeft(SpinEditLeft->Value());
}
void TFrameRange::SpinEditTopChange() {
    if (Control* t = Target()) t->SetTop(SpinEditTop->Value());
}
void TFrameRange::SpinEditWidthChange() {
    if (Control* t = Target()) t->SetWidth(SpinEditWidth->Value());
}
void TFrameRange::SpinEditheightChange() {
    if (Control* t = Target()) t->SetHeight(SpinEditheight->Value());
}

}  // namespace zl
