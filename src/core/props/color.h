#pragma once
#include <cstdint>

// TColor: 00BBGGRR; FF0000nn names a system colour, resolved before any arithmetic.
namespace zl {

using TColor = std::int32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clScrollBar = static_cast<TColor>(0xFF000000u);
constexpr TColor clWindow = static_cast<TColor>(0xFF000005u);
constexpr TColor clWindowText = static_cast<TColor>(0xFF000008u);
constexpr TColor clBtnFace = static_cast<TColor>(0xFF00000Fu);
constexpr TColor clBtnShadow = static_cast<TColor>(0xFF000010u);
constexpr TColor clBtnText = static_cast<TColor>(0xFF000012u);
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// The RGB value 00BBGGRR of a colour, system colours resolved to a classic desktop palette.
std::uint32_t ColorToRGB(TColor color);

inline int RedOf(std::uint32_t rgb) { return rgb & 0xFF; }
inline int GreenOf(std::uint32_t rgb) { return (rgb >> 8) & 0xFF; }
inline int BlueOf(std::uint32_t rgb) { return (rgb >> 16) & 0xFF; }

}  // namespace zl
