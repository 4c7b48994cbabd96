#pragma once
#include <QColor>

#include "core/props/color.h"

namespace zl {

inline QColor ToQColor(TColor color) {
    const std::uint32_t rgb = ColorToRGB(color);
    return QColor(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
}

}  // namespace zl
