#include <gtest/gtest.h>

#include "core/codepage.h"
#include "core/datetimeformat.h"

namespace zl {
namespace {

// Thursday afternoon, with milliseconds that show padding.
const LocalMs kAfternoon = MakeLocalMs(2026, 3, 5, 14, 7, 9, 45);
const LocalMs kMidnight = MakeLocalMs(2026, 3, 5);
const LocalMs kMorning = MakeLocalMs(2026, 12, 9, 9, 5, 3, 7);

FormatSettings DottedSeparators() {
    FormatSettings s = ChineseFormatSettings();
    s.DateSeparator = '.';
    s.TimeSeparator = '.';
    return s;
}

// Locale formats that name each other must not recurse without end.
FormatSettings SelfReferring() {
    FormatSettings s = ChineseFormatSettings();
    s.ShortDateFormat = "c";
    return s;
}

TEST(FormatDateTime, PatternTable) {
    const FormatSettings dotted = DottedSeparators();
    const FormatSettings selfReferring = SelfReferring();
    struct Case {
        const char* pattern;  // UTF-8, converted to GBK like every model string
        LocalMs when;
        const char* expected;
        const FormatSettings* settings = nullptr;
    } cases[] = {
        {"yyyy-MM-dd hh:mm:ss", kAfternoon, "2026-03-05 14:07:09"},
        {"yyyy年MM月dd日 hh:mm:ss", kAfternoon, "2026年03月05日 14:07:09"},
        {"y/m/d h:n:s", kMorning, "26-12-9 9:5:3"},
        {"yy yyy", kAfternoon, "26 2026"},
        // m after an hour is minutes, whatever stands between; before it, the month.
        {"h:m", kAfternoon, "14:7"},
        {"hh时mm分", kAfternoon, "14时07分"},
        {"mm hh", kAfternoon, "03 14"},
        {"hh:nn:mm", kAfternoon, "14:07:03"},
        // 12-hour markers.
        {"hh:mm AM/PM", kAfternoon, "02:07 PM"},
        {"hh:mm am/pm", kMorning, "09:05 am"},
        {"h A/P", kAfternoon, "2 P"},
        {"h a/p", kMorning, "9 a"},
        {"hh:nn AMPM", kAfternoon, "02:07 下午"},
        {"AMPM h:nn", kMorning, "上午 9:05"},
        {"h AM/PM", kMidnight, "12 AM"},
        {"h AM/PM", MakeLocalMs(2026, 3, 5, 12), "12 PM"},
        {"h 'AM/PM'", kAfternoon, "14 AM/PM"},
        {"h x a", kAfternoon, "14 x a"},
        // Locale names and formats.
        {"mmm|mmmm|mmmmm", kAfternoon, "三月|三月|三月"},
        {"ddd|dddd", kAfternoon, "周四|星期四"},
        {"ddddd", kAfternoon, "2026-3-5"},
        {"dddddd", kAfternoon, "2026年3月5日"},
        {"t", kAfternoon, "14:07"},
        {"tt", kMorning, "9:05:03"},
        {"c", kAfternoon, "2026-3-5 14:07:09"},
        {"c", kMidnight, "2026-3-5"},
        {"", kAfternoon, "2026-3-5 14:07:09"},
        {"z|zz|zzz|zzzz", kMorning, "7|07|007|007"},
        {"s.zzz", kAfternoon, "9.045"},
        // Separators come from the locale.
        {"yyyy/mm/dd hh:nn", kAfternoon, "2026-03-05 14:07"},
        {"yyyy/mm/dd hh:nn", kAfternoon, "2026.03.05 14.07", &dotted},
        {"c", kAfternoon, "2026-3-5 14.07.09", &dotted},  // the short date has literal dashes
        // Quoted and other text is copied as it stands.
        {"'hh:mm' \"dd\" hh", kAfternoon, "hh:mm dd 14"},
        {"'unterminated h", kAfternoon, "unterminated h"},
        {"#[x]! hh", kAfternoon, "#[x]! 14"},
        // GBK characters whose trail byte is a letter ('d', 'h', 'm', 'a') stay whole.
        {"卍刪乵哸", kAfternoon, "卍刪乵哸"},
        {"hh刪:mm AM/PM", kAfternoon, "02刪:07 PM"},
        {"'乵'dd", kAfternoon, "乵05"},
        {"c", kAfternoon, "  14:07:09", &selfReferring},
    };
    for (const Case& c : cases) {
        const FormatSettings& settings = c.settings ? *c.settings : ChineseFormatSettings();
        EXPECT_EQ(GbkToUtf8(FormatDateTime(Utf8ToGbk(c.pattern), c.when, settings)), c.expected)
            << "pattern " << c.pattern;
    }
}

TEST(FormatDateTime, LoneLeadByteAtTheEndIsCopied) {
    EXPECT_EQ(FormatDateTime("d\xB1", kAfternoon), "5\xB1");
}

TEST(FormatDateTime, ShortDateAndLongTimeTexts) {
    EXPECT_EQ(DateToStr(kMorning), "2026-12-9");
    EXPECT_EQ(TimeToStr(kMorning), "9:05:03");
    EXPECT_EQ(DateToStr(kMorning - kMsPerDay), "2026-12-8");
}

TEST(DateTime, IsoWeekday) {
    struct Case { LocalMs when; int expected; } cases[] = {
        {MakeLocalMs(2026, 3, 8, 12), 7},                // Sunday
        {MakeLocalMs(2026, 3, 9), 1},                    // Monday
        {MakeLocalMs(2026, 3, 14, 23, 59, 59, 999), 6},  // Saturday, last millisecond
        {MakeLocalMs(1, 1, 1), 1},
        {MakeLocalMs(1970, 1, 1), 4},
        {MakeLocalMs(1899, 12, 30, 6), 6},  // before 1970: negative milliseconds
    };
    for (const auto& c : cases) EXPECT_EQ(IsoDayOfWeek(c.when), c.expected) << c.when;
}

TEST(DateTime, DecodesNegativeTimes) {
    const DateTimeFields f = DecodeLocalMs(MakeLocalMs(1969, 12, 31, 23, 59, 58, 500));
    EXPECT_EQ(f.year, 1969);
    EXPECT_EQ(f.month, 12);
    EXPECT_EQ(f.day, 31);
    EXPECT_EQ(f.hour, 23);
    EXPECT_EQ(f.second, 58);
    EXPECT_EQ(f.millisecond, 500);
    EXPECT_EQ(DateOf(MakeLocalMs(1969, 12, 31, 1)), MakeLocalMs(1969, 12, 31));
}

TEST(DateTime, DaysSinceStartDate) {
    const LocalMs today = DateOf(kAfternoon);
    struct Case { LocalMs start; std::int64_t expected; } cases[] = {
        {today - 100 * kMsPerDay, 100},
        {today, 0},
        {today + kMsPerDay, -1},
        {today - kMsPerDay / 2, 0},       // a start time of day counts only in whole days
        {today + kMsPerDay * 3 / 2, -1},  // truncated toward zero, not down
        {MakeLocalMs(2025, 3, 5), 365},
    };
    for (const auto& c : cases) EXPECT_EQ(DaysSince(c.start, kAfternoon), c.expected) << c.start;
}

class ShortDateParse : public ::testing::Test {
protected:
    ManualTimeSource time{kAfternoon};  // two-digit and missing years depend on this year
    ScopedTimeSource scope{time};
};

TEST_F(ShortDateParse, AcceptsDatesInTheShortFormat) {
    struct Case { const char* text; int year, month, day; } cases[] = {
        {"2026-12-9", 2026, 12, 9},
        {"2026-12-09", 2026, 12, 9},
        {" 2026 - 12 - 9 ", 2026, 12, 9},
        {"2026-12-9-", 2026, 12, 9},
        {"2024-2-29", 2024, 2, 29},
        {"12-9", 2026, 12, 9},
        {"26-12-9", 2026, 12, 9},
        {"76-1-2", 1976, 1, 2},
        {"75-1-2", 2075, 1, 2},
        {"0001-1-1", 1, 1, 1},
    };
    for (const auto& c : cases) {
        const auto parsed = TryStrToDate(c.text);
        ASSERT_TRUE(parsed.has_value()) << c.text;
        EXPECT_EQ(*parsed, MakeLocalMs(c.year, c.month, c.day)) << c.text;
    }
}

TEST_F(ShortDateParse, RejectsWhatIsNotADate) {
    const char* cases[] = {"", "   ", "abc", "2026", "2026-", "2026-12-", "2026-13-1", "2026-2-29",
                           "2026-0-1", "2026-12-32", "2026/12/9", "2026-12-9x", "2026-12-9 10:00",
                           "12345-1-1", "-2026-1-1", "10000-1-1"};
    for (const char* text : cases) EXPECT_FALSE(TryStrToDate(text).has_value()) << text;
    EXPECT_FALSE(TryStrToDate(Utf8ToGbk("2026年12月9日")).has_value());
}

TEST_F(ShortDateParse, FollowsTheDateOrderAndSeparatorOfTheLocale) {
    FormatSettings s = ChineseFormatSettings();
    s.ShortDateFormat = "dd/MM/yyyy";
    s.DateSeparator = '/';
    EXPECT_EQ(TryStrToDate("9/12/2026", s), MakeLocalMs(2026, 12, 9));
    EXPECT_EQ(TryStrToDate("9/12", s), MakeLocalMs(2026, 12, 9));
    EXPECT_FALSE(TryStrToDate("2026-12-9", s).has_value());
    s.ShortDateFormat = "M/d/yy";
    EXPECT_EQ(TryStrToDate("12/9/26", s), MakeLocalMs(2026, 12, 9));
}

TEST_F(ShortDateParse, ReadsBackTheShortDateText) {
    for (LocalMs when : {kAfternoon, kMorning, MakeLocalMs(1999, 1, 31, 23)})
        EXPECT_EQ(TryStrToDate(DateToStr(when)), DateOf(when)) << DateToStr(when);
}

}  // namespace
}  // namespace zl
