#include "aatext/color.h"

#include <array>

namespace zl {
namespace {

// The Windows default scheme, indexed by system colour number, as 0x00BBGGRR.
constexpr std::array<std::uint32_t, 31> kSystemColors = {
    0xC8C8C8, 0x000000, 0xD1B499, 0xDBCDBF, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
    0x000000, 0x000000, 0xB4B4B4, 0xFCF7F4, 0xABABAB, 0xFF9933, 0xFFFFFF, 0xF0F0F0,
    0xA0A0A0, 0x6D6D6D, 0x000000, 0x544E43, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
    0xE1FFFF, 0x000000, 0xCC6600, 0xEAD1B9, 0xF2E4D7, 0xFF9933, 0xF0F0F0,
};

}  // namespace

std::uint32_t ColorToRGB(TColor color) {
    if (color < 0) {
        const unsigned index = static_cast<std::uint32_t>(color) & 0xFF;
        return index < kSystemColors.size() ? kSystemColors[index] : 0;
    }
    return static_cast<std::uint32_t>(color) & 0xFFFFFF;
}

}  // namespace zl
