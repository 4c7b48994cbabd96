#pragma once
#include <string_view>

#include "aatext/effects.h"
#include "aatext/smoothfont.h"

namespace zl {

class RandomSource;

// A smooth font that inks its text with an effect record: shadow, outline, spray, blur, and
// texture, gradient, noise or plain colour.
class TSmoothFontEx : public TSmoothFont {
public:
    explicit TSmoothFontEx(TCanvas* canvas = nullptr) : TSmoothFont(canvas) {}

    // Callers copy a configured effect into it with Assign.
    TSmoothEffect& Effect() { return effect_; }
    const TSmoothEffect& Effect() const { return effect_; }

    // The box grows by the shadow's offsets while the shadow is enabled.
    int TextWidth(std::string_view text) const override;
    int TextHeight(std::string_view text) const override;
    // Draws the text with the effect, the box's top-left corner at (x, y).
    void TextOut(int x, int y, std::string_view text);

    // Foreground makers: each sizes ForeBitmap to the current mask.
    void TextureFill();
    void GradualFill();
    void NoiseFill();
    void AddNoise();

    // The generator of spray and noise; null restores the process's own.
    void SetRandom(RandomSource* random) { random_ = random; }

private:
    RandomSource& Random() const;
    // Steps of TextOut after the mask is drawn: shadow, blur and ink.
    void Ink(int x, int y, int textX, int textY);

    TSmoothEffect effect_;
    RandomSource* random_ = nullptr;
};

}  // namespace zl
