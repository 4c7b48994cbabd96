#include "core/clock.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace zl {

double ToDateTime(LocalMs ms) {
    return static_cast<double>(ms) / kMsPerDay + kDateTimeEpochDays;
}

LocalMs FromDateTime(double dateTime) {
    return static_cast<LocalMs>(std::llround((dateTime - kDateTimeEpochDays) * kMsPerDay));
}

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

SystemClock& DefaultClock() {
    static SystemClock clock;
    return clock;
}

// Until the GUI installs its timers, a timer that is never enabled is harmless; an enabled one
// would never fire, so the default factory only records settings.
class InertTimer : public Timer {
public:
    void SetInterval(int ms) override { interval_ = ms; }
    void SetEnabled(bool enabled) override { enabled_ = enabled; }
    int Interval() const override { return interval_; }
    bool Enabled() const override { return enabled_; }
    void SetOnTimer(std::function<void()>) override {}

private:
    int interval_ = 1000;
    bool enabled_ = false;
};

class InertFactory : public TimerFactory {
public:
    std::unique_ptr<Timer> CreateTimer() override { return std::make_unique<InertTimer>(); }
};

InertFactory& DefaultTimers() {
    static InertFactory factory;
    return factory;
}

const Clock* g_clock = nullptr;
TimerFactory* g_timers = nullptr;

}  // namespace

LocalMs MakeLocalMs(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * kMsPerDay +
           ((hour * 60LL + minute) * 60LL + second) * 1000LL + millisecond;
}

LocalMs LocalFromUtc(UtcMs utc) {
    const std::int64_t seconds = utc >= 0 ? utc / 1000 : -((-utc + 999) / 1000);
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (!localtime_r(&t, &local)) return utc;
    return utc + static_cast<std::int64_t>(local.tm_gmtoff) * 1000;
}

namespace {

// The instants whose local time is the whole minute `minuteLocal`: none in a skipped hour, two
// in a repeated one. mktime decides nothing for us here: each reading of the daylight-saving
// flag is tried and kept only when it reads back as the same wall time.
bool FirstInstantOfMinute(std::int64_t minuteLocal, std::int64_t& utcSeconds) {
    const std::time_t asUtc = static_cast<std::time_t>(minuteLocal * 60);
    std::tm fields{};
    gmtime_r(&asUtc, &fields);
    bool found = false;
    for (int dst : {0, 1, -1}) {
        std::tm probe = fields;
        probe.tm_isdst = dst;
        const std::time_t t = mktime(&probe);
        if (t == static_cast<std::time_t>(-1)) continue;
        std::tm back{};
        localtime_r(&t, &back);
        if (back.tm_year != fields.tm_year || back.tm_mon != fields.tm_mon || back.tm_mday != fields.tm_mday ||
            back.tm_hour != fields.tm_hour || back.tm_min != fields.tm_min)
            continue;
        if (!found || t < utcSeconds) utcSeconds = t;
        found = true;
    }
    return found;
}

}  // namespace

UtcMs UtcFromLocal(LocalMs local) {
    const std::int64_t minute = local >= 0 ? local / 60000 : -((-local + 59999) / 60000);
    const std::int64_t within = local - minute * 60000;
    std::int64_t seconds = 0;
    if (FirstInstantOfMinute(minute, seconds)) return seconds * 1000 + within;
    // A skipped hour: the first minute after it that exists. No zone skips more than a day.
    for (std::int64_t m = minute + 1; m <= minute + 24 * 60; ++m)
        if (FirstInstantOfMinute(m, seconds)) return seconds * 1000;
    return local;
}

LocalMs SystemClock::Now() const {
    const auto now = std::chrono::system_clock::now();
    const std::int64_t utcMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(utcMs / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    return utcMs + static_cast<std::int64_t>(local.tm_gmtoff) * 1000;
}

UtcMs SystemClock::Utc() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

MonoMs SystemClock::Monotonic() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

const Clock& CurrentClock() { return g_clock ? *g_clock : DefaultClock(); }
TimerFactory& CurrentTimers() { return g_timers ? *g_timers : DefaultTimers(); }
LocalMs Now() { return CurrentClock().Now(); }
UtcMs UtcNow() { return CurrentClock().Utc(); }
MonoMs MonotonicNow() { return CurrentClock().Monotonic(); }
std::unique_ptr<Timer> CreateTimer() { return CurrentTimers().CreateTimer(); }

void SetTimeSource(const Clock* clock, TimerFactory* timers) {
    g_clock = clock;
    g_timers = timers;
}

ScopedTimeSource::ScopedTimeSource(const Clock* clock, TimerFactory* timers)
    : previousClock_(g_clock), previousTimers_(g_timers) {
    SetTimeSource(clock, timers);
}

ScopedTimeSource::~ScopedTimeSource() { SetTimeSource(previousClock_, previousTimers_); }

class ManualTimeSource::ManualTimer : public Timer {
public:
    explicit ManualTimer(ManualTimeSource* source) : source_(source) {
        source_->timers_.push_back(this);
    }
    ~ManualTimer() override {
        if (source_) {
            auto& list = source_->timers_;
            list.erase(std::remove(list.begin(), list.end(), this), list.end());
        }
    }
    void SetInterval(int ms) override {
        if (ms == interval_) return;
        interval_ = ms;
        Restart();
    }
    void SetEnabled(bool enabled) override {
        if (enabled == enabled_) return;
        enabled_ = enabled;
        Restart();
    }
    int Interval() const override { return interval_; }
    bool Enabled() const override { return enabled_; }
    void SetOnTimer(std::function<void()> handler) override { handler_ = std::move(handler); }

    void Restart() {
        if (!source_) return;
        due_ = source_->mono_ + std::max(interval_, 1);
        order_ = ++source_->sequence_;
    }
    bool Armed() const { return source_ && enabled_ && interval_ > 0; }

    ManualTimeSource* source_;
    int interval_ = 1000;
    bool enabled_ = false;
    MonoMs due_ = 0;
    std::uint64_t order_ = 0;
    std::function<void()> handler_;
};

ManualTimeSource::ManualTimeSource(LocalMs start) : now_(start), utc_(UtcFromLocal(start)) {}

void ManualTimeSource::SetInstant(UtcMs utc) {
    utc_ = utc;
    now_ = LocalFromUtc(utc);
}

ManualTimeSource::~ManualTimeSource() {
    for (ManualTimer* t : timers_) t->source_ = nullptr;
}

std::unique_ptr<Timer> ManualTimeSource::CreateTimer() { return std::make_unique<ManualTimer>(this); }

int ManualTimeSource::ActiveTimers() const {
    return static_cast<int>(std::count_if(timers_.begin(), timers_.end(),
                                          [](const ManualTimer* t) { return t->Armed(); }));
}

void ManualTimeSource::Advance(std::int64_t ms) {
    // The wall clocks follow the monotonic one, each from where it was set.
    const MonoMs target = mono_ + ms;
    const auto moveTo = [this](MonoMs mono) {
        // Local time keeps its distance from the zone's reading of UTC, so it steps at a
        // daylight-saving change as the system's clock does; without a change it moves by `ms`.
        const std::int64_t setBy = now_ - LocalFromUtc(utc_);
        utc_ += mono - mono_;
        now_ = LocalFromUtc(utc_) + setBy;
        mono_ = mono;
    };
    for (;;) {
        // Timers may be created, changed or destroyed by any handler, so look again each time.
        ManualTimer* next = nullptr;
        for (ManualTimer* t : timers_) {
            if (!t->Armed() || t->due_ > target) continue;
            if (!next || t->due_ < next->due_ || (t->due_ == next->due_ && t->order_ < next->order_))
                next = t;
        }
        if (!next) break;
        moveTo(std::max(mono_, next->due_));
        next->due_ += std::max(next->interval_, 1);
        next->order_ = ++sequence_;
        if (next->handler_) {
            auto handler = next->handler_;  // the handler may destroy its own timer
            handler();
        }
    }
    moveTo(target);
}

}  // namespace zl
