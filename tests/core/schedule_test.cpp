#include "core/schedule.h"

#include <gtest/gtest.h>

#include "core/playlog.h"
#include "support/scopedzone.h"
#include "support/scratchdir.h"

namespace zl {
namespace {

ScheduleWindow Window(const std::string& line) {
    std::string why;
    const auto window = ParseScheduleLine(line, why);
    EXPECT_TRUE(window) << line << ": " << why;
    return window.value_or(ScheduleWindow{});
}

std::string StateText(const ScheduleState& state) {
    if (state.dark) return "dark";
    std::string text;
    for (const std::string& plan : state.plans) text += (text.empty() ? "" : ",") + plan;
    return text;
}

TEST(ScheduleLine, ReadsWhatAWindowMaySayAndWritesItBack) {
    struct Case {
        const char* line;
        const char* written;  // the line as the editor writes it; empty: the line itself
    } cases[] = {
        {"* 00:00-24:00", ""},
        {"1-5 07:00-11:00", ""},
        {"6,7 09:30-12:00 priority 5", ""},
        {"1-3,5 22:00-02:00", ""},
        {"  1,2,3  08:00-09:00\t2026-12-24..2026-12-26  priority 0 ", "1-3 08:00-09:00 2026-12-24..2026-12-26 priority 0"},
        {"7,1 12:00-12:00 2028-02-29..2028-02-29 priority 99", "1,7 12:00-12:00 2028-02-29..2028-02-29 priority 99"},
        {"1,2 06:00-07:00 priority 1", "1,2 06:00-07:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(FormatScheduleWindow(Window(c.line)), *c.written ? c.written : c.line);
    }
}

TEST(ScheduleLine, ReportsLinesItCannotReadWithTheirNumberAndKeepsTheRest) {
    const StringList lines{
        "; breakfast",                        // 1
        "",                                   // 2
        "1-5 07:00-11:00",                    // 3
        "8 07:00-11:00",                      // 4 no eighth day
        "5-1 07:00-11:00",                    // 5 backwards
        "1 25:00-26:00",                      // 6
        "1 24:00-02:00",                      // 7 24:00 only ends
        "1 7:00-11:00",                       // 8
        "* 07:00-11:00 2027-02-29..2027-03-01",  // 9 no 29 February in 2027
        "* 07:00-11:00 2026-12-26..2026-12-24",  // 10
        "* 07:00-11:00 priority 100",         // 11
        "* 07:00-11:00 priority",             // 12
        "* 07:00-11:00 weekly",               // 13
        "*",                                  // 14
        "6,7 10:00-12:00 priority 3",         // 15
    };
    const Schedule schedule = ParseSchedule(lines);
    ASSERT_EQ(schedule.windows.size(), 2u);
    EXPECT_EQ(schedule.windows[1].priority, 3);
    std::vector<int> numbers;
    for (const ScheduleProblem& p : schedule.problems) {
        numbers.push_back(p.line);
        EXPECT_FALSE(p.why.empty());
        EXPECT_EQ(p.text, lines[p.line - 1]);
    }
    EXPECT_EQ(numbers, (std::vector<int>{4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
    EXPECT_EQ(DescribeProblem("pagedef/A.SCH", schedule.problems[0]).rfind("pagedef/A.SCH, line 4: days \"8\"", 0), 0u);
}

// Three plans and dark hours over a week, a year end and a leap day, in a zone without
// daylight saving.
TEST(Schedule, PlaysTheHighestPriorityOnAndGoesDarkInDarkHours) {
    ScopedZone zone("Asia/Shanghai");
    PlaySchedule schedule;
    schedule.plans.push_back({"Default", std::nullopt});
    schedule.plans.push_back({"Breakfast", ParseSchedule({"1-5 07:00-11:00 priority 5"})});
    schedule.plans.push_back({"Late", ParseSchedule({"5 22:00-02:00", "7 23:00-01:00 priority 0"})});
    schedule.plans.push_back({"Holiday", ParseSchedule({"* 00:00-24:00 2026-12-24..2026-12-26 priority 9",
                                                        "4 22:00-01:00 2026-12-31..2026-12-31 priority 9",
                                                        "* 10:00-12:00 2028-02-29..2028-02-29 priority 9"})});
    schedule.darkHours = ParseSchedule({"1-3 23:30-06:00", "1-5 14:00-14:30 2026-12-21..2026-12-21"});
    ASSERT_TRUE(schedule.Active());
    struct Case {
        LocalMs at;
        const char* state;
    } cases[] = {
        {MakeLocalMs(2026, 12, 21, 6, 59, 59), "Default"},            // Monday; no dark hours from Sunday
        {MakeLocalMs(2026, 12, 21, 7, 0), "Breakfast"},
        {MakeLocalMs(2026, 12, 21, 10, 59, 59), "Breakfast"},
        {MakeLocalMs(2026, 12, 21, 11, 0), "Default"},
        {MakeLocalMs(2026, 12, 21, 14, 10), "dark"},                  // dated dark hours
        {MakeLocalMs(2026, 12, 22, 14, 10), "Default"},
        {MakeLocalMs(2026, 12, 21, 23, 29), "Default"},
        {MakeLocalMs(2026, 12, 21, 23, 30), "dark"},
        {MakeLocalMs(2026, 12, 22, 5, 59), "dark"},
        {MakeLocalMs(2026, 12, 24, 9, 0), "Holiday"},                 // over breakfast
        {MakeLocalMs(2026, 12, 26, 23, 59), "Holiday"},
        {MakeLocalMs(2026, 12, 27, 0, 0), "Default"},                 // Sunday
        {MakeLocalMs(2026, 12, 27, 23, 30), "Default,Late"},          // priority 0 beside the default
        {MakeLocalMs(2026, 12, 28, 0, 59), "Default,Late"},           // over the week end
        {MakeLocalMs(2026, 12, 28, 1, 0), "Default"},
        {MakeLocalMs(2027, 1, 1, 0, 30), "Holiday"},                  // over the year end
        {MakeLocalMs(2027, 1, 1, 1, 0), "Default"},
        {MakeLocalMs(2027, 1, 1, 22, 0), "Late"},                     // Friday night
        {MakeLocalMs(2027, 1, 2, 1, 59), "Late"},
        {MakeLocalMs(2027, 1, 2, 2, 0), "Default"},
        {MakeLocalMs(2028, 2, 29, 11, 0), "Holiday"},
        {MakeLocalMs(2028, 3, 1, 10, 30), "Breakfast"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(LocalSecond(c.at));
        EXPECT_EQ(StateText(schedule.StateAt(UtcFromLocal(c.at))), c.state);
    }
    // No plan on is dark too, and a selection of unscheduled plans is what it always was.
    PlaySchedule none;
    none.plans.push_back({"Breakfast", ParseSchedule({"1-5 07:00-11:00"})});
    EXPECT_EQ(StateText(none.StateAt(UtcFromLocal(MakeLocalMs(2026, 12, 21, 12, 0)))), "dark");
    PlaySchedule plain;
    plain.plans = {{"A", std::nullopt}, {"B", std::nullopt}};
    EXPECT_FALSE(plain.Active());
    EXPECT_EQ(StateText(plain.StateAt(0)), "A,B");
    EXPECT_FALSE(plain.NextChange(0));
}

TEST(Schedule, WindowsOnDaylightSavingDaysStartOnceAndEndAtTheFirstValidMinute) {
    struct Case {
        const char* zone;
        const char* line;
        LocalMs day;
        const char* startUtc;
        const char* endUtc;
    } cases[] = {
        // Berlin: 02:00-03:00 skipped on 29 March 2026, repeated on 25 October 2026.
        {"Europe/Berlin", "7 02:30-04:00", MakeLocalMs(2026, 3, 29), "2026-03-29 01:00:00", "2026-03-29 02:00:00"},
        {"Europe/Berlin", "7 01:00-02:30", MakeLocalMs(2026, 3, 29), "2026-03-29 00:00:00", "2026-03-29 01:00:00"},
        {"Europe/Berlin", "7 02:30-03:30", MakeLocalMs(2026, 10, 25), "2026-10-25 00:30:00", "2026-10-25 02:30:00"},
        {"Europe/Berlin", "7 01:00-02:30", MakeLocalMs(2026, 10, 25), "2026-10-24 23:00:00", "2026-10-25 00:30:00"},
        {"Europe/Berlin", "6 22:00-06:00", MakeLocalMs(2026, 10, 24), "2026-10-24 20:00:00", "2026-10-25 05:00:00"},
        // New York: 02:00-03:00 skipped on 8 March 2026, 01:00-02:00 repeated on 1 November.
        {"America/New_York", "7 02:15-05:00", MakeLocalMs(2026, 3, 8), "2026-03-08 07:00:00", "2026-03-08 09:00:00"},
        {"America/New_York", "7 01:30-03:00", MakeLocalMs(2026, 11, 1), "2026-11-01 05:30:00", "2026-11-01 08:00:00"},
        {"America/New_York", "7 00:00-01:30", MakeLocalMs(2026, 11, 1), "2026-11-01 04:00:00", "2026-11-01 05:30:00"},
        {"America/New_York", "7 02:10-02:50", MakeLocalMs(2026, 3, 8), nullptr, nullptr},  // wholly skipped
        {"Asia/Shanghai", "* 23:00-24:00", MakeLocalMs(2026, 12, 31), "2026-12-31 15:00:00", "2026-12-31 16:00:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + c.line);
        ScopedZone zone(c.zone);
        std::vector<Occurrence> out;
        Occurrences(Window(c.line), LocalDayOf(c.day), LocalDayOf(c.day), out);
        if (!c.startUtc) {
            EXPECT_TRUE(out.empty());
            continue;
        }
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(LocalSecond(out[0].start), c.startUtc);
        EXPECT_EQ(LocalSecond(out[0].end), c.endUtc);
        // Each stretch is on once: just before its start off, inside on, at its end off.
        PlaySchedule schedule;
        schedule.plans.push_back({"P", ParseSchedule({c.line})});
        EXPECT_TRUE(schedule.StateAt(out[0].start - 1).dark);
        EXPECT_FALSE(schedule.StateAt(out[0].start).dark);
        EXPECT_FALSE(schedule.StateAt(out[0].end - 1).dark);
        EXPECT_TRUE(schedule.StateAt(out[0].end).dark);
        EXPECT_EQ(schedule.NextChange(out[0].start - 60'000), out[0].start);
        EXPECT_EQ(schedule.NextChange(out[0].start), out[0].end);
    }
}

TEST(Schedule, TimelineJoinsNeighboursAndCutsToTheRange) {
    ScopedZone zone("Asia/Shanghai");
    PlaySchedule schedule;
    schedule.plans.push_back({"A", ParseSchedule({"* 08:00-12:00", "* 12:00-13:00"})});
    schedule.plans.push_back({"B", ParseSchedule({"* 12:30-14:00 priority 0", "* 12:30-14:00"})});
    const UtcMs from = UtcFromLocal(MakeLocalMs(2026, 12, 21, 10, 0));
    std::vector<std::string> lines;
    for (const TimelineEntry& e : Timeline(schedule, from, from + 6 * 3'600'000))
        lines.push_back(LocalSecond(LocalFromUtc(e.start)) + " " + LocalSecond(LocalFromUtc(e.end)) + " " +
                        StateText(e.state));
    EXPECT_EQ(lines, (std::vector<std::string>{"2026-12-21 10:00:00 2026-12-21 12:30:00 A",
                                               "2026-12-21 12:30:00 2026-12-21 13:00:00 A,B",
                                               "2026-12-21 13:00:00 2026-12-21 14:00:00 B",
                                               "2026-12-21 14:00:00 2026-12-21 16:00:00 dark"}));
}

TEST(Schedule, LoadsTheSelectionsFilesAndReportsTheirProblems) {
    testing::ScratchDir dir("schedule");
    WriteTextList(dir.path() / "a.sch", {"1-5 07:00-11:00", "bad line"});
    WriteTextList(dir.path() / "DarkHours.PLN", {"* 23:00-06:00"});
    std::vector<std::string> reports;
    const PlaySchedule schedule =
        LoadPlaySchedule(dir.path(), {"A", "B"}, [&](const std::string& r) { reports.push_back(r); });
    ASSERT_EQ(schedule.plans.size(), 2u);
    EXPECT_TRUE(schedule.plans[0].schedule) << "found as plan files are, whatever the case";
    EXPECT_FALSE(schedule.plans[1].schedule);
    EXPECT_TRUE(schedule.darkHours);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("a.sch, line 2: "), std::string::npos);
}

}  // namespace
}  // namespace zl
