#include "aatext/smoothblend.h"

#include <QPainter>
#include <algorithm>
#include <array>
#include <new>
#include <vector>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "aatext/canvas.h"
#include "aatext/smoothfont.h"
#include "aatext/smoothmask.h"

namespace zl {
namespace {

constexpr QImage::Format kFormat = QImage::Format_BGR888;

// Share of the ink per mask value, in 256ths: d = m * a256 below 256 keeps the pixel (0), the
// one full value 65280 takes the ink (256), the rest mix with k = d shr 8.
int A256(int alpha) { return std::clamp(alpha, 0, 100) * 256 / 100; }

std::array<std::int16_t, 256> InkShares(int a256) {
    std::array<std::int16_t, 256> shares{};
    for (int m = 0; m < 256; ++m) {
        const int d = m * a256;
        shares[m] = static_cast<std::int16_t>(d < 256 ? 0 : d >= 65280 ? 256 : d >> 8);
    }
    return shares;
}

void MixPixels(std::uint8_t* p, const std::uint8_t* ink, const std::uint8_t* m, int count,
               const std::array<std::int16_t, 256>& shares) {
    for (int i = 0; i < count; ++i) {
        const int k = shares[m[i]];
        for (int c = 3 * i; c < 3 * i + 3; ++c) p[c] = static_cast<std::uint8_t>(p[c] + (((ink[c] - p[c]) * k) >> 8));
    }
}

#if defined(__x86_64__) || defined(__i386__)
#define ZL_BLEND_SSSE3 1
// 16 bytes p + floor((c - p) * k / 256), given k doubled: (c - p) * 128 times 2k, high half, is
// exact for k up to 256.
__attribute__((target("ssse3"))) inline __m128i Mix16(__m128i pv, __m128i cv, __m128i kLo, __m128i kHi) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i pLo = _mm_unpacklo_epi8(pv, zero), pHi = _mm_unpackhi_epi8(pv, zero);
    const __m128i dLo = _mm_slli_epi16(_mm_sub_epi16(_mm_unpacklo_epi8(cv, zero), pLo), 7);
    const __m128i dHi = _mm_slli_epi16(_mm_sub_epi16(_mm_unpackhi_epi8(cv, zero), pHi), 7);
    return _mm_packus_epi16(_mm_add_epi16(pLo, _mm_mulhi_epi16(dLo, kLo)), _mm_add_epi16(pHi, _mm_mulhi_epi16(dHi, kHi)));
}

// Doubled k of eight mask values: d = m * a256; d shr 8, and 256 for the one full value.
__attribute__((target("ssse3"))) inline __m128i DoubledShares(__m128i m16, __m128i a256) {
    const __m128i d = _mm_mullo_epi16(m16, a256);
    const __m128i k = _mm_sub_epi16(_mm_srli_epi16(d, 8), _mm_cmpeq_epi16(d, _mm_set1_epi16(static_cast<short>(65280))));
    return _mm_slli_epi16(k, 1);
}

// Sixteen pixels at a time, each k spread over its three channels by byte shuffles; runs
// without ink (m = 0 keeps the pixel) are skipped whole.
__attribute__((target("ssse3"))) int MixRowSsse3(std::uint8_t* p, const std::uint8_t* ink, const std::uint8_t* m,
                                                 int count, int a256) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i alpha = _mm_set1_epi16(static_cast<short>(a256));
    const __m128i spread0 = _mm_setr_epi8(0, 1, 0, 1, 0, 1, 2, 3, 2, 3, 2, 3, 4, 5, 4, 5);
    const __m128i spread1 = _mm_setr_epi8(4, 5, 6, 7, 6, 7, 6, 7, 8, 9, 8, 9, 8, 9, 10, 11);
    const __m128i spread2 = _mm_setr_epi8(10, 11, 10, 11, 12, 13, 12, 13, 12, 13, 14, 15, 14, 15, 14, 15);
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i mv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(mv, zero)) == 0xFFFF) continue;
        const __m128i kLo = DoubledShares(_mm_unpacklo_epi8(mv, zero), alpha);
        const __m128i kHi = DoubledShares(_mm_unpackhi_epi8(mv, zero), alpha);
        const __m128i k[6] = {_mm_shuffle_epi8(kLo, spread0), _mm_shuffle_epi8(kLo, spread1),
                              _mm_shuffle_epi8(kLo, spread2), _mm_shuffle_epi8(kHi, spread0),
                              _mm_shuffle_epi8(kHi, spread1), _mm_shuffle_epi8(kHi, spread2)};
        for (int part = 0; part < 3; ++part) {
            __m128i* pp = reinterpret_cast<__m128i*>(p + 3 * i + 16 * part);
            const __m128i cv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ink + 3 * i + 16 * part));
            _mm_storeu_si128(pp, Mix16(_mm_loadu_si128(pp), cv, k[2 * part], k[2 * part + 1]));
        }
    }
    return i;
}
#endif

// Mixes `count` pixels in place: p + floor((c - p) * k / 256) per channel, k from the mask
// value through `shares`. Target and ink rows are 24-bit blue, green, red.
void MixRow(std::uint8_t* p, const std::uint8_t* ink, const std::uint8_t* m, int count,
            const std::array<std::int16_t, 256>& shares, int a256) {
    int done = 0;
#if ZL_BLEND_SSSE3
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) done = MixRowSsse3(p, ink, m, count, a256);
#endif
    MixPixels(p + 3 * done, ink + 3 * done, m + done, count - done, shares);
}

void EnsureImage(QImage& image, int width, int height) {
    if (image.width() != width || image.height() != height || image.format() != kFormat) {
        image = QImage(width, height, kFormat);
        if (image.isNull() && width > 0 && height > 0)
            throw Error(Format("Not enough memory for a bitmap of %d x %d pixels.", width, height));
    }
}

// The part of a width x height box at (x, y) that lies inside the image, reckoned in 64 bits so
// that boxes near the ends of the coordinate range do not wrap round.
QRect Clip(const QImage& image, int x, int y, int width, int height) {
    const std::int64_t left = std::max<std::int64_t>(x, 0), top = std::max<std::int64_t>(y, 0);
    const std::int64_t right = std::min<std::int64_t>(std::int64_t{x} + width, image.width());
    const std::int64_t bottom = std::min<std::int64_t>(std::int64_t{y} + height, image.height());
    if (left >= right || top >= bottom) return QRect();
    return QRect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                 static_cast<int>(bottom - top));
}

// A position inside a clipped box relative to the box's corner; it fits in an int because the
// clipped part lies within the box.
QPoint Offset(const QRect& inside, int x, int y) {
    return QPoint(static_cast<int>(std::int64_t{inside.left()} - x), static_cast<int>(std::int64_t{inside.top()} - y));
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
    painter.drawImage(Offset(inside, x, y), target, inside);
}

void TSmoothBlend::PutWork(TCanvas& canvas, int x, int y) {
    QImage& target = *canvas.Image();
    const QRect inside = Clip(target, x, y, workBitmap_.width(), workBitmap_.height());
    if (inside.isEmpty()) return;
    QPainter painter(&target);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(inside.topLeft(), workBitmap_, QRect(Offset(inside, x, y), inside.size()));
}

void TSmoothBlend::BlendColor(int x, int y, const TSmoothMask& mask, int alpha, TColor color) {
    TCanvas* canvas = TargetCanvas();
    if (!canvas || mask.Width() == 0 || mask.Height() == 0) return;
    const std::uint32_t rgb = ColorToRGB(color);
    std::vector<std::uint8_t> ink;
    try {
        ink.resize(static_cast<size_t>(mask.Width()) * 3);
    } catch (const std::bad_alloc&) {
        throw Error(Format("Not enough memory to draw text of %d x %d pixels.", mask.Width(), mask.Height()));
    }
    for (size_t i = 0; i < ink.size(); i += 3) {
        ink[i] = static_cast<std::uint8_t>(BlueOf(rgb));
        ink[i + 1] = static_cast<std::uint8_t>(GreenOf(rgb));
        ink[i + 2] = static_cast<std::uint8_t>(RedOf(rgb));
    }
    Composite(*canvas, x, y, mask, alpha, [&ink](int) { return ink.data(); });
}

void TSmoothBlend::BlendForeground(int x, int y, const TSmoothMask& mask, int alpha) {
    TCanvas* canvas = TargetCanvas();
    if (!canvas) return;
    const bool empty = mask.Width() == 0 || mask.Height() == 0;
    // A bitmap of no pixels has no depth either: it matches an empty mask.
    if ((foreBitmap_.format() != kFormat && !(empty && foreBitmap_.isNull())) ||
        foreBitmap_.width() != mask.Width() || foreBitmap_.height() != mask.Height())
        throw EInvalidForeBmp();
    if (empty) return;
    const QImage& fore = foreBitmap_;
    Composite(*canvas, x, y, mask, alpha, [&fore](int row) { return fore.constScanLine(row); });
}

template <class InkRow>
void TSmoothBlend::Composite(TCanvas& canvas, int x, int y, const TSmoothMask& mask, int alpha, InkRow inkRow) {
    const int a256 = A256(alpha);
    const auto shares = InkShares(a256);
    QImage& target = *canvas.Image();
    if (target.format() != kFormat) {
        PrepareWork(canvas, x, y, mask.Width(), mask.Height());
        for (int row = 0; row < mask.Height(); ++row)
            MixRow(workBitmap_.scanLine(row), inkRow(row), mask.ScanLine(row), mask.Width(), shares, a256);
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
    const QPoint offset = Offset(inside, x, y);
    for (int row = 0; row < inside.height(); ++row)
        MixRow(target.scanLine(inside.top() + row) + inside.left() * 3, inkRow(offset.y() + row) + offset.x() * 3,
               mask.ScanLine(offset.y() + row) + offset.x(), inside.width(), shares, a256);
}

}  // namespace zl
