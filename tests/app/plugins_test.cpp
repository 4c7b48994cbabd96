#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <cstdlib>

#include "app/mainwindow.h"
#include "core/atomicfile.h"
#include "core/textlist.h"
#include "plugins/pluginfolders.h"
#include "support/pluginfixtures.h"
#include "support/scratchdir.h"

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
    EXPECT_EQ(calls_.Lines(), Lines({"datamodule.so PluginInit", "datamodule.so PluginInit"}));
    calls_.Clear();
    window.ActionPlayExecute();
    EXPECT_EQ(calls_.Lines(), Lines({"datamodule.so PluginUnInit", "datamodule.so PluginUnInit"}));
}

}  // namespace
}  // namespace zl
