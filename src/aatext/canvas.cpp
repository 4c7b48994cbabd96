#include "aatext/canvas.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <cmath>

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
    const int height = source.Height() * scale;
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
    painter.drawText(QPoint(x, y + QFontMetrics(font).ascent()), Q(text));
}

void TCanvas::TextOut(int x, int y, std::string_view text) {
    if (!image_ || image_->isNull()) return;
    QPainter painter(image_);
    if (Brush.Style == TBrushStyle::bsSolid)
        painter.fillRect(QRect(x, y, TextWidth(text), TextHeight(text)), ToQColor(Brush.Color));
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
