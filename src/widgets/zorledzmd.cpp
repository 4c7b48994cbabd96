#include "widgets/zorledzmd.h"

namespace zl {

void (*EditZmd)(Tzorledzmd& marquee) = nullptr;

const ClassInfo& Tzorledzmd::StaticClass() {
    static const ClassInfo info{"Tzorledzmd", &Tzorzmd::StaticClass(), {}, {},
                                [](Component* owner) -> Component* { return new Tzorledzmd(owner); }};
    return info;
}

}  // namespace zl
