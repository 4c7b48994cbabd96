#pragma once
#include <QImage>
#include <deque>
#include <string>
#include <vector>

#include "aatext/canvas.h"
#include "aatext/randomsource.h"
#include "aatext/smoothmask.h"
#include "core/codepage.h"

namespace zl::test {

// Hands out scripted draws, then zeros; remembers every bound asked for.
class ScriptedRandom : public RandomSource {
public:
    explicit ScriptedRandom(std::deque<int> draws = {}) : draws_(std::move(draws)) {}
    int Below(int n) override {
        bounds.push_back(n);
        if (draws_.empty()) return 0;
        const int v = draws_.front();
        draws_.pop_front();
        return v;
    }
    std::vector<int> bounds;

private:
    std::deque<int> draws_;
};

// A mask filled from rows of values, for filter tests that need no font.
inline void FillMask(TSmoothMask& mask, const std::vector<std::vector<int>>& rows) {
    mask.SetSize(rows.empty() ? 0 : static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < rows[r].size(); ++c) mask.ScanLine(static_cast<int>(r))[c] = static_cast<std::uint8_t>(rows[r][c]);
}

inline std::vector<std::vector<int>> MaskRows(const TSmoothMask& mask) {
    std::vector<std::vector<int>> rows(mask.Height());
    for (int r = 0; r < mask.Height(); ++r) rows[r].assign(mask.ScanLine(r), mask.ScanLine(r) + mask.Width());
    return rows;
}

inline QImage Canvas24(int width, int height, QColor fill = Qt::black) {
    QImage image(width, height, QImage::Format_BGR888);
    image.fill(fill);
    return image;
}

// Bytes of pixel (x, y) of a 24-bit image as blue, green, red.
inline std::vector<int> Bgr(const QImage& image, int x, int y) {
    const std::uint8_t* p = image.constScanLine(y) + x * 3;
    return {p[0], p[1], p[2]};
}

// The file fontconfig picks for a family, "" where it has none; `index` gets the face's index
// within a collection.
std::string FontFileOf(const char* family, int* index = nullptr);

inline void SetFont(TFont& font, const char* utf8Name, int height, TColor color = clWhite) {
    font.SetName(Utf8ToGbk(utf8Name));
    font.SetHeight(height);
    font.SetColor(color);
}

inline TColor MakeColor(int red, int green, int blue) { return red | (green << 8) | (blue << 16); }
inline TColor MakeGrey(int level) { return level | (level << 8) | (level << 16); }

// Counts and locates differing pixels, for readable failure messages.
std::string DescribeDifference(const QImage& expected, const QImage& actual);

}  // namespace zl::test
