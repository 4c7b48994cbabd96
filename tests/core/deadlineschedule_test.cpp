#include "core/deadlineschedule.h"

#include <gtest/gtest.h>

#include "core/clock.h"

namespace zl {
namespace {

constexpr std::int64_t kMs = 1'000'000;

// A worker that sleeps until each deadline and whose handler takes 0.8 of the interval, on
// virtual time: the schedule must hold the asked rate however long the handler takes.
TEST(DeadlineSchedule, HandlerTimeDoesNotStretchThePeriod) {
    for (int interval : {20, 15, 7}) {
        ManualTimeSource time(0);
        DeadlineSchedule schedule(interval * kMs, 1, 0);
        int bursts = 0;
        std::int64_t last = -1;
        for (int tick = 0; tick < 1000; ++tick) {
            const std::int64_t due = schedule.Next();
            time.Advance(due / kMs - time.Now());  // sleep_until the deadline
            if (last >= 0 && time.Now() - last < interval / 2) ++bursts;
            last = time.Now();
            time.Advance(interval * 8 / 10);  // the tick takes 0.8 of the interval
            schedule.Advance(time.Now() * kMs);
        }
        EXPECT_LE(std::abs(schedule.Next() / kMs - 1001 * interval), interval) << interval;
        EXPECT_EQ(bursts, 0) << interval;
    }
}

TEST(DeadlineSchedule, AStallSkipsToTheNextDeadlineWithoutABurst) {
    DeadlineSchedule schedule(20 * kMs, 1, 0);
    EXPECT_EQ(schedule.Next(), 20 * kMs);
    // The tick due at 20 ms is served only after five more intervals.
    EXPECT_EQ(schedule.Advance(120 * kMs + kMs), 140 * kMs) << "the deadlines missed are dropped";
    EXPECT_EQ(schedule.Advance(140 * kMs), 160 * kMs);
    // A tick a little late keeps the grid.
    EXPECT_EQ(schedule.Advance(165 * kMs), 180 * kMs);
    // A clock set back starts over from now.
    EXPECT_EQ(schedule.Advance(10 * kMs), 30 * kMs);
}

TEST(DeadlineSchedule, FractionalPeriodsKeepTheLongRunRate) {
    DeadlineSchedule schedule(1'000'000'000, 60, 0);
    std::int64_t now = 0;
    for (int tick = 0; tick < 600; ++tick) {
        now = schedule.Next();
        schedule.Advance(now);
    }
    EXPECT_EQ(now, 10'000 * kMs);
}

}  // namespace
}  // namespace zl
