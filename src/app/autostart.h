#pragma once
#include <filesystem>
#include <string>

namespace zl {

// "开机自动播放": an XDG autostart entry that starts the program playing when the user's session
// starts. Only one of it and the systemd user unit should start a sign.

// $XDG_CONFIG_HOME/autostart/zorled.desktop (~/.config without XDG_CONFIG_HOME).
std::filesystem::path AutostartEntryPath();
bool AutostartEnabled();
// Writes the entry atomically (its Exec runs `program --play`) or removes it.
void SetAutostart(bool on, const std::string& program);
// Whether the user enabled zorled.service (a link in a .wants folder of the user's units).
bool ServiceUnitEnabled();

}  // namespace zl
