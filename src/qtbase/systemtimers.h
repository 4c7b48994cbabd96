#pragma once
#include "core/clock.h"

namespace zl {

// QTimer-backed timers on the GUI thread, for the running program.
class QtTimerFactory : public TimerFactory {
public:
    std::unique_ptr<Timer> CreateTimer() override;
    bool RealTime() const override { return true; }
};

// Installs the system clock and the QTimer factory as the process time source.
void InstallSystemTime();

}  // namespace zl
