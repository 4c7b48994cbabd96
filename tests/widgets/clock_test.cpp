#include <gtest/gtest.h>

#include <QImage>
#include <memory>
#include <string>

#include "core/clock.h"
#include "core/codepage.h"
#include "widgets/paint.h"
#include "widgets/zorledclock.h"

namespace zl {
namespace {

std::string Text(const std::string& gbk) { return GbkToUtf8(gbk); }

// Each clock is made one second before the instant under test, so its first tick lands on it.
class ClockAt : public ::testing::Test {
protected:
    std::unique_ptr<Tzorledclock> MakeClock(LocalMs instant) {
        manual.Set(instant - 1000);
        return std::make_unique<Tzorledclock>(nullptr);
    }
    void Tick() { manual.Advance(1000); }

    ManualTimeSource manual{MakeLocalMs(2024, 3, 4, 9, 5, 7)};
    ScopedTimeSource scope{manual};
};

TEST_F(ClockAt, ConstructionShowsTheTimeAndTicksEverySecond) {
    manual.Set(MakeLocalMs(2024, 3, 4, 9, 5, 7));
    auto clock = std::make_unique<Tzorledclock>(nullptr);
    EXPECT_EQ(clock->Caption(), "9:05:07") << "long time text at once";
    EXPECT_EQ(clock->startdate, "2024-3-3") << "yesterday as short date text";
    EXPECT_EQ(clock->DATEFORMAT, "yyyy-MM-dd hh:mm:ss");
    EXPECT_EQ(clock->DisplayType, DTclock);
    EXPECT_EQ(clock->ClockTimer().Interval(), 1000);
    EXPECT_TRUE(clock->ClockTimer().Enabled());
    EXPECT_TRUE(clock->IsWindowed());
    EXPECT_EQ(manual.ActiveTimers(), 1);

    manual.Advance(999);
    EXPECT_EQ(clock->Caption(), "9:05:07");
    manual.Advance(1);
    EXPECT_EQ(clock->Caption(), "2024-03-04 09:05:08");
    // Values are plain stores: a change shows at the next tick, without any repaint request.
    clock->DisplayType = DTweek;
    EXPECT_EQ(clock->Caption(), "2024-03-04 09:05:08");
    manual.Advance(1000);
    EXPECT_EQ(Text(clock->Caption()), "星期一");

    clock.reset();
    EXPECT_EQ(manual.ActiveTimers(), 0) << "the timer goes with the widget";
}

TEST_F(ClockAt, FormatsDateAndTimeWithThePattern) {
    const struct {
        LocalMs at;
        const char* pattern;  // UTF-8
        const char* caption;
    } cases[] = {
        {MakeLocalMs(2024, 3, 4, 9, 5, 7), "yyyy-MM-dd hh:mm:ss", "2024-03-04 09:05:07"},
        {MakeLocalMs(2024, 3, 4, 9, 5, 7), "yyyy年MM月dd日 hh:mm:ss", "2024年03月04日 09:05:07"},
        {MakeLocalMs(2024, 11, 30, 21, 45, 0), "yyyy年MM月dd日 hh:mm:ss", "2024年11月30日 21:45:00"},
        {MakeLocalMs(2024, 3, 4, 9, 5, 7), "h:m", "9:5"},  // m after an hour is minutes
        {MakeLocalMs(2024, 3, 4, 9, 5, 7), "m/d h", "3-4 9"},
        {MakeLocalMs(2024, 3, 4, 15, 30, 0), "hh:mm AM/PM", "03:30 PM"},
        {MakeLocalMs(2024, 3, 4, 9, 5, 0), "hh:mm AM/PM", "09:05 AM"},
        {MakeLocalMs(2024, 3, 4, 0, 0, 0), "c", "2024-3-4"},  // no time at midnight
        {MakeLocalMs(2024, 3, 4, 9, 5, 7), "c", "2024-3-4 9:05:07"},
        {MakeLocalMs(2024, 3, 4, 9, 5, 7), "", "2024-3-4 9:05:07"},
        {MakeLocalMs(2024, 3, 4, 9, 5, 7), "dddd mmmm", "星期一 三月"},
        {MakeLocalMs(2024, 3, 4, 9, 5, 7), "'hh' \"mm\" hh:nn", "hh mm 09:05"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.pattern);
        auto clock = MakeClock(k.at);
        clock->DATEFORMAT = Utf8ToGbk(k.pattern);
        Tick();
        EXPECT_EQ(Text(clock->Caption()), k.caption);
    }
}

TEST_F(ClockAt, ShowsTheIsoWeekday) {
    const struct {
        LocalMs at;
        const char* caption;
    } cases[] = {
        {MakeLocalMs(2024, 3, 3, 12), "星期天"},
        {MakeLocalMs(2024, 3, 4, 0), "星期一"},
        {MakeLocalMs(2024, 3, 6, 23, 59, 59), "星期三"},
        {MakeLocalMs(2024, 3, 9, 8), "星期六"},
        {MakeLocalMs(2001, 1, 1, 8), "星期一"},
    };
    for (const auto& k : cases) {
        auto clock = MakeClock(k.at);
        clock->DisplayType = DTweek;
        Tick();
        EXPECT_EQ(Text(clock->Caption()), k.caption);
    }
}

TEST_F(ClockAt, CountsWholeDaysSinceTheStartDate) {
    const struct {
        const char* name;
        LocalMs at;
        const char* startdate;
        const char* prefix;
        const char* caption;
    } cases[] = {
        {"100 days back", MakeLocalMs(2024, 3, 4, 15), "2023-11-25", "安全生产:", "安全生产:100天"},
        {"late in the day still the same count", MakeLocalMs(2024, 3, 4, 23, 59, 59), "2023-11-25", "安全生产:",
         "安全生产:100天"},
        {"today", MakeLocalMs(2024, 3, 4, 15), "2024-3-4", "安全生产:", "安全生产:0天"},
        {"leading zeros", MakeLocalMs(2024, 3, 4, 15), "2024-03-04", "安全生产:", "安全生产:0天"},
        {"tomorrow", MakeLocalMs(2024, 3, 4, 15), "2024-3-5", "安全生产:", "安全生产:-1天"},
        {"empty prefix", MakeLocalMs(2024, 3, 4, 15), "2023-11-25", "", "100天"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        auto clock = MakeClock(k.at);
        clock->DisplayType = DTdays;
        clock->startdate = k.startdate;
        clock->DATEFORMAT = Utf8ToGbk(k.prefix);
        Tick();
        EXPECT_EQ(Text(clock->Caption()), k.caption);
    }
}

TEST_F(ClockAt, AStartDateThatDoesNotParseKeepsTheLastCaption) {
    for (const char* bad : {"03/04/2024", "", "2024-13-40", "yesterday"}) {
        SCOPED_TRACE(bad);
        auto clock = MakeClock(MakeLocalMs(2024, 3, 4, 15));
        clock->DisplayType = DTdays;
        clock->DATEFORMAT = "x";
        Tick();
        EXPECT_EQ(clock->Caption(), "x1" + Utf8ToGbk("天"));
        clock->startdate = bad;
        EXPECT_NO_THROW(Tick());
        EXPECT_NO_THROW(Tick());
        EXPECT_EQ(clock->Caption(), "x1" + Utf8ToGbk("天"));
    }
}

TEST_F(ClockAt, LoadingStartsFromAnEmptyFormat) {
    auto clock = MakeClock(MakeLocalMs(2024, 3, 4, 15));
    clock->Loading();
    EXPECT_EQ(clock->DATEFORMAT, "") << "a format absent from a page file is an empty one";
}

// The bounding box of the pixels that differ from the background.
QRect Ink(const QImage& image, QRgb background) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != (background & 0xFFFFFF)) box |= QRect(x, y, 1, 1);
    return box;
}

TEST_F(ClockAt, DrawsItsCaptionAsAPanelDoes) {
    Tzorledclock page(nullptr);  // stands in for the page the clock lies on
    page.SetColor(clBlue);
    page.resize(300, 100);
    const struct {
        const char* name;
        int alignment;
        bool parentColor;
    } cases[] = {
        {"centred", taCenter, false},
        {"left", taLeftJustify, false},
        {"right", taRightJustify, false},
        {"on the page's colour", taCenter, true},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        Tzorledclock clock(nullptr, &page);
        clock.setGeometry(0, 0, 200, 40);
        clock.SetBevelOuter(bvNone);
        clock.SetColor(clBlack);
        if (k.parentColor) clock.SetParentColor(true);
        clock.SetAlignment(k.alignment);
        clock.Font().SetHeight(-16);
        clock.Font().SetColor(0x00FF00);
        clock.SetCaption("8888");
        const QImage image = clock.grab().toImage();
        const QRgb background = k.parentColor ? qRgb(0, 0, 255) : qRgb(0, 0, 0);
        EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, background & 0xFFFFFF);
        EXPECT_EQ(image.pixel(199, 39) & 0xFFFFFF, background & 0xFFFFFF);
        const QRect ink = Ink(image, background);
        ASSERT_FALSE(ink.isEmpty());
        EXPECT_LE(std::abs(ink.top() + ink.bottom() - 39), 5) << "vertically centred";
        switch (k.alignment) {
            case taLeftJustify: EXPECT_LE(ink.left(), 3); EXPECT_LT(ink.right(), 100); break;
            case taRightJustify: EXPECT_GE(ink.right(), 196); EXPECT_GT(ink.left(), 100); break;
            default: EXPECT_LE(std::abs(ink.left() + ink.right() - 199), 4); break;
        }
        bool lime = false;
        for (int y = ink.top(); y <= ink.bottom(); ++y)
            for (int x = ink.left(); x <= ink.right(); ++x) lime |= (image.pixel(x, y) & 0xFFFFFF) == 0x00FF00;
        EXPECT_TRUE(lime) << "drawn in the font's colour";
    }
}

TEST_F(ClockAt, DrawsItsBevels) {
    const QRgb highlight = ToQColor(static_cast<TColor>(0xFF000014u)).rgb();  // clBtnHighlight
    const QRgb shadow = ToQColor(clBtnShadow).rgb();
    ASSERT_NE(highlight, shadow);
    const struct {
        int outer;
        QRgb topLeft, bottomRight;
    } cases[] = {
        {bvRaised, highlight, shadow},
        {bvLowered, shadow, highlight},
        {bvNone, qRgb(0, 0, 0), qRgb(0, 0, 0)},
    };
    for (const auto& k : cases) {
        Tzorledclock clock(nullptr);
        clock.resize(50, 20);
        clock.SetColor(clBlack);
        clock.SetCaption("");
        clock.SetBevelOuter(k.outer);
        const QImage image = clock.grab().toImage();
        EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, k.topLeft & 0xFFFFFF) << k.outer;
        EXPECT_EQ(image.pixel(49, 19) & 0xFFFFFF, k.bottomRight & 0xFFFFFF) << k.outer;
        EXPECT_EQ(image.pixel(25, 10) & 0xFFFFFF, 0u) << k.outer;
    }
}

}  // namespace
}  // namespace zl
