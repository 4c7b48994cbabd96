#pragma once
#include <algorithm>
#include <cstdint>

namespace zl {

// When the ticks of a periodic job fall, in nanoseconds: deadline k lies at
// start + k * num / den, so a period that is no whole number of milliseconds (60 Hz) still
// keeps its long-run rate exactly, and a late tick never shifts the ones after it. A tick more
// than one period late skips to the next deadline ahead instead of catching up in a burst.
class DeadlineSchedule {
public:
    // The period is periodNum / periodDen nanoseconds (both > 0).
    DeadlineSchedule(std::int64_t periodNum, std::int64_t periodDen, std::int64_t startNs)
        : num_(periodNum), den_(periodDen), start_(startNs) {}

    // Deadline of the tick to come.
    std::int64_t Next() const { return Deadline(k_ + 1); }
    std::int64_t PeriodNs() const { return num_ / den_; }

    // Moves past the tick served at `nowNs` and gives the deadline of the next one.
    std::int64_t Advance(std::int64_t nowNs) {
        ++k_;
        const std::int64_t period = PeriodNs();
        // A clock set back starts the schedule again from now.
        if (Deadline(k_ + 1) - nowNs > 2 * period || nowNs < start_) {
            Restart(nowNs);
        } else if (nowNs - Deadline(k_ + 1) > period) {
            k_ = (nowNs - start_) * den_ / num_;  // the last deadline passed
        }
        return Deadline(k_ + 1);
    }

    // Starts counting periods afresh from `nowNs`.
    void Restart(std::int64_t nowNs) {
        start_ = nowNs;
        k_ = 0;
    }

    // Milliseconds from `nowNs` to the next deadline for a timer of whole milliseconds:
    // rounded up, at least 1.
    std::int64_t MillisecondsLeft(std::int64_t nowNs) const {
        return std::max<std::int64_t>(1, (Next() - nowNs + 999'999) / 1'000'000);
    }

private:
    std::int64_t Deadline(std::int64_t k) const { return start_ + k * num_ / den_; }
    std::int64_t num_;
    std::int64_t den_;
    std::int64_t start_;
    std::int64_t k_ = 0;
};

}  // namespace zl
