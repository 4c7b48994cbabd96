#include "core/error.h"

#include <cstdarg>
#include <cstdio>

namespace zl {

std::string Format(const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(nullptr, 0, pattern, copy);
    va_end(copy);
    std::string out(size > 0 ? size : 0, '\0');
    if (size > 0)
        std::vsnprintf(out.data(), out.size() + 1, pattern, args);
    va_end(args);
    return out;
}

}  // namespace zl
