#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "core/atomicfile.h"
#include "core/clock.h"
#include "page/pagefile.h"
#include "support/pagefiletest.h"
#include "core/codepage.h"
#include "core/pagetext/parser.h"
#include "core/pagetext/writer.h"
#include "widgets/datarefresh.h"
#include "widgets/zorledzmd.h"

#include <QPainter>
#include <QTest>

namespace zl {
namespace {

using testing::FirstDifference;
using testing::Lines;

class MarqueePage : public testing::PageFileTest {
protected:
    // Loads the text as Open does and saves it back.
    std::string Resaved(const std::string& text) {
        WriteFileAtomic(scratch_ / "in.DFM", text);
        auto page = NewPage();
        LoadPageFile(*page, scratch_ / "in.DFM");
        page->HookAllWidgets();
        page->StopWidgets();
        return Saved(*page);
    }

    ManualTimeSource manual_{MakeLocalMs(2024, 3, 1, 8, 0, 0)};
    ScopedTimeSource scope_{manual_};
};

std::string Page(std::initializer_list<const char*> body) {
    return testing::FreshPageHead("MarqueeTest", "'Page'", 7) + Lines(body) + "end\r\n";
}

TEST_F(MarqueePage, ARefresherBlockIsKeptAndWrittenAfterTheWidgets) {
    // As the framework writes them: a file source runs the timer at the refresh time.
    const std::string refresher[] = {
        "  object Tdatarefresh1: Tdatarefresh",
        "    Interval = 20000",
        "    datainterface = dataformtxtfile",
        "    DataRefreshTime = 20000",
        "    TextFileName = 'C:\\data\\now.txt'",
        "    ExeFileName = 'C:\\data\\now.dll'",
        "  end",
        "  object Tdatarefresh2: Tdatarefresh",
        "    Enabled = False",
        "    Interval = 180000",
        "    datainterface = datafromEditor",
        "    DataRefreshTime = 180000",
        "  end",
    };
    std::string in = Page({});
    std::string block;
    for (const auto& l : refresher) block += l + "\r\n";
    const std::string label = Lines({"  object mylabel1: Tzorledlabel", "    Left = 30", "    Top = 20",
                                     "    Width = 100", "    Height = 20", "    AutoSize = False",
                                     "    Caption = 'x'", "    Transparent = False", "  end"});
    // Read before the label, written after it.
    in.insert(in.rfind("end"), block + label);
    const std::string expected = Page({}).insert(Page({}).rfind("end"), label + block);
    const std::string out = Resaved(in);
    EXPECT_EQ(out, expected) << FirstDifference(expected, out);
}

const char* const kNewMarquee[] = {
    "  object myzmd1: Tzorledzmd",
    "    Left = 60",
    "    Top = 80",
    "    Width = 200",
    "    Height = 20",
    "    Active = True",
    "    Direction = diLeftToRight",
    "    TextStyle = slNormal",
    "    NumRepeat = 0",
    "    Continuous = True",
    "    Steps = 100",
    "    Speed = 100",
    "    TextLayout = tlCenter",
    "    RunningCaption = #36208#39532#28783#25991#23383",
    "    Color = clBlack",
    "    Font.Charset = DEFAULT_CHARSET",
    "    Font.Color = clRed",
    "    Font.Height = -15",
    "    Font.Name = #23435#20307",
    "    Font.Style = []",
    "    ParentColor = False",
    "    ParentFont = False",
    "    Transparent = False",
    "    datainterface = datafromEditor",
    "    DataRefreshTime = 180000",
    "  end",
};

TEST_F(MarqueePage, NewMarqueeRunsAtOnceAndSavesWithItsValues) {
    std::unique_ptr<TFrmZorLedForm> page(CreatePageWindow("LedDesignWin"));
    Control* first = page->CreateWidget(wkMarquee);
    ASSERT_NE(first, nullptr);
    auto* marquee = dynamic_cast<Tzorledzmd*>(first);
    ASSERT_NE(marquee, nullptr);
    EXPECT_TRUE(marquee->Active());
    EXPECT_TRUE(marquee->FrameTimer().Enabled()) << "in design mode too";
    Control* second = page->CreateWidget(wkMarquee);
    EXPECT_EQ(second->Name(), "myzmd2");
    EXPECT_EQ(QPoint(second->Left(), second->Top()), QPoint(80, 90));
    delete second->Widget();
    std::string expected;
    for (const char* l : kNewMarquee) expected += std::string(l) + "\r\n";
    SavePageFile(*page, scratch_ / "new.DFM");
    const std::string saved = ReadWholeFile(scratch_ / "new.DFM");
    EXPECT_NE(saved.find(expected), std::string::npos) << saved;
}

TEST_F(MarqueePage, MarqueesComeBackWithNothingLost) {
    // Every property away from its default, fed by a data module, and a plain one beside it.
    // In the writer's own layout, which splits the long module path over lines.
    const std::string in = pagetext::Write(pagetext::Parse(Page({
        "  object myzmd1: Tzorledzmd",
        "    Tag = 3",
        "    Left = 10",
        "    Top = 12",
        "    Width = 300",
        "    Height = 32",
        "    Cursor = crHandPoint",
        "    Hint = 'tip'",
        "    HelpType = htKeyword",
        "    HelpKeyword = 'key'",
        "    HelpContext = 9",
        "    Active = True",
        "    Direction = diBottomToTop",
        "    TextStyle = slRaised",
        "    NumRepeat = 7",
        "    Continuous = False",
        "    Steps = 40",
        "    Speed = 250",
        "    TextLayout = tlBottom",
        "    RunningCaption = 'Train '#21015#36710' late'",
        "    Align = alTop",
        "    Alignment = taCenter",
        "    Anchors = [akLeft, akTop, akRight]",
        "    BiDiMode = bdRightToLeft",
        "    Color = clYellow",
        "    Constraints.MaxHeight = 50",
        "    Constraints.MinWidth = 20",
        "    DragCursor = crHandPoint",
        "    DragKind = dkDock",
        "    DragMode = dmAutomatic",
        "    Enabled = False",
        "    Font.Charset = GB2312_CHARSET",
        "    Font.Color = clBlue",
        "    Font.Height = -21",
        "    Font.Name = #40657#20307",
        "    Font.Style = [fsBold, fsItalic]",
        "    ParentBiDiMode = False",
        "    ParentColor = False",
        "    ParentFont = False",
        "    ParentShowHint = False",
        "    ShowHint = True",
        "    Transparent = True",
        "    Visible = False",
        "    datainterface = datafromexetxt",
        "    DataRefreshTime = 5000",
        "    TextFileName = 'C:\\data\\now.txt'",
        "    ExeFileName = 'C:\\Program Files\\ZorLED\\modules\\a very long module name for the departure board.dll'",
        "  end",
        "  object myzmd2: Tzorledzmd",
        "    Left = 60",
        "    Top = 80",
        "    Width = 200",
        "    Height = 20",
        "    Active = False",
        "    Direction = diLeftToRight",
        "    TextStyle = slNormal",
        "    NumRepeat = 0",
        "    Continuous = False",
        "    Steps = 0",
        "    Speed = 1",
        "    RunningCaption = 'plain'",
        "    Transparent = False",
        "    datainterface = dataformtxtfile",
        "    DataRefreshTime = 180000",
        "    TextFileName = 'now.txt'",
        "  end",
    })));
    const std::string out = Resaved(in);
    EXPECT_EQ(out, in) << FirstDifference(in, out);
    std::unique_ptr<TFrmZorLedForm> page(CreatePageWindow("Check"));
    LoadPageFile(*page, scratch_ / "out.DFM");
    auto* fed = dynamic_cast<Tzorledzmd*>(page->FindComponent("myzmd1"));
    ASSERT_NE(fed, nullptr);
    EXPECT_EQ(fed->ExeFileName(), "C:\\Program Files\\ZorLED\\modules\\a very long module name for the departure board.dll");
    EXPECT_EQ(fed->DataRefreshTime(), 5000) << "kept as entered";
    EXPECT_EQ(fed->Refresher().DataRefreshTime(), 10000);
    EXPECT_EQ(GbkToUtf8(fed->RunningCaption()), "Train 列车 late");
    EXPECT_FALSE(fed->Visible());
    EXPECT_TRUE(fed->Transparent());
    EXPECT_EQ(fed->Speed(), 250);
}

// Active is read before the direction, the text and the font; nothing of the text may show
// before the first frame, at every page change and on Open.
TEST_F(MarqueePage, ARunningMarqueeShowsNoTextBeforeItsFirstFrame) {
    WriteFileAtomic(scratch_ / "in.DFM", Page({
        "  object myzmd1: Tzorledzmd",
        "    Left = 0",
        "    Top = 0",
        "    Width = 300",
        "    Height = 40",
        "    Active = True",
        "    Direction = diRightToLeft",
        "    TextStyle = slNormal",
        "    NumRepeat = 0",
        "    Continuous = True",
        "    Steps = 10",
        "    Speed = 100",
        "    RunningCaption = 'Train 12 is late'",
        "    Color = clBlack",
        "    Font.Color = clRed",
        "    Font.Height = -21",
        "    Font.Name = 'DejaVu Sans'",
        "    ParentColor = False",
        "    ParentFont = False",
        "  end",
    }));
    auto page = NewPage();
    LoadPageFile(*page, scratch_ / "in.DFM");
    auto* marquee = dynamic_cast<Tzmd*>(page->FindComponent("myzmd1"));
    ASSERT_NE(marquee, nullptr);
    const auto redPixels = [&] {
        QImage image(marquee->size(), QImage::Format_RGB32);
        QPainter painter(&image);
        marquee->PaintFrame(painter);
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) n += qRed(image.pixel(x, y)) > 128;
        return n;
    };
    EXPECT_EQ(redPixels(), 0) << "no ink before the first tick";
    manual_.Advance(500);
    EXPECT_GT(redPixels(), 20) << "half way the text is in view";
}

TEST_F(MarqueePage, DoubleClickOnAMarqueeOpensItsEditor) {
    std::unique_ptr<TFrmZorLedForm> page(CreatePageWindow("LedDesignWin"));
    page->show();
    auto* marquee = dynamic_cast<Tzorledzmd*>(page->CreateWidget(wkMarquee));
    ASSERT_NE(marquee, nullptr);
    static Tzorledzmd* g_edited = nullptr;
    auto previous = EditZmd;
    EditZmd = [](Tzorledzmd& m) { g_edited = &m; };
    QTest::mouseDClick(marquee, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EditZmd = previous;
    EXPECT_EQ(g_edited, marquee);
}

}  // namespace
}  // namespace zl
