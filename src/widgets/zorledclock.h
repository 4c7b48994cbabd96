#pragma once
#include "widgets/zorclock.h"

namespace zl {

// The clock that pages hold.
class Tzorledclock : public Tzorclock {
    Q_OBJECT
public:
    explicit Tzorledclock(Component* owner, QWidget* parent = nullptr) : Tzorclock(owner, parent) {}
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }
};

// Opens the clock's property dialog; installed by the editors layer.
extern void (*EditClock)(Tzorledclock& clock);

}  // namespace zl
