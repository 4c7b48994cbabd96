#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include <QAction>
#include <QMenu>

#include "core/codepage.h"
#include "core/pagetext/writer.h"
#include "plugins/dlllistclass.h"
#include "plugins/dllloadexec.h"
#include "plugins/pluginfolders.h"
#include "plugins/pluginload.h"
#include "plugins/sdk/zorled_plugin.h"
#include "qtbase/application.h"
#include "support/pluginfixtures.h"
#include "support/scratchdir.h"

namespace zl {
namespace {

using testing::FixtureCalls;
using testing::FixtureFolder;
using testing::ScratchDir;
using Lines = std::vector<std::string>;

// Errors reported while it lives; the host must stay silent about broken plug-ins.
class ReportedErrors {
public:
    ReportedErrors() : previous_(SetErrorReporter([this](const QString& m) { texts.push_back(m.toStdString()); })) {}
    ~ReportedErrors() { SetErrorReporter(previous_); }
    Lines texts;

private:
    ErrorReporter previous_;
};

bool IsLoaded(const std::filesystem::path& library) {
    void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) ::dlclose(handle);
    return handle != nullptr;
}

TEST(PluginMenu, DescribedLibrariesBecomeCommandsNamedByTheirPosition) {
    ScratchDir scratch("zorled-plugins");
    FixtureCalls calls(scratch);
    ScopedPluginFolders folders({FixtureFolder("menu")});
    StringList files;
    ScanPlugins(FixtureFolder("menu"), files);
    ASSERT_EQ(files, StringList({"a_described.so", "b_undescribed.DLL", "c_constant.so"}));

    QMenu menu;
    std::vector<int> clicked;
    BuildPluginMenu(menu, files, [&](int tag) {
        clicked.push_back(tag);
        RunPlugin(files[tag]);
    });
    const QList<QAction*> items = menu.actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->objectName(), "Zorpluginitem1");
    EXPECT_EQ(items[0]->data().toInt(), 0);
    EXPECT_EQ(items[0]->text(), QString::fromUtf8("插件一"));
    EXPECT_EQ(items[1]->objectName(), "Zorpluginitem3");
    EXPECT_EQ(items[1]->data().toInt(), 2);
    EXPECT_EQ(items[1]->text(), "Constant entry");

    items[1]->trigger();
    EXPECT_EQ(clicked, std::vector<int>({2}));
    EXPECT_EQ(calls.Lines(), Lines({"c_constant.so c PluginExec"}));
    // Menu plug-ins are loaded only for the length of one call.
    EXPECT_FALSE(IsLoaded(FixtureFolder("menu") / "c_constant.so"));
    EXPECT_FALSE(IsLoaded(FixtureFolder("menu") / "a_described.so"));
}

TEST(PluginMenu, DescriptionTextsArriveIntactAndOnlySharedOnesAreFreed) {
    ScopedPluginFolders folders({FixtureFolder("menu")});
    struct Case {
        const char* library;
        std::string text;
    } cases[] = {
        {"a_described.so", Utf8ToGbk("插件一")},      // a block of the shared allocator
        {"c_constant.so", "Constant entry"},          // a constant inside the library
        {"b_undescribed.DLL", ""},                    // no DescribePlugin
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.library);
        const long blocks = zorled_mm_live_blocks();
        // The constant is read after the library is gone, so it must have been copied.
        EXPECT_EQ(DescribePluginOf(c.library), c.text);
        EXPECT_EQ(zorled_mm_live_blocks(), blocks);
    }
}

TEST(PluginMenu, ATextStillHeldByThePluginIsNotFreed) {
    char* slot = nullptr;
    zorled_return_text(&slot, "kept");
    auto* header = reinterpret_cast<zorled_text_header*>(slot) - 1;
    header->refcount = 2;
    char* mine = slot;
    const long blocks = zorled_mm_live_blocks();
    EXPECT_EQ(TakeSlotText(slot), "kept");
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(zorled_mm_live_blocks(), blocks);
    EXPECT_EQ(header->refcount, 1);
    char* again = mine;
    EXPECT_EQ(TakeSlotText(again), "kept");
    EXPECT_EQ(zorled_mm_live_blocks(), blocks - 1);
}

TEST(PluginMenu, FilesThatOfferNoCommandAreSkippedSilently) {
    ScratchDir scratch("zorled-plugins");
    ReportedErrors reported;
    StringList files;
    ScanPlugins(scratch.path(), files);
    EXPECT_TRUE(files.empty()) << "an empty folder";

    std::ofstream(scratch / "broken.so") << "not a library";
    std::ofstream(scratch / ".hidden.so") << "hidden";
    std::ofstream(scratch / "notes.txt") << "text";
    std::ofstream(scratch / "archive.so.1") << "versioned";
    std::filesystem::create_directory(scratch / "folder.dll");
    std::filesystem::copy_file(FixtureFolder("bare") / "no_exports.so", scratch / "NOEXPORTS.Dll");
    ScanPlugins(scratch.path(), files);
    EXPECT_EQ(files, StringList({"NOEXPORTS.Dll", "broken.so"}));

    ScopedPluginFolders folders({scratch.path()});
    QMenu menu;
    BuildPluginMenu(menu, files, [](int) { FAIL() << "no command exists"; });
    EXPECT_TRUE(menu.actions().isEmpty());
    for (const std::string& f : files) RunPlugin(f);
    RunPlugin("missing.so");
    EXPECT_EQ(CallExport("missing.so", "PluginInit"), nullptr);
    EXPECT_TRUE(reported.texts.empty());
}

TEST(PluginFolders, ABareNameIsLookedForInThePluginFoldersOnly) {
    ScratchDir scratch("zorled-plugins");
    ScopedPluginFolders folders({scratch.path(), FixtureFolder("bare")});
    // Found in the second folder, under another case, and loaded by its full path.
    const auto found = FindLibraryFile("NO_EXPORTS.SO");
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, FixtureFolder("bare") / "no_exports.so");
    // A system library is never reached by a bare name.
    EXPECT_FALSE(FindLibraryFile("libc.so.6"));
    EXPECT_EQ(LoadLibraryFile("libc.so.6"), nullptr);
    // A name with a folder is taken as it stands; "\" reads as a separator.
    const std::string stored = (FixtureFolder("bare") / "x").parent_path().string() + "\\no_exports.so";
    EXPECT_EQ(FindLibraryFile(stored), FixtureFolder("bare") / "no_exports.so");
    EXPECT_FALSE(FindLibraryFile(""));
}

TEST(PluginFolders, OnlyTheInstalledProgramScansTheInstalledPluginFolder) {
    ScratchDir scratch("zorled-plugins");
    const auto bin = scratch / "usr" / "bin";
    const auto plugins = scratch / "usr" / "lib" / "x86_64-linux-gnu" / "zorled" / "plugins";
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(plugins);
    std::filesystem::create_directory_symlink("usr/bin", scratch / "bin");
    using Folders = std::vector<std::filesystem::path>;
    struct Case {
        const char* what;
        std::filesystem::path exe, installedBin, installedPlugins;
        Folders expected;
    } cases[] = {
        {"installed", bin, bin, plugins, {bin, plugins}},
        {"installed, started through a linked folder", scratch / "bin", bin, plugins, {scratch / "bin", plugins}},
        {"installed, plug-in folder not there yet", bin, bin, scratch / "none", {bin, scratch / "none"}},
        {"build tree keeps to its own folder", scratch / "build", bin, plugins, {scratch / "build"}},
        {"no install prefix known", bin, "", plugins, {bin}},
        {"plug-in folder is the program's own", bin, bin, bin, {bin}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChoosePluginFolders(c.exe, c.installedBin, c.installedPlugins), c.expected) << c.what;
}

// Page text as the page writer gives it, one marquee per module path, so long paths are split
// across lines as they are in real page files.
std::string PageWithModules(const std::vector<std::string>& modules, const std::string& caption = {}) {
    pagetext::Object root;
    root.name = "LedDesignWin";
    root.className = "TFrmZorLedForm";
    root.properties.push_back({"displaytime", pagetext::Value::Integer(5), 0});
    int n = 0;
    for (const std::string& module : modules) {
        pagetext::Object widget;
        widget.name = "myzmd" + std::to_string(++n);
        widget.className = "Tzorledzmd";
        widget.properties.push_back({"RunningCaption", pagetext::Value::String(GbkToUtf16(caption)), 0});
        widget.properties.push_back({"datainterface", pagetext::Value::Ident("datafromexetxt"), 0});
        widget.properties.push_back({"ExeFileName", pagetext::Value::String(GbkToUtf16(module)), 0});
        root.children.push_back(std::move(widget));
    }
    return pagetext::Write(root);
}

class DataModules : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy_file(FixtureFolder("data") / "datamodule.so", Module());
        // 80 bytes and more: the page writer splits it over two lines.
        const std::string longName = "module_" + std::string(std::max<int>(0, 80 - int((scratch_ / "").string().size()) - 10), 'x') + ".so";
        longModule_ = scratch_ / longName;
        std::filesystem::copy_file(FixtureFolder("data") / "datamodule.so", longModule_);
        ASSERT_GE(longModule_.string().size(), 80u);
    }
    std::filesystem::path Module() const { return scratch_ / "mod.so"; }
    void WritePage(const std::string& name, const std::string& text) {
        std::ofstream(scratch_ / (name + ".DFM"), std::ios::binary) << text;
    }
    Tdlllistclass List() {
        return Tdlllistclass([this](const std::string& page) { return scratch_ / (page + ".DFM"); });
    }

    ScratchDir scratch_{"zorled-datamodules"};
    FixtureCalls calls_{scratch_};
    std::filesystem::path longModule_;
};

TEST_F(DataModules, EachMentionIsInitialisedAtStartAndUninitialisedAtStop) {
    const std::string lng = longModule_.filename().string();
    WritePage("p1", PageWithModules({Module().string()}));
    // A quote in a caption and a caption that mentions the property name name no module.
    const std::string p2 = PageWithModules({Module().string(), "", longModule_.string()}, "ExeFileName = 'fake.so'");
    ASSERT_EQ(p2.find(longModule_.string()), std::string::npos) << "the long path is split over lines";
    WritePage("p2", p2);
    const StringList pages{"p1", "missing", "p2"};
    Tdlllistclass list = List();
    list.PageList = &pages;
    list.CollectDataModules();
    EXPECT_EQ(list.ModuleList, StringList({Module().string(), Module().string(), longModule_.string()}));

    list.InitDataModules();
    // Each module file runs in a host of its own; calls to one host come in order.
    const Lines inits{"mod.so PluginInit", "mod.so PluginInit", lng + " PluginInit"};
    EXPECT_TRUE(testing::WaitUntil([&] { return calls_.Lines().size() == 3; }));
    Lines seen = calls_.Lines();
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, inits);
    calls_.Clear();
    list.UnInitDataModules();
    seen = calls_.Lines();
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, Lines({"mod.so PluginUnInit", "mod.so PluginUnInit", lng + " PluginUnInit"}));
}

TEST_F(DataModules, APageThatFailsToParseKeepsTheModulesFoundBeforeTheError) {
    std::string text = PageWithModules({Module().string(), longModule_.string()});
    // Break the second marquee's block after its module path.
    const size_t second = text.find("myzmd2");
    ASSERT_NE(second, std::string::npos);
    text.insert(text.find("end", second), "    Broken = =\r\n");
    WritePage("bad", text);
    WritePage("good", PageWithModules({Module().string()}));
    const StringList pages{"bad", "good"};
    ReportedErrors reported;
    Tdlllistclass list = List();
    list.PageList = &pages;
    list.CollectDataModules();
    EXPECT_EQ(list.ModuleList, StringList({Module().string(), longModule_.string(), Module().string()}));
    EXPECT_TRUE(reported.texts.empty());
}

TEST_F(DataModules, APageThatIsAFifoIsSkippedWithoutWaiting) {
    ASSERT_EQ(::mkfifo((scratch_ / "pipe.DFM").c_str(), 0600), 0);
    WritePage("good", PageWithModules({Module().string()}));
    const StringList pages{"pipe", "good"};
    Tdlllistclass list = List();
    list.PageList = &pages;
    list.CollectDataModules();
    EXPECT_EQ(list.ModuleList, StringList({Module().string()}));
}

TEST_F(DataModules, WithoutAPageListNothingIsCollected) {
    Tdlllistclass list = List();
    list.ModuleList = {"kept"};
    list.CollectDataModules();
    EXPECT_EQ(list.ModuleList, StringList({"kept"}));
}

}  // namespace
}  // namespace zl
