#pragma once
#include "widgets/zorzmd.h"

namespace zl {

// The marquee that pages hold.
class Tzorledzmd : public Tzorzmd {
    Q_OBJECT
public:
    explicit Tzorledzmd(Component* owner, QWidget* parent = nullptr) : Tzorzmd(owner, parent) {}
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }
};

// Opens the marquee's property dialog; installed by the editors layer.
extern void (*EditZmd)(Tzorledzmd& marquee);

}  // namespace zl
