#include "core/textlist.h"

#include <algorithm>
#include <cstring>

#include "core/atomicfile.h"

namespace zl {

StringList ParseTextList(std::string_view bytes) {
    if (const size_t nul = bytes.find('\0'); nul != std::string_view::npos)
        bytes = bytes.substr(0, nul);
    StringList out;
    // One allocation for a data file of a million lines, not twenty moves of them all.
    out.reserve(static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
    size_t start = 0;
    size_t i = 0;
    while (i < bytes.size()) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            out.emplace_back(bytes.substr(start, i - start));
            i += (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < bytes.size())
        out.emplace_back(bytes.substr(start));
    return out;
}

std::string FormatTextList(const StringList& entries) {
    std::string out;
    for (const auto& e : entries) {
        out += e;
        out += "\r\n";
    }
    return out;
}

StringList ReadTextList(const std::filesystem::path& path) {
    return ParseTextList(ReadWholeFile(path));
}

void WriteTextList(const std::filesystem::path& path, const StringList& entries) {
    WriteFileAtomic(path, FormatTextList(entries));
}

}  // namespace zl
