#include "core/datafile.h"

#include "core/atomicfile.h"
#include "core/codepage.h"
#include "core/home.h"

namespace zl {

std::optional<StringList> ReadDataTextFile(const std::string& fileName) {
    const std::filesystem::path stored = StoredPath(fileName);
    if (stored.empty()) return std::nullopt;
    const auto found = FindFileCaseInsensitive(stored);
    if (!found) return std::nullopt;
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(*found, ec);
    if (ec) path = *found;
    return ParseTextList(TextFileToGbk(ReadWholeFile(path, {kMaxDataFileSize, true})));
}

}  // namespace zl
