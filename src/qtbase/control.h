#pragma once
#include <QFont>
#include <QWidget>
#include <string>

#include "core/props/component.h"
#include "core/props/declare.h"
#include "core/props/enums.h"
#include "core/props/font.h"

namespace zl {

constexpr int crDefault = 0;
constexpr int crDrag = -12;

// The framework control state every widget and the page window publish, and the parent
// rules (ParentColor, ParentFont) that the page files take for granted.
class Control : public Component {
public:
    Control(QWidget* self, Component* owner);
    ~Control() override;

    QWidget* Widget() const { return self_; }
    static Control* Of(QWidget* widget);
    // The control that draws this one's background and lends its font and colour.
    Control* ParentControl() const;

    virtual int Left() const;
    virtual int Top() const;
    virtual int Width() const;
    virtual int Height() const;
    virtual void SetBounds(int left, int top, int width, int height);
    void SetLeft(int v) { SetBounds(v, Top(), Width(), Height()); }
    void SetTop(int v) { SetBounds(Left(), v, Width(), Height()); }
    void SetWidth(int v) { SetBounds(Left(), Top(), v, Height()); }
    void SetHeight(int v) { SetBounds(Left(), Top(), Width(), v); }

    virtual bool Visible() const;
    virtual void SetVisible(bool v);

    virtual std::string Caption() const { return caption_; }
    virtual void SetCaption(const std::string& v);

    TColor Color() const { return color_; }
    void SetColor(TColor v);
    bool ParentColor() const { return parentColor_; }
    void SetParentColor(bool v);
    // The colour actually drawn: the parent's while ParentColor holds.
    TColor EffectiveColor() const;

    TFont& Font() { return font_; }
    const TFont& Font() const { return font_; }
    bool ParentFont() const { return parentFont_; }
    void SetParentFont(bool v);
    const TFont& EffectiveFont() const;

    // A page window's name in reports (its file, or its caption while unsaved); empty for
    // anything that is not a page.
    virtual QString PageName() const { return {}; }

    // Windowed controls (clocks) stack above drawn ones and follow them in control order.
    virtual bool IsWindowed() const { return false; }

    // Called after a property that changes the look.
    virtual void Changed();

    // Plain stored framework values.
    int Tag = 0;
    int Cursor = crDefault;
    std::string Hint;
    int HelpType = htContext;
    std::string HelpKeyword;
    int HelpContext = 0;
    int Align = alNone;
    std::int64_t Anchors = kDefaultAnchors;
    TSizeConstraints Constraints;
    int DragCursor = crDrag;
    int DragKind = dkDrag;
    int DragMode = dmManual;
    bool Enabled = true;
    int BiDiMode = bdLeftToRight;
    bool ParentBiDiMode = true;
    bool ShowHint = false;
    bool ParentShowHint = true;
    bool Ctl3D = true;
    bool ParentCtl3D = true;
    std::string PopupMenu;  // component reference by name; none in our pages

    TSizeConstraints& ConstraintsRef() { return Constraints; }
    TFont& FontRef() { return font_; }

    static QFont ToQFont(const TFont& font);

protected:
    std::string caption_;

private:
    QWidget* self_;
    TColor color_ = clBtnFace;
    bool parentColor_ = false;
    TFont font_;
    bool parentFont_ = true;
    bool adoptingParentFont_ = false;
};

// Positions and sizes the window system can place; a page file's value beyond them is invalid.
constexpr int kMinPosition = -32768;
constexpr int kMaxPosition = 32767;

// Shared table entries, so each class lists the framework properties in its own order.
namespace common {
template <class T> PropInfo Tag() { return decl::Field<T, &Control::Tag>("Tag", PropKind::Integer, 0); }
template <class T> PropInfo Left() { return decl::Ranged(decl::Access<T, &Control::Left, &Control::SetLeft>("Left", PropKind::Integer), kMinPosition, kMaxPosition); }
template <class T> PropInfo Top() { return decl::Ranged(decl::Access<T, &Control::Top, &Control::SetTop>("Top", PropKind::Integer), kMinPosition, kMaxPosition); }
template <class T> PropInfo Width() { return decl::Ranged(decl::Access<T, &Control::Width, &Control::SetWidth>("Width", PropKind::Integer), kMinPosition, kMaxPosition); }
template <class T> PropInfo Height() { return decl::Ranged(decl::Access<T, &Control::Height, &Control::SetHeight>("Height", PropKind::Integer), kMinPosition, kMaxPosition); }
template <class T> PropInfo Cursor() { return decl::Named(decl::Field<T, &Control::Cursor>("Cursor", PropKind::Integer, 0), IntNames::Cursor); }
template <class T> PropInfo Hint() { return decl::Field<T, &Control::Hint>("Hint", PropKind::String); }
template <class T> PropInfo HelpType() { return decl::Field<T, &Control::HelpType>("HelpType", PropKind::Enum, htContext, &kHelpTypeNames); }
template <class T> PropInfo HelpKeyword() { return decl::Field<T, &Control::HelpKeyword>("HelpKeyword", PropKind::String); }
template <class T> PropInfo HelpContext() { return decl::Field<T, &Control::HelpContext>("HelpContext", PropKind::Integer, 0); }
template <class T> PropInfo Align() { return decl::Field<T, &Control::Align>("Align", PropKind::Enum, alNone, &kAlignNames); }
template <class T> PropInfo Anchors() { return decl::Field<T, &Control::Anchors>("Anchors", PropKind::Set, kDefaultAnchors, &kAnchorNames); }
template <class T> PropInfo Constraints() { return decl::Nested<T, &Control::ConstraintsRef>("Constraints"); }
template <class T> PropInfo DragCursor() { return decl::Named(decl::Field<T, &Control::DragCursor>("DragCursor", PropKind::Integer, crDrag), IntNames::Cursor); }
template <class T> PropInfo DragKind() { return decl::Field<T, &Control::DragKind>("DragKind", PropKind::Enum, dkDrag, &kDragKindNames); }
template <class T> PropInfo DragMode() { return decl::Field<T, &Control::DragMode>("DragMode", PropKind::Enum, dmManual, &kDragModeNames); }
template <class T> PropInfo Enabled() { return decl::Field<T, &Control::Enabled>("Enabled", PropKind::Enum, 1, &kBooleanNames); }
template <class T> PropInfo BiDiMode() {
    return decl::With(decl::Field<T, &Control::BiDiMode>("BiDiMode", PropKind::Enum, std::nullopt, &kBiDiModeNames),
                      [](const Persistent& p) { return !static_cast<const T&>(p).ParentBiDiMode; });
}
template <class T> PropInfo ParentBiDiMode() { return decl::Field<T, &Control::ParentBiDiMode>("ParentBiDiMode", PropKind::Enum, 1, &kBooleanNames); }
template <class T> PropInfo ShowHint() {
    return decl::With(decl::Field<T, &Control::ShowHint>("ShowHint", PropKind::Enum, std::nullopt, &kBooleanNames),
                      [](const Persistent& p) { return !static_cast<const T&>(p).ParentShowHint; });
}
template <class T> PropInfo ParentShowHint() { return decl::Field<T, &Control::ParentShowHint>("ParentShowHint", PropKind::Enum, 1, &kBooleanNames); }
template <class T> PropInfo Ctl3D() {
    return decl::With(decl::Field<T, &Control::Ctl3D>("Ctl3D", PropKind::Enum, std::nullopt, &kBooleanNames),
                      [](const Persistent& p) { return !static_cast<const T&>(p).ParentCtl3D; });
}
template <class T> PropInfo ParentCtl3D() { return decl::Field<T, &Control::ParentCtl3D>("ParentCtl3D", PropKind::Enum, 1, &kBooleanNames); }
template <class T> PropInfo Caption() { return decl::Access<T, &Control::Caption, &Control::SetCaption>("Caption", PropKind::String); }
template <class T> PropInfo Color(std::optional<std::int64_t> def = std::nullopt) {
    auto p = decl::Named(decl::Access<T, &Control::Color, &Control::SetColor>("Color", PropKind::Integer, def), IntNames::Color);
    return decl::With(p, [](const Persistent& o) { return !static_cast<const T&>(o).ParentColor(); });
}
template <class T> PropInfo ParentColor(bool def) { return decl::Access<T, &Control::ParentColor, &Control::SetParentColor>("ParentColor", PropKind::Enum, def, &kBooleanNames); }
template <class T> PropInfo Font() {
    return decl::With(decl::Nested<T, &Control::FontRef>("Font"),
                      [](const Persistent& o) { return !static_cast<const T&>(o).ParentFont(); });
}
template <class T> PropInfo ParentFont(bool def) { return decl::Access<T, &Control::ParentFont, &Control::SetParentFont>("ParentFont", PropKind::Enum, def, &kBooleanNames); }
template <class T> PropInfo PopupMenu() {
    return decl::With(decl::Field<T, &Control::PopupMenu>("PopupMenu", PropKind::Reference),
                      [](const Persistent& p) { return !static_cast<const T&>(p).PopupMenu.empty(); });
}
template <class T> PropInfo Visible(std::optional<std::int64_t> def) { return decl::Access<T, &Control::Visible, &Control::SetVisible>("Visible", PropKind::Enum, def, &kBooleanNames); }
}  // namespace common

}  // namespace zl
