#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "core/textlist.h"

namespace zl {

// Data text files above this size are refused rather than held in memory.
constexpr std::uintmax_t kMaxDataFileSize = 16u * 1024 * 1024;

// The lines of a data text file as GBK (UTF-8 and UTF-16 files are converted, see
// TextFileToGbk): nothing when no file of that name exists. Fails with "Cannot open file "%s". %s"
// when it cannot be read, is no regular file or is still held open for writing, and with
// "File "%s" is larger than 16 MB" above kMaxDataFileSize.
std::optional<StringList> ReadDataTextFile(const std::string& fileName);

}  // namespace zl
