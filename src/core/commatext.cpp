#include "core/commatext.h"

#include "core/codepage.h"

namespace zl {
namespace {

bool NeedsQuotes(const std::string& s) {
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = s[i];
        if (IsGbkLeadByte(c) && i + 1 < s.size()) {
            ++i;
            continue;
        }
        if (c <= 32 || c == ',' || c == '"') return true;
    }
    return false;
}

std::string Quoted(const std::string& s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = s[i];
        if (IsGbkLeadByte(c) && i + 1 < s.size()) {
            out += s[i];
            out += s[++i];
            continue;
        }
        out += s[i];
        if (c == '"') out += '"';
    }
    return out + "\"";
}

}  // namespace

std::string CommaText(const StringList& lines) {
    if (lines.size() == 1 && lines[0].empty()) return "\"\"";
    std::string out;
    size_t size = lines.size();
    for (const auto& line : lines) size += line.size();
    out.reserve(size);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) out += ',';
        out += NeedsQuotes(lines[i]) ? Quoted(lines[i]) : lines[i];
    }
    return out;
}

}  // namespace zl
