#include <gtest/gtest.h>

#include "core/codepage.h"

namespace zl {
namespace {

TEST(Codepage, RoundTripsChineseThroughGbk) {
    const std::string gbk = Utf8ToGbk("标签");
    EXPECT_EQ(gbk, "\xB1\xEA\xC7\xA9");
    EXPECT_EQ(GbkToUtf8(gbk), "标签");
    EXPECT_EQ(GbkToUtf16(gbk), u"标签");
    EXPECT_EQ(Utf16ToGbk(u"标签"), gbk);
}

TEST(Codepage, OutsideGbkBecomesQuestionMark) {
    struct Case { const char* utf8; const char* gbk; } cases[] = {
        {"a😀b", "a?b"},          // outside the BMP
        {"x\xE0\xB8\x81y", "x?y"},  // Thai has no GBK code
        {"", ""},
        {"plain", "plain"},
    };
    for (const auto& c : cases) EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk) << c.utf8;
}

TEST(Codepage, InvalidGbkBytesBecomeQuestionMarks) {
    EXPECT_EQ(GbkToUtf8("a\xFF"), "a?");
    EXPECT_EQ(GbkToUtf8("\xB1"), "?");  // lead byte cut off at the end
}

TEST(Codepage, TextFilesOfEveryEncodingGiveTheSameGbk) {
    const std::string text = "列车 A12 正点\r\n第二行";
    const std::string gbk = Utf8ToGbk(text);
    std::string utf16le = "\xFF\xFE", utf16be = "\xFE\xFF";
    for (char16_t u : Utf8ToUtf16(text)) {
        utf16le += static_cast<char>(u & 0xFF), utf16le += static_cast<char>(u >> 8);
        utf16be += static_cast<char>(u >> 8), utf16be += static_cast<char>(u & 0xFF);
    }
    const struct {
        const char* what;
        std::string bytes, gbk;
    } cases[] = {
        {"UTF-8", text, gbk},
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + text, gbk},
        {"UTF-16LE with a byte-order mark", utf16le, gbk},
        {"UTF-16BE with a byte-order mark", utf16be, gbk},
        {"GBK", gbk, gbk},
        {"ASCII", "plain", "plain"},
        {"UTF-8 outside GBK", "a\xF0\x9F\x98\x80" "b", "a?b"},
        // Not well-formed UTF-8 (an overlong slash, a surrogate): taken as GBK bytes.
        {"overlong form", "x\xC0\xAFy", "x\xC0\xAFy"},
        {"surrogate", "\xED\xA0\x80", "\xED\xA0\x80"},
        {"UTF-16 cut off", std::string("\xFF\xFE" "A\0" "B", 5), "A?"},
        {"only a mark", "\xEF\xBB\xBF", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(TextFileToGbk(c.bytes), c.gbk) << c.what;
}

}  // namespace
}  // namespace zl
