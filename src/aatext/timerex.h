#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "core/clock.h"
#include "core/props/propinfo.h"

namespace zl {

enum TTimerQuality { tqHighest, tqHigh, tqLow };
extern const NameTable kTimerQualityNames;

class TTimerEx;

// The worker of a fast timer: it waits on its wake event until the next deadline of its
// interval and hands each tick to the GUI thread, blocking until the tick has run there. Stopping never
// waits on the GUI thread: a tick still waiting to be served is dropped.
class TTimerThread {
public:
    TTimerThread(TTimerEx* owner, int interval);
    ~TTimerThread();
    TTimerThread(const TTimerThread&) = delete;
    TTimerThread& operator=(const TTimerThread&) = delete;

    void SetInterval(int interval);
    // Paused, the worker waits without time-out and ticks no more.
    void Pause();
    // Signals the wake event (a running wait starts again from zero) and lets the worker run.
    void Resume();
    void SetHighPriority(bool high) { highPriority_ = high; }
    bool HighPriority() const { return highPriority_; }

    // Workers alive in the process, for checks that none is left behind.
    static int LiveCount();

private:
    struct Shared;
    static void Execute(std::shared_ptr<Shared> shared);

    std::shared_ptr<Shared> shared_;
    std::thread thread_;
    bool highPriority_ = false;
};

// A timer whose low quality is a message timer and whose high qualities tick from a worker
// thread. On a manual time source (tests, the command-line tool) the worker's ticks come from
// the time source as well, so they are exactly as deterministic as the message timer's.
class TTimerEx {
public:
    TTimerEx();
    ~TTimerEx();
    TTimerEx(const TTimerEx&) = delete;
    TTimerEx& operator=(const TTimerEx&) = delete;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    // Milliseconds, 0..65535; setting a new one leaves the timer enabled.
    int Interval() const { return interval_; }
    void SetInterval(int interval);
    TTimerQuality Quality() const { return quality_; }
    void SetQuality(TTimerQuality quality);

    // Always on the GUI thread.
    std::function<void()> OnTimer;
    void DoTimer();

    // What runs the ticks now, for tests.
    bool HasWorkerThread() const { return worker_ != nullptr; }
    const Timer* SeamTimer() const { return timer_.get(); }

private:
    void CreateMechanism();
    void ApplyEnabled();

    bool enabled_ = false;
    int interval_ = 1000;
    TTimerQuality quality_ = tqLow;
    std::unique_ptr<Timer> timer_;
    std::unique_ptr<TTimerThread> worker_;
};

}  // namespace zl
