#include "aatext/smoothblend.h"

#include <QPainter>
#include <algorithm>
#include <array>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "aatext/canvas.h"
#include "aatext/smoothfont.h"
#include "aatext/smoothmask.h"

namespace zl {
namespace {

constexpr QImage::Format kFormat = QImage::Format_BGR888;

// Share of the ink per mask value, in 256ths: d = m * a256 below 256 keeps the pixel (0), the
// one full value 65280 takes the ink (256), the rest mix with k = d shr 8.
std::array<std::int16_t, 256> InkShares(int alpha) {
    const int a256 = std::clamp(alpha, 0, 100) * 256 / 100;
    std::array<std::int16_t, 256> shares{};
    for (int m = 0; m < 256; ++m) {
        const int d = m * a256;
        shares[m] = static_cast<std::int16_t>(d < 256 ? 0 : d >= 65280 ? 256 : d >> 8);
    }
    return shares;
}

#if defined(__SSE2__)
// 16 bytes p + floor((c - p) * k / 256), given k doubled: (c - p) * 128 times 2k, high half, is
// exact for k up to 256.
inline void Mix16(std::uint8_t* p, const std::uint8_t* c, const std::uint16_t* k2) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i pv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i cv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c));
    const __m128i pLo = _mm_unpacklo_epi8(pv, zero), pHi = _mm_unpackhi_epi8(pv, zero);
    const __m128i dLo = _mm_slli_epi16(_mm_sub_epi16(_mm_unpacklo_epi8(cv, zero), pLo), 7);
    const __m128i dHi = _mm_slli_epi16(_mm_sub_epi16(_mm_unpackhi_epi8(cv, zero), pHi), 7);
    const __m128i kLo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(k2));
    const __m128i kHi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(k2 + 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                     _mm_packus_epi16(_mm_add_epi16(pLo, _mm_mulhi_epi16(dLo, kLo)),
                                      _mm_add_epi16(pHi, _mm_mulhi_epi16(dHi, kHi))));
}
#endif

// Mixes `count` pixels in place: p + floor((c - p) * k / 256) per channel, k from the mask
// value through `shares`. Target and ink rows are 24-bit blue, green, red.
void MixRow(std::uint8_t* p, const std::uint8_t* ink, const std::uint8_t* m, int count,
            const std::array<std::int16_t, 256>& shares) {
    int i = 0;
#if defined(__SSE2__)
    // Sixteen pixels at a time; runs without ink (m = 0 keeps the pixel) are skipped whole.
    alignas(16) std::uint16_t k2[48];
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= count; i += 16) {
        const __m128i mv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(mv, zero)) == 0xFFFF) continue;
        for (int j = 0; j < 16; ++j) k2[3 * j] = k2[3 * j + 1] = k2[3 * j + 2] = static_cast<std::uint16_t>(shares[m[i + j]] * 2);
        std::uint8_t* pp = p + 3 * i;
        const std::uint8_t* cc = ink + 3 * i;
        Mix16(pp, cc, k2);
        Mix16(pp + 16, cc + 16, k2 + 16);
        Mix16(pp + 32, cc + 32, k2 + 32);
    }
#endif
    for (; i < count; ++i) {
        const int k = shares[m[i]];
        for (int c = 3 * i; c < 3 * i + 3; ++c) p[c] = static_cast<std::uint8_t>(p[c] + (((ink[c] - p[c]) * k) >> 8));
    }
}

void EnsureImage(QImage& image, int width, int height) {
    if (image.width() != width || image.height() != height || image.format() != kFormat)
        image = QImage(width, height, kFormat);
}

// The part of a width x height box at (x, y) that lies inside the image.
QRect Clip(const QImage& image, int x, int y, int width, int height) {
    return QRect(x, y, width, height).intersected(image.rect());
}

}  // namespace

void TSmoothBlend::Assign(const TSmoothBlend& source) {
    if (&source != this) foreBitmap_ = source.foreBitmap_.copy();
}

void TSmoothBlend::SizeForeBitmap(int width, int height) { EnsureImage(foreBitmap_, width, height); }

TCanvas* TSmoothBlend::TargetCanvas() const {
    TCanvas* canvas = owner_ ? owner_->Canvas() : nullptr;
    return canvas && canvas->Image() && !canvas->Image()->isNull() ? canvas : nullptr;
}

void TSmoothBlend::PrepareWork(TCanvas& canvas, int x, int y, int width, int height) {
    EnsureImage(workBitmap_, width, height);
    if (canvas.Brush.Style == TBrushStyle::bsSolid) {
        const std::uint32_t rgb = ColorToRGB(canvas.Brush.Color);
        workBitmap_.fill(QColor(RedOf(rgb), GreenOf(rgb), BlueOf(rgb)));
        return;
    }
    const QImage& target = *canvas.Image();
    const QRect inside = Clip(target, x, y, width, height);
    if (inside.isEmpty()) return;
    QPainter painter(&workBitmap_);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(inside.topLeft() - QPoint(x, y), target, inside);
}

void TSmoothBlend::PutWork(TCanvas& canvas, int x, int y) {
    QImage& target = *canvas.Image();
    const QRect inside = Clip(target, x, y, workBitmap_.width(), workBitmap_.height());
    if (inside.isEmpty()) return;
    QPainter painter(&target);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(inside.topLeft(), workBitmap_, inside.translated(-x, -y));
}

void TSmoothBlend::BlendColor(int x, int y, const TSmoothMask& mask, int alpha, TColor color) {
    TCanvas* canvas = TargetCanvas();
    if (!canvas || mask.Width() == 0 || mask.Height() == 0) return;
    const std::uint32_t rgb = ColorToRGB(color);
    std::vector<std::uint8_t> ink(static_cast<size_t>(mask.Width()) * 3);
    for (size_t i = 0; i < ink.size(); i += 3) {
        ink[i] = static_cast<std::uint8_t>(BlueOf(rgb));
        ink[i + 1] = static_cast<std::uint8_t>(GreenOf(rgb));
        ink[i + 2] = static_cast<std::uint8_t>(RedOf(rgb));
    }
    Composite(*canvas, x, y, mask, alpha, [&ink](int) { return ink.data(); });
}

void TSmoothBlend::BlendForeground(int x, int y, const TSmoothMask& mask, int alpha) {
    TCanvas* canvas = TargetCanvas();
    if (!canvas || mask.Width() == 0 || mask.Height() == 0) return;
    if (foreBitmap_.format() != kFormat || foreBitmap_.width() != mask.Width() ||
        foreBitmap_.height() != mask.Height())
        throw EInvalidForeBmp();
    const QImage& fore = foreBitmap_;
    Composite(*canvas, x, y, mask, alpha, [&fore](int row) { return fore.constScanLine(row); });
}

template <class InkRow>
void TSmoothBlend::Composite(TCanvas& canvas, int x, int y, const TSmoothMask& mask, int alpha, InkRow inkRow) {
    const auto shares = InkShares(alpha);
    QImage& target = *canvas.Image();
    if (target.format() != kFormat) {
        PrepareWork(canvas, x, y, mask.Width(), mask.Height());
        for (int row = 0; row < mask.Height(); ++row)
            MixRow(workBitmap_.scanLine(row), inkRow(row), mask.ScanLine(row), mask.Width(), shares);
        PutWork(canvas, x, y);
        return;
    }
    // A 24-bit canvas is blended in place: the same pixels as by way of the work bitmap.
    const QRect inside = Clip(target, x, y, mask.Width(), mask.Height());
    if (inside.isEmpty()) return;
    if (canvas.Brush.Style == TBrushStyle::bsSolid) {
        const std::uint32_t rgb = ColorToRGB(canvas.Brush.Color);
        QPainter painter(&target);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(inside, QColor(RedOf(rgb), GreenOf(rgb), BlueOf(rgb)));
    }
    const int dx = inside.left() - x;
    for (int row = inside.top(); row <= inside.bottom(); ++row)
        MixRow(target.scanLine(row) + inside.left() * 3, inkRow(row - y) + dx * 3, mask.ScanLine(row - y) + dx,
               inside.width(), shares);
}

}  // namespace zl
