#pragma once
#include <string_view>

#include "aatext/smoothblend.h"
#include "aatext/smoothmask.h"

namespace zl {

class TCanvas;

// Binds a mask and a blender to one target canvas. Point the canvas at the target and set its
// font and brush, then measure and draw line by line.
class TSmoothFont {
public:
    explicit TSmoothFont(TCanvas* canvas = nullptr) : canvas_(canvas), mask_(this), blend_(this) {}
    virtual ~TSmoothFont() = default;
    TSmoothFont(const TSmoothFont&) = delete;
    TSmoothFont& operator=(const TSmoothFont&) = delete;

    TCanvas* Canvas() const { return canvas_; }
    void SetCanvas(TCanvas* canvas) { canvas_ = canvas; }

    TSmoothQuality Quality() const { return mask_.Quality(); }
    void SetQuality(TSmoothQuality quality) { mask_.SetQuality(quality); }

    virtual int TextWidth(std::string_view text) const { return mask_.TextWidth(text); }
    virtual int TextHeight(std::string_view text) const { return mask_.TextHeight(text); }

    TSmoothMask& Mask() { return mask_; }
    const TSmoothMask& Mask() const { return mask_; }
    TSmoothBlend& Blend() { return blend_; }
    const TSmoothBlend& Blend() const { return blend_; }

private:
    TCanvas* canvas_;
    TSmoothMask mask_;
    TSmoothBlend blend_;
};

}  // namespace zl
