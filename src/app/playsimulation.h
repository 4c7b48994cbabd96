#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/clock.h"

namespace zl {

// Plays the home's selected plans for `seconds` of virtual time, as the play command would
// after "确定", with real page loading. `shown` gets one line per page shown: the virtual
// seconds since the start with one decimal, a tab and the page name (UTF-8). Errors met while
// playing go to the installed error reporter; a start that fails throws. The sign going dark is
// a line of its own with "dark" for the page. The run starts at the local time `at`, or now.
void SimulatePlayRun(std::int64_t seconds, const std::function<void(const std::string& line)>& shown,
                     std::optional<LocalMs> at = std::nullopt);

}  // namespace zl
