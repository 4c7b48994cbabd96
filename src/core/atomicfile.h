#pragma once
#include <filesystem>
#include <string>
#include <string_view>

namespace zl {

// Writes to a temporary file beside the target, flushes it and renames it over the target
// (a symbolic link's target, keeping the link; the old file's mode is kept),
// so a failed write leaves the previous file whole. Fails with
// "Cannot create file "%s". %s".
void WriteFileAtomic(const std::filesystem::path& path, std::string_view data);

// Fails with "Cannot open file "%s". %s".
std::string ReadWholeFile(const std::filesystem::path& path);

}  // namespace zl
