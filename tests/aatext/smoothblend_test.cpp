#include <gtest/gtest.h>

#include <QImage>
#include <limits>

#include "aatext/canvas.h"
#include "aatext/smoothfont.h"
#include "testsupport.h"

namespace zl {
namespace {

using test::Bgr;
using test::FillMask;
using test::MakeGrey;

class BlendTest : public ::testing::Test {
protected:
    BlendTest() { canvas.Brush.Style = TBrushStyle::bsClear; }
    QImage target = test::Canvas24(6, 4, QColor(10, 20, 30));  // red 10, green 20, blue 30
    TCanvas canvas{&target};
    TSmoothFont font{&canvas};
    TSmoothMask mask{&font};
};

TEST_F(BlendTest, MixesOneColourByMaskAndAlpha) {
    struct Case {
        int alpha, m;
        int background, ink;  // one grey level for all three channels
        int expected;
    } cases[] = {
        {100, 255, 0, 200, 200},  // d = 65280: exactly the colour
        {100, 255, 255, 3, 3},
        {100, 254, 0, 255, 253},  // k = 254: 0 + floor(255 * 254 / 256)
        {100, 254, 255, 0, 1},    // 255 + floor(-255 * 254 / 256): rounds down
        {100, 0, 77, 255, 77},
        {100, 1, 255, 0, 254},    // d = 256, k = 1
        {0, 255, 77, 255, 77},    // alpha 0 leaves everything
        {50, 1, 255, 0, 255},     // a256 = 128: d = 128 stays
        {50, 2, 255, 0, 254},     // d = 256, k = 1
        {50, 255, 0, 200, 99},    // k = 127
        {1, 127, 255, 0, 255},    // a256 = 2: d = 254 stays
        {1, 128, 255, 0, 254},
    };
    for (const Case& c : cases) {
        target.fill(QColor(c.background, c.background, c.background));
        FillMask(mask, {{c.m}});
        font.Blend().BlendColor(2, 1, mask, c.alpha, MakeGrey(c.ink));
        EXPECT_EQ(Bgr(target, 2, 1), std::vector<int>(3, c.expected))
            << "alpha " << c.alpha << ", m " << c.m << ", background " << c.background << ", ink " << c.ink;
        EXPECT_EQ(Bgr(target, 1, 1), std::vector<int>(3, c.background));
    }
}

// Long rows are mixed many pixels at a time; every pixel must come out as when blended alone.
TEST_F(BlendTest, WideRowsMixAsSinglePixels) {
    const int width = 300;
    QImage background(width, 2, QImage::Format_BGR888);
    for (int x = 0; x < width; ++x) {
        background.setPixelColor(x, 0, QColor(x % 256, (x * 7) % 256, 255 - x % 256));
        background.setPixelColor(x, 1, QColor((x * 3) % 256, 0, x % 2 ? 255 : 0));
    }
    TSmoothMask wide(&font);
    wide.SetSize(width, 2);
    for (int x = 0; x < width; ++x) {
        wide.ScanLine(0)[x] = static_cast<std::uint8_t>(x < 40 ? 0 : (x * 37) % 256);  // a run without ink first
        wide.ScanLine(1)[x] = static_cast<std::uint8_t>(x % 3 ? 255 : 254);
    }
    font.Blend().SizeForeBitmap(width, 2);
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < 2; ++y) font.Blend().ForeBitmap().setPixelColor(x, y, QColor(255 - x % 256, x % 256, 77));
    const QImage fore = font.Blend().ForeBitmap().copy();

    for (int alpha : {100, 73, 1}) {
        for (bool withForeground : {false, true}) {
            target = background.copy();
            canvas.SetImage(&target);
            if (withForeground) font.Blend().BlendForeground(0, 0, wide, alpha);
            else font.Blend().BlendColor(0, 0, wide, alpha, 0x00336699);
            QImage expected = background.copy();
            canvas.SetImage(&expected);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < width; ++x) {
                    FillMask(mask, {{wide.ScanLine(y)[x]}});
                    font.Blend().ForeBitmap() = fore.copy(x, y, 1, 1);
                    if (withForeground) font.Blend().BlendForeground(x, y, mask, alpha);
                    else font.Blend().BlendColor(x, y, mask, alpha, 0x00336699);
                }
            font.Blend().ForeBitmap() = fore;
            EXPECT_EQ(test::DescribeDifference(expected, target), "") << "alpha " << alpha << (withForeground ? ", foreground" : "");
        }
    }
}

TEST_F(BlendTest, KeepsChannelsInBlueGreenRedOrder) {
    FillMask(mask, {{255, 128}});
    font.Blend().BlendColor(0, 0, mask, 100, 0x00C08040);  // red 0x40, green 0x80, blue 0xC0
    EXPECT_EQ(Bgr(target, 0, 0), (std::vector<int>{0xC0, 0x80, 0x40}));
    // k = 128: halfway from (30, 20, 10) and rounded down.
    EXPECT_EQ(Bgr(target, 1, 0), (std::vector<int>{30 + (0xC0 - 30) / 2, 20 + (0x80 - 20) / 2, 10 + (0x40 - 10) / 2}));
}

TEST_F(BlendTest, SolidBrushFillsTheBoxClearBrushKeepsTheCanvas) {
    FillMask(mask, {{0, 255, 0}, {0, 0, 0}});
    canvas.Brush.Color = clBlue;
    canvas.Brush.Style = TBrushStyle::bsSolid;
    font.Blend().BlendColor(1, 1, mask, 100, clWhite);
    EXPECT_EQ(Bgr(target, 1, 1), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(Bgr(target, 2, 1), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(Bgr(target, 3, 2), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(Bgr(target, 4, 1), (std::vector<int>{30, 20, 10})) << "outside the box";

    target.fill(QColor(10, 20, 30));
    canvas.Brush.Style = TBrushStyle::bsClear;
    font.Blend().BlendColor(1, 1, mask, 100, clWhite);
    EXPECT_EQ(Bgr(target, 1, 1), (std::vector<int>{30, 20, 10}));
    EXPECT_EQ(Bgr(target, 2, 1), (std::vector<int>{255, 255, 255}));
}

TEST_F(BlendTest, BoxesReachingOverTheCanvasEdgeAreClipped) {
    FillMask(mask, {{255, 255, 255}, {255, 255, 255}, {255, 255, 255}});
    constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
    const struct {
        QPoint at;
        int inked;
    } cases[] = {
        {{-2, -2}, 1}, {{5, 3}, 1}, {{-10, 0}, 0}, {{100, 100}, 0}, {{1, 1}, 9},
        // Boxes at the ends of the coordinate range must not wrap round onto the canvas.
        {{2147483600, 0}, 0}, {{kMax, kMax}, 0}, {{kMax - 1, 1}, 0}, {{kMin, kMin}, 0}, {{kMin, 1}, 0}, {{1, kMax}, 0},
    };
    QImage argb(6, 4, QImage::Format_ARGB32);
    for (QImage* image : {&target, &argb}) {
        canvas.SetImage(image);
        for (const auto& c : cases) {
            image->fill(Qt::black);
            font.Blend().BlendColor(c.at.x(), c.at.y(), mask, 100, clWhite);
            int inked = 0;
            for (int y = 0; y < image->height(); ++y)
                for (int x = 0; x < image->width(); ++x) inked += image->pixelColor(x, y) == Qt::white;
            EXPECT_EQ(inked, c.inked) << c.at.x() << "," << c.at.y() << " format " << image->format();
        }
    }
}

TEST_F(BlendTest, OtherCanvasFormatsBlendAlike) {
    QImage argb(4, 2, QImage::Format_ARGB32);
    argb.fill(QColor(10, 20, 30));
    canvas.SetImage(&argb);
    FillMask(mask, {{255, 254, 0}});
    font.Blend().BlendColor(1, 1, mask, 100, MakeGrey(255));
    EXPECT_EQ(argb.pixel(1, 1), qRgb(255, 255, 255));
    EXPECT_EQ(argb.pixel(2, 1), qRgb(10 + (245 * 254 >> 8), 20 + (235 * 254 >> 8), 30 + (225 * 254 >> 8)));
    EXPECT_EQ(argb.pixel(3, 1), qRgb(10, 20, 30));
    EXPECT_EQ(argb.pixel(1, 0), qRgb(10, 20, 30));
}

TEST_F(BlendTest, ForegroundGivesEachPixelItsColour) {
    FillMask(mask, {{255, 128, 0}});
    font.Blend().SizeForeBitmap(3, 1);
    std::uint8_t* fore = font.Blend().ForeBitmap().scanLine(0);
    const std::uint8_t colours[9] = {1, 2, 3, 200, 100, 50, 9, 9, 9};
    std::copy(colours, colours + 9, fore);
    font.Blend().BlendForeground(0, 2, mask, 100);
    EXPECT_EQ(Bgr(target, 0, 2), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(Bgr(target, 1, 2), (std::vector<int>{30 + (170 >> 1), 20 + (80 >> 1), 10 + (40 >> 1)}));
    EXPECT_EQ(Bgr(target, 2, 2), (std::vector<int>{30, 20, 10}));
}

TEST_F(BlendTest, ForegroundOfTheWrongSizeOrDepthIsRefused) {
    const QImage before = target.copy();
    const struct {
        QSize mask;
        QImage fore;
    } cases[] = {
        {{2, 2}, QImage()},
        {{2, 2}, QImage(3, 2, QImage::Format_BGR888)},
        {{2, 2}, QImage(2, 1, QImage::Format_BGR888)},
        {{2, 2}, QImage(2, 2, QImage::Format_RGB888)},
        {{2, 2}, QImage(2, 2, QImage::Format_RGB32)},
        {{0, 0}, QImage(2, 2, QImage::Format_BGR888)},  // an empty mask is checked too
        {{3, 0}, QImage(3, 1, QImage::Format_BGR888)},
    };
    for (const auto& c : cases) {
        mask.SetSize(c.mask.width(), c.mask.height());
        font.Blend().ForeBitmap() = c.fore;
        try {
            font.Blend().BlendForeground(0, 0, mask, 100);
            ADD_FAILURE() << "accepted " << c.fore.width() << "x" << c.fore.height() << " format " << c.fore.format()
                          << " for a mask of " << c.mask.width() << "x" << c.mask.height();
        } catch (const EInvalidForeBmp& e) {
            EXPECT_STREQ(e.what(), "Invalid foreground bitmap!");
        }
    }
    EXPECT_EQ(target, before);
    mask.SetSize(0, 0);
    font.Blend().ForeBitmap() = QImage();
    EXPECT_NO_THROW(font.Blend().BlendForeground(0, 0, mask, 100)) << "an empty mask with an empty foreground";
}

TEST(SmoothBlend, WithoutCanvasNothingHappens) {
    TSmoothFont font;
    TSmoothMask mask(&font);
    FillMask(mask, {{255}});
    font.Blend().BlendColor(0, 0, mask, 100, clWhite);
    font.Blend().BlendForeground(0, 0, mask, 100);  // no canvas: not even the size check
    QImage none;
    TCanvas empty(&none);
    font.SetCanvas(&empty);
    font.Blend().BlendColor(0, 0, mask, 100, clWhite);
    SUCCEED();
}

TEST(SmoothBlend, AssignCopiesTheForeground) {
    TSmoothFont a, b;
    a.Blend().SizeForeBitmap(2, 3);
    a.Blend().ForeBitmap().fill(Qt::red);
    b.Blend().Assign(a.Blend());
    EXPECT_EQ(b.Blend().ForeBitmap(), a.Blend().ForeBitmap());
    a.Blend().ForeBitmap().fill(Qt::blue);
    EXPECT_NE(b.Blend().ForeBitmap(), a.Blend().ForeBitmap());
}

}  // namespace
}  // namespace zl
