#include <cstdint>
#include <string>

#include "core/error.h"
#include "core/pagetext/parser.h"
#include "core/pagetext/writer.h"

// Whatever parses must write, and what is written must parse to the same text again; only a line
// grown past the read buffer by indentation or a joined set may stop the second reading.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string once;
    try {
        once = zl::pagetext::Write(zl::pagetext::Parse({reinterpret_cast<const char*>(data), size}));
    } catch (const zl::Error&) {
        return 0;
    }
    try {
        if (zl::pagetext::Write(zl::pagetext::Parse(once)) != once) __builtin_trap();
    } catch (const zl::Error& e) {
        if (std::string(e.what()).rfind("Line too long", 0) != 0) __builtin_trap();
    }
    return 0;
}
