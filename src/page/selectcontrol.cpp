#include "page/selectcontrol.h"

namespace zl {

int Tselectcontrolcla::IndexOf(const Control* control) const {
    for (int i = 0; i < Count(); ++i)
        if (Items[i].Control == control) return i;
    return -1;
}

void Tselectcontrolcla::Add(Control* control) { Items.push_back({control}); }

void Tselectcontrolcla::Remove(int index) {
    if (index < 0 || index >= Count()) return;
    Items.erase(Items.begin() + index);
}

void Tselectcontrolcla::Clear() { Items.clear(); }

}  // namespace zl
