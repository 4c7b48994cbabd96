#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace zl {

// One "key=value" line of an INI file, trimmed, with its line number for messages.
struct IniEntry {
    std::string key;
    std::string value;
    int line = 0;
};

struct IniSection {
    std::string name;
    int line = 0;
    std::vector<IniEntry> entries;
};

// What an INI text holds: its sections in file order, and the lines that are neither a section,
// an entry, a comment nor blank ("line N: ..."). Entries before the first section are kept in a
// section with an empty name. A ";" or "#" starts a comment at the start of a line or after
// a blank, so "port=4048   ; default" reads as 4048.
struct IniText {
    std::vector<IniSection> sections;
    std::vector<std::string> badLines;
};

IniText ParseIni(std::string_view text);

}  // namespace zl
