#include <cstdint>
#include <string>

#include "core/textlist.h"

// Lists read from files must come back unchanged after writing: no entry may gain or lose a
// line end or a byte.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const zl::StringList once = zl::ParseTextList({reinterpret_cast<const char*>(data), size});
    if (zl::ParseTextList(zl::FormatTextList(once)) != once) __builtin_trap();
    return 0;
}
