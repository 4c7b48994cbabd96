#include "aatext/smoothblend.h"

#include <QPainter>
#include <algorithm>
#include <array>
#include <cstring>

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

inline std::uint8_t Mix(int p, int c, int k) { return static_cast<std::uint8_t>(p + (((c - p) * k) >> 8)); }

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
    if (target.format() == kFormat) {
        for (int row = inside.top(); row <= inside.bottom(); ++row)
            std::memcpy(workBitmap_.scanLine(row - y) + (inside.left() - x) * 3,
                        target.constScanLine(row) + inside.left() * 3, inside.width() * 3);
        return;
    }
    QPainter painter(&workBitmap_);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(inside.topLeft() - QPoint(x, y), target, inside);
}

void TSmoothBlend::PutWork(TCanvas& canvas, int x, int y) {
    QImage& target = *canvas.Image();
    const QRect inside = Clip(target, x, y, workBitmap_.width(), workBitmap_.height());
    if (inside.isEmpty()) return;
    if (target.format() == kFormat) {
        for (int row = inside.top(); row <= inside.bottom(); ++row)
            std::memcpy(target.scanLine(row) + inside.left() * 3,
                        workBitmap_.constScanLine(row - y) + (inside.left() - x) * 3, inside.width() * 3);
        return;
    }
    QPainter painter(&target);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(inside.topLeft(), workBitmap_, inside.translated(-x, -y));
}

void TSmoothBlend::BlendColor(int x, int y, const TSmoothMask& mask, int alpha, TColor color) {
    TCanvas* canvas = TargetCanvas();
    if (!canvas || mask.Width() == 0 || mask.Height() == 0) return;
    const std::uint32_t rgb = ColorToRGB(color);
    const int blue = BlueOf(rgb), green = GreenOf(rgb), red = RedOf(rgb);
    const auto shares = InkShares(alpha);
    PrepareWork(*canvas, x, y, mask.Width(), mask.Height());
    for (int row = 0; row < mask.Height(); ++row) {
        const std::uint8_t* m = mask.ScanLine(row);
        std::uint8_t* p = workBitmap_.scanLine(row);
        for (int i = 0; i < mask.Width(); ++i, p += 3) {
            const int k = shares[m[i]];
            p[0] = Mix(p[0], blue, k);
            p[1] = Mix(p[1], green, k);
            p[2] = Mix(p[2], red, k);
        }
    }
    PutWork(*canvas, x, y);
}

void TSmoothBlend::BlendForeground(int x, int y, const TSmoothMask& mask, int alpha) {
    TCanvas* canvas = TargetCanvas();
    if (!canvas || mask.Width() == 0 || mask.Height() == 0) return;
    if (foreBitmap_.format() != kFormat || foreBitmap_.width() != mask.Width() ||
        foreBitmap_.height() != mask.Height())
        throw EInvalidForeBmp();
    const auto shares = InkShares(alpha);
    PrepareWork(*canvas, x, y, mask.Width(), mask.Height());
    for (int row = 0; row < mask.Height(); ++row) {
        const std::uint8_t* m = mask.ScanLine(row);
        const std::uint8_t* c = foreBitmap_.constScanLine(row);
        std::uint8_t* p = workBitmap_.scanLine(row);
        for (int i = 0; i < mask.Width(); ++i, p += 3, c += 3) {
            const int k = shares[m[i]];
            p[0] = Mix(p[0], c[0], k);
            p[1] = Mix(p[1], c[1], k);
            p[2] = Mix(p[2], c[2], k);
        }
    }
    PutWork(*canvas, x, y);
}

}  // namespace zl
