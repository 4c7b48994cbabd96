// The enlarged rendering behind the mask: styles kept at every size, fallback faces, long text,
// the glyph cache and the bounds on memory.
#include <gtest/gtest.h>

#include <QImage>
#include <limits>

#include "aatext/canvas.h"
#include "aatext/glyphcache.h"
#include "aatext/smoothfontex.h"
#include "core/props/enums.h"
#include "testsupport.h"

namespace zl {
namespace {

using test::MaskRows;
using Rows = std::vector<std::vector<int>>;

constexpr TSmoothQuality kQualities[] = {TSmoothQuality::aqHigh, TSmoothQuality::aqNormal, TSmoothQuality::aqLow,
                                         TSmoothQuality::aqNone};

std::int64_t Ink(const TSmoothMask& mask, int left = 0, int right = -1) {
    if (right < 0) right = mask.Width();
    std::int64_t sum = 0;
    for (int r = 0; r < mask.Height(); ++r)
        for (int c = left; c < right; ++c) sum += mask.ScanLine(r)[c];
    return sum;
}

// The glyph cache is shared by the process: each test leaves it as it found it.
class GlyphsTest : public ::testing::Test {
protected:
    GlyphsTest() { test::SetFont(canvas.Font, "宋体", -24); }
    ~GlyphsTest() override { GlyphCache::Shared().SetByteLimit(GlyphCache::kDefaultByteLimit); }

    QImage target = test::Canvas24(64, 32);
    TCanvas canvas{&target};
    TSmoothFontEx font{&canvas};
    TSmoothMask& mask = font.Mask();
};

TEST_F(GlyphsTest, CharactersTheFaceLacksGetInkFromAnotherFace) {
    // DejaVu Sans has no Chinese glyphs; the Chinese faces take punctuation and Latin letters from
    // themselves or from another face. The last character alone must have ink at the box's end.
    const struct {
        const char* family;
        const char* text;
        const char* last;
    } cases[] = {{"MS Sans Serif", "显示", "示"}, {"MS Sans Serif", "AB显", "显"}, {"宋体", "显Wj，", "，"},
                 {"黑体", "显LED", "D"}, {"楷体_GB2312", "字€", "€"}};
    for (const auto& c : cases)
        for (TSmoothQuality quality : kQualities) {
            test::SetFont(canvas.Font, c.family, -24);
            font.SetQuality(quality);
            mask.DrawText(Utf8ToGbk(c.text));
            const int lastWidth = font.TextWidth(Utf8ToGbk(c.last));
            ASSERT_GT(lastWidth, 2) << c.last;
            EXPECT_GT(Ink(mask, mask.Width() - lastWidth, mask.Width()), 0)
                << c.family << " '" << c.text << "' quality " << static_cast<int>(quality) << ": last character blank";
        }
}

TEST_F(GlyphsTest, BoldHasMoreInkThanRegularAtEveryQualityAndSize) {
    // AR PL UMing has no bold face (synthetic bold); DejaVu Sans has one.
    for (const char* family : {"宋体", "MS Sans Serif"})
        for (int size : {24, 48, 96})
            for (TSmoothQuality quality : kQualities) {
                test::SetFont(canvas.Font, family, -size);
                font.SetQuality(quality);
                const std::string text = Utf8ToGbk("显示 Wj");
                canvas.Font.SetStyle(0);
                mask.DrawText(text);
                const std::int64_t regular = Ink(mask);
                canvas.Font.SetStyle(Bit(fsBold));
                mask.DrawText(text);
                EXPECT_GT(Ink(mask), regular * 11 / 10)
                    << family << " " << size << " px, quality " << static_cast<int>(quality);
            }
}

TEST_F(GlyphsTest, UnderlineAndStrikeOutSpanTheWholeBoxOfMixedText) {
    for (const char* utf8 : {"显示系统 LED Wjg", "LED 显示 Wjg 系统"})
        for (std::int64_t line : {Bit(fsUnderline), Bit(fsStrikeOut)})
            for (TSmoothQuality quality : kQualities) {
                font.SetQuality(quality);
                const std::string text = Utf8ToGbk(utf8);
                canvas.Font.SetStyle(line);
                mask.DrawText(text);
                ASSERT_EQ(mask.Width(), font.TextWidth(text));
                // Some row is inked across every column of the box.
                int best = 0;
                for (int r = 0; r < mask.Height(); ++r) {
                    const std::uint8_t* row = mask.ScanLine(r);
                    best = std::max<int>(best, *std::min_element(row, row + mask.Width()));
                }
                EXPECT_GE(best, 96) << utf8 << " style " << line << " quality " << static_cast<int>(quality);
            }
}

TEST_F(GlyphsTest, ALineOfTenThousandCharactersHasEveryGlyph) {
    font.SetQuality(TSmoothQuality::aqHigh);
    const int count = 10000;
    std::string text;
    for (int i = 0; i < count; ++i) text += Utf8ToGbk("测");
    mask.DrawText(text);
    ASSERT_EQ(mask.Width(), count * 24);
    // The same glyph at whole-pixel steps: every cell is the first one again.
    ASSERT_GT(Ink(mask, 0, 24), 0);
    for (int r = 0; r < mask.Height(); ++r) {
        const std::uint8_t* row = mask.ScanLine(r);
        for (int i = 1; i < count; ++i)
            if (!std::equal(row, row + 24, row + i * 24)) FAIL() << "character " << i << " differs in row " << r;
    }
}

TEST_F(GlyphsTest, TheSameTextGivesTheSameMaskHoweverItIsRasterised) {
    // Bands no larger than a few blocks, glyphs too large to keep drawn straight into them, cold
    // and warm cache: the pixels stay the same.
    test::SetFont(canvas.Font, "黑体", -30);
    canvas.Font.SetStyle(Bit(fsBold) | Bit(fsItalic) | Bit(fsUnderline));
    const std::string text = Utf8ToGbk("显示 LED，Wjg 系统");
    for (TSmoothQuality quality : kQualities) {
        font.SetQuality(quality);
        GlyphCache::Shared().Clear();
        mask.DrawText(text);
        const QImage cold = mask.Image().copy();
        ASSERT_GT(Ink(mask), 0);
        mask.DrawText(text);
        EXPECT_EQ(test::DescribeDifference(cold, mask.Image()), "") << "warm, quality " << static_cast<int>(quality);
        const struct {
            const char* name;
            std::size_t workLimit, cacheLimit;
        } ways[] = {{"small bands", 700, GlyphCache::kDefaultByteLimit}, {"uncached", TSmoothMask::kDefaultWorkLimit, 0},
                    {"uncached small bands", 300, 0}};
        for (const auto& way : ways) {
            mask.SetWorkLimit(way.workLimit);
            GlyphCache::Shared().SetByteLimit(way.cacheLimit);
            mask.DrawText(text);
            EXPECT_EQ(test::DescribeDifference(cold, mask.Image()), "") << way.name << ", quality "
                                                                      << static_cast<int>(quality);
        }
        mask.SetWorkLimit(TSmoothMask::kDefaultWorkLimit);
        GlyphCache::Shared().SetByteLimit(GlyphCache::kDefaultByteLimit);
    }
}

TEST_F(GlyphsTest, TheCacheStaysWithinItsBound) {
    GlyphCache& cache = GlyphCache::Shared();
    cache.Clear();
    const std::size_t limit = 200 << 10;
    cache.SetByteLimit(limit);
    cache.ResetPeak();
    font.SetQuality(TSmoothQuality::aqNormal);
    // 400 different characters of the first rows of GB2312, 72 x 72 enlarged each.
    std::string text;
    for (int row = 0xB0; row < 0xB5; ++row)
        for (int cell = 0xA1; cell < 0xA1 + 80; ++cell) text += {static_cast<char>(row), static_cast<char>(cell)};
    mask.DrawText(text);
    EXPECT_GT(Ink(mask, mask.Width() - 24, mask.Width()), 0);
    EXPECT_LE(cache.PeakBytes(), limit);
    EXPECT_GT(cache.Bytes(), limit / 2);
    EXPECT_LT(cache.Count(), 400u);
}

TEST_F(GlyphsTest, TextWhoseMaskPassesTheCeilingIsRefusedWithItsSize) {
    test::SetFont(canvas.Font, "宋体", -4000);
    font.SetQuality(TSmoothQuality::aqNone);
    const std::string text(200, 'W');
    mask.SetSize(3, 2);
    const int w = font.TextWidth(text), h = font.TextHeight(text);
    ASSERT_GT(static_cast<std::int64_t>(w) * h, TSmoothMask::kMaskLimit);
    try {
        font.TextOut(0, 0, text);
        ADD_FAILURE() << "drawn";
    } catch (const ETextTooLarge& e) {
        EXPECT_EQ(e.what(), Format("Text of %d x %d pixels is too large to draw (more than 256 MB).", w, h));
    }
    EXPECT_EQ(mask.Width(), 3);
    EXPECT_EQ(mask.Height(), 2);
}

TEST_F(GlyphsTest, AHugeFontDrawsInBands) {
    test::SetFont(canvas.Font, "宋体", -2000);
    font.SetQuality(TSmoothQuality::aqHigh);
    std::string text;
    for (int i = 0; i < 20; ++i) text += Utf8ToGbk("测");
    mask.DrawText(text);
    ASSERT_EQ(mask.Width(), 40000);
    // Each character has ink in the middle of its cell and none at the cell's left edge.
    for (int i : {0, 7, 19}) {
        std::int64_t middle = 0;
        for (int r = 0; r < mask.Height(); r += 4) middle += mask.ScanLine(r)[i * 2000 + 1000];
        EXPECT_GT(middle, 0) << "character " << i;
    }
}

TEST_F(GlyphsTest, ExtremePositionsAndHeightsDrawSafely) {
    constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
    font.Effect().Shadow().SetEnabled(true);
    font.Effect().Shadow().SetOffsetX(-20);
    for (TBrushStyle brush : {TBrushStyle::bsSolid, TBrushStyle::bsClear}) {
        canvas.Brush.Style = brush;
        target.fill(Qt::black);
        for (QPoint at : {QPoint(2147483600, 0), QPoint(kMax, kMax), QPoint(kMin, kMin), QPoint(0, kMax - 5)}) {
            font.TextOut(at.x(), at.y(), "Wj");
            canvas.TextOut(at.x(), at.y(), "Wj");
        }
        EXPECT_EQ(target, test::Canvas24(64, 32)) << "ink wrapped round onto the canvas";
    }
    // Heights beyond the held range draw at its end.
    font.Effect().Shadow().SetEnabled(false);
    font.SetQuality(TSmoothQuality::aqNone);
    for (int height : {kMin, kMax, -kFontHeightLimit - 1}) {
        canvas.Font.SetHeight(height);
        EXPECT_LE(font.TextHeight("W"), kFontHeightLimit * 2) << height;
        font.TextOut(0, 0, "W");
        canvas.TextOut(0, 0, "W");
        EXPECT_GT(Ink(mask), 0) << height;
    }
}

}  // namespace
}  // namespace zl
