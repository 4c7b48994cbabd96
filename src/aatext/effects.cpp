#include "aatext/effects.h"

#include <algorithm>

#include "core/props/declare.h"
#include "core/props/enums.h"

namespace zl {
namespace {

constexpr NameEntry kGradualStyle[] = {{"gsLeftToRight", 0}, {"gsRightToLeft", 1}, {"gsTopToBottom", 2},
                                       {"gsBottomToTop", 3}, {"gsCenterToLR", 4}, {"gsCenterToTB", 5}};
constexpr NameEntry kTextureMode[] = {{"tmTiled", 0}, {"tmStretched", 1}, {"tmCenter", 2}, {"tmNormal", 3}};

// Percentages (TAlpha, TBlurStrength, TSprayRange).
int Percent(int value) { return std::clamp(value, 0, 100); }
int Offset(int value) { return std::clamp(value, -20, 20); }

}  // namespace

const NameTable kGradualStyleNames{kGradualStyle};
const NameTable kTextureModeNames{kTextureMode};

void TSmoothShadow::Assign(const TNotifyClass& source) {
    TEnabledClass::Assign(source);
    if (const auto* other = dynamic_cast<const TSmoothShadow*>(&source)) {
        blur_ = other->blur_;
        alpha_ = other->alpha_;
        color_ = other->color_;
        offsetX_ = other->offsetX_;
        offsetY_ = other->offsetY_;
    }
}

void TSmoothShadow::SetBlur(int blur) { Update(blur_, Percent(blur)); }
void TSmoothShadow::SetAlpha(int alpha) { Update(alpha_, Percent(alpha)); }
void TSmoothShadow::SetColor(TColor color) { Update(color_, color); }
void TSmoothShadow::SetOffsetX(int offset) { Update(offsetX_, Offset(offset)); }
void TSmoothShadow::SetOffsetY(int offset) { Update(offsetY_, Offset(offset)); }

void TSmoothGradual::Assign(const TNotifyClass& source) {
    TEnabledClass::Assign(source);
    if (const auto* other = dynamic_cast<const TSmoothGradual*>(&source)) {
        style_ = other->style_;
        startColor_ = other->startColor_;
        endColor_ = other->endColor_;
    }
}

void TSmoothGradual::SetStyle(TGradualStyle style) {
    Update(style_, static_cast<TGradualStyle>(std::clamp<int>(style, gsLeftToRight, gsCenterToTB)));
}
void TSmoothGradual::SetStartColor(TColor color) { Update(startColor_, color); }
void TSmoothGradual::SetEndColor(TColor color) { Update(endColor_, color); }

TSmoothTexture::TSmoothTexture(ChangeHandler onChange) : TEnabledClass(std::move(onChange)) {
    picture_.OnChange = [this] { Changed(); };
}

void TSmoothTexture::Assign(const TNotifyClass& source) {
    TEnabledClass::Assign(source);
    if (const auto* other = dynamic_cast<const TSmoothTexture*>(&source)) {
        mode_ = other->mode_;
        CopyPicture(other->picture_);
    }
}

void TSmoothTexture::SetMode(TTextureMode mode) {
    Update(mode_, static_cast<TTextureMode>(std::clamp<int>(mode, tmTiled, tmNormal)));
}

void TSmoothTexture::SetPicture(const TPicture& picture) {
    if (&picture == &picture_) return;
    CopyPicture(picture);
    Changed();
}

void TSmoothTexture::CopyPicture(const TPicture& picture) {
    if (&picture == &picture_) return;
    auto handler = std::move(picture_.OnChange);
    picture_ = picture;
    picture_.OnChange = std::move(handler);
}

TSmoothEffect::TSmoothEffect(ChangeHandler onChange)
    : TNotifyClass(std::move(onChange)), shadow_(ChildHandler()), gradual_(ChildHandler()),
      texture_(ChildHandler()) {}

void TSmoothEffect::Assign(const TNotifyClass& source) {
    TNotifyClass::Assign(source);
    if (const auto* other = dynamic_cast<const TSmoothEffect*>(&source)) {
        if (other == this) return;
        alpha_ = other->alpha_;
        blur_ = other->blur_;
        noise_ = other->noise_;
        outline_ = other->outline_;
        spray_ = other->spray_;
        shadow_.Assign(other->shadow_);
        gradual_.Assign(other->gradual_);
        texture_.Assign(other->texture_);
    }
}

void TSmoothEffect::SetShadow(const TSmoothShadow& shadow) {
    shadow_.Assign(shadow);
    Changed();
}

void TSmoothEffect::SetGradual(const TSmoothGradual& gradual) {
    gradual_.Assign(gradual);
    Changed();
}

void TSmoothEffect::SetTexture(const TSmoothTexture& texture) {
    texture_.Assign(texture);
    Changed();
}

void TSmoothEffect::SetAlpha(int alpha) { Update(alpha_, Percent(alpha)); }
void TSmoothEffect::SetBlur(int blur) { Update(blur_, Percent(blur)); }
void TSmoothEffect::SetNoise(int noise) { Update(noise_, std::clamp(noise, 0, 255)); }
void TSmoothEffect::SetSpray(int spray) { Update(spray_, Percent(spray)); }
void TSmoothEffect::SetOutline(bool outline) { Update(outline_, outline); }

const ClassInfo& TSmoothShadow::StaticClass() {
    using namespace decl;
    using T = TSmoothShadow;
    static const PropInfo props[] = {
        Access<T, &T::Blur, &T::SetBlur>("Blur", PropKind::Integer, 80),
        Access<T, &T::Alpha, &T::SetAlpha>("Alpha", PropKind::Integer, 70),
        Named(Access<T, &T::Color, &T::SetColor>("Color", PropKind::Integer, 0x444444), IntNames::Color),
        Access<T, &T::OffsetX, &T::SetOffsetX>("OffsetX", PropKind::Integer, 2),
        Access<T, &T::OffsetY, &T::SetOffsetY>("OffsetY", PropKind::Integer, 2),
    };
    static const ClassInfo info{"TSmoothShadow", &TEnabledClass::StaticClass(), props};
    return info;
}

const ClassInfo& TSmoothGradual::StaticClass() {
    using namespace decl;
    using T = TSmoothGradual;
    static const PropInfo props[] = {
        Access<T, &T::Style, &T::SetStyle>("Style", PropKind::Enum, gsLeftToRight, &kGradualStyleNames),
        Named(Access<T, &T::StartColor, &T::SetStartColor>("StartColor", PropKind::Integer, clWhite), IntNames::Color),
        Named(Access<T, &T::EndColor, &T::SetEndColor>("EndColor", PropKind::Integer, clBlack), IntNames::Color),
    };
    static const ClassInfo info{"TSmoothGradual", &TEnabledClass::StaticClass(), props};
    return info;
}

const ClassInfo& TSmoothTexture::StaticClass() {
    using namespace decl;
    using T = TSmoothTexture;
    static const PropInfo props[] = {
        Access<T, &T::Mode, &T::SetMode>("Mode", PropKind::Enum, tmTiled, &kTextureModeNames),
        Nested<T, static_cast<TPicture& (T::*)()>(&T::Picture)>("Picture"),
    };
    static const ClassInfo info{"TSmoothTexture", &TEnabledClass::StaticClass(), props};
    return info;
}

const ClassInfo& TSmoothEffect::StaticClass() {
    using namespace decl;
    using T = TSmoothEffect;
    static const PropInfo props[] = {
        Nested<T, static_cast<TSmoothShadow& (T::*)()>(&T::Shadow)>("Shadow"),
        Nested<T, static_cast<TSmoothGradual& (T::*)()>(&T::Gradual)>("Gradual"),
        Nested<T, static_cast<TSmoothTexture& (T::*)()>(&T::Texture)>("Texture"),
        Access<T, &T::Alpha, &T::SetAlpha>("Alpha", PropKind::Integer, 100),
        Access<T, &T::Blur, &T::SetBlur>("Blur", PropKind::Integer, 0),
        Access<T, &T::Noise, &T::SetNoise>("Noise", PropKind::Integer, 0),
        Access<T, &T::Spray, &T::SetSpray>("Spray", PropKind::Integer, 0),
        Access<T, &T::Outline, &T::SetOutline>("Outline", PropKind::Enum, 0, &kBooleanNames),
    };
    static const ClassInfo info{"TSmoothEffect", &TNotifyClass::StaticClass(), props};
    return info;
}

}  // namespace zl
