#include "aatext/smoothfontex.h"

#include <QPainter>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <vector>

#include "aatext/canvas.h"
#include "aatext/randomsource.h"

namespace zl {
namespace {

struct Rgb {
    int red, green, blue;
};

Rgb Channels(TColor color) {
    const std::uint32_t rgb = ColorToRGB(color);
    return {RedOf(rgb), GreenOf(rgb), BlueOf(rgb)};
}

std::uint8_t Clamp255(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

// A position moved by a shadow offset, held in range: past the end of the coordinate range
// nothing is visible anyway.
int Moved(int position, int by) {
    return static_cast<int>(std::clamp<std::int64_t>(std::int64_t{position} + by, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

}  // namespace

RandomSource& TSmoothFontEx::Random() const { return random_ ? *random_ : ProcessRandom(); }

int TSmoothFontEx::TextWidth(std::string_view text) const {
    const int width = TSmoothFont::TextWidth(text);
    return effect_.Shadow().Enabled() ? Moved(width, std::abs(effect_.Shadow().OffsetX())) : width;
}

int TSmoothFontEx::TextHeight(std::string_view text) const {
    const int height = TSmoothFont::TextHeight(text);
    return effect_.Shadow().Enabled() ? Moved(height, std::abs(effect_.Shadow().OffsetY())) : height;
}

void TSmoothFontEx::TextOut(int x, int y, std::string_view text) {
    TCanvas* canvas = Canvas();
    if (!canvas || text.empty()) return;
    const TSmoothShadow& shadow = effect_.Shadow();
    const bool shadowed = shadow.Enabled();
    int textX = x, textY = y;
    if (shadowed) {
        textX = Moved(x, std::max(0, -shadow.OffsetX()));
        textY = Moved(y, std::max(0, -shadow.OffsetY()));
    }

    TSmoothMask& mask = Mask();
    mask.DrawText(text);
    if (effect_.Outline()) mask.Outline();
    if (effect_.Spray() > 0) mask.Spray(effect_.Spray(), Random());

    // The brush style comes back even when a step below fails.
    struct BrushKeeper {
        TCanvas& canvas;
        TBrushStyle style;
        ~BrushKeeper() { canvas.Brush.Style = style; }
    } keeper{*canvas, canvas->Brush.Style};
    try {
        Ink(x, y, textX, textY);
    } catch (const std::bad_alloc&) {
        throw Error(Format("Not enough memory to draw text of %d x %d pixels.", mask.Width(), mask.Height()));
    }
}

void TSmoothFontEx::Ink(int x, int y, int textX, int textY) {
    TCanvas* canvas = Canvas();
    TSmoothMask& mask = Mask();
    const TSmoothShadow& shadow = effect_.Shadow();
    if (shadow.Enabled()) {
        TSmoothMask copy(this);
        copy.Assign(mask);
        if (shadow.Blur() > 0) copy.Blur(shadow.Blur());
        Blend().BlendColor(Moved(x, std::max(0, shadow.OffsetX())), Moved(y, std::max(0, shadow.OffsetY())), copy,
                           effect_.Alpha() * shadow.Alpha() / 100, shadow.Color());
        // The text lies over its shadow.
        canvas->Brush.Style = TBrushStyle::bsClear;
    }

    if (effect_.Blur() > 0) mask.Blur(effect_.Blur());

    const TSmoothTexture& texture = effect_.Texture();
    if (texture.Enabled() && !texture.Picture().Image().isNull()) {
        TextureFill();
        if (effect_.Noise() > 0) AddNoise();
        Blend().BlendForeground(textX, textY, mask, effect_.Alpha());
    } else if (effect_.Gradual().Enabled()) {
        GradualFill();
        if (effect_.Noise() > 0) AddNoise();
        Blend().BlendForeground(textX, textY, mask, effect_.Alpha());
    } else if (effect_.Noise() > 0) {
        NoiseFill();
        Blend().BlendForeground(textX, textY, mask, effect_.Alpha());
    } else {
        Blend().BlendColor(textX, textY, mask, effect_.Alpha(), canvas->Font.Color());
    }
}

void TSmoothFontEx::TextureFill() {
    const int w = Mask().Width(), h = Mask().Height();
    Blend().SizeForeBitmap(w, h);
    QImage& fore = Blend().ForeBitmap();
    if (fore.isNull()) return;
    const Rgb ink = Channels(Canvas() ? Canvas()->Font.Color() : clBlack);
    fore.fill(QColor(ink.red, ink.green, ink.blue));
    const QImage& graphic = effect_.Texture().Picture().Image();
    if (graphic.isNull()) return;
    const int gw = graphic.width(), gh = graphic.height();
    QPainter painter(&fore);
    switch (effect_.Texture().Mode()) {
        case tmTiled:
            for (int i = 0; i <= h / gh; ++i)
                for (int j = 0; j <= w / gw; ++j) painter.drawImage(gw * j, gh * i, graphic);
            break;
        case tmStretched:
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(QRect(0, 0, w, h), graphic);
            break;
        case tmCenter:
            painter.drawImage((w - gw) / 2, (h - gh) / 2, graphic);
            break;
        case tmNormal:
            painter.drawImage(0, 0, graphic);
            break;
    }
}

void TSmoothFontEx::GradualFill() {
    const int w = Mask().Width(), h = Mask().Height();
    Blend().SizeForeBitmap(w, h);
    QImage& fore = Blend().ForeBitmap();
    if (fore.isNull()) return;
    const TSmoothGradual& gradual = effect_.Gradual();
    const TGradualStyle style = gradual.Style();
    const bool horizontal = style == gsLeftToRight || style == gsRightToLeft || style == gsCenterToLR;
    const bool centred = style == gsCenterToLR || style == gsCenterToTB;
    const bool forward = style == gsLeftToRight || style == gsTopToBottom;
    const Rgb first = Channels(forward ? gradual.StartColor() : gradual.EndColor());
    const Rgb last = Channels(forward ? gradual.EndColor() : gradual.StartColor());

    const int length = horizontal ? w : h;
    const int steps = centred ? (length + 1) / 2 : length;
    // Ramp entries as blue, green, red bytes; the last colour itself is never reached.
    std::vector<std::uint8_t> ramp(static_cast<size_t>(length) * 3);
    for (int i = 0; i < steps; ++i) {
        ramp[i * 3] = static_cast<std::uint8_t>(first.blue + i * (last.blue - first.blue) / steps);
        ramp[i * 3 + 1] = static_cast<std::uint8_t>(first.green + i * (last.green - first.green) / steps);
        ramp[i * 3 + 2] = static_cast<std::uint8_t>(first.red + i * (last.red - first.red) / steps);
    }
    if (centred)
        for (int i = 0; i < steps; ++i)
            std::copy_n(&ramp[i * 3], 3, &ramp[(length - 1 - i) * 3]);

    for (int row = 0; row < h; ++row) {
        std::uint8_t* out = fore.scanLine(row);
        if (horizontal) {
            std::copy(ramp.begin(), ramp.end(), out);
        } else {
            for (int col = 0; col < w; ++col) std::copy_n(&ramp[row * 3], 3, out + col * 3);
        }
    }
}

void TSmoothFontEx::NoiseFill() {
    const int w = Mask().Width(), h = Mask().Height();
    Blend().SizeForeBitmap(w, h);
    QImage& fore = Blend().ForeBitmap();
    if (fore.isNull()) return;
    const int n = effect_.Noise();
    const Rgb ink = Channels(Canvas() ? Canvas()->Font.Color() : clBlack);
    RandomSource& random = Random();
    for (int row = 0; row < h; ++row) {
        std::uint8_t* out = fore.scanLine(row);
        for (int col = 0; col < w; ++col, out += 3) {
            out[2] = Clamp255(ink.red + random.Below(n) - n / 2);
            out[1] = Clamp255(ink.green + random.Below(n) - n / 2);
            out[0] = Clamp255(ink.blue + random.Below(n) - n / 2);
        }
    }
}

void TSmoothFontEx::AddNoise() {
    const int w = Mask().Width(), h = Mask().Height();
    Blend().SizeForeBitmap(w, h);
    QImage& fore = Blend().ForeBitmap();
    if (fore.isNull()) return;
    const int n = effect_.Noise();
    RandomSource& random = Random();
    for (int row = 0; row < h; ++row) {
        std::uint8_t* out = fore.scanLine(row);
        for (int i = 0; i < w * 3; ++i) out[i] = Clamp255(out[i] + random.Below(n) - n / 2);
    }
}

}  // namespace zl
