#include "core/home.h"

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <system_error>

#include "core/codepage.h"

namespace zl {
namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

}  // namespace

std::filesystem::path ChooseHome(const HomeSources& s) {
    if (!s.zorledHome.empty()) return s.zorledHome;
    if (IsInstalledProgram(s.executableDir, s.installedBinDir)) {
        // A relative XDG_DATA_HOME is invalid and is ignored, as the base directory rules say.
        if (!s.xdgDataHome.empty() && s.xdgDataHome.front() == '/')
            return std::filesystem::path(s.xdgDataHome) / "zorled";
        const std::string home = s.userHome.empty() ? std::string("/tmp") : s.userHome;
        return std::filesystem::path(home) / ".local" / "share" / "zorled";
    }
    if (!s.executableDir.empty()) return s.executableDir;
    std::error_code ec;
    return std::filesystem::current_path(ec);
}

bool IsInstalledProgram(const std::filesystem::path& executableDir, const std::filesystem::path& installedBinDir) {
    if (executableDir.empty() || installedBinDir.empty()) return false;
    std::error_code ec;
    return std::filesystem::weakly_canonical(executableDir, ec) == std::filesystem::weakly_canonical(installedBinDir, ec);
}

std::filesystem::path InstalledBinDir() {
#ifdef ZORLED_INSTALLED_BINDIR
    return ZORLED_INSTALLED_BINDIR;
#else
    return {};
#endif
}

std::filesystem::path ProgramHome() {
    auto env = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value ? value : "");
    };
    HomeSources sources;
    sources.zorledHome = env("ZORLED_HOME");
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) sources.executableDir = exe.parent_path();
    sources.installedBinDir = InstalledBinDir();
    sources.xdgDataHome = env("XDG_DATA_HOME");
    sources.userHome = env("HOME");
    return ChooseHome(sources);
}

std::filesystem::path PageDefDir() { return ProgramHome() / "pagedef"; }

void EnsurePageDefDir() {
    std::error_code ec;
    std::filesystem::create_directories(PageDefDir(), ec);
}

std::optional<std::filesystem::path> FindFileCaseInsensitive(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) return path;
    const auto dir = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    const std::string wanted = Lower(path.filename().string());
    std::optional<std::filesystem::path> found;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // Take the first match in name order so the choice does not depend on the directory layout.
        if (Lower(name) == wanted && (!found || name < found->filename().string()))
            found = it->path();
    }
    return found;
}

std::filesystem::path StoredPath(std::string_view stored) {
    std::string s = GbkToUtf8(stored);
    for (char& c : s)
        if (c == '\\') c = '/';
    return std::filesystem::path(s);
}

}  // namespace zl
