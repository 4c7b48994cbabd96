#pragma once
#include <cstdint>

namespace zl {

// 0x00BBGGRR; a top byte of 0xFF names a system colour by its low byte.
using TColor = std::int32_t;

// Resolves system colours to RGB; the result always fits 0x00BBGGRR.
std::uint32_t ColorToRGB(TColor color);

inline int RedOf(std::uint32_t rgb) { return rgb & 0xFF; }
inline int GreenOf(std::uint32_t rgb) { return (rgb >> 8) & 0xFF; }
inline int BlueOf(std::uint32_t rgb) { return (rgb >> 16) & 0xFF; }
inline TColor MakeColor(int red, int green, int blue) {
    return static_cast<TColor>((blue << 16) | (green << 8) | red);
}

}  // namespace zl
