#pragma once
#include <QImage>
#include <QRect>
#include <string>
#include <string_view>

#include "core/props/color.h"

class QFont;
class QPainter;

namespace zl {

enum class TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal,
                         bsCross, bsDiagCross };

// A canvas font: Height < 0 is the pixel size of the glyphs, > 0 the cell height.
struct TCanvasFont {
    std::string Name = "MS Sans Serif";  // GBK, as page files keep it
    int Height = -11;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    TColor Color = 0;
    int Charset = 1;
};

struct TCanvasBrush {
    TColor Color = 0xFFFFFF;
    TBrushStyle Style = TBrushStyle::bsSolid;
};

// The Qt font that draws `font`; the stored name goes through the installed substitutions.
QFont MakeQFont(const TCanvasFont& font);

// Measures as the canvas does, without a canvas: the width of the text run and the cell height.
int MeasureTextWidth(const TCanvasFont& font, std::string_view text);
int MeasureTextHeight(const TCanvasFont& font, std::string_view text);

// The plain text output: the cell's top-left corner at (x, y), ink in the font colour.
void DrawTextRun(QPainter& painter, const TCanvasFont& font, int x, int y, std::string_view text);

// A drawing surface on a bitmap it does not own, with the font and brush state of a canvas.
class TCanvas {
public:
    explicit TCanvas(QImage* image = nullptr) : image_(image) {}

    QImage* Image() const { return image_; }
    void SetImage(QImage* image) { image_ = image; }

    int TextWidth(std::string_view text) const { return MeasureTextWidth(Font, text); }
    int TextHeight(std::string_view text) const { return MeasureTextHeight(Font, text); }
    // With a solid brush the text's cell is filled with the brush colour first.
    void TextOut(int x, int y, std::string_view text);
    void FillRect(const QRect& rect);
    void Draw(int x, int y, const QImage& graphic);
    void StretchDraw(const QRect& rect, const QImage& graphic);

    TCanvasFont Font;
    TCanvasBrush Brush;

private:
    QImage* image_;
};

}  // namespace zl
