#pragma once
#include "aatext/notifyclass.h"
#include "core/props/color.h"
#include "qtbase/picture.h"

namespace zl {

enum TGradualStyle { gsLeftToRight, gsRightToLeft, gsTopToBottom, gsBottomToTop, gsCenterToLR,
                     gsCenterToTB };
enum TTextureMode { tmTiled, tmStretched, tmCenter, tmNormal };

extern const NameTable kGradualStyleNames;
extern const NameTable kTextureModeNames;

// Drop shadow. Values are kept within their ranges: Blur and Alpha 0..100, offsets -20..20.
class TSmoothShadow : public TEnabledClass {
public:
    using TEnabledClass::TEnabledClass;

    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }
    void Assign(const TNotifyClass& source) override;

    int Blur() const { return blur_; }
    int Alpha() const { return alpha_; }
    TColor Color() const { return color_; }
    int OffsetX() const { return offsetX_; }
    int OffsetY() const { return offsetY_; }
    void SetBlur(int blur);
    void SetAlpha(int alpha);
    void SetColor(TColor color);
    void SetOffsetX(int offset);
    void SetOffsetY(int offset);

private:
    int blur_ = 80;
    int alpha_ = 70;
    TColor color_ = 0x444444;
    int offsetX_ = 2;
    int offsetY_ = 2;
};

// Gradient ink.
class TSmoothGradual : public TEnabledClass {
public:
    using TEnabledClass::TEnabledClass;

    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }
    void Assign(const TNotifyClass& source) override;

    TGradualStyle Style() const { return style_; }
    TColor StartColor() const { return startColor_; }
    TColor EndColor() const { return endColor_; }
    void SetStyle(TGradualStyle style);
    void SetStartColor(TColor color);
    void SetEndColor(TColor color);

private:
    TGradualStyle style_ = gsLeftToRight;
    TColor startColor_ = clWhite;
    TColor endColor_ = clBlack;
};

// Picture ink; a change of the picture counts as a change of the texture.
class TSmoothTexture : public TEnabledClass {
public:
    explicit TSmoothTexture(ChangeHandler onChange = {});

    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }
    void Assign(const TNotifyClass& source) override;

    TTextureMode Mode() const { return mode_; }
    void SetMode(TTextureMode mode);
    TPicture& Picture() { return picture_; }
    const TPicture& Picture() const { return picture_; }
    void SetPicture(const TPicture& picture);

private:
    // Copies the picture without its change handler firing.
    void CopyPicture(const TPicture& picture);

    TTextureMode mode_ = tmTiled;
    TPicture picture_;
};

// How a run of smooth text is inked. Changes inside the sub-effects are this effect's changes.
class TSmoothEffect : public TNotifyClass {
public:
    explicit TSmoothEffect(ChangeHandler onChange = {});

    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }
    void Assign(const TNotifyClass& source) override;

    TSmoothShadow& Shadow() { return shadow_; }
    const TSmoothShadow& Shadow() const { return shadow_; }
    TSmoothGradual& Gradual() { return gradual_; }
    const TSmoothGradual& Gradual() const { return gradual_; }
    TSmoothTexture& Texture() { return texture_; }
    const TSmoothTexture& Texture() const { return texture_; }
    void SetShadow(const TSmoothShadow& shadow);
    void SetGradual(const TSmoothGradual& gradual);
    void SetTexture(const TSmoothTexture& texture);

    int Alpha() const { return alpha_; }
    int Blur() const { return blur_; }
    int Noise() const { return noise_; }
    int Spray() const { return spray_; }
    bool Outline() const { return outline_; }
    void SetAlpha(int alpha);
    void SetBlur(int blur);
    void SetNoise(int noise);
    void SetSpray(int spray);
    void SetOutline(bool outline);

private:
    TSmoothShadow shadow_;
    TSmoothGradual gradual_;
    TSmoothTexture texture_;
    int alpha_ = 100;
    int blur_ = 0;
    int noise_ = 0;
    int spray_ = 0;
    bool outline_ = false;
};

}  // namespace zl
