#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zl {

// The program's home: ZORLED_HOME when set; else, for a program installed into the prefix it was
// built for, $XDG_DATA_HOME/zorled (~/.local/share/zorled); else the folder of the executable.
std::filesystem::path ProgramHome();

// What decides the home, gathered so the rule can be checked without installing anything.
struct HomeSources {
    std::string zorledHome;                 // ZORLED_HOME, empty when unset
    std::filesystem::path executableDir;    // empty when unknown
    std::filesystem::path installedBinDir;  // where an installed program lives; empty for none
    std::string xdgDataHome;                // XDG_DATA_HOME, empty when unset
    std::string userHome;                   // HOME
};
std::filesystem::path ChooseHome(const HomeSources& sources);
// Whether a program in executableDir is the installed one: it runs from the install prefix's bin
// folder (reached through linked folders or not). False when either is unknown.
bool IsInstalledProgram(const std::filesystem::path& executableDir, const std::filesystem::path& installedBinDir);
// Where an install puts the program, fixed at build time by the install prefix.
std::filesystem::path InstalledBinDir();
// Home + "pagedef": page files, plans and play lists.
std::filesystem::path PageDefDir();
// Creates the pagedef folder when missing; a fresh installation has none.
void EnsurePageDefDir();

// The exact path when it exists, else a case-insensitive match of its file name in the same
// folder (files come from Windows), else nothing.
std::optional<std::filesystem::path> FindFileCaseInsensitive(const std::filesystem::path& path);

// A stored path (GBK bytes) may use "\" as the folder separator.
std::filesystem::path StoredPath(std::string_view stored);

}  // namespace zl
