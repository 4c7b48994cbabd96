#include "app/autostart.h"

#include <cstdlib>

#include "core/atomicfile.h"
#include "core/error.h"

namespace zl {

namespace {

std::filesystem::path ConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return xdg;
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home ? home : "") / ".config";
}

// The desktop entry's quoting: a program path with a space or a quote is quoted.
std::string Quoted(const std::string& program) {
    if (program.find_first_of(" \t\"'\\$`") == std::string::npos) return program;
    std::string quoted = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += "\\\\";
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::filesystem::path AutostartEntryPath() { return ConfigHome() / "autostart" / "zorled.desktop"; }

bool AutostartEnabled() {
    std::error_code ec;
    return std::filesystem::exists(AutostartEntryPath(), ec);
}

void SetAutostart(bool on, const std::string& program) {
    const auto path = AutostartEntryPath();
    std::error_code ec;
    if (!on) {
        std::filesystem::remove(path, ec);
        if (ec) throw Error(Format("Cannot delete file \"%s\". %s", path.c_str(), ec.message().c_str()));
        return;
    }
    std::filesystem::create_directories(path.parent_path(), ec);
    WriteFileAtomic(path, "[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=ZorLED\n"
                          "Comment=Plays the saved plans when the session starts\n"
                          "Exec=" + Quoted(program) + " --play\n"
                          "Icon=zorled\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n");
}

bool ServiceUnitEnabled() {
    std::error_code ec;
    const auto units = ConfigHome() / "systemd" / "user";
    for (const auto& entry : std::filesystem::directory_iterator(units, ec)) {
        if (!entry.is_directory(ec)) continue;
        const std::string name = entry.path().filename().string();
        if (name.size() > 6 && name.compare(name.size() - 6, 6, ".wants") == 0 &&
            std::filesystem::symlink_status(entry.path() / "zorled.service", ec).type() !=
                std::filesystem::file_type::not_found)
            return true;
    }
    return false;
}

}  // namespace zl
