#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPainter>
#include <functional>

#include "aatext/canvas.h"
#include "aatext/smoothfontex.h"
#include "core/props/enums.h"
#include "testsupport.h"

namespace zl {
namespace {

// Goldens are looked at, not just compared: ZORLED_UPDATE_GOLDENS=1 rewrites them on purpose,
// and a mismatch leaves the actual picture in the build folder beside a summary of the change.
void ExpectGolden(const QImage& actual, const std::string& name) {
    const QString golden = QString(ZORLED_TEST_DATA) + "/aatext/" + QString::fromStdString(name) + ".png";
    if (qEnvironmentVariableIntValue("ZORLED_UPDATE_GOLDENS") == 1) {
        ASSERT_TRUE(actual.save(golden)) << golden.toStdString();
        return;
    }
    const QImage expected(golden);
    ASSERT_FALSE(expected.isNull()) << "missing " << golden.toStdString()
                                    << "; run with ZORLED_UPDATE_GOLDENS=1 to create it";
    const std::string difference = test::DescribeDifference(expected, actual);
    if (difference.empty()) return;
    const QString folder = QString(ZORLED_BINARY_DIR) + "/aatext-actual";
    QDir().mkpath(folder);
    actual.save(folder + "/" + QString::fromStdString(name) + ".png");
    ADD_FAILURE() << name << ": " << difference << "\nactual picture in " << folder.toStdString();
}

struct Scene {
    const char* name;
    TSmoothQuality quality;
    std::function<void(TSmoothEffect&, TCanvas&)> setup;
};

QImage Render(const Scene& scene, LinearRandom& random) {
    QImage image = test::Canvas24(300, 60, QColor(24, 40, 88));
    TCanvas canvas(&image);
    canvas.Brush.Style = TBrushStyle::bsClear;
    TSmoothFontEx font(&canvas);
    font.SetRandom(&random);
    font.SetQuality(scene.quality);
    const struct {
        const char* family;
        const char* text;
    } lines[] = {{"黑体", "ZorLED 显示系统 Smooth"}, {"宋体", "滚动文字 LED board 24"}};
    int y = 3;
    for (const auto& line : lines) {
        test::SetFont(canvas.Font, line.family, -22, clYellow);
        font.Effect().Assign(TSmoothEffect());
        if (scene.setup) scene.setup(font.Effect(), canvas);
        const std::string text = Utf8ToGbk(line.text);
        font.TextOut(6, y, text);
        y += font.TextHeight(text) + 2;
    }
    return image;
}

QImage Stripes() {
    QImage stripes(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) stripes.setPixel(x, y, (x + y) % 8 < 4 ? qRgb(255, 220, 60) : qRgb(80, 220, 255));
    return stripes;
}

TEST(Goldens, QualitiesAndEffectsDrawAsApproved) {
    const Scene scenes[] = {
        {"quality_high", TSmoothQuality::aqHigh, nullptr},
        {"quality_normal", TSmoothQuality::aqNormal, nullptr},
        {"quality_low", TSmoothQuality::aqLow, nullptr},
        {"quality_none", TSmoothQuality::aqNone, nullptr},
        {"effect_shadow", TSmoothQuality::aqNormal,
         [](TSmoothEffect& e, TCanvas&) {
             e.Shadow().SetEnabled(true);
             e.Shadow().SetColor(clBlack);
         }},
        {"effect_outline", TSmoothQuality::aqHigh, [](TSmoothEffect& e, TCanvas&) { e.SetOutline(true); }},
        {"effect_blur", TSmoothQuality::aqNormal, [](TSmoothEffect& e, TCanvas&) { e.SetBlur(40); }},
        {"effect_spray", TSmoothQuality::aqNormal, [](TSmoothEffect& e, TCanvas&) { e.SetSpray(1); }},
        {"effect_noise", TSmoothQuality::aqNormal, [](TSmoothEffect& e, TCanvas&) { e.SetNoise(160); }},
        {"effect_gradient", TSmoothQuality::aqNormal,
         [](TSmoothEffect& e, TCanvas&) {
             e.Gradual().SetEnabled(true);
             e.Gradual().SetStyle(gsTopToBottom);
             e.Gradual().SetStartColor(clYellow);
             e.Gradual().SetEndColor(clRed);
         }},
        {"effect_texture", TSmoothQuality::aqNormal,
         [](TSmoothEffect& e, TCanvas&) {
             e.Texture().SetEnabled(true);
             e.Texture().Picture().SetBitmap(Stripes());
         }},
        {"effect_alpha", TSmoothQuality::aqNormal, [](TSmoothEffect& e, TCanvas&) { e.SetAlpha(50); }},
        {"style_bold_italic", TSmoothQuality::aqNormal,
         [](TSmoothEffect&, TCanvas& c) { c.Font.SetStyle(Bit(fsBold) | Bit(fsItalic)); }},
    };
    std::vector<Scene> styled;
    const std::pair<const char*, TSmoothQuality> qualities[] = {{"high", TSmoothQuality::aqHigh},
                                                                {"normal", TSmoothQuality::aqNormal},
                                                                {"low", TSmoothQuality::aqLow},
                                                                {"none", TSmoothQuality::aqNone}};
    for (const auto& [name, quality] : qualities) {
        styled.push_back({nullptr, quality, [](TSmoothEffect&, TCanvas& c) { c.Font.SetStyle(Bit(fsBold)); }});
        styled.push_back({nullptr, quality, [](TSmoothEffect&, TCanvas& c) {
                              c.Font.SetStyle(Bit(fsUnderline) | Bit(fsStrikeOut));
                          }});
    }
    for (size_t i = 0; i < styled.size(); ++i) {
        const std::string name = std::string(i % 2 ? "style_decorated_" : "style_bold_") + qualities[i / 2].first;
        LinearRandom random(1);
        ExpectGolden(Render(styled[i], random), name);
    }
    for (const Scene& scene : scenes) {
        LinearRandom random(1);
        ExpectGolden(Render(scene, random), scene.name);
    }
}

}  // namespace
}  // namespace zl
