#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "core/atomicfile.h"
#include "core/clock.h"
#include "page/pagefile.h"
#include "support/scratchdir.h"
#include "widgets/datarefresh.h"

namespace zl {
namespace {

using testing::FirstDifference;

std::string Lines(std::initializer_list<const char*> lines) {
    std::string out;
    for (const char* l : lines) out += std::string(l) + "\r\n";
    return out;
}

class MarqueePage : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterPageClasses();
        ResetWidgetCounters();
    }
    // Loads the text as Open does and saves it back.
    std::string Resaved(const std::string& text) {
        WriteFileAtomic(scratch_ / "in.DFM", text);
        std::unique_ptr<TFrmZorLedForm> page(CreatePageWindow("LedDesignWin"));
        LoadPageFile(*page, scratch_ / "in.DFM");
        page->HookAllWidgets();
        page->StopWidgets();
        SavePageFile(*page, scratch_ / "out.DFM");
        return ReadWholeFile(scratch_ / "out.DFM");
    }

    ManualTimeSource manual_{MakeLocalMs(2024, 3, 1, 8, 0, 0)};
    ScopedTimeSource scope_{manual_};
    zl::testing::ScratchDir scratch_{"zorled-marqueepage"};
};

const char* const kPageHead[] = {
    "object MarqueeTest: TFrmZorLedForm",
    "  Left = 200",
    "  Top = 16",
    "  BorderStyle = bsDialog",
    "  Caption = 'Page'",
    "  ClientHeight = 255",
    "  ClientWidth = 291",
    "  Color = clBtnFace",
    "  Font.Charset = DEFAULT_CHARSET",
    "  Font.Color = clWindowText",
    "  Font.Height = -11",
    "  Font.Name = 'MS Sans Serif'",
    "  Font.Style = []",
    "  FormStyle = fsStayOnTop",
    "  OldCreateOrder = False",
    "  Visible = True",
    "  OnCreate = FormCreate",
    "  OnDblClick = FormDblClick",
    "  OnDestroy = FormDestroy",
    "  OnMouseDown = FormMouseDown",
    "  OnMouseMove = FormMouseMove",
    "  OnMouseUp = FormMouseUp",
    "  displaytime = 7",
    "  PixelsPerInch = 96",
    "  TextHeight = 13",
};

std::string Page(std::initializer_list<const char*> body) {
    std::string out;
    for (const char* l : kPageHead) out += std::string(l) + "\r\n";
    return out + Lines(body) + "end\r\n";
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

}  // namespace
}  // namespace zl
