#include <gtest/gtest.h>

#include <cmath>

#include "core/error.h"
#include "core/pagetext/numbers.h"
#include "core/pagetext/parser.h"
#include "core/pagetext/writer.h"

namespace zl::pagetext {
namespace {

// The property line(s) of `value` as the root's property, at level 1.
std::string PropertyText(Value value, std::string path = "Caption") {
    std::string out;
    Writer(out).WriteProperty({std::move(path), std::move(value)}, 1);
    return out;
}

Value ReadBack(const std::string& propertyText) {
    return Parse("object A: B\r\n" + propertyText + "end\r\n").properties.at(0).value;
}

TEST(PageTextWriter, StringRule) {
    const std::u16string ascii64(64, u'a');
    std::u16string chinese65;
    std::string codes64;
    for (int i = 0; i < 65; ++i) {
        chinese65 += static_cast<char16_t>(0x4E00 + i);
        if (i < 64) codes64 += "#" + std::to_string(0x4E00 + i);
    }
    struct Case { std::u16string text; std::string written; } cases[] = {
        {u"", "  Caption = ''\r\n"},
        {ascii64, "  Caption = '" + std::string(64, 'a') + "'\r\n"},
        {ascii64 + u"b", "  Caption = \r\n    '" + std::string(64, 'a') + "' +\r\n    'b'\r\n"},
        {chinese65, "  Caption = \r\n    " + codes64 + " +\r\n    #" + std::to_string(0x4E00 + 64) + "\r\n"},
        {u"标签", "  Caption = #26631#31614\r\n"},
        {u"led滚动文字", "  Caption = 'led'#28378#21160#25991#23383\r\n"},
        {u"It's", "  Caption = 'It'#39's'\r\n"},
        {u"'", "  Caption = #39\r\n"},
        {u"a\r\n\tb", "  Caption = 'a'#13#10#9'b'\r\n"},
        {u"\u007F\u0080", "  Caption = '\x7F'#128\r\n"},
        // A code that fills the line's 64 characters brings the break, as a run does.
        {std::u16string(63, u'x') + u"\u6807" + u"y",
         "  Caption = \r\n    '" + std::string(63, 'x') + "'#26631 +\r\n    'y'\r\n"},
    };
    for (const Case& c : cases) {
        const std::string written = PropertyText(Value::String(c.text));
        EXPECT_EQ(written, c.written);
        EXPECT_EQ(ReadBack(written).If<StringValue>()->text, c.text) << c.written;
    }
}

TEST(PageTextWriter, ListsAndCollectionsOneLevelDeeper) {
    ListValue lines;
    lines.items = {Value::String(u"led"), Value::String(u"abc")};
    EXPECT_EQ(PropertyText(lines, "Text.Lines.Strings"),
              "  Text.Lines.Strings = (\r\n    'led'\r\n    'abc')\r\n");
    EXPECT_EQ(PropertyText(ListValue{}, "Lines.Strings"), "  Lines.Strings = ()\r\n");

    // A long line of a list continues two levels below the property.
    ListValue longLine;
    longLine.items = {Value::String(std::u16string(65, u'z'))};
    EXPECT_EQ(PropertyText(longLine, "L"),
              "  L = (\r\n    \r\n      '" + std::string(64, 'z') + "' +\r\n      'z')\r\n");

    CollectionValue labels;
    labels.items.push_back({std::nullopt, {{"Caption", Value::String(u"x")}}});
    labels.items.push_back({7, {}});
    EXPECT_EQ(PropertyText(labels, "Labels"),
              "  Labels = <\r\n    item\r\n      Caption = 'x'\r\n    end\r\n    item [7]\r\n    end>\r\n");
    EXPECT_EQ(PropertyText(CollectionValue{}, "Labels"), "  Labels = <>\r\n");
}

TEST(PageTextWriter, BinaryRule) {
    const auto bytes = [](std::size_t n) {
        std::vector<std::uint8_t> out(n);
        for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(0xA0 + i);
        return out;
    };
    const auto hex = [](std::size_t from, std::size_t to) {
        std::string out;
        static const char digits[] = "0123456789ABCDEF";
        for (std::size_t i = from; i < to; ++i) {
            out += digits[(0xA0 + i) >> 4 & 15];
            out += digits[(0xA0 + i) & 15];
        }
        return out;
    };
    struct Case { std::size_t size; std::string written; } cases[] = {
        {0, "  Data = {}\r\n"},
        {31, "  Data = {" + hex(0, 31) + "}\r\n"},
        {32, "  Data = {\r\n    " + hex(0, 32) + "}\r\n"},
        {33, "  Data = {\r\n    " + hex(0, 32) + "\r\n    " + hex(32, 33) + "}\r\n"},
    };
    for (const Case& c : cases) {
        const std::string written = PropertyText(Value::Binary(bytes(c.size)), "Data");
        EXPECT_EQ(written, c.written);
        EXPECT_EQ(ReadBack(written).If<BinaryValue>()->bytes, bytes(c.size));
    }
}

TEST(PageTextWriter, FloatsFromNumbers) {
    struct Case { long double value; FloatKind kind; const char* written; } cases[] = {
        {1.5L, FloatKind::Extended, "1.500000000000000000"},
        {-2.25L, FloatKind::Extended, "-2.250000000000000000"},
        {1.0L / 3, FloatKind::Extended, "0.333333333333333300"},
        {123456789.125L, FloatKind::Extended, "123456789.125000000000000000"},
        {0.000123L, FloatKind::Extended, "0.000123000000000000"},
        {1e-20L, FloatKind::Extended, "0.000000000000000000"},
        // 16 digits that a double cannot hold: the extended value keeps them.
        {9007199254740993.0L, FloatKind::Extended, "9007199254740993.000000000000000000"},
        {1e20L, FloatKind::Extended, "1E20"},
        {0.5L, FloatKind::Single, "0.5s"},
        {0.1L, FloatKind::Single, "0.100000001490116s"},
        {-11.25L, FloatKind::Single, "-11.25s"},
        {1.5L, FloatKind::Currency, "15000c"},
        {12.3456L, FloatKind::Currency, "123456c"},
        {38000.5L, FloatKind::DateTime, "38000.5d"},
        {0.0001L, FloatKind::DateTime, "0.0001d"},
        {0.00001L, FloatKind::DateTime, "1E-5d"},
        {123456789012345.0L, FloatKind::DateTime, "123456789012345d"},
        {1234567890123456.0L, FloatKind::DateTime, "1.23456789012346E15d"},
        {0, FloatKind::DateTime, "0d"},
        {3.40282346638528859811704183484516925e38L, FloatKind::Single, "3.40282346638529E38s"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatFloat(c.value, c.kind), c.written);
        const auto read = ParseFloatLiteral(c.written);
        ASSERT_TRUE(read) << c.written;
        EXPECT_EQ(read->kind, c.kind);
    }
    EXPECT_THROW(FormatFloat(NAN, FloatKind::Extended), Error);
    EXPECT_THROW(FormatFloat(INFINITY, FloatKind::DateTime), Error);
    EXPECT_THROW(FormatFloat(1e300L, FloatKind::Single), Error);
    EXPECT_THROW(FormatFloat(1e4930L, FloatKind::Currency), Error);
}

// Whatever the writer formats reads back as the same kind and formats to the same text again,
// across the magnitudes where fixed and exponent forms meet.
TEST(PageTextWriter, FormattedFloatsAreStable) {
    std::uint64_t seed = 12345;
    const auto next = [&] { return seed = seed * 6364136223846793005u + 1442695040888963407u; };
    for (int i = 0; i < 4000; ++i) {
        const FloatKind kind = static_cast<FloatKind>(i % 4);
        const int exponent = kind == FloatKind::Currency ? static_cast<int>(next() >> 59) - 20
                                                         : static_cast<int>(next() >> 58) - 32;
        long double value = std::ldexp(static_cast<long double>(next() >> 11), -53) * std::pow(10.0L, exponent);
        if (next() & 1) value = -value;
        const std::string text = FormatFloat(value, kind);
        const auto read = ParseFloatLiteral(text);
        ASSERT_TRUE(read) << text;
        EXPECT_EQ(read->kind, kind) << text;
        EXPECT_EQ(FormatFloat(read->value, kind), text);
    }
}

// What was read is written back as it stood while it still means the same; a changed value is
// formatted afresh, in the form of its kind.
TEST(PageTextWriter, NumbersKeepTheirLiteralUntilChanged) {
    Value single = ReadBack("  X = 0.50S\r\n");
    EXPECT_EQ(PropertyText(single, "X"), "  X = 0.50S\r\n");
    single.If<FloatValue>()->value = 0.25L;
    EXPECT_EQ(PropertyText(single, "X"), "  X = 0.25s\r\n");

    Value hex = ReadBack("  X = $00ff\r\n");
    EXPECT_EQ(PropertyText(hex, "X"), "  X = $00ff\r\n");
    hex.If<IntegerValue>()->value = 0x1abcd;
    EXPECT_EQ(PropertyText(hex, "X"), "  X = $1abcd\r\n");
    hex.If<IntegerValue>()->value = -1;
    EXPECT_EQ(PropertyText(hex, "X"), "  X = $ffffffffffffffff\r\n");
}

}  // namespace
}  // namespace zl::pagetext
