#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Where plug-ins live: the one rule the program and the package share.
namespace zl {

// The folder of the running executable.
std::filesystem::path ExecutableFolder();

// The installed program's plug-in folder: lib/<multiarch>/zorled/plugins under the install prefix.
std::filesystem::path InstalledPluginFolder();

// The folders scanned for menu plug-ins, in order: the executable's folder, then, for the
// installed program only, the installed plug-in folder when it is another folder.
std::vector<std::filesystem::path> PluginFolders();
// The same rule for a given executable folder, install bin folder and installed plug-in folder.
std::vector<std::filesystem::path> ChoosePluginFolders(const std::filesystem::path& executableDir,
                                                       const std::filesystem::path& installedBinDir,
                                                       const std::filesystem::path& installedPluginDir);

// Replaces the plug-in folders while it lives (tests).
class ScopedPluginFolders {
public:
    explicit ScopedPluginFolders(std::vector<std::filesystem::path> folders);
    ~ScopedPluginFolders();
    ScopedPluginFolders(const ScopedPluginFolders&) = delete;
    ScopedPluginFolders& operator=(const ScopedPluginFolders&) = delete;

private:
    std::optional<std::vector<std::filesystem::path>> previous_;
};

// The library file a stored name (GBK, "\" read as a folder separator) stands for, as an
// absolute path: a bare file name is looked for in the plug-in folders first, then in the
// current folder; a name with a folder is taken as it stands. A missing exact name matches its
// case-insensitive twin in the same folder. Nothing when no plain file is found.
std::optional<std::filesystem::path> FindLibraryFile(const std::string& stored);

}  // namespace zl
