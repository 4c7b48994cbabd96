#pragma once
#include <filesystem>
#include <string>

// Where play keeps its lists, plans and pages. Plan and page names are GBK model strings.
namespace zl {

// The file itself when it exists, else its case-insensitive match in the same folder (files
// come from Windows), else the path unchanged. Only for reading: a file is always written
// under its exact name, so plans "a" and "A" keep files of their own.
std::filesystem::path ResolveCase(const std::filesystem::path& path);

// The exact names, as written; read them through ResolveCase.
std::filesystem::path PlayListPath();
std::filesystem::path SelectListPath();
// pagedef/<plan>.LED; a "\" in the name reads as a folder separator, as it did on Windows.
std::filesystem::path PlanFilePath(const std::string& plan);
// pagedef/<page>.DFM.
std::filesystem::path PageFilePath(const std::string& page);

}  // namespace zl
