#pragma once
#include <filesystem>
#include <optional>
#include <string_view>

namespace zl {

// The program's home: the folder of the executable, or ZORLED_HOME when set.
std::filesystem::path ProgramHome();
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
