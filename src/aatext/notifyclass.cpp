#include "aatext/notifyclass.h"

#include "core/props/declare.h"
#include "core/props/enums.h"

namespace zl {

const ClassInfo& TNotifyClass::StaticClass() {
    static const ClassInfo info{"TNotifyClass", nullptr, {}};
    return info;
}

void TNotifyClass::Changed() { FireChange(); }

const ClassInfo& TEnabledClass::StaticClass() {
    using namespace decl;
    using T = TEnabledClass;
    static const PropInfo props[] = {
        Access<T, &T::Enabled, &T::SetEnabled>("Enabled", PropKind::Enum, 0, &kBooleanNames),
    };
    static const ClassInfo info{"TEnabledClass", &TNotifyClass::StaticClass(), props};
    return info;
}

void TEnabledClass::Assign(const TNotifyClass& source) {
    TNotifyClass::Assign(source);
    if (const auto* other = dynamic_cast<const TEnabledClass*>(&source)) enabled_ = other->enabled_;
}

void TEnabledClass::Changed() {
    if (enabled_) TNotifyClass::Changed();
}

void TEnabledClass::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    FireChange();
}

}  // namespace zl
