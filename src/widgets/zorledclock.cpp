#include "widgets/zorledclock.h"

namespace zl {

void (*EditClock)(Tzorledclock& clock) = nullptr;

const ClassInfo& Tzorledclock::StaticClass() {
    static const ClassInfo info{"Tzorledclock", &Tzorclock::StaticClass(), {}, {},
                                [](Component* owner) -> Component* { return new Tzorledclock(owner); }};
    return info;
}

}  // namespace zl
