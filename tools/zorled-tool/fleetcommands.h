#pragma once
#include <string>
#include <vector>

namespace zl {

// `sign` ends with it when its broker never accepted its connection in the whole run.
constexpr int kExitNeverConnected = 4;

// Each takes the whole argument list (the command first) and returns the exit code.
int RunSign(const std::vector<std::string>& args);
int RunPublish(const std::vector<std::string>& args);
int RunAnnounce(const std::vector<std::string>& args);
int RunFleet(const std::vector<std::string>& args);
int RunShot(const std::vector<std::string>& args);
int RunFleetPlayLog(const std::vector<std::string>& args);
int RunDesk(const std::vector<std::string>& args);

}  // namespace zl
