#include <gtest/gtest.h>

#include "core/codepage.h"
#include "core/error.h"
#include "core/pagetext/parser.h"

namespace zl::pagetext {
namespace {

std::string ErrorOf(std::string_view text) {
    try {
        Parse(text);
    } catch (const Error& e) {
        return e.what();
    }
    return "no error";
}

std::string Repeat(std::string_view piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

struct Broken {
    std::string text;
    std::string message;
};

TEST(PageTextParser, BrokenInputsReportTheFrameworkMessageAndLine) {
    const std::string head = "object A: B\r\n";
    const Broken cases[] = {
        {"", "OBJECT expected on line 1"},
        {"Left = 1\r\n", "OBJECT expected on line 1"},
        {"object\r\n", "Identifier expected on line 2"},
        {"object 5", "Identifier expected on line 1"},
        {"object A: 'B'", "Identifier expected on line 1"},
        {"object A: B [x]", "Number expected on line 1"},
        {"object A: B [1.5]", "Number expected on line 1"},
        {"object A: B [1 end", "'']'' expected on line 1"},
        {head + "  Left 5\r\nend\r\n", "''='' expected on line 2"},
        {head + "  Font. = 1\r\nend\r\n", "Identifier expected on line 2"},
        {head + "  Left = )\r\nend\r\n", "Invalid property value on line 2"},
        // "end" is read as the value; the root then misses its own end at the text's end.
        {head + "  Left =\r\nend\r\n", "Identifier expected on line 4"},
        {head + "  Left = 1\r\n", "Identifier expected on line 3"},
        {head + "  object C: D\r\n  end\r\n  Left = 1\r\nend\r\n", "OBJECT expected on line 4"},
        {head + "  Caption = 'abc\r\nend\r\n", "Invalid string constant on line 2"},
        {head + "  Caption = 'ab" + std::string(1, '\0') + "c'\r\nend\r\n", "Invalid string constant on line 2"},
        {head + "  Caption = #\r\nend\r\n", "Invalid string constant on line 2"},
        {head + "  Caption = #65536\r\nend\r\n", "Invalid string constant on line 2"},
        {head + "  Caption = 'abc' +\r\n    5\r\nend\r\n", "String expected on line 3"},
        {head + "  Data = {ABC}\r\nend\r\n", "Invalid binary value on line 2"},
        {head + "  Data = {A B}\r\nend\r\n", "Invalid binary value on line 2"},
        {head + "  Data = {\r\n    AB\r\n    G0}\r\nend\r\n", "Invalid binary value on line 4"},
        {head + "  Data = {AB\r\n", "Invalid binary value on line 3"},
        {head + "  Style = [a b]\r\nend\r\n", "'','' expected on line 2"},
        {head + "  Style = [a, 5]\r\nend\r\n", "Identifier expected on line 2"},
        // "end" is taken as an element; the text ends where the "," or "]" should be.
        {head + "  Style = [a,\r\nend\r\n", "'','' expected on line 4"},
        {head + "  Items = <\r\n    foo\r\n", "item expected on line 3"},
        {head + "  Items = <\r\n    item [x]\r\n", "Number expected on line 3"},
        {head + "  Items = <\r\n    item\r\n      Width = 1\r\n", "Identifier expected on line 5"},
        {head + "  Lines = (\r\n    'a'\r\n", "Invalid property value on line 4"},
        {head + "  X = 9223372036854775808\r\nend\r\n", "Number expected on line 2"},
        {head + "  X = $10000000000000000\r\nend\r\n", "Number expected on line 2"},
        {head + "  X = $\r\nend\r\n", "Number expected on line 2"},
        {head + "  X = -\r\nend\r\n", "Number expected on line 2"},
        {head + "  X = 1.2.3\r\nend\r\n", "Number expected on line 2"},
        {head + "  X = 1e\r\nend\r\n", "Number expected on line 2"},
        {head + "  X = 1e99999\r\nend\r\n", "Number expected on line 2"},
        {head + "  Reference = Form1.\r\nend\r\n", "Identifier expected on line 2"},
        {head + "  Reference = Form1.5\r\nend\r\n", "Identifier expected on line 2"},
        {head + "end\r\n'x", "Invalid string constant on line 3"},
        {"object A: B" + std::string(4090, ' ') + "\r\nend\r\n", "Line too long on line 1"},
        {head + "  Caption = '" + std::string(5000, 'x') + "'\r\nend\r\n", "Line too long on line 2"},
        {head + "  L = " + Repeat("(", 300) + "\r\nend\r\n", "Nesting too deep on line 2"},
        {Repeat("object A: B\r\n", 300), "Nesting too deep on line 257"},
    };
    for (const Broken& c : cases) EXPECT_EQ(ErrorOf(c.text), c.message) << c.text.substr(0, 200);
    EXPECT_EQ(ErrorOf(std::string_view()), "OBJECT expected on line 1");
}

// A line fits while it, CR LF included, fills at most the 4096-byte read buffer.
TEST(PageTextParser, LineLengthLimitIsTheReadBuffer) {
    const auto page = [](std::size_t lineLength) {
        const std::string prefix = "  Caption = '";
        return "object A: B\r\n" + prefix + std::string(lineLength - prefix.size() - 3, 'x') + "'\r\nend\r\n";
    };
    EXPECT_EQ(ErrorOf(page(4096)), "no error");
    EXPECT_EQ(ErrorOf(page(4097)), "Line too long on line 2");
    // The last line counts too, with or without a line end.
    EXPECT_EQ(ErrorOf("object A: B\r\nend" + std::string(4093, ' ')), "no error");
    EXPECT_EQ(ErrorOf("object A: B\r\nend" + std::string(4094, ' ')), "Line too long on line 2");
}

TEST(PageTextParser, ReadsEveryHeaderForm) {
    const Object root = Parse(
        "OBJECT Form1: TForm1\r\n"
        "  Inherited Panel1: TPanel [0]\r\n"
        "  END\r\n"
        "  inline Frame1: TFrame1 [$2]\r\n"
        "  eNd\r\n"
        "  object TButton\r\n"
        "  end\r\n"
        "end\r\n");
    EXPECT_EQ(root.kind, ObjectKind::Object);
    EXPECT_EQ(root.name, "Form1");
    EXPECT_EQ(root.className, "TForm1");
    EXPECT_FALSE(root.childPosition);
    ASSERT_EQ(root.children.size(), 3u);
    EXPECT_EQ(root.children[0].kind, ObjectKind::Inherited);
    EXPECT_EQ(root.children[0].childPosition, 0);
    EXPECT_EQ(root.children[1].kind, ObjectKind::Inline);
    EXPECT_EQ(root.children[1].childPosition, 2);
    EXPECT_EQ(root.children[2].name, "");
    EXPECT_EQ(root.children[2].className, "TButton");
    EXPECT_EQ(root.children[2].line, 6);
}

TEST(PageTextParser, ReadsValuesInAnyLayout) {
    const Object root = Parse(
        "object A: B\r\n"
        "  Font . Name = 'MS Sans Serif'\r\n"
        "  Joined = 'It''s' +\r\n"
        "    #32'a' + #26631\r\n"
        "  Hex = $ff\r\n"
        "  Ref = Form1.Label1.Font\r\n"
        "  Set = [ akLeft ,akTop ]\r\n"
        "  Data = { 0A0b\r\n"
        "      FF }\r\n"
        "  Items = <item[3]X=1 end>\r\n"
        "end garbage ) (\r\n");
    ASSERT_EQ(root.properties.size(), 7u);
    EXPECT_EQ(root.properties[0].path, "Font.Name");
    EXPECT_EQ(root.properties[1].value.If<StringValue>()->text, u"It's a\u6807");
    EXPECT_EQ(root.properties[1].line, 3);
    const auto* hex = root.properties[2].value.If<IntegerValue>();
    EXPECT_EQ(hex->value, 255);
    EXPECT_EQ(hex->hexDigits, 2);
    EXPECT_TRUE(hex->hexLowercase);
    EXPECT_EQ(root.properties[3].value.If<IdentValue>()->name, "Form1.Label1.Font");
    EXPECT_EQ(root.properties[4].value.If<SetValue>()->names, (std::vector<std::string>{"akLeft", "akTop"}));
    EXPECT_EQ(root.properties[5].value.If<BinaryValue>()->bytes, (std::vector<std::uint8_t>{0x0A, 0x0B, 0xFF}));
    const auto* items = root.properties[6].value.If<CollectionValue>();
    ASSERT_EQ(items->items.size(), 1u);
    EXPECT_EQ(items->items[0].index, 3);
    EXPECT_EQ(items->items[0].properties[0].path, "X");
}

TEST(PageTextParser, NumbersKeepTheirKind) {
    const Object root = Parse(
        "object A: B\r\n"
        "  I = -11\r\n"
        "  Max = $FFFFFFFFFFFFFFFF\r\n"
        "  E = 1.5\r\n"
        "  S = 0.5S\r\n"
        "  C = 15000c\r\n"
        "  D = 38000.5d\r\n"
        "  X = 2E3\r\n"
        "end\r\n");
    EXPECT_EQ(root.properties[0].value.If<IntegerValue>()->value, -11);
    EXPECT_EQ(root.properties[1].value.If<IntegerValue>()->value, -1);
    struct Expected { FloatKind kind; long double value; } floats[] = {
        {FloatKind::Extended, 1.5L}, {FloatKind::Single, 0.5L}, {FloatKind::Currency, 1.5L},
        {FloatKind::DateTime, 38000.5L}, {FloatKind::Extended, 2000.0L},
    };
    for (int i = 0; i < 5; ++i) {
        const auto* f = root.properties[2 + i].value.If<FloatValue>();
        ASSERT_NE(f, nullptr) << i;
        EXPECT_EQ(f->kind, floats[i].kind) << i;
        EXPECT_EQ(f->value, floats[i].value) << i;
    }
}

// A token without a code above 127 is ANSI code page text; one with such a code takes codes as
// 16-bit units. GBK inside quotes is decoded in both.
TEST(PageTextParser, StringTokensFollowTheReadingRule) {
    const std::string biao = Utf8ToGbk("标"), dong = Utf8ToGbk("动");
    struct Case { std::string literal; std::u16string text; } cases[] = {
        {"'It''s'", u"It's"},
        {"''''", u"'"},
        {"#26631#31614", u"标签"},
        {"'led'#28378#21160#25991#23383", u"led滚动文字"},
        {"'" + biao + dong + "'", u"标动"},
        {"'" + biao + "'#65", u"标A"},
        {"'" + biao + "'#21160", u"标动"},
        {"#233", u"\u00E9"},
        {"#13#10#9", u"\r\n\t"},
        {"'a'+'b' + #99", u"abc"},
    };
    for (const Case& c : cases) {
        const Object root = Parse("object A: B\r\n  S = " + c.literal + "\r\nend\r\n");
        EXPECT_EQ(root.properties.at(0).value.If<StringValue>()->text, c.text) << c.literal;
    }
}

}  // namespace
}  // namespace zl::pagetext
