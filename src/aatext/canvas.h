#pragma once
#include <QImage>
#include <QRect>
#include <string_view>

#include "core/props/color.h"
#include "core/props/font.h"

class QFont;
class QPainter;

namespace zl {

enum class TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal,
                         bsCross, bsDiagCross };

struct TCanvasBrush {
    TColor Color = clWhite;
    TBrushStyle Style = TBrushStyle::bsSolid;
};

// The Qt font that draws `font` with its height multiplied by `scale`; the stored name goes
// through the installed substitutions.
QFont MakeQFont(const TFont& font, int scale = 1);

// Measures as a canvas does: the advance of the text run and the cell height.
int MeasureTextWidth(const TFont& font, int scale, std::string_view text);
int MeasureTextHeight(const TFont& font, int scale);

// The plain text output: the cell's top-left corner at (x, y), ink in `color`.
void DrawTextRun(QPainter& painter, const TFont& font, int scale, TColor color, int x, int y,
                 std::string_view text);

// A drawing surface on a bitmap it does not own, with the font and brush of a canvas.
class TCanvas {
public:
    explicit TCanvas(QImage* image = nullptr) : image_(image) {}

    QImage* Image() const { return image_; }
    void SetImage(QImage* image) { image_ = image; }

    int TextWidth(std::string_view text) const { return MeasureTextWidth(Font, 1, text); }
    int TextHeight(std::string_view) const { return MeasureTextHeight(Font, 1); }
    // With a solid brush the text's cell is filled with the brush colour first.
    void TextOut(int x, int y, std::string_view text);
    void FillRect(const QRect& rect);
    void Draw(int x, int y, const QImage& graphic);
    void StretchDraw(const QRect& rect, const QImage& graphic);

    TFont Font;
    TCanvasBrush Brush;

private:
    QImage* image_;
};

}  // namespace zl
