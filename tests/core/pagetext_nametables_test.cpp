#include <gtest/gtest.h>

#include "core/pagetext/nametables.h"

namespace zl::pagetext {
namespace {

TEST(PageTextNameTables, ValuesWriteByTheirFirstNameAndEveryNameReads) {
    EXPECT_EQ(ColorToIdent(0x00F0CAA6), "clSkyBlue");
    EXPECT_EQ(IdentToColor("clSkyBlue"), 0x00F0CAA6);
    EXPECT_EQ(ColorToIdent(static_cast<std::int32_t>(0xFF00000Fu)), "clBtnFace");
    EXPECT_EQ(IdentToColor("CLBTNFACE"), static_cast<std::int32_t>(0xFF00000Fu));
    EXPECT_EQ(ColorToIdent(0x1FFFFFFF), "clNone");
    EXPECT_EQ(ColorToIdent(0x123456), std::nullopt);

    EXPECT_EQ(CursorToIdent(-22), "crSizeAll");
    EXPECT_EQ(IdentToCursor("crSize"), -22);
    EXPECT_EQ(CursorToIdent(-1), std::nullopt);

    EXPECT_EQ(CharsetToIdent(134), "GB2312_CHARSET");
    EXPECT_EQ(IdentToCharset("default_charset"), 1);
    EXPECT_EQ(IdentToCharset("clRed"), std::nullopt);
}

}  // namespace
}  // namespace zl::pagetext
