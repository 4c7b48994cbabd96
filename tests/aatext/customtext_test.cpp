#include <gtest/gtest.h>

#include <QImage>

#include "aatext/customtext.h"
#include "core/clock.h"
#include "core/codepage.h"
#include "core/datetimeformat.h"
#include "core/props/enums.h"

namespace zl {
namespace {

std::string G(const char* utf8) { return Utf8ToGbk(utf8); }

struct WrapCase {
    const char* name;
    std::string line;
    int maxCol;
    StringList expected;
};

TEST(WrapText, BreaksAsTheAlgorithmSays) {
    const std::string eight = G("一二三四五六七八");
    const WrapCase cases[] = {
        {"single-byte text after the break character", "aaaa bbbb cccc", 6, {"aaaa ", "bbbb ", "cccc"}},
        {"double-byte text between characters", eight, 6, {G("一二"), G("三四"), G("五六"), G("七八")}},
        {"MaxCol 0 works as 2", "ab cd", 0, {"ab ", "cd"}},
        {"MaxCol 1 works as 2", "ab cd", 1, {"ab ", "cd"}},
        {"MaxCol 2", "ab cd", 2, {"ab ", "cd"}},
        {"a single-quoted span stays whole", "x 'aa bb cc dd' yz", 4, {"x ", "'aa bb cc dd' ", "yz"}},
        {"a double-quoted span stays whole", "\"aa bb cc\" zz", 3, {"\"aa bb cc\" ", "zz"}},
        {"a double-byte character breaks even inside quotes", "'" + eight + "'", 6,
         {"'" + G("一二"), G("三四"), G("五六"), G("七八") + "'"}},
        {"existing line breaks are kept", "ab\r\ncd", 10, {"ab", "cd"}},
        {"a word longer than the line stays whole", "abcdefgh ij", 4, {"abcdefgh ", "ij"}},
        {"empty line", "", 6, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(WrapLines(c.line, c.maxCol), c.expected) << c.name;
    EXPECT_EQ(WrapText("aaaa bbbb cccc", "\r\n", " ", 6), "aaaa \r\nbbbb \r\ncccc");
}

TEST(SplitLines, SplitsAtEveryKindOfBreakAndStopsAtZero) {
    EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (StringList{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n"), (StringList{"a"}));
    EXPECT_EQ(SplitLines("\r\n\r\n"), (StringList{"", ""}));
    EXPECT_EQ(SplitLines(std::string_view("a\0b", 3)), (StringList{"a"}));
}

class Labels : public ::testing::Test {
protected:
    Labels() {
        labels.AddItem("Left", "", lsLeftJustify);
        labels.AddItem("Center", "", lsCenter);
        labels.AddItem("Right", "", lsRightJustify);
        labels.AddItem("Owner", "", lsRegOwner);
        labels.AddItem("Date", "", lsDate);
    }
    ManualTimeSource manual{MakeLocalMs(2025, 6, 7, 8, 9, 10)};
    ScopedTimeSource scope{manual};
    TUserLabels labels;
};

TEST_F(Labels, TagsReplaceTextAndSetAlignment) {
    std::string line = "abc<center>def";
    int alignment = taLeftJustify;
    labels.ApplyTo(line, alignment);
    EXPECT_EQ(line, "abcdef");
    EXPECT_EQ(alignment, taCenter);

    line = "by <Owner>!";
    labels.ApplyTo(line, alignment);
    EXPECT_FALSE(labels.RegisteredOwner().empty()) << "the logged-on user stands in for the owner";
    EXPECT_EQ(line, "by " + labels.RegisteredOwner() + "!");

    line = "<Nobody><Date> <Date>";
    labels.ApplyTo(line, alignment);
    EXPECT_EQ(line, "<Nobody>2025-6-7 <Date>") << "unknown tags and second occurrences stay as text";
}

TEST_F(Labels, InsertedTextIsProcessedByLaterLabelsOnly) {
    labels.AddItem("Sig", "<Right>at <Date>", lsCustom);
    labels.AddItem("Tail", "<Sig>", lsCustom);
    std::string line = "<Sig>";
    int alignment = taLeftJustify;
    labels.ApplyTo(line, alignment);
    EXPECT_EQ(line, "<Right>at <Date>") << "Right and Date come before Sig in the collection";

    line = "<Tail>";
    labels.ApplyTo(line, alignment);
    EXPECT_EQ(line, "<Sig>");
    labels.AddItem("Late", "x", lsCustom);
    line = "<Sig><Late>";
    labels.ApplyTo(line, alignment);
    EXPECT_EQ(line, "<Right>at <Date>x");
}

TEST_F(Labels, CustomLabelSwitchedToDateKeepsItsTextButReadsTheDate) {
    TUserLabel* custom = labels.AddItem("Mine", "hello", lsCustom);
    ASSERT_NE(custom, nullptr);
    int changes = 0;
    labels.OnChange = [&] { ++changes; };
    custom->SetStyle(lsDate);
    EXPECT_EQ(custom->Text(), "2025-6-7");
    custom->SetText("other");
    EXPECT_EQ(custom->StoredText(), "hello") << "text is taken only while custom";
    EXPECT_EQ(changes, 1);
    manual.Set(MakeLocalMs(2025, 6, 8));
    EXPECT_EQ(custom->Text(), "2025-6-8") << "the date is read at each use";
    custom->OnGetText = [](TUserLabel&, std::string& text) { text += "!"; };
    EXPECT_EQ(custom->Text(), "2025-6-8!");
}

TEST_F(Labels, NamesAreUniqueWithoutRegardToCase) {
    EXPECT_EQ(labels.AddItem("LEFT", "", lsCustom), nullptr) << "AddItem with a taken name adds nothing";
    EXPECT_EQ(labels.Count(), 5);
    EXPECT_EQ(labels.IndexOf("owner"), 3);
    TUserLabel& date = labels[4];
    try {
        date.SetName("center");
        FAIL() << "a duplicate name is refused";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Duplicate string!");
    }
    EXPECT_EQ(date.Name(), "Date");
    date.SetName("DATE");
    EXPECT_EQ(date.Name(), "DATE") << "its own name in another case is no duplicate";
}

TEST(FontLabels, FirstTagOfEachLabelRestylesAndTheLaterLabelWins) {
    TFontLabels fonts;
    fonts.AddItem("Title1", G("黑体"), 12, 0x000000, Bit(fsBold), true, 2, 2);
    fonts.AddItem("Text1", G("楷体_GB2312"), 9, 0x0000FF, 0, false, 1, 1);
    EXPECT_EQ(fonts.AddItem("title1", "x", 1, 0, 0, false, 0, 0), nullptr);

    TFont font;
    TSmoothEffect effect;
    std::string line = "<Title1>a<Title1>b";
    fonts.ApplyTo(line, &font, &effect);
    EXPECT_EQ(line, "a<Title1>b") << "the second tag is drawn as text";
    EXPECT_EQ(font.Name(), G("黑体"));
    EXPECT_EQ(font.Size(), 12);
    EXPECT_TRUE(effect.Shadow().Enabled());

    line = "<text1>x<TITLE1>";
    fonts.ApplyTo(line, &font, nullptr);
    EXPECT_EQ(line, "x");
    EXPECT_EQ(font.Name(), G("楷体_GB2312")) << "Text1 comes later in the collection";
    EXPECT_EQ(font.Color(), TColor(0x0000FF));
}

TEST(FontLabels, ItemChangesReachTheCollectionHandler) {
    TFontLabels fonts;
    int changes = 0;
    fonts.OnChange = [&] { ++changes; };
    TFontLabel* label = fonts.AddItem("A", "x", 9, 0, 0, false, 1, 1);
    EXPECT_EQ(changes, 1);
    label->Font().SetColor(0x123456);
    label->Effect().SetBlur(20);
    label->Effect().Shadow().SetEnabled(true);
    EXPECT_EQ(changes, 4);
    fonts.Clear();
    EXPECT_EQ(changes, 5);
}

TEST(Background, TiledBandMatchesTheSameBandOfTheWhole) {
    QImage tile(3, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 3; ++x) tile.setPixel(x, y, qRgb(x * 80, y * 60, 7));
    auto draw = [&](int mode, QPoint origin, QSize size) {
        QImage image(size, QImage::Format_RGB32);
        TCanvas canvas(&image);
        canvas.Brush.Color = 0x00FF00;
        DrawBackground(canvas, QRect(0, 0, 10, 20), mode, tile, origin);
        return image;
    };
    for (int mode : {bmTiled, bmCenter, bmNormal}) {
        const QImage whole = draw(mode, {}, {10, 20});
        const QImage band = draw(mode, {0, 7}, {10, 6});
        EXPECT_EQ(band, whole.copy(0, 7, 10, 6)) << "mode " << mode;
    }
    const QImage centred = draw(bmCenter, {}, {10, 20});
    EXPECT_EQ(centred.pixel(3, 8), tile.pixel(0, 0)) << "centred at ((10 - 3) div 2, (20 - 4) div 2)";
    EXPECT_EQ(centred.pixel(0, 0), qRgb(0, 255, 0)) << "the brush fills the rest";
}

}  // namespace
}  // namespace zl
