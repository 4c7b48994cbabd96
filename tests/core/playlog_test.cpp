#include <gtest/gtest.h>

#include <sys/stat.h>

#include "core/atomicfile.h"
#include "core/playlog.h"
#include "core/resumepoint.h"
#include "core/textlist.h"
#include "support/scratchdir.h"

namespace zl {
namespace {

TEST(PlayLog, WritesOneLinePerPageWithItsSecondsAndTheEvents) {
    testing::ScratchDir home("playlog");
    PlayLog log(home.path());
    const LocalMs t0 = MakeLocalMs(2026, 3, 1, 23, 59, 50);
    log.Event(t0, "start");
    log.PageStarted(t0, "早班", "p1");
    log.PageStarted(t0 + 7'900, "早班", "p\t2");  // p1 had 7.9 s: 7 whole seconds
    log.Event(t0 + 9'000, "error", {"line one\nline two"});
    log.PageEnded(t0 + 25'000);  // p2 ran past midnight: its line is on the day it started
    log.Event(t0 + 25'000, "stop");
    EXPECT_EQ(ReadTextList(home / "log" / "play-2026-03-01.log"),
              StringList({"2026-03-01 23:59:50\tstart", "2026-03-01 23:59:50\tshowing\t早班\tp1",
                          "2026-03-01 23:59:50\tpage\t早班\tp1\t7", "2026-03-01 23:59:57\tshowing\t早班\tp 2",
                          "2026-03-01 23:59:59\terror\tline one line two",
                          "2026-03-01 23:59:57\tpage\t早班\tp 2\t17"}));
    EXPECT_EQ(ReadTextList(home / "log" / "play-2026-03-02.log"), StringList({"2026-03-02 00:00:15\tstop"}));
}

TEST(PlayLog, DarkTimeSaysUntilWhenAndCountsOnALineOfItsOwn) {
    testing::ScratchDir home("playlog");
    PlayLog log(home.path());
    const LocalMs t0 = MakeLocalMs(2026, 12, 21, 22, 59, 55);
    log.PageStarted(t0, "A", "p1");
    log.DarkStarted(t0 + 5'000, "2026-12-22 06:00");
    log.PageStarted(t0 + 5'000 + 7 * 3'600'000, "A", "p1");
    log.PageEnded(t0 + 5'000 + 7 * 3'600'000 + 10'000);
    EXPECT_EQ(ReadTextList(home / "log" / "play-2026-12-21.log"),
              StringList({"2026-12-21 22:59:55\tshowing\tA\tp1", "2026-12-21 22:59:55\tpage\tA\tp1\t5", "2026-12-21 23:00:00\tdark\t2026-12-22 06:00",
                          "2026-12-21 23:00:00\tdark-time\t25200"}));
    EXPECT_EQ(SumPlayLog(home.path(), "", ""), (PlaySums{{{"2026-12-21", "", ""}, 25200},
                                                          {{"2026-12-21", "A", "p1"}, 5},
                                                          {{"2026-12-22", "A", "p1"}, 10}}));
}

TEST(PlayLog, OldFilesGoAndAFailingWriteIsNoError) {
    testing::ScratchDir home("playlog");
    std::filesystem::create_directories(home / "log");
    for (const char* name : {"play-2025-12-01.log", "play-2025-12-02.log", "play-2026-03-01.log", "notes.log"})
        WriteFileAtomic(home / "log" / name, "x\n");
    PlayLog log(home.path());
    log.RemoveOld(MakeLocalMs(2026, 3, 2, 12), 90);  // keeps 2025-12-02 onwards
    EXPECT_FALSE(std::filesystem::exists(home / "log" / "play-2025-12-01.log"));
    for (const char* name : {"play-2025-12-02.log", "play-2026-03-01.log", "notes.log"})
        EXPECT_TRUE(std::filesystem::exists(home / "log" / name)) << name;
    // A file in the folder's place fails for root too; the failure is told once per outage.
    std::vector<std::string> failures;
    log.SetWriteFailureListener([&](const std::string& why) { failures.push_back(why); });
    std::filesystem::create_directory(home / "log" / "play-2026-03-05.log");
    log.Event(MakeLocalMs(2026, 3, 5), "start");
    log.PageStarted(MakeLocalMs(2026, 3, 5), "a", "b");
    log.PageEnded(MakeLocalMs(2026, 3, 5, 0, 1));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0], (home / "log" / "play-2026-03-05.log").string() + ": Is a directory");
    log.Event(MakeLocalMs(2026, 3, 6), "start");
    log.Event(MakeLocalMs(2026, 3, 5), "stop");
    EXPECT_EQ(failures.size(), 2u) << "told again after a line was written";
}

TEST(PlayLog, SumsSecondsPerDayAndPageWithinTheDates) {
    testing::ScratchDir home("playlog");
    std::filesystem::create_directories(home / "log");
    WriteFileAtomic(home / "log" / "play-2026-03-01.log",
                    "2026-03-01 08:00:00\tstart\n2026-03-01 08:00:00\tpage\tA\tp1\t10\n"
                    "2026-03-01 08:00:10\tpage\tA\tp2\t5\n2026-03-01 08:00:15\tpage\tA\tp1\t12\n"
                    "2026-03-01 08:00:27\tpage\tA\tp1\tbroken\n2026-03-01 08:00:30\tpage\tA\n"
                    "2026-03-01 08:00:31\tpage\tB\tp1\t4\n");
    WriteFileAtomic(home / "log" / "play-2026-03-02.log", "2026-03-02 09:00:00\tpage\tA\tp1\t30\n");
    WriteFileAtomic(home / "log" / "play-2026-03-03.log", "2026-03-03 09:00:00\tpage\tA\tp1\t60\n");
    const PlaySums all = SumPlayLog(home.path(), "", "");
    EXPECT_EQ(all, (PlaySums{{{"2026-03-01", "A", "p1"}, 22},
                             {{"2026-03-01", "A", "p2"}, 5},
                             {{"2026-03-01", "B", "p1"}, 4},
                             {{"2026-03-02", "A", "p1"}, 30},
                             {{"2026-03-03", "A", "p1"}, 60}}));
    EXPECT_EQ(SumPlayLog(home.path(), "2026-03-02", "2026-03-02"), (PlaySums{{{"2026-03-02", "A", "p1"}, 30}}));
    EXPECT_EQ(SumPlayLog(home.path(), "2026-03-02", "").size(), 2u);
}

TEST(PlayLog, APageCutShortCountsUpToItsLastHeartbeat) {
    testing::ScratchDir home("playlog");
    const LocalMs t0 = MakeLocalMs(2026, 3, 1, 23, 59, 30);
    {
        PlayLog log(home.path());
        log.PageStarted(t0, "A", "p1");
        log.PageStarted(t0 + 12'000, "A", "p2");
        for (int s = 10; s <= 40; s += 10) log.Heartbeat(t0 + 12'000 + s * 1000);
        // Killed 7 s after the last heartbeat: no end line is written. Its lines stay on the
        // day it came on screen, also past midnight.
    }
    EXPECT_EQ(ReadTextList(home / "log" / "play-2026-03-01.log").back(), "2026-03-01 23:59:42\ton\tA\tp2\t40");
    {
        PlayLog log(home.path());  // the run after the restart
        log.PageStarted(t0 + 60'000, "A", "p2");
        log.Heartbeat(t0 + 70'000);
        log.PageEnded(t0 + 75'000);
    }
    EXPECT_EQ(SumPlayLog(home.path(), "", ""), (PlaySums{{{"2026-03-01", "A", "p1"}, 12},
                                                     {{"2026-03-01", "A", "p2"}, 40},
                                                     {{"2026-03-02", "A", "p2"}, 15}}));
}

TEST(PlayLog, OnlyDaysOfTheCalendarAreDays) {
    for (const char* day : {"2026-03-01", "2024-02-29", "2026-12-31"}) EXPECT_TRUE(ValidDay(day)) << day;
    for (const char* day : {"2026-13-45", "2026-02-29", "2026-04-31", "2026-00-01", "2026-1-01", "March", ""})
        EXPECT_FALSE(ValidDay(day)) << day;
}

TEST(ResumePoint, RoundTripsAndIgnoresWhatItCannotRead) {
    testing::ScratchDir home("resume");
    EXPECT_FALSE(ReadResumePoint(home.path()));
    for (const ResumePoint& point : {ResumePoint{{"A", "\xd4\xe7\xb0\xe0"}, 2, "\xd4\xe7\xb0\xe0", "p1"},
                                     ResumePoint{{"A\tB"}, 0, "A\tB", ""}, ResumePoint{{"A"}, 3}}) {
        WriteResumePoint(home.path(), point);
        EXPECT_EQ(ReadResumePoint(home.path()), point) << point.plan;
    }
    // A record of an older version: the index and the selection only.
    WriteFileAtomic(ResumePointPath(home.path()), "1\r\nA\r\nB\r\n");
    EXPECT_EQ(ReadResumePoint(home.path()), (ResumePoint{{"A", "B"}, 1}));
    for (const char* bad : {"", "x\r\nA\r\n", "-1\r\nA\r\n", "2x\r\n", "2\tA\r\nA\r\n", "x\tA\tp\r\n"}) {
        WriteFileAtomic(ResumePointPath(home.path()), bad);
        EXPECT_FALSE(ReadResumePoint(home.path())) << bad;
    }
}

}  // namespace
}  // namespace zl
