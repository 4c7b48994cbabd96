#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>

#include "aatext/canvas.h"
#include "aatext/smoothfont.h"
#include "core/props/enums.h"
#include "testsupport.h"

namespace zl {
namespace {

using test::FillMask;
using test::MaskRows;
using Rows = std::vector<std::vector<int>>;

class MaskTest : public ::testing::Test {
protected:
    MaskTest() { test::SetFont(canvas.Font, "宋体", -20); }
    QImage target = test::Canvas24(200, 60);
    TCanvas canvas{&target};
    TSmoothFont font{&canvas};
    TSmoothMask& mask = font.Mask();
};

// One supersampled block in the second row of a mask wide enough for whole groups of columns
// and a remainder, put at each column in turn; the rest stays empty, so a block read from the
// wrong place shows.
TEST(ReduceSupersampled, WeighsEachBlockAsItsQualitySays) {
    struct Case {
        TSmoothQuality quality;
        std::vector<int> block;  // row by row, Scale x Scale samples
        int expected;
    } cases[] = {
        {TSmoothQuality::aqHigh, std::vector<int>(16, 255), 255},
        {TSmoothQuality::aqHigh, {255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 15},
        {TSmoothQuality::aqHigh, {255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0}, 127},
        {TSmoothQuality::aqNormal, std::vector<int>(9, 255), 254},
        {TSmoothQuality::aqNormal, {255, 0, 0, 0, 0, 0, 0, 0, 0}, 31},
        {TSmoothQuality::aqNormal, {0, 0, 255, 0, 0, 0, 0, 0, 0}, 15},   // half weight, top right
        {TSmoothQuality::aqNormal, {0, 0, 0, 0, 0, 0, 255, 0, 0}, 15},   // half weight, bottom left
        {TSmoothQuality::aqNormal, {0, 0, 0, 0, 0, 0, 0, 0, 255}, 31},
        {TSmoothQuality::aqNormal, {0, 0, 1, 0, 0, 0, 1, 0, 0}, 0},      // halves shift before adding
        {TSmoothQuality::aqNormal, {0, 0, 3, 0, 0, 0, 5, 0, 0}, 0},      // and round up
        {TSmoothQuality::aqNormal, {0, 255, 7, 0, 0, 0, 9, 0, 0}, 32},   // (271 - 4 - 5) / 8
        {TSmoothQuality::aqNormal, {0, 0, 0, 0, 255, 0, 0, 0, 0}, 31},
        {TSmoothQuality::aqLow, {255, 255, 255, 255}, 255},
        {TSmoothQuality::aqLow, {0, 0, 0, 255}, 63},
        {TSmoothQuality::aqNone, {200}, 200},
    };
    constexpr int kWidth = 37, kStride = 40;
    for (const Case& c : cases)
        for (int at = 0; at < kWidth; ++at) {
            const int s = ScaleOf(c.quality);
            QImage work(kWidth * s, 2 * s, QImage::Format_Grayscale8);
            work.fill(0);
            for (int i = 0; i < s * s; ++i)
                work.scanLine(s + i / s)[at * s + i % s] = static_cast<std::uint8_t>(c.block[i]);
            std::vector<std::uint8_t> out(2 * kStride, 9);
            ReduceSupersampled(work, c.quality, out.data(), kStride, kWidth, 2);
            SCOPED_TRACE(testing::Message() << "quality " << static_cast<int>(c.quality) << ", column " << at
                                            << ", expected " << c.expected);
            int elsewhere = 0;
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < kWidth; ++x)
                    if (y == 0 || x != at) elsewhere += out[y * kStride + x];
            ASSERT_EQ(out[kStride + at], c.expected);
            ASSERT_EQ(elsewhere, 0);
            ASSERT_EQ(out[kWidth], 9) << "padding written";
        }
}

TEST_F(MaskTest, FullCoverageReaches254OnlyUnderNormalQuality) {
    canvas.Font.SetHeight(-48);
    const std::string square = Utf8ToGbk("■");
    for (auto [quality, full] : {std::pair{TSmoothQuality::aqHigh, 255}, {TSmoothQuality::aqNormal, 254},
                                 {TSmoothQuality::aqLow, 255}, {TSmoothQuality::aqNone, 255}}) {
        font.SetQuality(quality);
        mask.DrawText(square);
        int top = 0;
        for (int r = 0; r < mask.Height(); ++r)
            top = std::max(top, static_cast<int>(*std::max_element(mask.ScanLine(r), mask.ScanLine(r) + mask.Width())));
        EXPECT_EQ(top, full) << "quality " << static_cast<int>(quality);
    }
}

TEST_F(MaskTest, NoneQualityIsThePlainTextOutput) {
    const std::string text = Utf8ToGbk("显示 LED 板");
    font.SetQuality(TSmoothQuality::aqNone);
    mask.DrawText(text);

    QImage plain(mask.Width(), mask.Height(), QImage::Format_Grayscale8);
    TCanvas plainCanvas(&plain);
    plainCanvas.Font.Assign(canvas.Font);
    plainCanvas.Font.SetColor(clWhite);
    plainCanvas.Brush.Color = clBlack;
    plainCanvas.TextOut(0, 0, text);
    ASSERT_EQ(mask.Width(), plainCanvas.TextWidth(text));
    ASSERT_EQ(mask.Height(), plainCanvas.TextHeight(text));
    EXPECT_EQ(test::DescribeDifference(plain, mask.Image()), "");
    EXPECT_GT(MaskRows(mask)[mask.Height() / 2], std::vector<int>(mask.Width(), 0)) << "no ink";
}

TEST_F(MaskTest, MeasuresRoundUpAndGiveItalicTextRoomForItsSlant) {
    const std::string fiveCharacters = Utf8ToGbk("显示系统板");  // 10 bytes
    for (auto quality : {TSmoothQuality::aqHigh, TSmoothQuality::aqNormal, TSmoothQuality::aqLow, TSmoothQuality::aqNone}) {
        font.SetQuality(quality);
        canvas.Font.SetStyle(0);
        ASSERT_EQ(font.TextWidth(fiveCharacters), 100);
        canvas.Font.SetStyle(Bit(fsItalic));
        EXPECT_EQ(font.TextWidth(fiveCharacters), 103);
        EXPECT_EQ(font.TextWidth(""), 0);
        const int scale = ScaleOf(quality);
        EXPECT_EQ(font.TextHeight(fiveCharacters), (MeasureTextHeight(canvas.Font, scale) + scale - 1) / scale);
    }
}

TEST_F(MaskTest, NoneQualityMeasuresAsTheCanvas) {
    font.SetQuality(TSmoothQuality::aqNone);
    for (const char* family : {"宋体", "MS Sans Serif"}) {
        test::SetFont(canvas.Font, family, -17);
        for (const char* utf8 : {"ab ", "  leading", "fi ffl Wa.", "显示 LED\t板", "x"}) {
            const std::string text = Utf8ToGbk(utf8);
            EXPECT_EQ(font.TextWidth(text), canvas.TextWidth(text)) << family << " '" << utf8 << "'";
        }
    }
}

TEST_F(MaskTest, DrawingSizesTheMaskToTheMeasures) {
    const std::string text = Utf8ToGbk("滚动 Text");
    mask.DrawText(text);
    EXPECT_EQ(mask.Width(), font.TextWidth(text));
    EXPECT_EQ(mask.Height(), font.TextHeight(text));
    EXPECT_EQ(mask.Stride() % 4, 0);
    EXPECT_GE(mask.Stride(), mask.Width());
    EXPECT_LT(mask.Stride(), mask.Width() + 4);
}

TEST(SmoothMask, WithoutCanvasMeasuresZeroAndDrawsNothing) {
    TSmoothFont font;
    font.Mask().SetSize(3, 2);
    EXPECT_EQ(font.TextWidth("abc"), 0);
    EXPECT_EQ(font.TextHeight("abc"), 0);
    font.Mask().DrawText("abc");
    EXPECT_EQ(font.Mask().Width(), 3);
    EXPECT_EQ(font.Mask().Height(), 2);
}

TEST(SmoothMask, RowsOutsideTheMaskAreRefused) {
    TSmoothMask mask(nullptr);
    FillMask(mask, {{1, 2}, {3, 4}});
    for (int row : {-1, 2, 1000}) {
        try {
            mask.ScanLine(row);
            ADD_FAILURE() << "row " << row << " accepted";
        } catch (const EInvalidLine& e) {
            EXPECT_STREQ(e.what(), "Invalid line!");
        }
    }
    EXPECT_EQ(MaskRows(mask), (Rows{{1, 2}, {3, 4}}));
    TSmoothMask empty(nullptr);
    EXPECT_THROW(empty.ScanLine(0), EInvalidLine);
}

TEST(SmoothMask, AssignCopiesQualitySizeAndData) {
    TSmoothMask source(nullptr), copy(nullptr);
    source.SetQuality(TSmoothQuality::aqHigh);
    FillMask(source, {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}});
    copy.Assign(source);
    EXPECT_EQ(copy.Quality(), TSmoothQuality::aqHigh);
    EXPECT_EQ(copy.Scale(), 4);
    EXPECT_EQ(copy.Stride(), 8);
    EXPECT_EQ(MaskRows(copy), MaskRows(source));
    source.ScanLine(0)[0] = 99;
    EXPECT_EQ(copy.ScanLine(0)[0], 1) << "copy shares data";
}

TEST(SmoothMask, OutlineKeepsTheEdgesOfAFilledRectangle) {
    // In a wide mask a filled rectangle leaves edges on both sides of its border columns (the
    // rows above and below are the kept outermost ones).
    auto filled = [](int left, int right) {
        Rows rows(6, std::vector<int>(45, 0));
        for (int y = 1; y <= 4; ++y)
            for (int x = left; x <= right; ++x) rows[y][x] = 255;
        return rows;
    };
    auto edges = [](int left, int right) {
        Rows rows(6, std::vector<int>(45, 0));
        for (int y : {1, 4}) {
            for (int x = left; x <= right; ++x) rows[y][x] = 191;
            rows[y][left - 1] = rows[y][right + 1] = 127;
        }
        for (int y : {2, 3}) rows[y][left - 1] = rows[y][left] = rows[y][right] = rows[y][right + 1] = 191;
        return rows;
    };
    struct Case {
        Rows mask, expected;
    } cases[] = {
        {filled(12, 35), edges(12, 35)},
        {filled(2, 41), edges(2, 41)},
        {{{0, 0, 0, 0, 0, 0},
          {0, 255, 255, 255, 255, 0},
          {0, 255, 255, 255, 255, 0},
          {0, 255, 255, 255, 255, 0},
          {0, 255, 255, 255, 255, 0},
          {0, 0, 0, 0, 0, 0}},
         {{0, 0, 0, 0, 0, 0},
          {0, 191, 191, 191, 191, 0},
          {0, 191, 0, 0, 191, 0},
          {0, 191, 0, 0, 191, 0},
          {0, 191, 191, 191, 191, 0},
          {0, 0, 0, 0, 0, 0}}},
        // Filled to the edges: the outermost rows and columns keep their values.
        {Rows(4, std::vector<int>(5, 255)),
         {{255, 255, 255, 255, 255}, {255, 0, 0, 0, 255}, {255, 0, 0, 0, 255}, {255, 255, 255, 255, 255}}},
        {{{0, 255, 0}, {255, 255, 255}}, {{0, 255, 0}, {255, 255, 255}}},  // fewer than 3 rows
        {{{0, 255}, {255, 0}, {0, 255}}, {{0, 255}, {255, 0}, {0, 255}}},  // fewer than 3 columns
    };
    for (const Case& c : cases) {
        TSmoothMask mask(nullptr);
        FillMask(mask, c.mask);
        mask.Outline();
        EXPECT_EQ(MaskRows(mask), c.expected);
    }
}

TEST(SmoothMask, BlurAveragesFiveByFiveWithRepeatedEdges) {
    auto dot = [](int w, int h, int x, int y) {
        Rows rows(h, std::vector<int>(w, 0));
        rows[y][x] = 255;
        return rows;
    };
    auto square = [](int w, int h, int x, int y, int value, int around) {
        Rows rows(h, std::vector<int>(w, 0));
        for (int r = y - 2; r <= y + 2; ++r)
            for (int c = x - 2; c <= x + 2; ++c) rows[r][c] = around;
        rows[y][x] = value;
        return rows;
    };
    struct Case {
        const char* name;
        Rows mask;
        int amount;
        Rows expected;
    } cases[] = {
        {"full blur spreads one dot to 25 pixels of 10", dot(9, 9, 4, 4), 100, square(9, 9, 4, 4, 10, 10)},
        {"half blur keeps 128/256 of the way, rounded down", dot(9, 9, 4, 4), 50, square(9, 9, 4, 4, 132, 5)},
        // Wide rows go many pixels at a time; the dot sits across those runs.
        {"full blur, wide mask", dot(45, 7, 17, 3), 100, square(45, 7, 17, 3, 10, 10)},
        {"half blur, wide mask", dot(45, 7, 38, 3), 50, square(45, 7, 38, 3, 132, 5)},
        {"no blur", dot(9, 9, 4, 4), 0, dot(9, 9, 4, 4)},
        // 9, 6, 4, 3, 2 or 1 copies of the dot: 91.8, 61.2, 40.8, 30.6, 20.4, 10.2 round to nearest.
        {"corner pixel repeats into the clamped window", dot(4, 3, 0, 0), 100,
         {{92, 61, 31, 0}, {61, 41, 20, 0}, {31, 20, 10, 0}}},
    };
    for (const Case& c : cases) {
        TSmoothMask mask(nullptr);
        FillMask(mask, c.mask);
        mask.Blur(c.amount);
        EXPECT_EQ(MaskRows(mask), c.expected) << c.name;
    }
}

TEST(SmoothMask, SprayPicksCurrentValuesWithTheDrawsInOrder) {
    TSmoothMask mask(nullptr);
    FillMask(mask, {{10, 20, 30}});
    // Per pixel: radius, column draw, row draw.
    test::ScriptedRandom random({1, 0, 1, /**/ 2, 3, 2, /**/ 0, 0, 0});
    mask.Spray(2, random);
    EXPECT_EQ(MaskRows(mask), (Rows{{20, 20, 30}})) << "the second pixel takes the first one's new value";
    EXPECT_EQ(random.bounds, (std::vector<int>{3, 2, 2, 3, 4, 4, 3, 0, 0}));
}

TEST(SmoothMask, SprayZeroLeavesTheMask) {
    TSmoothMask mask(nullptr);
    const Rows rows = {{1, 2, 3}, {4, 5, 6}};
    FillMask(mask, rows);
    LinearRandom random(7);
    mask.Spray(0, random);
    EXPECT_EQ(MaskRows(mask), rows);
}

}  // namespace
}  // namespace zl
