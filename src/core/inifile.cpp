#include "core/inifile.h"

namespace zl {
namespace {

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && Blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && Blank(s.back())) s.remove_suffix(1);
    return s;
}

// Cuts a trailing comment: ";" or "#" that starts the text or follows a blank.
std::string_view WithoutComment(std::string_view s) {
    for (size_t i = 0; i < s.size(); ++i)
        if ((s[i] == ';' || s[i] == '#') && (i == 0 || Blank(s[i - 1]))) return s.substr(0, i);
    return s;
}

}  // namespace

IniText ParseIni(std::string_view text) {
    IniText result;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    int number = 0;
    while (!text.empty() || number == 0) {
        ++number;
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        line = Trim(WithoutComment(line));
        if (line.empty()) continue;
        if (line.front() == '[') {
            const size_t close = line.find(']');
            if (close == std::string_view::npos || !Trim(line.substr(close + 1)).empty()) {
                result.badLines.push_back("line " + std::to_string(number) + ": " + std::string(line));
                continue;
            }
            result.sections.push_back({std::string(Trim(line.substr(1, close - 1))), number, {}});
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos || Trim(line.substr(0, eq)).empty()) {
            result.badLines.push_back("line " + std::to_string(number) + ": " + std::string(line));
            continue;
        }
        if (result.sections.empty()) result.sections.push_back({});
        result.sections.back().entries.push_back(
            {std::string(Trim(line.substr(0, eq))), std::string(Trim(line.substr(eq + 1))), number});
    }
    return result;
}

}  // namespace zl
