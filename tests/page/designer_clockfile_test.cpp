#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "core/clock.h"
#include "core/codepage.h"
#include "core/pagetext/writer.h"
#include "page/frmzorledform.h"
#include "page/pagefile.h"
#include "widgets/zorledclock.h"

namespace zl {
namespace {

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The lines of one child object block, "object" line to "end" line.
std::string Block(const std::string& text, const std::string& name) {
    const size_t start = text.find("  object " + name + ":");
    if (start == std::string::npos) return {};
    const size_t end = text.find("\r\n  end\r\n", start);
    return text.substr(start, end + 9 - start);
}

class ClockFile : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterPageClasses();
        ResetWidgetCounters();
        page = NewPage("ClockPage");
    }
    static std::unique_ptr<TFrmZorLedForm> NewPage(const std::string& name) {
        std::unique_ptr<TFrmZorLedForm> p(new TFrmZorLedForm(nullptr));
        p->SetName(name);
        p->SetVisible(true);
        return p;
    }
    Tzorledclock* NewClock() { return dynamic_cast<Tzorledclock*>(page->CreateWidget(wkClock)); }
    std::string Path(const char* file) const { return ::testing::TempDir() + file; }

    ManualTimeSource manual{MakeLocalMs(2024, 3, 4, 9, 5, 7)};
    ScopedTimeSource scope{manual};
    std::unique_ptr<TFrmZorLedForm> page;
};

TEST_F(ClockFile, ANewClockWritesItsPanelAndClockValues) {
    Tzorledclock* clock = NewClock();
    ASSERT_NE(clock, nullptr);
    EXPECT_EQ(clock->Name(), "myclock1");
    const std::string expected =
        "  object myclock1: Tzorledclock\r\n"
        "    Left = 50\r\n"
        "    Top = 60\r\n"
        "    Width = 200\r\n"
        "    Height = 20\r\n"
        "    BevelOuter = bvNone\r\n"
        "    Caption = '9:05:07'\r\n"
        "    Font.Charset = DEFAULT_CHARSET\r\n"
        "    Font.Color = clRed\r\n"
        "    Font.Height = -15\r\n"
        "    Font.Name = #23435#20307\r\n"
        "    Font.Style = []\r\n"
        "    ParentBackground = False\r\n"
        "    ParentFont = False\r\n"
        "    TabOrder = 0\r\n"
        "    startdate = '2024-3-3'\r\n"
        "    DisplayType = DTclock\r\n"
        "    DATEFORMAT = 'yyyy-MM-dd hh:mm:ss'\r\n"
        "  end\r\n";
    EXPECT_EQ(Block(pagetext::Write(PageToTree(*page)), "myclock1"), expected);
}

TEST_F(ClockFile, EveryPanelValueIsWrittenInDeclarationOrder) {
    Tzorledclock* clock = NewClock();
    clock->Tag = 7;
    clock->Hint = "h";
    clock->SetAlignment(taRightJustify);
    clock->AutoSize = true;
    clock->SetBevelInner(bvLowered);
    clock->SetBevelOuter(bvRaised);
    clock->SetBevelWidth(2);
    clock->SetBorderWidth(3);
    clock->SetBorderStyle(bsSingle);
    clock->SetColor(clBlack);
    clock->ParentCtl3D = false;
    clock->Ctl3D = false;
    clock->UseDockManager = false;
    clock->DockSite = true;
    clock->Enabled = false;
    clock->FullRepaint = false;
    clock->Locked = true;
    clock->SetParentFont(true);
    clock->TabStop = true;
    clock->DisplayType = DTweek;
    clock->DATEFORMAT.clear();
    clock->startdate.clear();
    const std::string expected =
        "  object myclock1: Tzorledclock\r\n"
        "    Tag = 7\r\n"
        "    Left = 50\r\n"
        "    Top = 60\r\n"
        "    Width = 200\r\n"
        "    Height = 20\r\n"
        "    Hint = 'h'\r\n"
        "    Alignment = taRightJustify\r\n"
        "    AutoSize = True\r\n"
        "    BevelInner = bvLowered\r\n"
        "    BevelWidth = 2\r\n"
        "    BorderWidth = 3\r\n"
        "    BorderStyle = bsSingle\r\n"
        "    Caption = '9:05:07'\r\n"
        "    Color = clBlack\r\n"
        "    Ctl3D = False\r\n"
        "    UseDockManager = False\r\n"
        "    DockSite = True\r\n"
        "    Enabled = False\r\n"
        "    FullRepaint = False\r\n"
        "    Locked = True\r\n"
        "    ParentBackground = False\r\n"
        "    ParentCtl3D = False\r\n"
        "    TabOrder = 0\r\n"
        "    TabStop = True\r\n"
        "    DisplayType = DTweek\r\n"
        "  end\r\n";
    EXPECT_EQ(Block(pagetext::Write(PageToTree(*page)), "myclock1"), expected);
}

TEST_F(ClockFile, ClocksRoundTripThroughThePageFile) {
    Tzorledclock* days = NewClock();
    days->DisplayType = DTdays;
    days->DATEFORMAT.clear();  // the operator cleared the prefix
    days->startdate = "2023-11-25";
    Tzorledclock* week = NewClock();
    week->DisplayType = DTweek;
    Tzorledclock* pattern = NewClock();
    pattern->DATEFORMAT = Utf8ToGbk("yyyy年MM月dd日 hh:nn");
    page->CreateWidget(wkLabel);
    manual.Advance(1000);

    SavePageFile(*page, Path("clocks1.DFM"));
    const std::string first = ReadAll(Path("clocks1.DFM"));
    EXPECT_LT(first.find("object mylabel1"), first.find("object myclock1")) << "drawn widgets come before clocks";
    EXPECT_EQ(Block(first, "myclock1").find("DATEFORMAT"), std::string::npos) << "an empty string is not written";

    auto loaded = NewPage("LedDesignWin");
    LoadPageFile(*loaded, Path("clocks1.DFM"));
    auto* days2 = dynamic_cast<Tzorledclock*>(loaded->FindComponent("myclock1"));
    auto* week2 = dynamic_cast<Tzorledclock*>(loaded->FindComponent("myclock2"));
    auto* pattern2 = dynamic_cast<Tzorledclock*>(loaded->FindComponent("myclock3"));
    ASSERT_TRUE(days2 && week2 && pattern2);
    EXPECT_EQ(days2->DATEFORMAT, "");
    EXPECT_EQ(days2->DisplayType, DTdays);
    EXPECT_EQ(days2->startdate, "2023-11-25");
    EXPECT_EQ(days2->Caption(), Utf8ToGbk("100天")) << "the caption of the moment of saving";
    EXPECT_EQ(week2->DisplayType, DTweek);
    EXPECT_EQ(week2->DATEFORMAT, "yyyy-MM-dd hh:mm:ss");
    EXPECT_EQ(pattern2->DATEFORMAT, Utf8ToGbk("yyyy年MM月dd日 hh:nn"));
    EXPECT_EQ(GbkToUtf8(pattern2->Caption()), "2024年03月04日 09:05");

    manual.Advance(1000);
    EXPECT_EQ(GbkToUtf8(days2->Caption()), "100天") << "no constructor pattern in front of the count";

    loaded->HookAllWidgets();
    SavePageFile(*loaded, Path("clocks2.DFM"));
    std::string second = ReadAll(Path("clocks2.DFM"));
    const std::string root = "object " + loaded->Name() + ": TFrmZorLedForm";
    ASSERT_EQ(second.rfind(root, 0), 0u) << second.substr(0, 60);
    second.replace(0, root.size(), "object ClockPage: TFrmZorLedForm");
    EXPECT_EQ(second, first);
}

TEST_F(ClockFile, TabOrderReadFromAFileOrdersTheClocks) {
    NewClock();
    NewClock();
    SavePageFile(*page, Path("taborder.DFM"));
    std::string text = ReadAll(Path("taborder.DFM"));
    const size_t one = text.find("TabOrder = 0"), two = text.find("TabOrder = 1");
    ASSERT_TRUE(one != std::string::npos && two != std::string::npos && one < two);
    text[one + 11] = '1';
    text[two + 11] = '0';
    std::ofstream(Path("taborder.DFM"), std::ios::binary) << text;

    auto loaded = NewPage("LedDesignWin");
    LoadPageFile(*loaded, Path("taborder.DFM"));
    EXPECT_EQ(dynamic_cast<Tzorclock*>(loaded->FindComponent("myclock1"))->TabOrder(), 1);
    EXPECT_EQ(dynamic_cast<Tzorclock*>(loaded->FindComponent("myclock2"))->TabOrder(), 0);
    auto* third = dynamic_cast<Tzorclock*>(loaded->CreateWidget(wkClock));
    EXPECT_EQ(third->TabOrder(), 2) << "a new clock comes last";
}

}  // namespace
}  // namespace zl
