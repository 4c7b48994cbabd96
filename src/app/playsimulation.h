#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace zl {

// Plays the home's selected plans for `seconds` of virtual time, as the play command would
// after "确定", with real page loading. `shown` gets one line per page shown: the virtual
// seconds since the start with one decimal, a tab and the page name (UTF-8). Errors met while
// playing go to the installed error reporter; a start that fails throws.
void SimulatePlayRun(std::int64_t seconds, const std::function<void(const std::string& line)>& shown);

}  // namespace zl
