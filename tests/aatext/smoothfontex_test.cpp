#include <gtest/gtest.h>

#include <QImage>

#include "aatext/canvas.h"
#include "aatext/smoothfontex.h"
#include "testsupport.h"

namespace zl {
namespace {

using test::Bgr;
using test::MakeColor;
using test::MakeGrey;

class FontExTest : public ::testing::Test {
protected:
    FontExTest() {
        test::SetFont(canvas.Font, "宋体", -16);
        canvas.Brush.Style = TBrushStyle::bsClear;
        font.SetRandom(&random);
    }
    // What the plain path draws: the mask in one colour.
    QImage Plain(int x, int y, int alpha = 100) {
        QImage expected = test::Canvas24(target.width(), target.height());
        TCanvas other(&expected);
        other.Font.Assign(canvas.Font);
        other.Brush = canvas.Brush;
        TSmoothFont plain(&other);
        plain.Mask().DrawText(text);
        plain.Blend().BlendColor(x, y, plain.Mask(), alpha, canvas.Font.Color());
        return expected;
    }
    // The foreground row `row` as (blue, green, red) triples.
    std::vector<int> ForeRow(int row) {
        const QImage& fore = font.Blend().ForeBitmap();
        return std::vector<int>(fore.constScanLine(row), fore.constScanLine(row) + fore.width() * 3);
    }

    const std::string text = Utf8ToGbk("显示LED");
    QImage target = test::Canvas24(90, 40);
    TCanvas canvas{&target};
    test::ScriptedRandom random;
    TSmoothFontEx font{&canvas};
    TSmoothEffect& effect = font.Effect();
};

TEST_F(FontExTest, NewEffectInksInTheFontColour) {
    font.TextOut(3, 4, text);
    EXPECT_EQ(test::DescribeDifference(Plain(3, 4), target), "");
    EXPECT_TRUE(random.bounds.empty());
}

TEST_F(FontExTest, EmptyTextDrawsNothing) {
    effect.Shadow().SetEnabled(true);
    effect.SetNoise(50);
    effect.SetSpray(5);
    const QImage before = target.copy();
    font.TextOut(0, 0, "");
    EXPECT_EQ(target, before);
    font.SetCanvas(nullptr);
    font.TextOut(0, 0, text);
}

// The shadow comes from the mask after outline and spray and before the text's own blur, at
// the shadow position, with effect Alpha x shadow Alpha div 100; the text lies over it.
TEST_F(FontExTest, ShadowIsDrawnFromACopyBeneathTheText) {
    struct Case {
        int offsetX, offsetY, shadowBlur, shadowAlpha, alpha, blur;
        bool outline;
        TBrushStyle brush;
    } cases[] = {
        {-2, 3, 80, 100, 100, 0, false, TBrushStyle::bsClear},
        {4, -1, 0, 50, 50, 0, false, TBrushStyle::bsSolid},
        {1, 1, 100, 70, 100, 60, true, TBrushStyle::bsClear},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "offsets " << c.offsetX << "," << c.offsetY);
        TSmoothShadow& shadow = effect.Shadow();
        shadow.SetEnabled(true);
        shadow.SetOffsetX(c.offsetX);
        shadow.SetOffsetY(c.offsetY);
        shadow.SetBlur(c.shadowBlur);
        shadow.SetAlpha(c.shadowAlpha);
        shadow.SetColor(clRed);
        effect.SetAlpha(c.alpha);
        effect.SetBlur(c.blur);
        effect.SetOutline(c.outline);
        canvas.Brush.Style = c.brush;
        canvas.Brush.Color = clBlue;
        target.fill(Qt::black);

        TSmoothFont plain(&canvas);
        EXPECT_EQ(font.TextWidth(text), plain.TextWidth(text) + std::abs(c.offsetX));
        EXPECT_EQ(font.TextHeight(text), plain.TextHeight(text) + std::abs(c.offsetY));

        const int x = 10, y = 8;
        font.TextOut(x, y, text);
        EXPECT_EQ(canvas.Brush.Style, c.brush) << "brush style restored";

        QImage expected = test::Canvas24(target.width(), target.height());
        TCanvas other(&expected);
        other.Font.Assign(canvas.Font);
        other.Brush = canvas.Brush;
        TSmoothFont reference(&other);
        TSmoothMask& mask = reference.Mask();
        mask.DrawText(text);
        if (c.outline) mask.Outline();
        TSmoothMask copy(&reference);
        copy.Assign(mask);
        copy.Blur(c.shadowBlur);
        reference.Blend().BlendColor(x + std::max(0, c.offsetX), y + std::max(0, c.offsetY), copy,
                                     c.alpha * c.shadowAlpha / 100, clRed);
        other.Brush.Style = TBrushStyle::bsClear;
        mask.Blur(c.blur);
        reference.Blend().BlendColor(x + std::max(0, -c.offsetX), y + std::max(0, -c.offsetY), mask, c.alpha, clWhite);
        EXPECT_EQ(test::DescribeDifference(expected, target), "");
    }
}

TEST_F(FontExTest, GradientRampsRunFromFirstToBeforeLast) {
    struct Case {
        TGradualStyle style;
        int width, height;
        std::vector<int> levels;  // along the ramp's direction
    } cases[] = {
        {gsCenterToLR, 5, 2, {0, 85, 170, 85, 0}},
        {gsLeftToRight, 4, 1, {255, 192, 128, 64}},
        {gsRightToLeft, 4, 1, {0, 63, 127, 191}},
        {gsTopToBottom, 2, 3, {255, 170, 85}},
        {gsBottomToTop, 2, 3, {0, 85, 170}},
        {gsCenterToTB, 3, 4, {0, 127, 127, 0}},
        {gsCenterToLR, 1, 1, {0}},
    };
    effect.Gradual().SetStartColor(clWhite);
    effect.Gradual().SetEndColor(clBlack);
    for (const Case& c : cases) {
        effect.Gradual().SetStyle(c.style);
        font.Mask().SetSize(c.width, c.height);
        font.GradualFill();
        const bool horizontal = c.style == gsLeftToRight || c.style == gsRightToLeft || c.style == gsCenterToLR;
        for (int row = 0; row < c.height; ++row) {
            std::vector<int> expected;
            for (int col = 0; col < c.width; ++col) expected.insert(expected.end(), 3, c.levels[horizontal ? col : row]);
            EXPECT_EQ(ForeRow(row), expected) << "style " << c.style << ", row " << row;
        }
    }
    effect.Gradual().SetStyle(gsLeftToRight);
    effect.Gradual().SetStartColor(clRed);
    font.Mask().SetSize(1, 1);
    font.GradualFill();
    EXPECT_EQ(ForeRow(0), (std::vector<int>{0, 0, 255}));
}

TEST_F(FontExTest, NoiseFillDrawsRedGreenBlueAroundTheFontColour) {
    canvas.Font.SetColor(MakeColor(100, 150, 3));
    effect.SetNoise(10);
    random = test::ScriptedRandom({1, 2, 3, 9, 9, 0});
    font.Mask().SetSize(2, 1);
    font.NoiseFill();
    // Draw - 5 per channel, limited to 0..255; bytes are blue, green, red.
    EXPECT_EQ(ForeRow(0), (std::vector<int>{1, 147, 96, 0, 154, 104}));
    EXPECT_EQ(random.bounds, std::vector<int>(6, 10));
}

TEST_F(FontExTest, AddedNoiseRunsOverBlueGreenRedBytes) {
    effect.SetNoise(4);
    font.Mask().SetSize(1, 1);
    font.Blend().SizeForeBitmap(1, 1);
    std::uint8_t* fore = font.Blend().ForeBitmap().scanLine(0);
    fore[0] = 0, fore[1] = 128, fore[2] = 255;
    random = test::ScriptedRandom({0, 3, 3});
    font.AddNoise();
    EXPECT_EQ(ForeRow(0), (std::vector<int>{0, 129, 255}));
}

TEST_F(FontExTest, NoiseOfOneChangesNothing) {
    font.TextOut(2, 2, text);
    const QImage plain = target.copy();
    target.fill(Qt::black);
    effect.SetNoise(1);
    LinearRandom real(42);
    font.SetRandom(&real);
    font.TextOut(2, 2, text);
    EXPECT_EQ(test::DescribeDifference(plain, target), "");
}

TEST_F(FontExTest, TextureIsLaidOutInTheRunsOwnBox) {
    QImage graphic(2, 2, QImage::Format_RGB32);
    const QRgb a = qRgb(10, 0, 0), b = qRgb(20, 0, 0), c = qRgb(30, 0, 0), d = qRgb(40, 0, 0);
    graphic.setPixel(0, 0, a), graphic.setPixel(1, 0, b), graphic.setPixel(0, 1, c), graphic.setPixel(1, 1, d);
    effect.Texture().Picture().SetBitmap(graphic);
    canvas.Font.SetColor(MakeColor(99, 0, 0));
    auto reds = [&](int row) {
        std::vector<int> out;
        for (int i = 0, n = font.Blend().ForeBitmap().width(); i < n; ++i) out.push_back(ForeRow(row)[i * 3 + 2]);
        return out;
    };
    struct Case {
        TTextureMode mode;
        int width, height;
        std::vector<std::vector<int>> reds;
    } cases[] = {
        {tmTiled, 5, 3, {{10, 20, 10, 20, 10}, {30, 40, 30, 40, 30}, {10, 20, 10, 20, 10}}},
        {tmCenter, 5, 3, {{99, 10, 20, 99, 99}, {99, 30, 40, 99, 99}, {99, 99, 99, 99, 99}}},
        {tmCenter, 1, 1, {{10}}},  // (1 - 2) div 2 truncates to 0
        {tmNormal, 3, 3, {{10, 20, 99}, {30, 40, 99}, {99, 99, 99}}},
    };
    for (const Case& k : cases) {
        effect.Texture().SetMode(k.mode);
        font.Mask().SetSize(k.width, k.height);
        font.TextureFill();
        for (int row = 0; row < k.height; ++row) EXPECT_EQ(reds(row), k.reds[row]) << "mode " << k.mode << " row " << row;
    }
    effect.Texture().SetMode(tmStretched);
    font.Mask().SetSize(6, 6);
    font.TextureFill();
    EXPECT_EQ(reds(0)[0], 10);
    EXPECT_EQ(reds(5)[5], 40);
}

TEST_F(FontExTest, InkIsTextureThenGradientThenNoiseThenColour) {
    QImage graphic(1, 1, QImage::Format_RGB32);
    graphic.fill(qRgb(1, 2, 3));
    effect.Texture().Picture().SetBitmap(graphic);
    effect.Gradual().SetStartColor(MakeColor(7, 8, 9));
    effect.Gradual().SetEndColor(MakeColor(7, 8, 9));
    auto foreAfterTextOut = [&] {
        font.TextOut(0, 0, text);
        return Bgr(font.Blend().ForeBitmap(), 0, 0);
    };
    effect.Texture().SetEnabled(true);
    effect.Gradual().SetEnabled(true);
    EXPECT_EQ(foreAfterTextOut(), (std::vector<int>{3, 2, 1}));
    effect.Texture().Picture().Clear();
    EXPECT_EQ(foreAfterTextOut(), (std::vector<int>{9, 8, 7})) << "an empty picture leaves the texture out";
    effect.Gradual().SetEnabled(false);
    effect.SetNoise(2);
    random = test::ScriptedRandom({1, 1, 1});
    EXPECT_EQ(foreAfterTextOut(), (std::vector<int>{255, 255, 255})) << "white ink, draw 1 - 1";
}

}  // namespace
}  // namespace zl
