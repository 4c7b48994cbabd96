#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/error.h"

class QImage;

namespace zl {

class RandomSource;
class TSmoothFont;

enum class TSmoothQuality { aqHigh, aqNormal, aqLow, aqNone };

// Supersampling factor of a quality: aqHigh 4, aqNormal 3, aqLow 2, aqNone 1.
int ScaleOf(TSmoothQuality quality);

// Averages the Scale x Scale blocks of a white-on-black drawing (8-bit grey or 32-bit) into
// `width` x `height` mask bytes, rows `stride` apart.
void ReduceSupersampled(const QImage& work, TSmoothQuality quality, std::uint8_t* out, int stride,
                        int width, int height);

class EInvalidLine : public Error {
public:
    EInvalidLine() : Error("Invalid line!") {}
};

// Text whose mask would pass TSmoothMask::kMaskLimit; the message names its size.
class ETextTooLarge : public Error {
public:
    ETextTooLarge(std::int64_t width, std::int64_t height);
};

// An 8-bit coverage mask of one text run (0 no ink, 255 full ink), made by drawing the text
// enlarged by Scale and averaging Scale x Scale blocks.
class TSmoothMask {
public:
    // Ceiling of the grey data of one mask: 256 MB (a 2000 px line of 20 characters needs about 90).
    static constexpr std::int64_t kMaskLimit = std::int64_t{256} << 20;
    // Default bound of the enlarged working data of one DrawText; larger text is rasterised in
    // bands with identical pixels.
    static constexpr std::size_t kDefaultWorkLimit = std::size_t{64} << 20;

    explicit TSmoothMask(TSmoothFont* owner) : owner_(owner) {}
    TSmoothMask(const TSmoothMask&) = delete;
    TSmoothMask& operator=(const TSmoothMask&) = delete;

    // Copies quality, size and grey data; the owner stays.
    void Assign(const TSmoothMask& source);

    int TextWidth(std::string_view text) const;
    int TextHeight(std::string_view text) const;
    void DrawText(std::string_view text);

    std::uint8_t* ScanLine(int row);
    const std::uint8_t* ScanLine(int row) const;
    // The grey data seen as an 8-bit grey bitmap, valid until the mask changes.
    QImage Image() const;

    TSmoothQuality Quality() const { return quality_; }
    // Takes effect at the next DrawText.
    void SetQuality(TSmoothQuality quality);
    int Scale() const { return scale_; }

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Row stride: Width rounded up to a multiple of 4.
    int Stride() const { return stride_; }
    // Replaces the data by an empty mask of the given size.
    void SetSize(int width, int height);

    std::size_t WorkLimit() const { return workLimit_; }
    void SetWorkLimit(std::size_t bytes) { workLimit_ = bytes; }

    // Replaces the glyphs by their edges; the outermost rows and columns keep their values.
    void Outline();
    // Moves every pixel the given share (0..100) of the way to its 5 x 5 box average.
    void Blur(int amount);
    // Scatters pixels within a radius of up to `amount` (0..100).
    void Spray(int amount, RandomSource& random);

private:
    TSmoothFont* owner_;
    TSmoothQuality quality_ = TSmoothQuality::aqNormal;
    int scale_ = 3;
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    std::vector<std::uint8_t> data_;
    std::size_t workLimit_ = kDefaultWorkLimit;
};

}  // namespace zl
