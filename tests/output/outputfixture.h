#pragma once
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "output/ledoutputconfig.h"
#include "page/frmzorledform.h"
#include "support/scratchdir.h"
#include "widgets/zorledlabel.h"

namespace zl::testing {

// A scratch home for the test's lifetime.
class HomeScope {
public:
    explicit HomeScope(const std::string& prefix) : dir_(prefix) { ::setenv("ZORLED_HOME", dir_.path().c_str(), 1); }
    ~HomeScope() { ::unsetenv("ZORLED_HOME"); }
    const std::filesystem::path& path() const { return dir_.path(); }

private:
    ScratchDir dir_;
};

// A 64 x 40 page with a coloured ground and two labels in other colours, so every region of it
// shows pixels that differ from their neighbours.
inline std::unique_ptr<TFrmZorLedForm> MakeTestPage() {
    std::unique_ptr<TFrmZorLedForm> page(CreatePageWindow("LedDesignWin"));
    page->SetColor(0x00204080);
    page->SetClientWidth(64);
    page->SetClientHeight(40);
    const struct {
        int left, top;
        TColor ground, ink;
        const char* text;
    } labels[] = {{2, 2, 0x000000FF, 0x00FFFF00, "LED 42"}, {20, 18, 0x0000FF00, 0x00FF00FF, "Zor"}};
    for (const auto& l : labels) {
        auto* label = static_cast<Tzorledlabel*>(page->CreateWidget(wkLabel));
        label->SetAutoSize(false);
        label->SetBounds(l.left, l.top, 40, 18);
        label->SetColor(l.ground);
        label->Font().SetColor(l.ink);
        label->Font().SetHeight(-14);
        label->SetCaption(l.text);
    }
    return page;
}

// The page's client area as the screen shows it.
inline QImage PagePixels(TFrmZorLedForm& page) {
    return page.grab(QRect(0, 0, page.ClientWidth(), page.ClientHeight())).toImage().convertToFormat(QImage::Format_RGB32);
}

// Where region pixel (x, y) sits in the chain, worked out from the corner and line rules.
inline int ChainIndex(const LedOutputConfig& o, int x, int y) {
    const bool right = o.start == PanelStart::TopRight || o.start == PanelStart::BottomRight;
    const bool bottom = o.start == PanelStart::BottomLeft || o.start == PanelStart::BottomRight;
    const int col = right ? o.width - 1 - x : x;
    const int row = bottom ? o.height - 1 - y : y;
    const int line = o.columns ? col : row;
    const int length = o.columns ? o.height : o.width;
    int along = o.columns ? row : col;
    if (o.serpentine && line % 2 == 1) along = length - 1 - along;
    return line * length + along;
}

// The wire bytes an output must carry for a picture of the page, computed independently.
inline std::vector<std::uint8_t> ExpectedWire(const QImage& page, const LedOutputConfig& o) {
    int level[256];
    for (int v = 0; v < 256; ++v)
        level[v] = static_cast<int>(std::floor(255.0 * std::pow(v / 255.0, o.gamma) * o.brightness / 100.0 + 0.5));
    const std::string order(ColorOrderName(o.colors));
    std::vector<std::uint8_t> wire(static_cast<size_t>(o.PixelCount()) * 3);
    for (int y = 0; y < o.height; ++y)
        for (int x = 0; x < o.width; ++x) {
            const QPoint at(o.x + x, o.y + y);
            const QRgb rgb = page.rect().contains(at) ? page.pixel(at) : qRgb(0, 0, 0);
            const size_t i = static_cast<size_t>(ChainIndex(o, x, y)) * 3;
            for (int k = 0; k < 3; ++k) {
                const int v = order[k] == 'R' ? qRed(rgb) : order[k] == 'G' ? qGreen(rgb) : qBlue(rgb);
                wire[i + k] = static_cast<std::uint8_t>(level[v]);
            }
        }
    return wire;
}

inline unsigned Be16(const std::vector<std::uint8_t>& p, size_t at) { return p[at] << 8 | p[at + 1]; }
inline unsigned Be32(const std::vector<std::uint8_t>& p, size_t at) { return Be16(p, at) << 16 | Be16(p, at + 2); }

}  // namespace zl::testing
