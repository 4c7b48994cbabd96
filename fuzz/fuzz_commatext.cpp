#include <cstdint>
#include <string>

#include "core/codepage.h"
#include "core/commatext.h"
#include "core/textlist.h"

namespace {

// Reads comma text back the way its readers do: a quoted item ends at a lone quote, an unquoted
// one at a comma; the trail byte of a double-byte character is never a delimiter.
zl::StringList ReadCommaText(const std::string& text) {
    zl::StringList items;
    if (text.empty()) return items;
    size_t i = 0;
    for (;;) {
        std::string item;
        if (i < text.size() && text[i] == '"') {
            ++i;
            for (;;) {
                if (i >= text.size()) __builtin_trap();  // never closed
                const unsigned char c = text[i];
                if (zl::IsGbkLeadByte(c) && i + 1 < text.size()) {
                    item += text.substr(i, 2);
                    i += 2;
                } else if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                    item += '"';
                    i += 2;
                } else if (c == '"') {
                    ++i;
                    break;
                } else {
                    item += text[i++];
                }
            }
        } else {
            while (i < text.size() && text[i] != ',') {
                const size_t n = zl::IsGbkLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
                item += text.substr(i, n);
                i += n;
            }
        }
        items.push_back(item);
        if (i == text.size()) return items;
        if (text[i] != ',') __builtin_trap();  // something after a closing quote
        ++i;
    }
}

}  // namespace

// Every list written as comma text reads back to the same items. A line ending in a lone lead
// byte is not GBK text, and which byte it swallows is then the reader's choice, so such lists
// only have to be written without failing.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const zl::StringList lines = zl::ParseTextList({reinterpret_cast<const char*>(data), size});
    const std::string text = zl::CommaText(lines);
    for (const std::string& line : lines) {
        size_t i = 0;
        while (i < line.size()) i += zl::IsGbkLeadByte(static_cast<unsigned char>(line[i])) ? 2 : 1;
        if (i > line.size()) return 0;
    }
    if (ReadCommaText(text) != lines) __builtin_trap();
    return 0;
}
