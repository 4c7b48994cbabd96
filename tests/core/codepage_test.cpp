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

}  // namespace
}  // namespace zl
