#include "plugins/pluginfolders.h"

#include <system_error>

#include "core/home.h"

#ifndef ZORLED_INSTALLED_PLUGIN_DIR
#define ZORLED_INSTALLED_PLUGIN_DIR "/usr/lib/zorled/plugins"
#endif

namespace zl {
namespace {

std::optional<std::vector<std::filesystem::path>>& Override() {
    static std::optional<std::vector<std::filesystem::path>> folders;
    return folders;
}

bool IsPlainFile(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

std::optional<std::filesystem::path> PlainFile(const std::filesystem::path& path) {
    const auto found = FindFileCaseInsensitive(path);
    if (!found || !IsPlainFile(*found)) return std::nullopt;
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(*found, ec);
    return ec ? *found : absolute;
}

}  // namespace

std::filesystem::path ExecutableFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) return exe.parent_path();
    return std::filesystem::current_path(ec);
}

std::filesystem::path InstalledPluginFolder() { return ZORLED_INSTALLED_PLUGIN_DIR; }

std::vector<std::filesystem::path> ChoosePluginFolders(const std::filesystem::path& executableDir,
                                                       const std::filesystem::path& installedBinDir,
                                                       const std::filesystem::path& installedPluginDir) {
    std::vector<std::filesystem::path> folders{executableDir};
    // A build tree never picks up the plug-ins of an installed copy; it has its own beside it.
    if (!IsInstalledProgram(executableDir, installedBinDir) || installedPluginDir.empty()) return folders;
    std::error_code ec;
    if (!std::filesystem::equivalent(installedPluginDir, executableDir, ec)) folders.push_back(installedPluginDir);
    return folders;
}

std::vector<std::filesystem::path> PluginFolders() {
    if (Override()) return *Override();
    return ChoosePluginFolders(ExecutableFolder(), InstalledBinDir(), InstalledPluginFolder());
}

ScopedPluginFolders::ScopedPluginFolders(std::vector<std::filesystem::path> folders) : previous_(Override()) {
    Override() = std::move(folders);
}

ScopedPluginFolders::~ScopedPluginFolders() { Override() = previous_; }

std::optional<std::filesystem::path> FindLibraryFile(const std::string& stored) {
    const std::filesystem::path path = StoredPath(stored);
    if (path.empty()) return std::nullopt;
    // A bare name never goes to the system's library search: only our folders, then here.
    if (!path.has_parent_path()) {
        for (const auto& folder : PluginFolders())
            if (auto found = PlainFile(folder / path)) return found;
    }
    return PlainFile(path);
}

}  // namespace zl
