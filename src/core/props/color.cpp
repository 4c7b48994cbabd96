#include "core/props/color.h"

namespace zl {

std::uint32_t ColorToRGB(TColor color) {
    const std::uint32_t c = static_cast<std::uint32_t>(color);
    if ((c & 0xFF000000u) != 0xFF000000u) return c & 0x00FFFFFFu;
    // Index by the system colour number; values as 00BBGGRR.
    static const std::uint32_t kSystem[] = {
        0xC8C8C8, 0x000000, 0xD1B499, 0xDBCDBF, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
        0x000000, 0x000000, 0xB4B4B4, 0xFCF7F4, 0xABABAB, 0xD77800, 0xFFFFFF, 0xF0F0F0,
        0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
        0xE1FFFF, 0x000000, 0xCC6600, 0xEAD1B9, 0xF2E4D7, 0xFF9933, 0xF0F0F0,
    };
    const std::uint32_t index = c & 0xFF;
    return index < sizeof(kSystem) / sizeof(kSystem[0]) ? kSystem[index] : 0;
}

}  // namespace zl
