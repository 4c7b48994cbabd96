#include "aatext/smoothmask.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "aatext/canvas.h"
#include "aatext/randomsource.h"
#include "aatext/smoothfont.h"
#include "core/props/enums.h"

namespace zl {
namespace {

using Row = const std::uint8_t*;

void ReduceHigh(const QImage& work, std::uint8_t* out, int stride, int width, int height) {
    std::vector<std::uint16_t> columns(static_cast<size_t>(width) * 4);
    for (int r = 0; r < height; ++r) {
        Row s0 = work.constScanLine(r * 4), s1 = work.constScanLine(r * 4 + 1);
        Row s2 = work.constScanLine(r * 4 + 2), s3 = work.constScanLine(r * 4 + 3);
        std::uint16_t* v = columns.data();
        for (int i = 0; i < width * 4; ++i) v[i] = s0[i] + s1[i] + s2[i] + s3[i];
        std::uint8_t* o = out + static_cast<size_t>(r) * stride;
        for (int c = 0; c < width; ++c, v += 4) o[c] = static_cast<std::uint8_t>((v[0] + v[1] + v[2] + v[3]) >> 4);
    }
}

// Weights 1 1 1/2 / 1 1 1 / 1/2 1 1, the halves taken by shifting the sample first.
void ReduceNormal(const QImage& work, std::uint8_t* out, int stride, int width, int height) {
    for (int r = 0; r < height; ++r) {
        Row s0 = work.constScanLine(r * 3), s1 = work.constScanLine(r * 3 + 1);
        Row s2 = work.constScanLine(r * 3 + 2);
        std::uint8_t* o = out + static_cast<size_t>(r) * stride;
        for (int c = 0; c < width; ++c, s0 += 3, s1 += 3, s2 += 3) {
            const unsigned sum = s0[0] + s0[1] + (s0[2] >> 1) + s1[0] + s1[1] + s1[2] + (s2[0] >> 1) +
                                 s2[1] + s2[2];
            o[c] = static_cast<std::uint8_t>(sum >> 3);
        }
    }
}

void ReduceLow(const QImage& work, std::uint8_t* out, int stride, int width, int height) {
    for (int r = 0; r < height; ++r) {
        Row s0 = work.constScanLine(r * 2), s1 = work.constScanLine(r * 2 + 1);
        std::uint8_t* o = out + static_cast<size_t>(r) * stride;
        for (int c = 0; c < width; ++c, s0 += 2, s1 += 2)
            o[c] = static_cast<std::uint8_t>((s0[0] + s0[1] + s1[0] + s1[1]) >> 2);
    }
}

void ReduceNone(const QImage& work, std::uint8_t* out, int stride, int width, int height) {
    for (int r = 0; r < height; ++r)
        std::memcpy(out + static_cast<size_t>(r) * stride, work.constScanLine(r), width);
}

}  // namespace

void ReduceSupersampled(const QImage& work, TSmoothQuality quality, std::uint8_t* out, int stride,
                        int width, int height) {
    const int scale = ScaleOf(quality);
    if (work.format() != QImage::Format_Grayscale8 || work.width() < width * scale ||
        work.height() < height * scale)
        return;
    switch (quality) {
        case TSmoothQuality::aqHigh: ReduceHigh(work, out, stride, width, height); break;
        case TSmoothQuality::aqNormal: ReduceNormal(work, out, stride, width, height); break;
        case TSmoothQuality::aqLow: ReduceLow(work, out, stride, width, height); break;
        case TSmoothQuality::aqNone: ReduceNone(work, out, stride, width, height); break;
    }
}

int ScaleOf(TSmoothQuality quality) {
    switch (quality) {
        case TSmoothQuality::aqHigh: return 4;
        case TSmoothQuality::aqNormal: return 3;
        case TSmoothQuality::aqLow: return 2;
        case TSmoothQuality::aqNone: return 1;
    }
    return 1;
}

void TSmoothMask::Assign(const TSmoothMask& source) {
    if (&source == this) return;
    quality_ = source.quality_;
    scale_ = source.scale_;
    width_ = source.width_;
    height_ = source.height_;
    stride_ = source.stride_;
    data_ = source.data_;
}

void TSmoothMask::SetQuality(TSmoothQuality quality) {
    quality_ = quality;
    scale_ = ScaleOf(quality);
}

int TSmoothMask::MeasureText(std::string_view text, bool width) const {
    const TCanvas* canvas = owner_ ? owner_->Canvas() : nullptr;
    if (!canvas) return 0;
    const int measured = width ? MeasureTextWidth(canvas->Font, scale_, text) : MeasureTextHeight(canvas->Font, scale_);
    return (measured + scale_ - 1) / scale_;
}

int TSmoothMask::TextWidth(std::string_view text) const {
    int result = MeasureText(text, true);
    const TCanvas* canvas = owner_ ? owner_->Canvas() : nullptr;
    // Slanted glyphs reach beyond their advance; give the run room for the overhang.
    if (canvas && (canvas->Font.Style() & Bit(fsItalic)) && !text.empty())
        result += static_cast<int>(std::nearbyint(result / static_cast<double>(text.size()) * 0.3));
    return result;
}

int TSmoothMask::TextHeight(std::string_view text) const { return MeasureText(text, false); }

void TSmoothMask::SetSize(int width, int height) {
    width_ = std::max(0, width);
    height_ = std::max(0, height);
    stride_ = (width_ + 3) & ~3;
    data_.assign(static_cast<size_t>(stride_) * height_, 0);
}

void TSmoothMask::DrawText(std::string_view text) {
    const TCanvas* canvas = owner_ ? owner_->Canvas() : nullptr;
    if (!canvas) return;
    const int w = TextWidth(text);
    const int h = TextHeight(text);

    QImage work(w * scale_, h * scale_, QImage::Format_Grayscale8);
    if (!work.isNull()) {
        work.fill(0);
        QPainter painter(&work);
        DrawTextRun(painter, canvas->Font, scale_, clWhite, 0, 0, text);
    }

    SetSize(w, h);
    if (!work.isNull()) ReduceSupersampled(work, quality_, data_.data(), stride_, w, h);
}

std::uint8_t* TSmoothMask::ScanLine(int row) {
    if (row < 0 || row >= height_) throw EInvalidLine();
    return data_.data() + static_cast<size_t>(row) * stride_;
}

const std::uint8_t* TSmoothMask::ScanLine(int row) const {
    if (row < 0 || row >= height_) throw EInvalidLine();
    return data_.data() + static_cast<size_t>(row) * stride_;
}

void TSmoothMask::Outline() {
    if (width_ < 3 || height_ < 3) return;
    const std::vector<std::uint8_t> copy = data_;
    for (int y = 1; y < height_ - 1; ++y) {
        Row a = copy.data() + static_cast<size_t>(y - 1) * stride_;
        Row c = a + stride_;
        Row b = c + stride_;
        std::uint8_t* out = data_.data() + static_cast<size_t>(y) * stride_;
        for (int x = 1; x < width_ - 1; ++x) {
            const int d1 = std::abs(b[x] - a[x]);
            const int d2 = std::abs(c[x + 1] - c[x - 1]);
            const int d3 = std::abs(b[x - 1] - a[x + 1]);
            const int d4 = std::abs(b[x + 1] - a[x - 1]);
            out[x] = static_cast<std::uint8_t>(std::min(255, (d1 + d2 + d3 + d4) >> 2));
        }
    }
}

void TSmoothMask::Blur(int amount) {
    amount = std::clamp(amount, 0, 100);
    const int k = static_cast<int>(std::nearbyint(amount * 255 / 100.0));
    if (k == 0 || width_ == 0 || height_ == 0) return;

    // Horizontal sums of five with the edge pixels repeated, then five rows of those.
    const int w = width_;
    std::vector<std::uint16_t> sums(static_cast<size_t>(w) * height_);
    for (int y = 0; y < height_; ++y) {
        Row row = data_.data() + static_cast<size_t>(y) * stride_;
        std::uint16_t* h = sums.data() + static_cast<size_t>(y) * w;
        if (w < 5) {
            for (int x = 0; x < w; ++x) {
                int s = 0;
                for (int dx = -2; dx <= 2; ++dx) s += row[std::clamp(x + dx, 0, w - 1)];
                h[x] = static_cast<std::uint16_t>(s);
            }
            continue;
        }
        h[0] = static_cast<std::uint16_t>(3 * row[0] + row[1] + row[2]);
        h[1] = static_cast<std::uint16_t>(2 * row[0] + row[1] + row[2] + row[3]);
        for (int x = 2; x < w - 2; ++x)
            h[x] = static_cast<std::uint16_t>(row[x - 2] + row[x - 1] + row[x] + row[x + 1] + row[x + 2]);
        h[w - 2] = static_cast<std::uint16_t>(row[w - 4] + row[w - 3] + row[w - 2] + 2 * row[w - 1]);
        h[w - 1] = static_cast<std::uint16_t>(row[w - 3] + row[w - 2] + 3 * row[w - 1]);
    }
    for (int y = 0; y < height_; ++y) {
        const std::uint16_t* r[5];
        for (int dy = -2; dy <= 2; ++dy)
            r[dy + 2] = sums.data() + static_cast<size_t>(std::clamp(y + dy, 0, height_ - 1)) * w;
        std::uint8_t* out = data_.data() + static_cast<size_t>(y) * stride_;
        if (k == 255) {
            for (int x = 0; x < w; ++x) {
                const unsigned s = r[0][x] + r[1][x] + r[2][x] + r[3][x] + r[4][x];
                out[x] = static_cast<std::uint8_t>((s + 12) / 25);  // s / 25 never ends in a half
            }
        } else {
            for (int x = 0; x < w; ++x) {
                const unsigned s = r[0][x] + r[1][x] + r[2][x] + r[3][x] + r[4][x];
                const int b = static_cast<int>((s + 12) / 25);
                out[x] = static_cast<std::uint8_t>(out[x] + (((b - out[x]) * k) >> 8));
            }
        }
    }
}

void TSmoothMask::Spray(int amount, RandomSource& random) {
    amount = std::clamp(amount, 0, 100);
    for (int y = 0; y < height_; ++y) {
        std::uint8_t* out = data_.data() + static_cast<size_t>(y) * stride_;
        for (int x = 0; x < width_; ++x) {
            const int r = random.Below(amount + 1);
            const int sx = std::clamp(x + r - random.Below(2 * r), 0, width_ - 1);
            const int sy = std::clamp(y + r - random.Below(2 * r), 0, height_ - 1);
            out[x] = data_[static_cast<size_t>(sy) * stride_ + sx];
        }
    }
}

}  // namespace zl
