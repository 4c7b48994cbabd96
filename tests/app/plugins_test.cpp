#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <cstdlib>
#include <map>

#include "app/mainwindow.h"
#include "core/atomicfile.h"
#include "core/codepage.h"
#include "core/textlist.h"
#include "page/pagefile.h"
#include "plugins/pluginfolders.h"
#include "qtbase/application.h"
#include "support/pluginfixtures.h"
#include "support/scratchdir.h"
#include "widgets/datarefresh.h"
#include "widgets/zorledscrolltext.h"
#include "widgets/zorledzmd.h"

namespace zl {
namespace {

using testing::FixtureCalls;
using testing::FixtureFolder;
using Lines = std::vector<std::string>;

class MainWindowPlugins : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(scratch_ / "pagedef");
        ::setenv("ZORLED_HOME", scratch_.path().c_str(), 1);
        RegisterPageClasses();
    }
    void TearDown() override { ::unsetenv("ZORLED_HOME"); }
    // A page naming the data module, as a refresher block holds it.
    void WritePageNaming(const std::string& page, const std::filesystem::path& module) {
        WriteFileAtomic(scratch_ / "pagedef" / (page + ".DFM"),
                        "object P: TFrmZorLedForm\r\n  displaytime = 5\r\n  object R: Tdatarefresh\r\n"
                        "    ExeFileName = '" + module.string() + "'\r\n  end\r\nend\r\n");
    }

    ManualTimeSource clock_{MakeLocalMs(2024, 3, 1, 8, 0, 0)};
    ScopedTimeSource scope_{clock_};
    zl::testing::ScratchDir scratch_{"zorled-appplugins"};
    FixtureCalls calls_{scratch_};
};

TEST_F(MainWindowPlugins, StartUpPutsTheDescribedPluginsUnderEdit) {
    ScopedPluginFolders folders({FixtureFolder("menu"), FixtureFolder("bare")});
    TSYS_Frmzorled window;
    EXPECT_EQ(window.PluginFiles, StringList({"a_described.so", "b_undescribed.DLL", "c_constant.so", "no_exports.so"}));
    const QList<QAction*> items = window.loaddll->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[1]->objectName(), "Zorpluginitem3");
    items[1]->trigger();
    EXPECT_EQ(calls_.Lines(), Lines({"c_constant.so c PluginExec"}));
}

TEST_F(MainWindowPlugins, PlayInitialisesThePagesModulesAndStopUninitialisesThem) {
    ScopedPluginFolders folders({});
    const auto module = FixtureFolder("data") / "datamodule.so";
    WritePageNaming("p1", module);
    WritePageNaming("p2", module);
    WriteTextList(scratch_ / "pagedef" / "A.LED", {"p1", "p2"});
    WriteTextList(scratch_ / "pagedef" / "SelectList.PLN", {"A"});
    TSYS_Frmzorled window;
    EXPECT_TRUE(window.loaddll->actions().isEmpty());
    window.RunPlanEditor = [] { return true; };
    window.ActionPlayExecute();
    EXPECT_TRUE(testing::WaitUntil([&] { return calls_.Lines().size() >= 2; }));
    EXPECT_EQ(calls_.Lines(), Lines({"datamodule.so PluginInit", "datamodule.so PluginInit"}));
    calls_.Clear();
    window.ActionPlayExecute();
    EXPECT_EQ(calls_.Lines(), Lines({"datamodule.so PluginUnInit", "datamodule.so PluginUnInit"}));
}

// What an operator may hand the fed widgets: each case plays a page whose marquee and board read
// one data file, beside a plain page, and stops again.
TEST_F(MainWindowPlugins, BadDataNeitherStopsPlayNorTouchesWhatWasSaved) {
    ScopedPluginFolders folders({});
    const auto data = scratch_ / "data.txt";
    const auto notALibrary = scratch_ / "x.so";
    WriteFileAtomic(notALibrary, "these are words, not a library\n");
    const std::string caption = Utf8ToGbk("走马灯文字");
    const StringList lines = {Utf8ToGbk("led滚动文字"), Utf8ToGbk("滚动文字")};
    // Each widget's report names the page and the widget.
    const auto TooLarge = [&](const char* widget) {
        return QString::fromStdString("File \"" + data.string() + "\" is larger than 16 MB (page \"" +
                                      (scratch_ / "pagedef" / "fed.DFM").string() + "\", widget \"" + widget + "\")");
    };
    struct Case {
        const char* what;
        std::string bytes;
        bool module;
        std::string caption;
        StringList lines;
        QStringList reports;
    } cases[] = {
        {"an empty data file", "", false, "", {}, {}},
        {"a data file over 16 MB", std::string(kMaxDataFileSize + 1, 'x'), false, caption, lines,
         {TooLarge("myzmd1"), TooLarge("myscrolltext1")}},
        {"a data module that is no library", "fresh\r\n", true, "fresh", {"fresh"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileAtomic(data, c.bytes);
        {
            ResetWidgetCounters();
            std::unique_ptr<TFrmZorLedForm> page(CreatePageWindow("LedDesignWin"));
            const auto feed = [&](auto* fed) {
                ASSERT_NE(fed, nullptr);
                fed->Setdatainterface(c.module ? datafromexetxt : dataformtxtfile);
                fed->SetTextFileName(data.string());
                fed->SetDataRefreshTime(10000);
                if (c.module) fed->SetExeFileName(notALibrary.string());
            };
            feed(dynamic_cast<Tzorledzmd*>(page->CreateWidget(wkMarquee)));
            feed(dynamic_cast<TzorledScrollText*>(page->CreateWidget(wkScrollText)));
            SavePageFile(*page, scratch_ / "pagedef" / "fed.DFM");
            std::unique_ptr<TFrmZorLedForm> plain(CreatePageWindow("LedDesignWin"));
            SavePageFile(*plain, scratch_ / "pagedef" / "plain.DFM");
        }
        WriteTextList(scratch_ / "pagedef" / "A.LED", {"fed", "plain"});
        WriteTextList(scratch_ / "pagedef" / "SelectList.PLN", {"A"});
        std::map<std::string, std::string> saved;
        for (const auto& file : std::filesystem::directory_iterator(scratch_ / "pagedef"))
            saved[file.path().filename().string()] = ReadWholeFile(file.path());

        const ErrorReporter previous = SetErrorReporter(nullptr);  // the real report boxes
        TSYS_Frmzorled window;
        window.RunPlanEditor = [] { return true; };
        std::vector<std::string> shown;
        window.PageShown = [&](const std::string& name) { shown.push_back(name); };
        window.ActionPlayExecute();
        ASSERT_EQ(shown, std::vector<std::string>({"fed"}));
        auto* marquee = dynamic_cast<Tzorledzmd*>(window.Page->FindComponent("myzmd1"));
        auto* board = dynamic_cast<TzorledScrollText*>(window.Page->FindComponent("myscrolltext1"));
        ASSERT_TRUE(marquee && board);
        if (c.module) EXPECT_TRUE(testing::WaitUntil([&] { return marquee->RefreshIdle() && board->RefreshIdle(); }));
        EXPECT_EQ(marquee->RunningCaption(), c.caption);
        EXPECT_EQ(board->Text().Lines(), c.lines);
        EXPECT_EQ(OpenReports(), c.reports) << "one box for each text, however many reads";
        clock_.Advance(14500);  // the plain page, then the fed page read again
        EXPECT_EQ(shown, std::vector<std::string>({"fed", "plain", "fed"})) << "play goes on";
        EXPECT_EQ(OpenReports(), c.reports);
        window.ActionPlayExecute();
        EXPECT_FALSE(window.Playing);
        CloseReports();
        SetErrorReporter(previous);
        EXPECT_TRUE(calls_.Lines().empty());
        for (const auto& [name, bytes] : saved)
            EXPECT_EQ(ReadWholeFile(scratch_ / "pagedef" / name), bytes) << name << " is kept";
        EXPECT_EQ(std::filesystem::file_size(data), c.bytes.size());
    }
}

}  // namespace
}  // namespace zl
