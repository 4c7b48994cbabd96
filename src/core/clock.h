#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// The time seam: every "now" and every timer of the program goes through here, so tests and
// the command-line tool can run on virtual time.
namespace zl {

// Local wall-clock time as milliseconds since 1970-01-01 00:00 local time.
using LocalMs = std::int64_t;

constexpr std::int64_t kMsPerDay = 86'400'000;
// Days from 1899-12-30 (the framework's date-time origin) to 1970-01-01.
constexpr std::int64_t kDateTimeEpochDays = 25'569;

// The framework's date-time: days since 1899-12-30 as a double.
double ToDateTime(LocalMs ms);
LocalMs FromDateTime(double dateTime);

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalMs Now() const = 0;
};

class Timer {
public:
    virtual ~Timer() = default;
    // Keeps the countdown when given the current interval; a real change restarts it.
    virtual void SetInterval(int ms) = 0;
    // Keeps the countdown when enabled again while enabled; a real change restarts it.
    virtual void SetEnabled(bool enabled) = 0;
    virtual int Interval() const = 0;
    virtual bool Enabled() const = 0;
    virtual void SetOnTimer(std::function<void()> handler) = 0;
};

class TimerFactory {
public:
    virtual ~TimerFactory() = default;
    // New timers start disabled with an interval of 1000 ms.
    virtual std::unique_ptr<Timer> CreateTimer() = 0;
    // True when timers run on wall-clock time in an event loop, so worker threads may tick too.
    virtual bool RealTime() const { return false; }
};

// The process-wide time source; the program installs the system one at start-up.
const Clock& CurrentClock();
TimerFactory& CurrentTimers();
LocalMs Now();
std::unique_ptr<Timer> CreateTimer();
void SetTimeSource(const Clock* clock, TimerFactory* timers);

class SystemClock : public Clock {
public:
    LocalMs Now() const override;
};

// Virtual time for tests and simulated runs: Advance fires due timers in time order.
class ManualTimeSource : public Clock, public TimerFactory {
public:
    explicit ManualTimeSource(LocalMs start = 0);
    ~ManualTimeSource() override;

    LocalMs Now() const override { return now_; }
    void Set(LocalMs now) { now_ = now; }
    // Moves time forward by `ms`, firing every timer that falls due on the way, in order.
    void Advance(std::int64_t ms);
    std::unique_ptr<Timer> CreateTimer() override;
    // Number of timers that are enabled now.
    int ActiveTimers() const;

    class ManualTimer;

private:
    friend class ManualTimer;
    LocalMs now_;
    std::vector<ManualTimer*> timers_;
    std::uint64_t sequence_ = 0;
};

// Installs a time source for the lifetime of the object and restores the previous one after.
class ScopedTimeSource {
public:
    ScopedTimeSource(const Clock* clock, TimerFactory* timers);
    explicit ScopedTimeSource(ManualTimeSource& manual) : ScopedTimeSource(&manual, &manual) {}
    ~ScopedTimeSource();
    ScopedTimeSource(const ScopedTimeSource&) = delete;
    ScopedTimeSource& operator=(const ScopedTimeSource&) = delete;

private:
    const Clock* previousClock_;
    TimerFactory* previousTimers_;
};

// Builds a LocalMs from a calendar date and time of day.
LocalMs MakeLocalMs(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                    int millisecond = 0);

}  // namespace zl
