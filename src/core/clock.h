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
// An instant as milliseconds since 1970-01-01 00:00 UTC.
using UtcMs = std::int64_t;
// Milliseconds on a clock that never jumps, from an arbitrary origin: for durations only.
using MonoMs = std::int64_t;

constexpr std::int64_t kMsPerDay = 86'400'000;
// Days from 1899-12-30 (the framework's date-time origin) to 1970-01-01.
constexpr std::int64_t kDateTimeEpochDays = 25'569;

// The framework's date-time: days since 1899-12-30 as a double.
double ToDateTime(LocalMs ms);
LocalMs FromDateTime(double dateTime);

// The local wall time of an instant in the system's time zone (TZ, /etc/localtime).
LocalMs LocalFromUtc(UtcMs utc);
// The instant a local wall time names: in a repeated hour its first occurrence; in a skipped
// hour the first valid minute after it.
UtcMs UtcFromLocal(LocalMs local);

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalMs Now() const = 0;
    // Wall clocks jump (a time sync, a clock set by hand); durations are measured on Monotonic.
    virtual UtcMs Utc() const { return Now(); }
    virtual MonoMs Monotonic() const { return Now(); }
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
UtcMs UtcNow();
MonoMs MonotonicNow();
std::unique_ptr<Timer> CreateTimer();
void SetTimeSource(const Clock* clock, TimerFactory* timers);

class SystemClock : public Clock {
public:
    LocalMs Now() const override;
    UtcMs Utc() const override;
    MonoMs Monotonic() const override;
};

// Virtual time for tests and simulated runs: Advance fires due timers in time order. The local
// wall clock, UTC and the monotonic clock move together with Advance; each wall clock can be
// set on its own, as a time sync or a daylight-saving change would, and timers do not notice.
class ManualTimeSource : public Clock, public TimerFactory {
public:
    // UTC starts at the instant `start` names in the system's time zone.
    explicit ManualTimeSource(LocalMs start = 0);
    ~ManualTimeSource() override;

    LocalMs Now() const override { return now_; }
    UtcMs Utc() const override { return utc_; }
    MonoMs Monotonic() const override { return mono_; }
    void Set(LocalMs now) { now_ = now; }
    void SetUtc(UtcMs utc) { utc_ = utc; }
    // Both wall clocks to the instant `utc`, local time as the system's zone gives it.
    void SetInstant(UtcMs utc);
    // Moves time forward by `ms`, firing every timer that falls due on the way, in order.
    void Advance(std::int64_t ms);
    std::unique_ptr<Timer> CreateTimer() override;
    // Number of timers that are enabled now.
    int ActiveTimers() const;

    class ManualTimer;

private:
    friend class ManualTimer;
    LocalMs now_;
    UtcMs utc_;
    MonoMs mono_ = 0;
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
