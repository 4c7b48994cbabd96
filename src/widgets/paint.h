#pragma once
#include <QColor>

#include "core/props/color.h"
#include "core/props/enums.h"

namespace zl {

inline QColor ToQColor(TColor color) {
    const std::uint32_t rgb = ColorToRGB(color);
    return QColor(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
}

// Horizontal alignment flags for a TAlignment value.
inline Qt::Alignment ToQAlignment(int alignment) {
    switch (alignment) {
        case taRightJustify: return Qt::AlignRight;
        case taCenter: return Qt::AlignHCenter;
        default: return Qt::AlignLeft;
    }
}

}  // namespace zl
