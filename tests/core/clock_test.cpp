#include <gtest/gtest.h>

#include <vector>

#include "core/clock.h"

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

TEST(DateTime, ConvertsToTheFrameworksDays) {
    EXPECT_DOUBLE_EQ(ToDateTime(MakeLocalMs(1899, 12, 30)), 0.0);
    EXPECT_DOUBLE_EQ(ToDateTime(MakeLocalMs(2000, 1, 1, 12)), 36526.5);
    EXPECT_EQ(FromDateTime(36526.5), MakeLocalMs(2000, 1, 1, 12));
}

}  // namespace
}  // namespace zl
