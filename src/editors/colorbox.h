#pragma once
#include <QComboBox>

#include "core/props/color.h"

namespace zl {

// A drop-down of named colours: the 16 standard colours, four extended ones and the system
// colours, each with a swatch. A colour outside the list shows in an entry of its own, with its
// swatch and value.
class TColorBox : public QComboBox {
    Q_OBJECT
public:
    explicit TColorBox(QWidget* parent = nullptr);

    // Selects the colour's entry, made for a colour without a name; raises no change.
    void SetSelected(TColor color);
    // The chosen colour; nothing while no entry is selected.
    std::optional<TColor> Selected() const;

signals:
    // When the operator picks an entry.
    void Changed(TColor color);
};

}  // namespace zl
