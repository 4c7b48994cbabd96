#include "qtbase/systemtimers.h"

#include <QTimer>

#include "qtbase/application.h"

namespace zl {
namespace {

class QtTimer : public Timer {
public:
    QtTimer() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1000);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (handler_) {
                auto handler = handler_;  // the handler may destroy this timer
                // Whatever the handler throws is reported here, before it reaches Qt's timer code.
                Guarded(handler);
            }
        });
    }
    void SetInterval(int ms) override {
        if (ms == timer_.interval()) return;
        timer_.setInterval(ms);
        if (enabled_) Apply();
    }
    void SetEnabled(bool enabled) override {
        if (enabled == enabled_) return;
        enabled_ = enabled;
        Apply();
    }
    int Interval() const override { return timer_.interval(); }
    bool Enabled() const override { return enabled_; }
    void SetOnTimer(std::function<void()> handler) override { handler_ = std::move(handler); }

private:
    void Apply() {
        if (enabled_ && timer_.interval() > 0)
            timer_.start();
        else
            timer_.stop();
    }
    QTimer timer_;
    bool enabled_ = false;
    std::function<void()> handler_;
};

}  // namespace

std::unique_ptr<Timer> QtTimerFactory::CreateTimer() { return std::make_unique<QtTimer>(); }

void InstallSystemTime() {
    static SystemClock clock;
    static QtTimerFactory timers;
    SetTimeSource(&clock, &timers);
}

}  // namespace zl
