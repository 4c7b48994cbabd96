#pragma once
#include <vector>

#include "widgets/control.h"

namespace zl {

// One selected widget.
struct TSelectControl {
    zl::Control* Control = nullptr;
};

// The designer's selection, in the order the widgets were selected.
class Tselectcontrolcla {
public:
    ~Tselectcontrolcla() { Clear(); }

    int Count() const { return static_cast<int>(Items.size()); }
    int IndexOf(const Control* control) const;
    void Add(Control* control);
    void Remove(int index);
    void Clear();

    std::vector<TSelectControl> Items;
};

}  // namespace zl
