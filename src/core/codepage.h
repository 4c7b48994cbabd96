#pragma once
#include <string>
#include <string_view>

// Model strings are byte strings in GBK (CP936), as the page files and lists hold them;
// conversion happens only at the edges (Qt, file names, the page text's character codes).
namespace zl {

// A character that GBK cannot hold becomes "?".
std::string Utf8ToGbk(std::string_view utf8);
// A byte sequence that is not valid GBK becomes "?" per offending byte.
std::string GbkToUtf8(std::string_view gbk);

std::u16string GbkToUtf16(std::string_view gbk);
std::string Utf16ToGbk(std::u16string_view utf16);

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// A text file's bytes as GBK, for files that feeds and editors write: a UTF-8 or UTF-16
// byte-order mark decides the encoding; without one, valid UTF-8 that holds a multi-byte
// sequence is read as UTF-8, anything else as GBK. Characters GBK cannot hold become "?".
std::string TextFileToGbk(std::string_view bytes);

// Well-formed UTF-8 (no overlong forms, surrogates or code points past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// True when the byte starts a double-byte GBK character.
inline bool IsGbkLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

}  // namespace zl
