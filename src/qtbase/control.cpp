#include "qtbase/control.h"

#include <QVariant>
#include <algorithm>

#include "qtbase/fonts.h"
#include "qtbase/qtstrings.h"

namespace zl {
namespace {
constexpr const char* kControlProperty = "zlControl";
}

Control::Control(QWidget* self, Component* owner) : Component(owner), self_(self) {
    self_->setProperty(kControlProperty, QVariant::fromValue<void*>(this));
    font_.OnChange = [this] {
        if (!adoptingParentFont_) parentFont_ = false;
        Changed();
    };
}

Control::~Control() {
    font_.OnChange = nullptr;
    self_->setProperty(kControlProperty, QVariant());
}

Control* Control::Of(QWidget* widget) {
    if (!widget) return nullptr;
    return static_cast<Control*>(widget->property(kControlProperty).value<void*>());
}

Control* Control::ParentControl() const { return Of(self_->parentWidget()); }

int Control::Left() const { return self_->x(); }
int Control::Top() const { return self_->y(); }
int Control::Width() const { return self_->width(); }
int Control::Height() const { return self_->height(); }

void Control::SetBounds(int left, int top, int width, int height) {
    // No control is ever asked to draw itself with a negative size.
    self_->setGeometry(left, top, std::max(width, 0), std::max(height, 0));
}

bool Control::Visible() const { return !self_->isHidden(); }
void Control::SetVisible(bool v) { self_->setVisible(v); }

void Control::SetCaption(const std::string& v) {
    if (v == caption_) return;
    caption_ = v;
    Changed();
}

void Control::SetColor(TColor v) {
    parentColor_ = false;
    if (v == color_) return;
    color_ = v;
    Changed();
}

void Control::SetParentColor(bool v) {
    if (v == parentColor_) return;
    parentColor_ = v;
    if (v)
        if (Control* p = ParentControl()) color_ = p->EffectiveColor();
    Changed();
}

TColor Control::EffectiveColor() const {
    if (parentColor_)
        if (Control* p = ParentControl()) return p->EffectiveColor();
    return color_;
}

void Control::SetParentFont(bool v) {
    if (v == parentFont_) return;
    parentFont_ = v;
    if (v)
        if (Control* p = ParentControl()) {
            adoptingParentFont_ = true;
            font_.Assign(p->EffectiveFont());
            adoptingParentFont_ = false;
        }
    Changed();
}

const TFont& Control::EffectiveFont() const {
    if (parentFont_)
        if (Control* p = ParentControl()) return p->EffectiveFont();
    return font_;
}

void Control::Changed() { self_->update(); }

QFont Control::ToQFont(const TFont& font) {
    QFont f(DrawingFamily(Q(font.Name())));
    // Held to the range every drawn font size keeps, so no value from a file overflows here.
    const int height = std::clamp(font.Height(), -kFontHeightLimit, kFontHeightLimit);
    if (height < 0)
        f.setPixelSize(std::max(1, -height));
    else if (height > 0)
        // A positive height includes the internal leading; near enough to the cell height.
        f.setPixelSize(std::max(1, height * 4 / 5));
    f.setBold(font.Style() & Bit(fsBold));
    f.setItalic(font.Style() & Bit(fsItalic));
    f.setUnderline(font.Style() & Bit(fsUnderline));
    f.setStrikeOut(font.Style() & Bit(fsStrikeOut));
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

}  // namespace zl
