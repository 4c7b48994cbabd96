#include "core/props/font.h"

#include <cstdlib>

#include "core/props/declare.h"
#include "core/props/enums.h"

namespace zl {

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) return -1;
    const long long product = static_cast<long long>(number) * numerator;
    long long q = std::llabs(product) * 2 + std::llabs(denominator);
    q /= std::llabs(denominator) * 2;
    return static_cast<int>(((product < 0) != (denominator < 0)) ? -q : q);
}

int TFont::Size() const { return -MulDiv(height_, 72, 96); }

void TFont::SetCharset(int v) { if (v != charset_) { charset_ = v; Changed(); } }
void TFont::SetColor(TColor v) { if (v != color_) { color_ = v; Changed(); } }
void TFont::SetHeight(int v) { if (v != height_) { height_ = v; Changed(); } }
void TFont::SetName(const std::string& v) { if (v != name_) { name_ = v; Changed(); } }
void TFont::SetPitch(int v) { if (v != pitch_) { pitch_ = v; Changed(); } }
void TFont::SetSize(int points) { SetHeight(-MulDiv(points, 96, 72)); }
void TFont::SetStyle(std::int64_t v) { if (v != style_) { style_ = v; Changed(); } }

void TFont::Assign(const TFont& other) {
    if (*this == other) return;
    charset_ = other.charset_;
    color_ = other.color_;
    height_ = other.height_;
    name_ = other.name_;
    pitch_ = other.pitch_;
    style_ = other.style_;
    Changed();
}

bool TFont::operator==(const TFont& o) const {
    return charset_ == o.charset_ && color_ == o.color_ && height_ == o.height_ && name_ == o.name_ &&
           pitch_ == o.pitch_ && style_ == o.style_;
}

void TFont::Changed() {
    if (OnChange) OnChange();
}

const ClassInfo& TFont::StaticClass() {
    using namespace decl;
    static const PropInfo props[] = {
        Named(Access<TFont, &TFont::Charset, &TFont::SetCharset>("Charset", PropKind::Integer), IntNames::Charset),
        Named(Access<TFont, &TFont::Color, &TFont::SetColor>("Color", PropKind::Integer), IntNames::Color),
        Access<TFont, &TFont::Height, &TFont::SetHeight>("Height", PropKind::Integer),
        Access<TFont, &TFont::Name, &TFont::SetName>("Name", PropKind::String),
        Access<TFont, &TFont::Pitch, &TFont::SetPitch>("Pitch", PropKind::Enum, fpDefault, &kFontPitchNames),
        With(Access<TFont, &TFont::Size, &TFont::SetSize>("Size", PropKind::Integer),
             [](const Persistent&) { return false; }),
        Access<TFont, &TFont::Style, &TFont::SetStyle>("Style", PropKind::Set, std::nullopt, &kFontStyleNames),
    };
    static const ClassInfo info{"TFont", nullptr, props};
    return info;
}

const ClassInfo& TSizeConstraints::StaticClass() {
    using namespace decl;
    using T = TSizeConstraints;
    static const PropInfo props[] = {
        Field<T, &T::MaxHeight>("MaxHeight", PropKind::Integer, 0),
        Field<T, &T::MaxWidth>("MaxWidth", PropKind::Integer, 0),
        Field<T, &T::MinHeight>("MinHeight", PropKind::Integer, 0),
        Field<T, &T::MinWidth>("MinWidth", PropKind::Integer, 0),
    };
    static const ClassInfo info{"TSizeConstraints", nullptr, props};
    return info;
}

void TStringsHolder::SetLines(const StringList& lines) {
    if (lines == lines_) return;
    lines_ = lines;
    if (OnChange) OnChange();
}

const ClassInfo& TStringsHolder::StaticClass() {
    using namespace decl;
    using T = TStringsHolder;
    static const PropInfo props[] = {
        Access<T, &T::Lines, &T::SetLines>("Strings", PropKind::Strings),
    };
    static const ClassInfo info{"TStrings", nullptr, props};
    return info;
}

}  // namespace zl
