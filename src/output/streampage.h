#pragma once
#include <filesystem>
#include <functional>
#include <string>

namespace zl {

// Plays one page file on real time for `seconds` and streams it through the home's outputs, as
// an installer does at the sign without the desktop program. `line` gets the problems of
// ledoutput.ini and the outputs' status as they change, then one summary line per output.
// Fails when there is no output to send to, the page cannot be read, or an enabled output sent
// no frame or was failing still when the run ended (naming those outputs).
void StreamPage(const std::filesystem::path& page, long long seconds, const std::function<void(const std::string&)>& line);
// Sends test pattern `kind` (chase, red, green, blue, white, gradient, grid or corners) to the
// home's output named `output` for `seconds`, as the settings dialog does, then ends the stream;
// fails as StreamPage does when the output did not get its frames through.
void StreamPattern(const std::string& output, const std::string& kind, long long seconds,
                   const std::function<void(const std::string&)>& line);

}  // namespace zl
