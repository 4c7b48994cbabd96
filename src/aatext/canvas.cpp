#include "aatext/canvas.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/props/enums.h"
#include "qtbase/qtstrings.h"

namespace zl {
namespace {

QColor ToQColor(TColor color) {
    const std::uint32_t rgb = ColorToRGB(color);
    return QColor(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
}

// A positive height is the cell height (ascent plus descent); find the glyph size that fills it.
int PixelSizeForCellHeight(QFont font, int cellHeight) {
    constexpr int kProbe = 1000;
    font.setPixelSize(kProbe);
    const QFontMetricsF metrics(font);
    const double cell = metrics.ascent() + metrics.descent();
    if (cell <= 0) return cellHeight;
    return std::max(1, static_cast<int>(std::lround(cellHeight * kProbe / cell)));
}

}  // namespace

QFont MakeQFont(const TFont& source, int scale) {
    QFont font(Q(source.Name()));
    font.setBold(source.Style() & Bit(fsBold));
    font.setItalic(source.Style() & Bit(fsItalic));
    font.setUnderline(source.Style() & Bit(fsUnderline));
    font.setStrikeOut(source.Style() & Bit(fsStrikeOut));
    // Glyphs advance by their own widths, as the plain text output of a canvas does.
    font.setKerning(false);
    const int height = std::clamp(source.Height(), -kFontHeightLimit, kFontHeightLimit) * scale;
    if (height < 0)
        font.setPixelSize(-height);
    else if (height > 0)
        font.setPixelSize(PixelSizeForCellHeight(font, height));
    else
        font.setPixelSize(13 * scale);
    return font;
}

int MeasureTextWidth(const TFont& font, int scale, std::string_view text) {
    if (text.empty()) return 0;
    return QFontMetrics(MakeQFont(font, scale)).horizontalAdvance(Q(text));
}

int MeasureTextHeight(const TFont& font, int scale) { return QFontMetrics(MakeQFont(font, scale)).height(); }

void DrawTextRun(QPainter& painter, const TFont& source, int scale, TColor color, int x, int y,
                 std::string_view text) {
    const QFont font = MakeQFont(source, scale);
    painter.setFont(font);
    painter.setPen(ToQColor(color));
    painter.drawText(QPointF(x, static_cast<double>(y) + QFontMetrics(font).ascent()), Q(text));
}

void TCanvas::TextOut(int x, int y, std::string_view text) {
    if (!image_ || image_->isNull()) return;
    QPainter painter(image_);
    if (Brush.Style == TBrushStyle::bsSolid) {
        // The cell reckoned in 64 bits, so text near the end of the coordinate range does not wrap.
        const std::int64_t right = std::min<std::int64_t>(std::int64_t{x} + TextWidth(text), image_->width());
        const std::int64_t bottom = std::min<std::int64_t>(std::int64_t{y} + TextHeight(text), image_->height());
        const int left = std::max(x, 0), top = std::max(y, 0);
        if (left < right && top < bottom)
            painter.fillRect(QRect(left, top, static_cast<int>(right - left), static_cast<int>(bottom - top)),
                             ToQColor(Brush.Color));
    }
    DrawTextRun(painter, Font, 1, Font.Color(), x, y, text);
}

void TCanvas::FillRect(const QRect& rect) {
    if (!image_ || image_->isNull()) return;
    QPainter painter(image_);
    painter.fillRect(rect, ToQColor(Brush.Color));
}

void TCanvas::Draw(int x, int y, const QImage& graphic) {
    if (!image_ || image_->isNull() || graphic.isNull()) return;
    QPainter painter(image_);
    painter.drawImage(x, y, graphic);
}

void TCanvas::StretchDraw(const QRect& rect, const QImage& graphic) {
    if (!image_ || image_->isNull() || graphic.isNull()) return;
    QPainter painter(image_);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect, graphic);
}

}  // namespace zl
