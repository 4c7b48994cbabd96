#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "aatext/timerex.h"
#include "core/clock.h"
#include "qtbase/systemtimers.h"

namespace zl {
namespace {

TEST(TimerEx, EveryModeTicksOnTheTimeSeam) {
    ManualTimeSource manual;
    ScopedTimeSource scope(manual);
    TTimerEx timer;
    int ticks = 0;
    timer.OnTimer = [&] { ++ticks; };
    EXPECT_FALSE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 1000);
    EXPECT_EQ(timer.Quality(), tqLow);
    timer.SetInterval(50);
    EXPECT_TRUE(timer.Enabled()) << "a new interval leaves the timer enabled";
    manual.Advance(120);
    EXPECT_EQ(ticks, 2);
    timer.SetQuality(tqHighest);
    EXPECT_FALSE(timer.HasWorkerThread());
    EXPECT_TRUE(timer.SeamTimer()->Enabled()) << "enabled state and interval carry over";
    manual.Advance(100);
    EXPECT_EQ(ticks, 4);
    timer.SetEnabled(false);
    manual.Advance(500);
    EXPECT_EQ(ticks, 4);
    timer.SetInterval(70000);
    EXPECT_EQ(timer.Interval(), 65535);
}

TEST(TimerEx, WorkersStartAndStopWithoutHangOrLeak) {
    SystemClock clock;
    QtTimerFactory timers;
    ScopedTimeSource scope(&clock, &timers);
    int ticks = 0;
    for (int i = 0; i < 1000; ++i) {
        TTimerEx timer;
        timer.OnTimer = [&] { ++ticks; };
        timer.SetQuality(i % 2 ? tqHigh : tqHighest);
        ASSERT_TRUE(timer.HasWorkerThread());
        timer.SetInterval(1);
        if (i % 100 == 0) {
            // Now and then a tick must get through to this thread before the worker stops.
            const int before = ticks;
            QElapsedTimer waited;
            waited.start();
            while (ticks == before && waited.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            ASSERT_GT(ticks, before) << "round " << i;
        }
        if (i % 3 == 0) timer.SetEnabled(false);
        if (i % 5 == 0) timer.SetQuality(tqLow);
    }
    QCoreApplication::processEvents();  // ticks posted by stopped workers are dropped
    EXPECT_EQ(TTimerThread::LiveCount(), 0);
}

TEST(TimerEx, StoppingFromInsideItsOwnTickDoesNotDeadlock) {
    SystemClock clock;
    QtTimerFactory timers;
    ScopedTimeSource scope(&clock, &timers);
    TTimerEx timer;
    timer.SetQuality(tqHigh);
    bool switched = false;
    timer.OnTimer = [&] {
        timer.SetQuality(tqLow);
        switched = true;
    };
    timer.SetInterval(1);
    QElapsedTimer waited;
    waited.start();
    while (!switched && waited.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_TRUE(switched);
    EXPECT_FALSE(timer.HasWorkerThread());
    EXPECT_EQ(TTimerThread::LiveCount(), 0);
}

}  // namespace
}  // namespace zl
