#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "support/scopedzone.h"

namespace zl {
namespace {

TEST(ManualTime, FiresDueTimersInTimeOrder) {
    ManualTimeSource time(MakeLocalMs(2026, 12, 9, 8, 0, 0));
    std::vector<std::string> fired;
    auto fast = time.CreateTimer();
    auto slow = time.CreateTimer();
    fast->SetInterval(300);
    slow->SetInterval(1000);
    fast->SetOnTimer([&] { fired.push_back("fast@" + std::to_string(time.Now() % 10000)); });
    slow->SetOnTimer([&] { fired.push_back("slow@" + std::to_string(time.Now() % 10000)); });
    fast->SetEnabled(true);
    slow->SetEnabled(true);
    time.Advance(1000);
    EXPECT_EQ(fired, (std::vector<std::string>{"fast@300", "fast@600", "fast@900", "slow@1000"}));
    EXPECT_EQ(time.Now(), MakeLocalMs(2026, 12, 9, 8, 0, 1));
}

TEST(ManualTime, CountdownSurvivesNoChangesAndRestartsOnRealOnes) {
    ManualTimeSource time;
    auto timer = time.CreateTimer();
    int ticks = 0;
    timer->SetOnTimer([&] { ++ticks; });
    timer->SetEnabled(true);
    time.Advance(600);
    timer->SetEnabled(true);   // enabled again while enabled: keeps its countdown
    timer->SetInterval(1000);  // its current interval: keeps its countdown
    time.Advance(400);
    EXPECT_EQ(ticks, 1);
    time.Advance(600);
    timer->SetInterval(500);  // a real change restarts the countdown
    time.Advance(400);
    EXPECT_EQ(ticks, 1);
    time.Advance(100);
    EXPECT_EQ(ticks, 2);
    timer->SetEnabled(false);
    time.Advance(5000);
    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(time.ActiveTimers(), 0);
}

TEST(ManualTime, AHandlerMayDestroyItsOwnTimer) {
    ManualTimeSource time;
    auto timer = time.CreateTimer();
    int ticks = 0;
    timer->SetOnTimer([&] {
        ++ticks;
        timer.reset();
    });
    timer->SetEnabled(true);
    time.Advance(10000);
    EXPECT_EQ(ticks, 1);
}

TEST(ManualTime, WallClocksAreSetOnTheirOwnAndTimersRunOnTheMonotonicClock) {
    ManualTimeSource time(MakeLocalMs(2026, 12, 9, 8, 0, 0));
    auto timer = time.CreateTimer();
    int ticks = 0;
    timer->SetOnTimer([&] { ++ticks; });
    timer->SetEnabled(true);
    const MonoMs mono = time.Monotonic();
    const UtcMs utc = time.Utc();
    time.Advance(500);
    time.Set(time.Now() - 3'600'000);  // local wall clock back an hour
    time.SetUtc(time.Utc() + 60'000);  // UTC on a minute
    EXPECT_EQ(time.Monotonic(), mono + 500);
    time.Advance(500);
    EXPECT_EQ(ticks, 1) << "a timer falls due on the monotonic clock, whatever the wall clocks do";
    EXPECT_EQ(time.Now(), MakeLocalMs(2026, 12, 9, 7, 0, 1));
    EXPECT_EQ(time.Utc(), utc + 61'000);
    EXPECT_EQ(time.Monotonic(), mono + 1000);
}

// Virtual local time steps with the zone's daylight-saving changes, as the system's clock does;
// a local clock set by hand keeps its distance from the zone's time.
TEST(ManualTime, LocalTimeFollowsTheZoneAcrossDaylightSavingChanges) {
    ScopedZone zone("Europe/Berlin");
    struct Case {
        LocalMs from;
        std::int64_t setBack;
        LocalMs to;  // 20 s later
    } cases[] = {
        {MakeLocalMs(2026, 3, 29, 1, 59, 50), 0, MakeLocalMs(2026, 3, 29, 3, 0, 10)},
        {MakeLocalMs(2026, 10, 25, 2, 59, 50), 0, MakeLocalMs(2026, 10, 25, 2, 0, 10)},
        {MakeLocalMs(2026, 3, 29, 1, 59, 50), 3'600'000, MakeLocalMs(2026, 3, 29, 2, 0, 10)},
        {MakeLocalMs(2026, 7, 1, 12, 0, 0), 0, MakeLocalMs(2026, 7, 1, 12, 0, 20)},
    };
    for (const Case& c : cases) {
        ManualTimeSource time;
        time.SetInstant(UtcFromLocal(c.from));
        time.Set(time.Now() - c.setBack);
        const UtcMs utc = time.Utc();
        time.Advance(20'000);
        EXPECT_EQ(time.Now(), c.to) << c.from;
        EXPECT_EQ(time.Utc(), utc + 20'000);
    }
}

TEST(ZoneTime, LocalTimesOfSkippedAndRepeatedHoursNameOneInstant) {
    struct Case {
        const char* zone;
        LocalMs local;
        LocalMs utc;  // as a calendar time of UTC
    } cases[] = {
        {"Asia/Shanghai", MakeLocalMs(2026, 12, 21, 7, 0), MakeLocalMs(2026, 12, 20, 23, 0)},
        // Berlin skips 02:00-03:00 on 29 March 2026: the first valid minute after.
        {"Europe/Berlin", MakeLocalMs(2026, 3, 29, 2, 30), MakeLocalMs(2026, 3, 29, 1, 0)},
        {"Europe/Berlin", MakeLocalMs(2026, 3, 29, 3, 0), MakeLocalMs(2026, 3, 29, 1, 0)},
        // and repeats 02:00-03:00 on 25 October: the first occurrence, still summer time.
        {"Europe/Berlin", MakeLocalMs(2026, 10, 25, 2, 30, 15), MakeLocalMs(2026, 10, 25, 0, 30, 15)},
        {"America/New_York", MakeLocalMs(2026, 3, 8, 2, 15), MakeLocalMs(2026, 3, 8, 7, 0)},
        {"America/New_York", MakeLocalMs(2026, 11, 1, 1, 30), MakeLocalMs(2026, 11, 1, 5, 30)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        ScopedZone zone(c.zone);
        EXPECT_EQ(UtcFromLocal(c.local), c.utc);
        EXPECT_EQ(LocalFromUtc(c.utc), c.local == MakeLocalMs(2026, 3, 29, 2, 30)   ? MakeLocalMs(2026, 3, 29, 3, 0)
                                       : c.local == MakeLocalMs(2026, 3, 8, 2, 15) ? MakeLocalMs(2026, 3, 8, 3, 0)
                                                                                    : c.local);
    }
}

TEST(DateTime, ConvertsToTheFrameworksDays) {
    EXPECT_DOUBLE_EQ(ToDateTime(MakeLocalMs(1899, 12, 30)), 0.0);
    EXPECT_DOUBLE_EQ(ToDateTime(MakeLocalMs(2000, 1, 1, 12)), 36526.5);
    EXPECT_EQ(FromDateTime(36526.5), MakeLocalMs(2000, 1, 1, 12));
}

}  // namespace
}  // namespace zl
