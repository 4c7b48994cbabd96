#include "aatext/randomsource.h"

#include <chrono>

namespace zl {

RandomSource& ProcessRandom() {
    static LinearRandom random(static_cast<std::uint32_t>(
        std::chrono::steady_clock::now().time_since_epoch().count()));
    return random;
}

}  // namespace zl
