#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <unistd.h>

#include "core/atomicfile.h"
#include "core/codepage.h"
#include "core/error.h"
#include "core/pagetext/parser.h"
#include "core/pagetext/writer.h"
#include "page/pagefile.h"
#include "support/pagefiletest.h"
#include "widgets/zorledimage.h"
#include "widgets/zorledlabel.h"

namespace zl {
namespace {

using testing::FirstDifference;

using testing::Lines;

class PageFile : public testing::PageFileTest {
protected:
    // Saves, then loads into a fresh page window as Open does.
    std::unique_ptr<TFrmZorLedForm> RoundTrip(TFrmZorLedForm& page, const char* name = "page.DFM") {
        SavePageFile(page, dir_ / name);
        auto loaded = NewPage();
        LoadPageFile(*loaded, dir_ / name);
        loaded->HookAllWidgets();
        return loaded;
    }
    const std::filesystem::path& dir_ = scratch_.path();
};

TEST_F(PageFile, FreshPageWritesTheCanonicalText) {
    auto page = NewPage();
    EXPECT_EQ(Saved(*page),
              testing::FreshPageHead("LedDesignWin", "'ZorLED'#36890#29992#26174#31034#31995#32479", 0) + "end\r\n");
}

TEST_F(PageFile, NewLabelWritesOnlyWhatDiffersFromTheDefaults) {
    auto page = NewPage();
    page->CreateWidget(wkLabel);
    const std::string text = Saved(*page);
    const std::string label = text.substr(text.find("  object mylabel1"));
    EXPECT_EQ(label, Lines({
                         "  object mylabel1: Tzorledlabel",
                         "    Left = 30",
                         "    Top = 20",
                         "    Width = 100",
                         "    Height = 20",
                         "    AutoSize = False",
                         "    Caption = #26631#31614",
                         "    Font.Charset = DEFAULT_CHARSET",
                         "    Font.Color = clRed",
                         "    Font.Height = -15",
                         "    Font.Name = #23435#20307",
                         "    Font.Style = []",
                         "    ParentFont = False",
                         "    Transparent = False",
                         "  end",
                         "end",
                     }));
}

TEST_F(PageFile, RoundTripKeepsEveryValue) {
    auto page = NewPage();
    page->displaytime = 12;
    page->SetColor(clBlack);
    auto* label = static_cast<Tzorledlabel*>(page->CreateWidget(wkLabel));
    label->SetCaption(Utf8ToGbk("It's \"引号\"\r\n第二行"));
    label->SetAlignment(taCenter);
    label->SetLayout(tlBottom);
    label->SetWordWrap(true);
    label->SetTransparent(true);
    label->Font().SetStyle(Bit(fsBold) | Bit(fsItalic));
    label->Font().SetCharset(GB2312_CHARSET);
    label->Hint = "hint";
    label->Anchors = Bit(akLeft) | Bit(akRight);
    label->Cursor = -21;
    label->Constraints.MinWidth = 7;
    auto* image = static_cast<Tzorledimage*>(page->CreateWidget(wkImage));
    image->SetStretch(true);
    image->SetCenter(true);
    auto loaded = RoundTrip(*page);
    EXPECT_EQ(loaded->displaytime, 12);
    EXPECT_EQ(loaded->Color(), clBlack);
    auto* l = dynamic_cast<Tzorledlabel*>(loaded->FindComponent("mylabel1"));
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->Caption(), label->Caption());
    EXPECT_EQ(l->Alignment(), taCenter);
    EXPECT_EQ(l->Layout(), tlBottom);
    EXPECT_TRUE(l->WordWrap());
    EXPECT_TRUE(l->Transparent());
    EXPECT_EQ(l->Font(), label->Font());
    EXPECT_FALSE(l->ParentFont());
    EXPECT_EQ(l->Hint, "hint");
    EXPECT_EQ(l->Anchors, Bit(akLeft) | Bit(akRight));
    EXPECT_EQ(l->Cursor, -21);
    EXPECT_EQ(l->Constraints.MinWidth, 7);
    auto* i = dynamic_cast<Tzorledimage*>(loaded->FindComponent("myzorledIMAGE1"));
    ASSERT_NE(i, nullptr);
    EXPECT_TRUE(i->Stretch());
    EXPECT_TRUE(i->Center());
    EXPECT_EQ(i->Picture().Data(), image->Picture().Data());
    // Saving what was read gives the same text but for the root's new name.
    std::string first = Saved(*page);
    std::string second = Saved(*loaded);
    first.replace(0, std::string("object LedDesignWin:").size(), "object LedDesignWin_1:");
    EXPECT_EQ(FirstDifference(first, second), "");
}

TEST_F(PageFile, RootNameIsMadeUniqueAmongWindows) {
    auto page = NewPage();
    auto loaded = RoundTrip(*page);
    EXPECT_EQ(loaded->Name(), "LedDesignWin_1");
    const std::string text = Saved(*loaded);
    EXPECT_EQ(text.rfind("object LedDesignWin_1: TFrmZorLedForm\r\n", 0), 0u);
    // A file with that root is read back under the same name once the old window is gone.
    page.reset();
    auto again = RoundTrip(*loaded, "again.DFM");
    EXPECT_EQ(again->Name(), "LedDesignWin_1_1") << "LedDesignWin_1 is still open here";
    loaded.reset();
    auto third = NewPage();
    LoadPageFile(*third, dir_ / "again.DFM");
    EXPECT_EQ(third->Name(), "LedDesignWin_1");
}

TEST_F(PageFile, UnitSourceDeclaresThePageAndItsWidgets) {
    auto page = NewPage();
    page->CreateWidget(wkImage);
    page->CreateWidget(wkLabel);
    page->SetName("Other");
    const std::string expected = Lines({
        "unit page;",
        "",
        "interface",
        "",
        "uses",
        "  Windows, Messages, SysUtils, Variants, Classes, ",
        " Graphics, Controls, Forms, Dialogs,UZorledForm,",
        " uzmd, uzorledclock, uzorledlabel,",
        " uzorledscrolltext, uzorledimage, uzorledzmd;",
        "",
        "type",
        "  TFrmZorLedForm = class(TZorLedForm)",
        "myzorledIMAGE1: Tzorledimage;",
        "mylabel1: Tzorledlabel;",
        "  private",
        "    { Private declarations }",
        "  public",
        "    { Public declarations }",
        "  end;",
        "   var",
        "  LedDesignWin: TFrmZorLedForm;",
        "",
        "implementation",
        "",
        "{$R *.dfm}",
        "",
        "end.",
    });
    WriteUnitSource(*page, dir_ / "page.Pas");
    EXPECT_EQ(ReadWholeFile(dir_ / "page.Pas"), expected);
    // A Chinese unit name is stored in GBK.
    WriteUnitSource(*page, dir_ / "机车计划页.Pas");
    EXPECT_EQ(ReadWholeFile(dir_ / "机车计划页.Pas").substr(0, 18), "unit " + Utf8ToGbk("机车计划页") + ";\r\n");
}

TEST_F(PageFile, ClocksFollowDrawnWidgetsAndGripsAreNeverWritten) {
    auto page = NewPage();
    Control* clock = page->CreateWidget(wkClock);
    Control* label = page->CreateWidget(wkLabel);
    ASSERT_NE(clock, nullptr);
    page->Selection->Add(clock);
    page->Selection->Add(label);
    page->Selection->LayoutGrips(*clock, 0, false);
    page->Selection->LayoutGrips(*label, 1, false);
    const std::string text = Saved(*page);
    EXPECT_LT(text.find("  object mylabel1: Tzorledlabel"), text.find("  object myclock1: Tzorledclock"));
    size_t objects = 0;
    for (size_t at = text.find("\r\n  object "); at != std::string::npos; at = text.find("\r\n  object ", at + 1)) ++objects;
    EXPECT_EQ(objects, 2u) << "grips are not components of the page";
    WriteUnitSource(*page, dir_ / "order.Pas");
    const std::string unit = ReadWholeFile(dir_ / "order.Pas");
    EXPECT_NE(unit.find("class(TZorLedForm)\r\nmylabel1: Tzorledlabel;\r\nmyclock1: Tzorledclock;\r\n  private"),
              std::string::npos);
}

TEST_F(PageFile, ReadingErrorsNameWhatFailed) {
    struct Case {
        std::string body;
        const char* message;
    } cases[] = {
        {"  object x: TNoSuch\r\n  end\r\n", "Class TNoSuch not found"},
        {"  object mylabel1: Tzorledlabel\r\n    Bogus = 1\r\n  end\r\n",
         "Error reading mylabel1.Bogus: Property Bogus does not exist"},
        {"  object mylabel1: Tzorledlabel\r\n    Font.Bogus = 1\r\n  end\r\n",
         "Error reading mylabel1.Font.Bogus: Property Bogus does not exist"},
        {"  object mylabel1: Tzorledlabel\r\n    Alignment = taNowhere\r\n  end\r\n",
         "Error reading mylabel1.Alignment: Invalid property value"},
        {"  object mylabel1: Tzorledlabel\r\n  end\r\n  object mylabel1: Tzorledimage\r\n  end\r\n",
         "A component named mylabel1 already exists"},
        {"  OnClick = NoSuchHandler\r\n", "Error reading LedDesignWin.OnClick: Invalid property value"},
        // Values beyond what their property holds are refused, never cut or wrapped to fit.
        {"  Left = 4294967306\r\n", "Error reading LedDesignWin.Left: Invalid property value"},
        {"  Color = $FFFFFFFFFFFFFFFF\r\n", "Error reading LedDesignWin.Color: Invalid property value"},
        {"  ClientHeight = 2000000000\r\n", "Error reading LedDesignWin.ClientHeight: Invalid property value"},
        {"  ClientWidth = 32768\r\n", "Error reading LedDesignWin.ClientWidth: Invalid property value"},
        {"  object mylabel1: Tzorledlabel\r\n    Tag = 99999999999\r\n  end\r\n",
         "Error reading mylabel1.Tag: Invalid property value"},
        {"  object mylabel1: Tzorledlabel\r\n    Top = 2147483647\r\n  end\r\n",
         "Error reading mylabel1.Top: Invalid property value"},
        {"  object mylabel1: Tzorledlabel\r\n    Left = -32769\r\n  end\r\n",
         "Error reading mylabel1.Left: Invalid property value"},
        {"  object myclock1: Tzorledclock\r\n    Width = $10000\r\n  end\r\n",
         "Error reading myclock1.Width: Invalid property value"},
        // Each size is placeable, but the surface is not.
        {"  ClientHeight = 30000\r\n  ClientWidth = 30000\r\n",
         "Page of 30000 x 30000 pixels is too large to show: it needs 3434 MB, at most 256 MB are allowed"},
    };
    for (const auto& c : cases) {
        WriteFileAtomic(dir_ / "bad.DFM", "object LedDesignWin: TFrmZorLedForm\r\n  Left = 7\r\n" + c.body + "end\r\n");
        auto page = NewPage();
        try {
            LoadPageFile(*page, dir_ / "bad.DFM");
            ADD_FAILURE() << c.message;
        } catch (const Error& e) {
            // Every report of reading names the file it read.
            EXPECT_EQ(std::string(e.what()), std::string(c.message) + " (page file \"" + (dir_ / "bad.DFM").string() + "\")");
        }
        EXPECT_EQ(page->Left(), 7) << "what was read before the error stays";
        EXPECT_TRUE(page->updatesEnabled()) << "drawing resumes";
        EXPECT_LE(PageSurfaceBytes(page->ClientWidth(), page->ClientHeight()), kMaxPageSurfaceBytes);
    }
}

TEST_F(PageFile, EventsOfThePageAreLookedUpAmongItsHandlers) {
    WriteFileAtomic(dir_ / "ev.DFM", Lines({"object P: TFrmZorLedForm", "  OnClick = formdblclick",
                                            "  OnMouseDown = nil", "end"}));
    auto page = NewPage();
    LoadPageFile(*page, dir_ / "ev.DFM");
    const std::string text = Saved(*page);
    EXPECT_NE(text.find("  OnClick = FormDblClick\r\n"), std::string::npos);
    EXPECT_EQ(text.find("OnMouseDown"), std::string::npos);
}

TEST_F(PageFile, ValuesAtTheEdgesOfTheirRangesLoad) {
    WriteFileAtomic(dir_ / "edge.DFM",
                    Lines({"object P: TFrmZorLedForm", "  Color = $FF00000F", "  ClientWidth = 16384",
                           "  ClientHeight = 4096", "  object mylabel1: Tzorledlabel", "    Left = -32768",
                           "    Top = 32767", "    Tag = -2147483648", "    Font.Height = -2147483648", "  end",
                           "  object mylabel2: Tzorledlabel", "    Font.Height = 2147483647", "  end", "end"}));
    auto page = NewPage();
    LoadPageFile(*page, dir_ / "edge.DFM");
    EXPECT_EQ(page->Color(), clBtnFace);
    EXPECT_EQ(page->ClientWidth(), 16384);
    auto* label = dynamic_cast<Tzorledlabel*>(page->FindComponent("mylabel1"));
    ASSERT_TRUE(label);
    EXPECT_EQ(label->Left(), -32768);
    EXPECT_EQ(label->Top(), 32767);
    EXPECT_EQ(label->Tag, INT32_MIN);
    // The stored height goes back as read; drawing holds it to the font size range.
    EXPECT_EQ(label->Font().Height(), INT32_MIN);
    EXPECT_EQ(Control::ToQFont(label->Font()).pixelSize(), kFontHeightLimit);
    auto* tall = dynamic_cast<Tzorledlabel*>(page->FindComponent("mylabel2"));
    ASSERT_TRUE(tall);
    EXPECT_EQ(Control::ToQFont(tall->Font()).pixelSize(), kFontHeightLimit * 4 / 5);
    EXPECT_NE(Saved(*page).find("    Font.Height = 2147483647\r\n"), std::string::npos);
}

TEST_F(PageFile, NestedWidgetsStayInClocksAndLeaveDrawnHolders) {
    WriteFileAtomic(dir_ / "nested.DFM",
                    Lines({"object P: TFrmZorLedForm", "  object mylabel1: Tzorledlabel", "    Left = 5",
                           "    object mylabel8: Tzorledlabel", "      Left = 6", "    end", "  end",
                           "  object myclock1: Tzorledclock", "    Left = 50", "    Top = 60",
                           "    object mylabel9: Tzorledlabel", "      Left = 7", "      Top = 8", "    end",
                           "    object myclock2: Tzorledclock", "    end", "  end",
                           "  object mylabel2: Tzorledlabel", "  end", "end"}));
    auto page = NewPage();
    LoadPageFile(*page, dir_ / "nested.DFM");
    page->HookAllWidgets();
    auto* clock = dynamic_cast<Control*>(page->FindComponent("myclock1"));
    auto* inClock = dynamic_cast<Control*>(page->FindComponent("mylabel9"));
    auto* inLabel = dynamic_cast<Control*>(page->FindComponent("mylabel8"));
    ASSERT_TRUE(clock && inClock && inLabel);
    EXPECT_EQ(inClock->Widget()->parentWidget(), clock->Widget());
    EXPECT_EQ(inClock->Widget()->pos(), QPoint(7, 8));
    EXPECT_EQ(inLabel->Widget()->parentWidget(), page.get());
    std::vector<std::string> names;
    for (Control* c : page->AllWidgets()) names.push_back(c->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"mylabel1", "mylabel8", "mylabel2", "myclock1", "mylabel9", "myclock2"}));
    // Saved nested, declared in the unit source all the same; freeing the page frees them all.
    const std::string text = Saved(*page);
    EXPECT_NE(text.find("  object myclock1: Tzorledclock\r\n    Left = 50\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("    object mylabel9: Tzorledlabel\r\n      Left = 7\r\n"), std::string::npos) << text;
    EXPECT_NE(UnitSourceText(*page, "u").find("mylabel9: Tzorledlabel;\r\nmyclock2: Tzorledclock;\r\n"),
              std::string::npos);
    // Deleting a clock together with a widget it holds frees each once.
    page->Selection->Add(clock);
    page->Selection->Add(inClock);
    page->DeleteSelected();
    EXPECT_EQ(page->FindComponent("mylabel9"), nullptr);
    EXPECT_EQ(page->AllWidgets().size(), 3u);
}

TEST_F(PageFile, UnnamedWidgetsNeverClash) {
    WriteFileAtomic(dir_ / "unnamed.DFM", Lines({"object P: TFrmZorLedForm", "  object Tzorledlabel", "  end",
                                                 "  object Tzorledlabel", "  end", "end"}));
    auto page = NewPage();
    LoadPageFile(*page, dir_ / "unnamed.DFM");
    EXPECT_EQ(page->ChildControls().size(), 2u);
    EXPECT_EQ(page->FindComponent(""), nullptr);
}

TEST_F(PageFile, FailedSaveKeepsThePreviousFiles) {
    auto page = NewPage();
    const auto target = dir_ / "kept.DFM";
    SavePageFile(*page, target);
    const std::string before = ReadWholeFile(target);
    page->CreateWidget(wkLabel);
    // A folder in the target's place: the write cannot land, whatever the user's rights.
    const auto blocked = dir_ / "blocked.DFM";
    std::filesystem::create_directories(blocked / "x");
    try {
        SavePageFile(*page, blocked);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + blocked.string() + "\". ", 0), 0u) << e.what();
    }
    EXPECT_THROW(SavePageFile(*page, dir_ / "missing" / "x.DFM"), Error);
    EXPECT_EQ(ReadWholeFile(target), before);
}

TEST_F(PageFile, ForeignPicturesAndMetafilesSurvive) {
    // A graphic class we cannot draw and a metafile still go back unchanged.
    const std::string text = Lines({
        "object P: TFrmZorLedForm",
        "  object img: Tzorledimage",
        "    Left = 1",
        "    Top = 2",
        "    Width = 3",
        "    Height = 4",
        "    Picture.Data = {0954476966496D616765474946383961}",
        "  end",
        "  object img2: Tzorledimage",
        "    Left = 1",
        "    Top = 2",
        "    Width = 3",
        "    Height = 4",
        "    Picture.Data = {",
        "      09544D65746166696C650C000000D7CDC69A01020304}",
        "  end",
        "end",
    });
    WriteFileAtomic(dir_ / "in.DFM", text);
    auto page = NewPage();
    LoadPageFile(*page, dir_ / "in.DFM");
    page->SetName("P");
    const std::string out = Saved(*page);
    EXPECT_NE(out.find("    Picture.Data = {0954476966496D616765474946383961}\r\n"), std::string::npos) << out;
    EXPECT_NE(out.find("09544D65746166696C650C000000D7CDC69A01020304}"), std::string::npos) << out;
}

}  // namespace
}  // namespace zl
