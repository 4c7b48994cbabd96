#include "aatext/timerex.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "core/deadlineschedule.h"
#include "qtbase/application.h"

namespace zl {
namespace {

constexpr NameEntry kTimerQuality[] = {{"tqHighest", 0}, {"tqHigh", 1}, {"tqLow", 2}};
std::atomic<int> g_liveWorkers{0};

}  // namespace

const NameTable kTimerQualityNames{kTimerQuality};

struct TTimerThread::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    TTimerEx* owner = nullptr;  // cleared on stop, read on the GUI thread only
    std::atomic<int> interval{0};
    bool signalled = false;
    bool paused = true;
    bool terminated = false;
    bool pending = false;  // a tick handed to the GUI thread and not yet served

    // Runs on the GUI thread.
    void Serve() {
        TTimerEx* target;
        {
            std::lock_guard lock(mutex);
            if (!pending || terminated) return;
            target = owner;
        }
        if (target) Guarded([target] { target->DoTimer(); });
        std::lock_guard lock(mutex);
        pending = false;
        wake.notify_all();
    }
};

TTimerThread::TTimerThread(TTimerEx* owner, int interval) : shared_(std::make_shared<Shared>()) {
    shared_->owner = owner;
    shared_->interval = interval;
    ++g_liveWorkers;
    thread_ = std::thread(&TTimerThread::Execute, shared_);
}

TTimerThread::~TTimerThread() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->terminated = true;
        shared_->owner = nullptr;
        shared_->wake.notify_all();
    }
    // The worker never waits on the GUI thread once terminated, so this join cannot stall.
    thread_.join();
}

int TTimerThread::LiveCount() { return g_liveWorkers; }

void TTimerThread::SetInterval(int interval) { shared_->interval = interval; }

void TTimerThread::Pause() {
    std::lock_guard lock(shared_->mutex);
    shared_->paused = true;
    shared_->wake.notify_all();
}

void TTimerThread::Resume() {
    std::lock_guard lock(shared_->mutex);
    shared_->signalled = true;
    shared_->paused = false;
    shared_->wake.notify_all();
}

void TTimerThread::Execute(std::shared_ptr<Shared> s) {
    using Steady = std::chrono::steady_clock;
    auto nowNs = [] {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(Steady::now().time_since_epoch()).count();
    };
    // Ticks fall on deadlines counted from the start, never from the end of the last served
    // tick, or the hand-off and the tick itself would stretch every period.
    DeadlineSchedule schedule(1'000'000, 1, nowNs());
    int scheduled = -1;  // the interval the schedule counts; -1 starts it afresh
    std::unique_lock lock(s->mutex);
    while (!s->terminated) {
        if (s->paused) {
            s->wake.wait(lock, [&] { return !s->paused || s->terminated; });
            scheduled = -1;
            continue;
        }
        const int interval = s->interval;
        // A resume starts the running wait again from zero.
        if (s->signalled || interval != scheduled) {
            s->signalled = false;
            schedule = DeadlineSchedule(std::int64_t{std::max(interval, 1)} * 1'000'000, 1, nowNs());
            scheduled = interval;
        }
        auto woken = [&] { return s->signalled || s->paused || s->terminated; };
        bool interrupted;
        if (interval == 0) {
            s->wake.wait(lock, woken);
            interrupted = true;
        } else {
            const Steady::time_point due{std::chrono::nanoseconds(schedule.Next())};
            interrupted = s->wake.wait_until(lock, due, woken);
        }
        if (s->terminated) break;
        if (interrupted) continue;
        s->pending = true;
        lock.unlock();
        QMetaObject::invokeMethod(QCoreApplication::instance(), [s] { s->Serve(); }, Qt::QueuedConnection);
        lock.lock();
        s->wake.wait(lock, [&] { return !s->pending || s->terminated; });
        s->pending = false;
        schedule.Advance(nowNs());
    }
    lock.unlock();
    --g_liveWorkers;
}

TTimerEx::TTimerEx() { CreateMechanism(); }

TTimerEx::~TTimerEx() {
    timer_.reset();
    worker_.reset();
}

void TTimerEx::DoTimer() {
    if (OnTimer) {
        auto handler = OnTimer;  // the handler may change or free this timer's owner
        handler();
    }
}

void TTimerEx::CreateMechanism() {
    // A worker thread needs an event loop to hand its ticks to; virtual time has none running.
    if (quality_ != tqLow && CurrentTimers().RealTime() && QCoreApplication::instance()) {
        worker_ = std::make_unique<TTimerThread>(this, interval_);
        worker_->SetHighPriority(quality_ == tqHighest);
    } else {
        timer_ = CreateTimer();
        timer_->SetInterval(interval_);
        timer_->SetOnTimer([this] { DoTimer(); });
    }
    ApplyEnabled();
}

void TTimerEx::ApplyEnabled() {
    if (timer_) timer_->SetEnabled(enabled_);
    if (worker_) {
        if (enabled_) worker_->Resume();
        else worker_->Pause();
    }
}

void TTimerEx::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    ApplyEnabled();
}

void TTimerEx::SetInterval(int interval) {
    interval = std::clamp(interval, 0, 65535);
    if (interval == interval_) return;
    interval_ = interval;
    SetEnabled(false);
    if (timer_) timer_->SetInterval(interval);
    if (worker_) worker_->SetInterval(interval);
    SetEnabled(true);
}

void TTimerEx::SetQuality(TTimerQuality quality) {
    if (quality == quality_) return;
    const bool wasLow = quality_ == tqLow;
    quality_ = quality;
    if (wasLow == (quality == tqLow)) {
        if (worker_) worker_->SetHighPriority(quality == tqHighest);
        return;
    }
    timer_.reset();
    worker_.reset();
    CreateMechanism();
}

}  // namespace zl
