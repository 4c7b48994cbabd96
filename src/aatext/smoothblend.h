#pragma once
#include <QImage>

#include "core/props/color.h"
#include "core/error.h"

namespace zl {

class TCanvas;
class TSmoothFont;
class TSmoothMask;

class EInvalidForeBmp : public Error {
public:
    EInvalidForeBmp() : Error("Invalid foreground bitmap!") {}
};

// Composites masks onto the owner font's canvas, in one colour or with the colours of a
// foreground bitmap. Bitmaps are 24-bit, blue, green, red per pixel.
class TSmoothBlend {
public:
    explicit TSmoothBlend(TSmoothFont* owner) : owner_(owner) {}
    TSmoothBlend(const TSmoothBlend&) = delete;
    TSmoothBlend& operator=(const TSmoothBlend&) = delete;

    // Copies the foreground bitmap.
    void Assign(const TSmoothBlend& source);

    // alpha 0..100.
    void BlendColor(int x, int y, const TSmoothMask& mask, int alpha, TColor color);
    // ForeBitmap must be 24-bit and of the mask's size.
    void BlendForeground(int x, int y, const TSmoothMask& mask, int alpha);

    QImage& ForeBitmap() { return foreBitmap_; }
    const QImage& ForeBitmap() const { return foreBitmap_; }
    QImage& WorkBitmap() { return workBitmap_; }
    // Gives ForeBitmap the size, keeping the allocation when it already has it.
    void SizeForeBitmap(int width, int height);

private:
    TCanvas* TargetCanvas() const;
    // For canvases of other formats, WorkBitmap gets what the mask lies over: the brush when
    // solid, else the canvas below; it is blended there and copied back.
    void PrepareWork(TCanvas& canvas, int x, int y, int width, int height);
    void PutWork(TCanvas& canvas, int x, int y);
    template <class InkRow>
    void Composite(TCanvas& canvas, int x, int y, const TSmoothMask& mask, int alpha, InkRow inkRow);

    TSmoothFont* owner_;
    QImage foreBitmap_;
    QImage workBitmap_;
};

}  // namespace zl
