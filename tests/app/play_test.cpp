#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "support/mainwindowfixture.h"
#include "support/pluginfixtures.h"
#include "support/scopedzone.h"
#include "support/scratchdir.h"
#include "app/mainwindow.h"
#include "app/playplugins.h"
#include "app/playsimulation.h"
#include "app/toolicons.h"
#include "core/atomicfile.h"
#include "core/codepage.h"
#include "core/error.h"
#include "editors/formplanedit.h"
#include "editors/whenmodal.h"
#include "page/pagefile.h"
#include "qtbase/application.h"
#include "qtbase/windowlayers.h"
#include "widgets/refreshing.h"
#include "widgets/zorledlabel.h"
#include "widgets/zorledscrolltext.h"
#include "widgets/zorledzmd.h"

namespace zl {
namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

struct PluginLog {
    std::vector<StringList> starts;
    int stops = 0;
};

class RecordingPlugins : public PlayPlugins {
public:
    explicit RecordingPlugins(PluginLog& log) : log_(log) {}
    void Start(const StringList& pageList) override { log_.starts.push_back(pageList); }
    void Stop() override { ++log_.stops; }

private:
    PluginLog& log_;
};

// A marquee stand-in: a data refresh that play starts and stops, a busy flag the test holds,
// and a running timer of its own that stopping play must leave alone.
class FakeMarquee : public Tzorledlabel, public RefreshingWidget {
public:
    explicit FakeMarquee(TFrmZorLedForm* page) : Tzorledlabel(page, page), running(CreateTimer()) {
        running->SetEnabled(true);
    }
    void StartRefresh() override { refreshing = true; }
    void StopRefresh() override { refreshing = false; }
    bool RefreshIdle() const override { return !busy; }
    bool refreshing = false;
    bool busy = false;
    std::unique_ptr<Timer> running;
};

// Every show and hide of a page window, with what the main window held at that moment.
class PageWatch : public QObject {
public:
    explicit PageWatch(TSYS_Frmzorled& window) : window_(window) { qApp->installEventFilter(this); }
    ~PageWatch() override { qApp->removeEventFilter(this); }
    struct Step {
        QEvent::Type type;
        const QWidget* page;
        Qt::WindowFlags flags;
        bool current;          // the main window's current page was this one
        bool previousOnScreen;  // the page it replaces was still shown
        bool boardComposed;    // its boards had their first frame composed
    };
    std::vector<Step> steps;
    // The steps of one window from its first show (a window freed before may have had its address).
    std::vector<Step> Of(const QWidget* page) const {
        std::vector<Step> out;
        for (const Step& s : steps)
            if (s.page == page && (!out.empty() || s.type == QEvent::Show)) out.push_back(s);
        return out;
    }
    bool eventFilter(QObject* o, QEvent* e) override {
        if ((e->type() != QEvent::Show && e->type() != QEvent::Hide) || !o->isWidgetType() ||
            !o->property(kPageWindowProperty).toBool())
            return false;
        auto* widget = static_cast<QWidget*>(o);
        // A hide may come from a window being freed, when only its QWidget part is left.
        if (e->type() == QEvent::Hide) {
            steps.push_back({e->type(), widget, {}, false, false, false});
            return false;
        }
        auto* page = static_cast<TFrmZorLedForm*>(widget);
        bool composed = true;
        for (Control* c : page->AllWidgets())
            if (auto* board = dynamic_cast<TSmoothScrollText*>(c))
                composed = composed && board->CurrBmp().size() == board->Widget()->size();
        steps.push_back({e->type(), page, page->windowFlags(), window_.Page == page,
                         window_.RetiringPage && window_.RetiringPage->isVisible(), composed});
        return false;
    }

private:
    TSYS_Frmzorled& window_;
};

class Play : public zl::testing::MainWindowTest {
protected:
    Play() : MainWindowTest("zorled-play", false) {}
    void SetUp() override {
        std::filesystem::create_directories(home_ / "pagedef");
        MainWindowTest::SetUp();
        NewWindow();
    }
    void NewWindow() {
        OpenWindow();
        window_->RunPlanEditor = [] { return true; };
        window_->PageShown = [this](const std::string& page) {
            const LocalMs ms = clock_.Now() - start_;
            shown_.push_back(GbkToUtf8(page) + " " + std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100));
        };
        window_->PlayPluginCalls = std::make_unique<RecordingPlugins>(plugins_);
    }
    std::filesystem::path PageDef() const { return home_ / "pagedef"; }
    // Page files come from the real writer, so play reads what the designer saves.
    void WritePage(const std::string& name, int displaytime = 0) {
        std::unique_ptr<TFrmZorLedForm> page(CreatePageWindow("LedDesignWin"));
        page->displaytime = displaytime;
        SavePageFile(*page, PageDef() / (name + ".DFM"));
    }
    // Names are given in UTF-8 and stored in GBK, as the plan editor writes them.
    void WriteList(const std::string& file, const std::vector<std::string>& entries) {
        StringList gbk;
        for (const auto& e : entries) gbk.push_back(Utf8ToGbk(e));
        WriteTextList(PageDef() / file, gbk);
    }
    void Select(const std::vector<std::string>& plans) { WriteList("SelectList.PLN", plans); }
    void Plan(const std::string& name, const std::vector<std::string>& pages) { WriteList(name + ".LED", pages); }

    void PressPlay() { window_->ActionPlayExecute(); }
    // Time passes with the event loop turning, as it does in the program: a page window shown
    // is exposed, and the one it replaced is freed.
    void Seconds(double s) {
        clock_.Advance(static_cast<std::int64_t>(s * 1000));
        for (int pass = 0; pass < 3; ++pass) QCoreApplication::processEvents();
    }
    bool CommandsEnabled() const { return window_->Actionnewpage->isEnabled() && window_->ActionPlaymode->isEnabled(); }

    ManualTimeSource clock_{MakeLocalMs(2024, 3, 1, 8, 0, 0)};
    ScopedTimeSource scope_{clock_};
    const LocalMs start_ = clock_.Now();
    const std::filesystem::path& home_ = scratch_.path();
    PluginLog plugins_;
    std::vector<std::string> shown_;
};

using Lines = std::vector<std::string>;

TEST_F(Play, PlaysTheSelectedPlansInOrderAndWrapsRound) {
    for (const char* p : {"p1", "p2", "p3"}) WritePage(p);
    Plan("A", {"p1", "p2"});
    Plan("B", {"p3"});
    Select({"A", "B"});
    PressPlay();
    EXPECT_TRUE(window_->Playing);
    EXPECT_EQ(window_->ActionPlay->text(), U("停止"));
    EXPECT_FALSE(CommandsEnabled());
    EXPECT_TRUE(window_->ActionPlay->isEnabled());
    EXPECT_EQ(window_->PageList, StringList({"p1", "p2", "p3"}));
    EXPECT_TRUE(window_->windowTitle().endsWith(U("p1.DFM[播放模式]")));
    Seconds(16);
    EXPECT_EQ(shown_, Lines({"p1 0.0", "p2 5.0", "p3 10.0", "p1 15.0"}));
    // The data modules are initialised once per run with the whole list, not per page.
    ASSERT_EQ(plugins_.starts.size(), 1u);
    EXPECT_EQ(plugins_.starts[0], StringList({"p1", "p2", "p3"}));
    EXPECT_EQ(plugins_.stops, 0);
    PressPlay();
    EXPECT_EQ(plugins_.stops, 1);
}

TEST_F(Play, ASinglePageReloadsIntoAFreshPageWindow) {
    WritePage("only", 5);
    Plan("A", {"only"});
    Select({"A"});
    PressPlay();
    QPointer<TFrmZorLedForm> first = window_->Page;
    Seconds(6);
    EXPECT_TRUE(first.isNull()) << "the page window is freed at every page change";
    ASSERT_NE(window_->Page, nullptr);
    EXPECT_EQ(window_->Page->displaytime, 5);
    EXPECT_EQ(shown_, Lines({"only 0.0", "only 6.0"}));
}

TEST_F(Play, WithoutAnyPageToShowPlayWaitsOnBlackAndTakesPagesThatAppear) {
    struct Case {
        const char* what;
        std::vector<std::string> selected;
        std::vector<std::string> planA;
        bool reported;  // an empty first entry is a pause, not a fault
    } cases[] = {
        {"empty select list", {}, {"p1"}, true},
        {"every plan file missing", {"B"}, {"p1"}, true},
        {"every page file missing", {"A"}, {"p1"}, true},
        {"an empty first entry", {"A"}, {"", "p1"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(PageDef() / "p1.DFM");
        std::filesystem::remove(PageDef() / "B.LED");
        shown_.clear();
        reports_.clear();
        clock_.Set(start_);
        Select(c.selected);
        Plan("A", c.planA);
        if (c.reported) std::filesystem::remove(PageDef() / "p1.DFM");
        QPointer<TFrmZorLedForm> before = window_->Page;
        PressPlay();
        EXPECT_TRUE(window_->Playing);
        EXPECT_EQ(window_->ActionPlay->text(), U("停止"));
        EXPECT_TRUE(window_->TimerPlay->Enabled()) << "play goes on trying";
        ASSERT_NE(window_->Page, nullptr);
        EXPECT_NE(window_->Page, before.data()) << "the page from before play is not the sign's";
        EXPECT_EQ(window_->Page->EffectiveColor(), clBlack);
        EXPECT_TRUE(window_->Page->AllWidgets().empty());
        EXPECT_TRUE(window_->PlayStatus->text().contains(U("没有可播放的页面")) || !c.reported)
            << window_->PlayStatus->text().toStdString();
        Seconds(30);
        EXPECT_TRUE(shown_.empty() || !c.reported);
        EXPECT_EQ(reports_.size(), c.reported ? 1 : 0) << "reported once, not at every try";
        // What the selection names is put back: it plays at the next try, every 4 s.
        WritePage("p1");
        Plan("B", {"p1"});
        if (c.selected.empty()) Select({"A"});
        shown_.clear();
        Seconds(4);
        ASSERT_EQ(shown_.size(), 1u);
        EXPECT_EQ(shown_[0].substr(0, 3), "p1 ");
        EXPECT_NE(window_->Page->EffectiveColor(), clBlack);
        PressPlay();
        EXPECT_FALSE(window_->Playing);
    }
}

TEST_F(Play, ABrokenPageIsPassedOverAndReportedByItsFileOncePerFault) {
    struct Case {
        const char* what;
        std::vector<std::string> pages;
        Lines expected;
    } cases[] = {
        {"broken first page", {"broken", "p2"}, {"p2 0.0", "p2 5.0", "p2 10.0"}},
        {"broken page later", {"p2", "broken"}, {"p2 0.0", "p2 5.0", "p2 10.0"}},
    };
    // Cut off in the middle of a value, as a copy broken half-way leaves it.
    WriteFileAtomic(PageDef() / "broken.DFM", "object LedDesignWin: TFrmZorLedForm\r\n  Left = 7\r\n  Top = ");
    WritePage("p2");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        shown_.clear();
        reports_.clear();
        clock_.Set(start_);
        Plan("A", c.pages);
        Select({"A"});
        PressPlay();
        Seconds(11);
        EXPECT_EQ(shown_, c.expected);
        EXPECT_TRUE(window_->PlayStatus->text().endsWith(U("下一页：p2"))) << "a page that failed is not the next one";
        ASSERT_EQ(reports_.size(), 1);
        EXPECT_NE(Report(0).find("Invalid property value on line 3"), std::string::npos) << Report(0);
        EXPECT_NE(Report(0).find((PageDef() / "broken.DFM").string()), std::string::npos) << Report(0);
        EXPECT_TRUE(window_->Playing);
        EXPECT_EQ(window_->ActionPlay->text(), U("停止"));
        PressPlay();
    }
    // Mended, the page plays again; broken another way, it is reported again.
    WritePage("broken");
    reports_.clear();
    PressPlay();
    Seconds(6);
    EXPECT_EQ(shown_.back().substr(0, 7), "broken ");
    WriteFileAtomic(PageDef() / "broken.DFM", "object LedDesignWin: TFrmZorLedForm\r\n  object x: TNoSuchClass\r\n  end\r\nend\r\n");
    Seconds(10);
    ASSERT_EQ(reports_.size(), 1);
    EXPECT_NE(Report(0).find("TNoSuchClass"), std::string::npos) << Report(0);
    PressPlay();
}

TEST_F(Play, MissingPagesAreSkippedAndEmptyEntriesWaitATick) {
    struct Case {
        const char* what;
        std::vector<std::string> pages;
        Lines expected;
    } cases[] = {
        {"missing page file", {"p1", "gone", "p3"}, {"p1 0.0", "p3 5.0", "p1 10.0"}},
        // The empty entry ends the search at 5 s; the page stays until the next tick.
        {"empty entry", {"p1", "", "p3"}, {"p1 0.0", "p3 6.0", "p1 11.0"}},
    };
    WritePage("p1");
    WritePage("p3");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        shown_.clear();
        clock_.Set(start_);
        Plan("A", c.pages);
        Select({"A"});
        PressPlay();
        Seconds(11.5);
        EXPECT_EQ(shown_, c.expected);
        PressPlay();
    }
}

TEST_F(Play, APlanOfTenThousandMissingPagesNeitherStallsNorReportsEachPage) {
    std::vector<std::string> missing;
    for (int i = 0; i < 10000; ++i) missing.push_back("gone" + std::to_string(i));
    Plan("A", missing);
    Select({"A"});
    PressPlay();
    Seconds(10);
    EXPECT_TRUE(shown_.empty());
    EXPECT_EQ(reports_.size(), 1) << "the run without a page is reported once";
    PressPlay();
    EXPECT_FALSE(window_->Playing);
    reports_.clear();

    // One real page behind them plays as if it were alone.
    WritePage("p1");
    missing.push_back("p1");
    Plan("A", missing);
    clock_.Set(start_);
    PressPlay();
    Seconds(5.5);
    EXPECT_EQ(shown_, Lines({"p1 0.0", "p1 5.0"}));
    EXPECT_TRUE(reports_.isEmpty());
    PressPlay();
}

TEST_F(Play, AnEmptyEntryKeepsThePageWithItsRefreshOff) {
    WritePage("p1");
    WritePage("p3");
    Plan("A", {"p1", "", "p3"});
    Select({"A"});
    PressPlay();
    auto* marquee = new FakeMarquee(window_->Page);
    window_->Page->StartWidgets();
    QPointer<TFrmZorLedForm> page = window_->Page;
    Seconds(5);
    EXPECT_EQ(window_->Page, page.data());
    EXPECT_FALSE(marquee->refreshing);
    EXPECT_TRUE(window_->TimerPlay->Enabled());
    Seconds(1);
    EXPECT_TRUE(page.isNull());
}

TEST_F(Play, DisplayTimeHasAFloorOfFourAndCountsWholeSeconds) {
    struct Case {
        int displaytime;
        int replacedAfter;
        int afterFirstTick;
    } cases[] = {{0, 5, 4}, {3, 5, 4}, {4, 5, 4}, {5, 6, 5}, {10, 11, 10}};
    WritePage("next");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.displaytime);
        WritePage("page", c.displaytime);
        Plan("A", {"page", "next"});
        Select({"A"});
        shown_.clear();
        clock_.Set(start_);
        PressPlay();
        Seconds(1);
        EXPECT_EQ(window_->Page->displaytime, c.afterFirstTick) << "the floor is written into the page itself";
        Seconds(c.replacedAfter - 1.001);
        EXPECT_EQ(shown_.size(), 1u) << "still on the first page just before " << c.replacedAfter << " s";
        Seconds(0.001);
        EXPECT_EQ(shown_, Lines({"page 0.0", "next " + std::to_string(c.replacedAfter) + ".0"}));
        PressPlay();
    }
}

// A page's time runs on the monotonic clock: a wall clock set back or forward (a time sync, a
// daylight-saving change) neither holds a page nor cuts it short.
TEST_F(Play, SettingTheWallClockChangesNoPagesTime) {
    WritePage("p1", 4);
    WritePage("p2", 4);
    Plan("A", {"p1", "p2"});
    Select({"A"});
    PressPlay();
    Seconds(2);
    clock_.Set(clock_.Now() - 3'600'000);
    clock_.SetUtc(clock_.Utc() - 3'600'000);
    Seconds(2.9);
    EXPECT_EQ(shown_.size(), 1u);
    Seconds(0.1);
    ASSERT_EQ(shown_.size(), 2u) << "p1 goes after its 5 s, an hour before the wall clock catches up";
    EXPECT_EQ(shown_[1].substr(0, 3), "p2 ");
    clock_.Set(clock_.Now() + 7'200'000);
    clock_.SetUtc(clock_.Utc() + 7'200'000);
    Seconds(4.9);
    EXPECT_EQ(shown_.size(), 2u) << "nor does a clock set forward cut p2 short";
    Seconds(0.1);
    EXPECT_EQ(shown_.size(), 3u);
}

// Breakfast from 07:00 to 07:01 over the default plan, dark from 07:02 to 07:03.
TEST_F(Play, WindowsReplaceThePageAtOnceAndDarkShowsBlackWhereThePageWas) {
    ScopedZone zone("Europe/Berlin");
    WritePage("d1", 20);
    WritePage("b1", 20);
    Plan("Default", {"d1"});
    Plan("Breakfast", {"b1"});
    WriteList("Breakfast.SCH", {"* 07:00-07:01 priority 5"});
    WriteList("DarkHours.PLN", {"; night", "* 07:02-07:03", "* 7:05-07:06"});
    Select({"Default", "Breakfast"});
    const auto at = [](int h, int m, int s) { return UtcFromLocal(MakeLocalMs(2026, 12, 21, h, m, s)); };
    std::vector<UtcMs> darkUntil;
    window_->DarkShown = [&](std::optional<UtcMs> until) { darkUntil.push_back(until.value_or(0)); };
    clock_.SetInstant(at(6, 59, 58));
    const MonoMs mono = clock_.Monotonic();
    const auto page = [&] { return window_->Page ? window_->CurrentPlan() + "@" + std::to_string((clock_.Monotonic() - mono) / 1000) : ""; };
    PressPlay();
    ASSERT_EQ(reports_.size(), 1) << "the line it cannot read, once";
    EXPECT_NE(Report(0).find("DarkHours.PLN, line 3: times \"7:05-07:06\""), std::string::npos) << Report(0);
    EXPECT_EQ(page(), "Default@0");
    Seconds(2);
    EXPECT_EQ(page(), "Breakfast@2") << "at 07:00, not after d1's 20 s";
    EXPECT_TRUE(window_->PlayStatus->text().endsWith(U("时段：Breakfast 至 07:01"))) << window_->PlayStatus->text().toStdString();
    Seconds(60);
    EXPECT_EQ(page(), "Default@62");
    const QRect place = window_->Page->geometry();
    Seconds(60);
    ASSERT_TRUE(window_->Dark);
    EXPECT_EQ(darkUntil, std::vector<UtcMs>{at(7, 3, 0)});
    EXPECT_EQ(window_->Page->Color(), clBlack);
    EXPECT_EQ(window_->Page->geometry(), place);
    for (Control* widget : window_->Page->ChildControls()) EXPECT_FALSE(widget->Visible());
    EXPECT_EQ(window_->PlayStatus->text(), U("dark 至 07:03"));
    EXPECT_EQ(plugins_.starts.size(), 1u) << "the data modules of every page were ready from the start";
    const size_t pages = shown_.size();
    Seconds(59);
    EXPECT_EQ(shown_.size(), pages) << "dark: no page change";
    Seconds(1);
    EXPECT_EQ(page(), "Default@182") << "it lights again by itself";
    EXPECT_FALSE(window_->Dark);
    // A time sync putting the wall clock back into breakfast: looked at again at the next tick.
    clock_.SetInstant(at(7, 0, 30));
    Seconds(1);
    EXPECT_EQ(page(), "Breakfast@183");
    PressPlay();
}

// A restart goes on at the recorded plan's page wherever the schedule has put that page now,
// and at the first page of the plans on when that plan is off.
TEST_F(Play, AResumeRecordNamesPlanAndPageAcrossAScheduleSwitch) {
    ScopedZone zone("Asia/Shanghai");
    for (const char* p : {"d1", "d2", "b1", "b2"}) WritePage(p);
    Plan("Default", {"d1", "d2"});
    Plan("Breakfast", {"b1", "b2"});
    WriteList("Breakfast.SCH", {"* 07:00-11:00"});
    // Of the same priority as breakfast, so both play from 07:00 to 11:00.
    WriteList("Default.SCH", {"* 00:00-24:00"});
    Select({"Default", "Breakfast"});
    const StringList selection{"Default", "Breakfast"};
    struct Case {
        int hour;
        ResumePoint point;
        const char* first;
    } cases[] = {
        // Recorded at 08:00 (b2 was entry 3), restarted at 12:00 when only Default is on.
        {12, {selection, 3, "Breakfast", "b2"}, "d1"},
        // Recorded before 07:00 (d2 was entry 1), restarted at 08:00: d2 is entry 1 still.
        {8, {selection, 1, "Default", "d2"}, "d2"},
        // Recorded at 08:00 as entry 3, restarted at 09:00: the same entry.
        {9, {selection, 3, "Breakfast", "b2"}, "b2"},
        // Recorded at 12:00 as entry 1 of the then shorter list: found by plan and page.
        {8, {selection, 0, "Breakfast", "b1"}, "b1"},
        // A record of an older version: its index into today's list.
        {8, {selection, 2}, "b1"},
        {8, {{"Other"}, 2, "Breakfast", "b1"}, "d1"},
    };
    for (const Case& c : cases) {
        clock_.SetInstant(UtcFromLocal(MakeLocalMs(2026, 12, 21, c.hour, 0, 0)));
        shown_.clear();
        window_->Resume = c.point;
        PressPlay();
        ASSERT_FALSE(shown_.empty());
        EXPECT_EQ(shown_[0].substr(0, 2), c.first) << c.hour << " " << c.point.plan << " " << c.point.page;
        EXPECT_FALSE(window_->Resume) << "taken once";
        PressPlay();
    }
}

TEST_F(Play, BusyWidgetsHoldThePageUntilIdle) {
    WritePage("p1");
    WritePage("p2");
    Plan("A", {"p1", "p2"});
    Select({"A"});
    PressPlay();
    auto* marquee = new FakeMarquee(window_->Page);
    marquee->busy = true;
    Seconds(8);
    EXPECT_EQ(shown_, Lines({"p1 0.0"}));
    marquee->busy = false;
    Seconds(1);
    EXPECT_EQ(shown_, Lines({"p1 0.0", "p2 9.0"}));
}

TEST_F(Play, ADataModuleThatBlocksNeverHoldsThePage) {
    const auto release = home_ / "release";
    ::setenv("ZORLED_FIXTURE_RELEASE", release.c_str(), 1);
    ::setenv("ZORLED_FIXTURE_DATA", (home_ / "data.txt").c_str(), 1);
    {
        std::unique_ptr<TFrmZorLedForm> page(CreatePageWindow("LedDesignWin"));
        page->displaytime = 4;
        auto* marquee = new Tzorledzmd(page.get(), page.get());
        marquee->SetName("fed");
        marquee->Setdatainterface(datafromexetxt);
        marquee->SetExeFileName((testing::FixtureFolder("data") / "slow.so").string());
        marquee->SetTextFileName((home_ / "data.txt").string());
        SavePageFile(*page, PageDef() / "fed.DFM");
    }
    WritePage("p2");
    Plan("A", {"fed", "p2"});
    Select({"A"});
    window_->PlayPluginCalls = std::make_unique<HostPlayPlugins>();
    testing::FixtureCalls calls(scratch_);
    PressPlay();
    // The module's call is out and stays out: it returns only when the test lets it.
    ASSERT_TRUE(testing::WaitUntil([&] {
        const auto lines = calls.Lines();
        return std::count(lines.begin(), lines.end(), "slow.so Plugingetdata") == 1;
    }));
    Seconds(5);
    EXPECT_EQ(shown_, Lines({"fed 0.0", "p2 5.0"})) << "a 4 s page changes on time, within 6 s";
    // Round again: the call still out is not waited for either.
    Seconds(5);
    Seconds(5);
    EXPECT_EQ(shown_, Lines({"fed 0.0", "p2 5.0", "fed 10.0", "p2 15.0"}));
    EXPECT_TRUE(reports_.isEmpty()) << Report(0);
    std::ofstream(release) << "";
    PressPlay();
    ::unsetenv("ZORLED_FIXTURE_RELEASE");
    ::unsetenv("ZORLED_FIXTURE_DATA");
}

TEST_F(Play, ReportsOfDataNameThePageTheWidgetAndTheDataFile) {
    const std::string data = (home_ / "feed.txt").string();
    const std::string folder = (home_ / "folder").string();
    std::filesystem::create_directories(folder);
    const auto crash = home_ / "crash";
    std::ofstream(crash) << "";
    ::setenv("ZORLED_FIXTURE_CRASH", crash.c_str(), 1);
    ::setenv("ZORLED_FIXTURE_DATA", data.c_str(), 1);
    struct Case {
        const char* what;
        bool board;
        int source;
        std::string textFile;
        const char* module;
        const char* message;
    } cases[] = {
        {"a board's data file above 16 MB", true, dataformtxtfile, data, "", "is larger than 16 MB"},
        {"a marquee's data file that is a folder", false, dataformtxtfile, folder, "", "Is a directory"},
        {"a data module that crashes", true, datafromexetxt, data, "crashing.so", "crashed"},
    };
    window_->PlayPluginCalls = std::make_unique<HostPlayPlugins>();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(data, std::ios::trunc).flush();
        if (c.source == dataformtxtfile) std::filesystem::resize_file(std::filesystem::path(data), 17u << 20);
        const std::string page = (PageDef() / "fed.DFM").string();
        {
            std::unique_ptr<TFrmZorLedForm> form(CreatePageWindow("LedDesignWin"));
            DataFed* fed;
            if (c.board) {
                auto* board = new TzorledScrollText(form.get(), form.get());
                board->SetName("news");
                fed = board;
            } else {
                auto* marquee = new Tzorledzmd(form.get(), form.get());
                marquee->SetName("news");
                fed = marquee;
            }
            fed->Setdatainterface(c.source);
            fed->SetTextFileName(c.textFile);
            if (*c.module) fed->SetExeFileName((testing::FixtureFolder("data") / c.module).string());
            SavePageFile(*form, page);
        }
        Plan("A", {"fed"});
        Select({"A"});
        reports_.clear();
        PressPlay();
        ASSERT_TRUE(testing::WaitUntil([&] {
            QCoreApplication::processEvents();
            return !reports_.isEmpty();
        }));
        const std::string& report = Report(0);
        EXPECT_NE(report.find(c.message), std::string::npos) << report;
        EXPECT_NE(report.find("page \"" + page + "\""), std::string::npos) << report;
        EXPECT_NE(report.find("widget \"news\""), std::string::npos) << report;
        EXPECT_NE(report.find('"' + c.textFile + '"'), std::string::npos) << report;
        PressPlay();
    }
    ::unsetenv("ZORLED_FIXTURE_CRASH");
    ::unsetenv("ZORLED_FIXTURE_DATA");
}

TEST_F(Play, StopLeavesThePageAndItsMarqueesRunning) {
    WritePage("p1");
    WritePage("p2");
    Plan("A", {"p1", "p2"});
    Select({"A"});
    PressPlay();
    Seconds(5);
    auto* marquee = new FakeMarquee(window_->Page);
    window_->Page->StartWidgets();
    QPointer<TFrmZorLedForm> page = window_->Page;
    PressPlay();
    EXPECT_FALSE(window_->Playing);
    EXPECT_EQ(window_->ActionPlay->text(), U("播放"));
    EXPECT_TRUE(CommandsEnabled());
    EXPECT_FALSE(window_->TimerPlay->Enabled());
    EXPECT_EQ(window_->Page, page.data());
    EXPECT_TRUE(window_->windowTitle().endsWith(U("[播放模式]")));
    EXPECT_FALSE(marquee->refreshing);
    EXPECT_TRUE(marquee->running->Enabled()) << "only the data refresh stops";
    EXPECT_EQ(window_->PageList, StringList({"p1", "p2"}));
    EXPECT_EQ(window_->PageIndex, 1);
    Seconds(30);
    EXPECT_EQ(shown_.size(), 2u);
    EXPECT_EQ(plugins_.stops, 1);
}

TEST_F(Play, ClosingTheWindowDuringPlayUninitialisesTheDataModules) {
    WritePage("p1");
    Plan("A", {"p1"});
    Select({"A"});
    PressPlay();
    window_.reset();
    EXPECT_EQ(plugins_.starts.size(), 1u);
    EXPECT_EQ(plugins_.stops, 1);
}

TEST_F(Play, AnUnreadableSelectListEndsTheStartCleanly) {
    WritePage("p2");
    Plan("A", {"p2"});
    std::filesystem::remove(PageDef() / "SelectList.PLN");
    EXPECT_ANY_THROW(PressPlay());
    EXPECT_FALSE(window_->Playing);
    EXPECT_EQ(window_->ActionPlay->text(), U("播放"));
    EXPECT_TRUE(CommandsEnabled());
    EXPECT_FALSE(window_->TimerPlay->Enabled());
    EXPECT_EQ(plugins_.stops, 1) << "every initialisation is paired with an uninitialisation";
    Seconds(10);
    EXPECT_TRUE(shown_.empty());
}

TEST_F(Play, AnOpenReportHoldsNoPageChangeAndOpensOncePerText) {
    WritePage("p1");
    // Cut off inside its picture data, as a copy broken half-way leaves it.
    WriteFileAtomic(PageDef() / "broken.DFM",
                    "object LedDesignWin: TFrmZorLedForm\r\n"
                    "  object myimage1: Tzorledimage\r\n"
                    "    Picture.Data = {\r\n"
                    "      07544269746D6170");
    WritePage("p3");
    Plan("A", {"p1", "broken", "p3"});
    Select({"A"});
    SetErrorReporter(nullptr);  // the real report boxes
    PressPlay();
    Seconds(5);
    const QStringList open = OpenReports();
    ASSERT_EQ(open.size(), 1);
    EXPECT_TRUE(open[0].startsWith("Invalid binary value on line")) << open[0].toStdString();
    EXPECT_EQ(shown_, Lines({"p1 0.0", "p3 5.0"})) << "play goes on while the report is open";
    Seconds(11);  // the next pass fails on the same page again
    EXPECT_EQ(shown_, Lines({"p1 0.0", "p3 5.0", "p1 10.0", "p3 15.0"}));
    EXPECT_EQ(OpenReports(), open) << "no second box for the same error";
    EXPECT_TRUE(window_->Playing);
    CloseReports();
}

TEST_F(Play, APageFileThatIsAFifoIsRefusedAndPlayGoesOn) {
    WritePage("p1");
    ASSERT_EQ(::mkfifo((PageDef() / "pipe.DFM").c_str(), 0600), 0);
    WritePage("p3");
    Plan("A", {"p1", "pipe", "p3"});
    Select({"A"});
    window_->PlayPluginCalls = std::make_unique<HostPlayPlugins>();  // the real collector reads every page
    PressPlay();
    Seconds(6);
    EXPECT_EQ(reports_, QStringList{QString::fromStdString("Cannot open file \"" + (PageDef() / "pipe.DFM").string() +
                                                          "\". Not a regular file")});
    EXPECT_EQ(shown_, Lines({"p1 0.0", "p3 5.0"}));
    EXPECT_TRUE(window_->Playing);
    window_->ActionPlayExecute();
}

TEST_F(Play, ClosingTheMainWindowEndsTheProgram) {
    WritePage("p1");
    Plan("A", {"p1"});
    Select({"A"});
    struct Case {
        const char* what;
        bool play;
        std::function<void(TSYS_Frmzorled&)> close;
    } cases[] = {
        {"退出 during play", true, [](TSYS_Frmzorled& w) { w.ActionExit->trigger(); }},
        {"close box in design mode", false, [](TSYS_Frmzorled& w) { w.close(); }},
    };
    SetErrorReporter(nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        NewWindow();
        plugins_.stops = 0;
        window_->show();
        if (c.play) PressPlay();
        QPointer<TFrmZorLedForm> page = window_->Page;
        page->show();  // the stay-on-top page window kept the program alive
        ReportError("an open report");
        QTimer::singleShot(0, window_.get(), [&] { c.close(*window_); });
        EXPECT_EQ(QCoreApplication::exec(), 0);
        EXPECT_FALSE(page->isVisible());
        EXPECT_TRUE(OpenReports().isEmpty());
        EXPECT_EQ(plugins_.stops, c.play ? 1 : 0);
        window_.reset();
        EXPECT_EQ(plugins_.stops, c.play ? 1 : 0) << "the data modules are stopped once";
    }
}

TEST_F(Play, AWholePassWithoutPagesKeepsThePageAndRetriesEveryFourSeconds) {
    WritePage("p1");
    WritePage("p2");
    Plan("A", {"p1", "p2"});
    Select({"A"});
    PressPlay();
    std::filesystem::remove(PageDef() / "p1.DFM");
    std::filesystem::remove(PageDef() / "p2.DFM");
    QPointer<TFrmZorLedForm> page = window_->Page;
    Seconds(10);  // the pass at 5 s found nothing, the try at 9 s neither
    EXPECT_EQ(window_->Page, page.data());
    EXPECT_EQ(reports_.size(), 1);
    WritePage("p1");
    Seconds(2);
    EXPECT_EQ(shown_, Lines({"p1 0.0"}));
    Seconds(1);
    EXPECT_EQ(shown_, Lines({"p1 0.0", "p1 13.0"}));
}

TEST_F(Play, NamesFromWindowsMatchFilesOfAnyCase) {
    WritePage("Page", 0);
    WriteList("晚间.led", {"PAGE"});
    Select({"晚间"});
    PressPlay();
    EXPECT_EQ(shown_, Lines({"PAGE 0.0"}));
}

TEST_F(Play, PlayStartsOnlyAfterTheRealPlanEditorIsConfirmed) {
    WritePage("p1");
    Plan("A", {"p1"});
    WriteList("PlayList.PLN", {"A"});
    Select({"A"});
    window_->RunPlanEditor = [] { return EditPlayPlan(); };
    struct Case {
        const char* button;
        bool playing;
    } cases[] = {{"放弃", false}, {"确定", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        testing::WhenModal<TFormPlanEdit>([&](TFormPlanEdit& f) {
            QTest::mouseClick(c.playing ? f.BitBtnok : f.BitBtncancle, Qt::LeftButton);
        });
        window_->ActionPlay->trigger();
        EXPECT_EQ(window_->Playing, c.playing);
        EXPECT_EQ(window_->ActionPlay->text(), c.playing ? U("停止") : U("播放"));
        EXPECT_EQ(CommandsEnabled(), !c.playing);
        EXPECT_EQ(shown_.size(), c.playing ? 1u : 0u);
    }
    // "播放方案" runs the editor and ignores what it returns.
    PressPlay();
    testing::WhenModal<TFormPlanEdit>([](TFormPlanEdit& f) { QTest::mouseClick(f.BitBtnok, Qt::LeftButton); });
    window_->ActionPlaymode->trigger();
    EXPECT_FALSE(window_->Playing);
    EXPECT_EQ(window_->ActionPlay->text(), U("播放"));
}

TEST_F(Play, APlanEditorThatFailsLeavesDesignMode) {
    // As when a list file exists but cannot be read while the editor opens.
    window_->RunPlanEditor = []() -> bool { throw Error("Cannot open file \"PlayList.PLN\"."); };
    EXPECT_ANY_THROW(PressPlay());
    EXPECT_FALSE(window_->Playing);
    EXPECT_EQ(window_->ActionPlay->text(), U("播放"));
    EXPECT_TRUE(CommandsEnabled());
}

TEST_F(Play, TheNextPageIsPreparedUnseenAndShownOverTheCurrentOne) {
    WritePage("p1");
    {
        std::unique_ptr<TFrmZorLedForm> page(CreatePageWindow("LedDesignWin"));
        page->CreateWidget(wkScrollText);
        SavePageFile(*page, PageDef() / "board.DFM");
    }
    Plan("A", {"p1", "board"});
    Select({"A"});
    QPointer<TFrmZorLedForm> design = window_->Page;
    PageWatch watch(*window_);
    PressPlay();
    QPointer<TFrmZorLedForm> first = window_->Page;
    Seconds(0);
    EXPECT_TRUE(design.isNull()) << "the designed page goes once the first page is on screen";
    Seconds(5);
    QPointer<TFrmZorLedForm> second = window_->Page;
    ASSERT_NE(second, first);
    EXPECT_TRUE(first.isNull());
    // Each page window is shown once, as the current page, over the page it replaces, with its
    // board's first frame already composed.
    std::vector<PageWatch::Step> shows;
    for (const auto& step : watch.steps)
        if (step.type == QEvent::Show) shows.push_back(step);
    ASSERT_EQ(shows.size(), 2u);
    for (const PageWatch::Step& show : shows) {
        EXPECT_TRUE(show.current);
        EXPECT_TRUE(show.previousOnScreen);
        EXPECT_TRUE(show.boardComposed);
    }
    EXPECT_EQ(shows[1].page, second.data());
    EXPECT_EQ(shown_, Lines({"p1 0.0", "board 5.0"}));
}

TEST_F(Play, APageThatFailsToLoadLeavesTheCurrentOneShowing) {
    WritePage("p1");
    WriteFileAtomic(PageDef() / "broken.DFM", "object LedDesignWin: TFrmZorLedForm\r\n  Left = oops\r\n");
    Plan("A", {"p1", "broken"});
    Select({"A"});
    PressPlay();
    // Gone too, so that the search after the broken page finds nothing and p1 stays.
    std::filesystem::remove(PageDef() / "p1.DFM");
    QPointer<TFrmZorLedForm> p1 = window_->Page;
    const std::string name = p1->Name();
    auto pageWindows = [] {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets()) n += w->property(kPageWindowProperty).toBool();
        return n;
    };
    Seconds(0);
    const int windowsBefore = pageWindows();
    Seconds(5);
    ASSERT_GE(reports_.size(), 1);
    EXPECT_NE(Report(0).find("broken.DFM"), std::string::npos) << Report(0);
    EXPECT_EQ(window_->Page, p1.data());
    ASSERT_FALSE(p1.isNull());
    EXPECT_TRUE(p1->isVisible());
    EXPECT_EQ(p1->Name(), name) << "its name back, which a save after play writes";
    EXPECT_TRUE(window_->windowTitle().endsWith(U("p1.DFM[播放模式]")));
    EXPECT_EQ(pageWindows(), windowsBefore) << "nothing is left of the page that failed";
    EXPECT_EQ(shown_, Lines({"p1 0.0"}));
}

TEST_F(Play, APageWindowTakesTheFlagsItsFileSetsBeforeItsFirstShow) {
    // The file asks for a normal window (not on top) with a dialog frame; a fresh window is neither.
    WriteFileAtomic(PageDef() / "plain.DFM",
                    "object LedDesignWin: TFrmZorLedForm\r\n  BorderStyle = bsDialog\r\n"
                    "  FormStyle = fsNormal\r\n  displaytime = 4\r\nend\r\n");
    Plan("A", {"plain"});
    Select({"A"});
    struct Case {
        const char* how;
        std::function<void()> open;
    };
    const Case cases[] = {
        {"opened in design", [&] { window_->OpenPageFile(PageDef() / "plain.DFM"); }},
        {"played", [&] { PressPlay(); }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.how);
        PageWatch watch(*window_);
        k.open();
        const auto steps = watch.Of(window_->Page);
        ASSERT_EQ(steps.size(), 1u) << "shown once, never hidden and shown again";
        EXPECT_EQ(steps[0].type, QEvent::Show);
        EXPECT_EQ(steps[0].flags, window_->Page->windowFlags());
        EXPECT_FALSE(steps[0].flags & Qt::WindowStaysOnTopHint);
        EXPECT_TRUE(steps[0].flags & Qt::Dialog);
    }
    PressPlay();
}

TEST_F(Play, TheRunShowsEachPageForItsDisplayTime) {
    WritePage("first", 0);
    WritePage("second", 5);
    WritePage("third", 10);
    Plan("main", {"first", "second", "third"});
    Select({"main"});
    window_.reset();
    Lines lines;
    SimulatePlayRun(30, [&](const std::string& line) { lines.push_back(line); });
    EXPECT_EQ(lines, Lines({"0.0\tfirst", "5.0\tsecond", "11.0\tthird", "22.0\tfirst", "27.0\tsecond"}));
}

TEST_F(Play, TheStatusLineFollowsTheRunAndThePlayCommandShowsStop) {
    WritePage("p1", 6);
    WritePage("p2");
    WritePage("p3", 5);
    Plan("A", {"p1", "gone", "p2"});
    Plan("B", {"p3"});
    Select({"A", "B"});
    auto looks = [this](ToolIcon icon) {
        return window_->ActionPlay->icon().pixmap(32).toImage() == MakeToolIcon(icon).pixmap(32).toImage();
    };
    const QLabel* status = window_->PlayStatus;
    EXPECT_TRUE(status->isHidden());
    ASSERT_TRUE(looks(ToolIcon::Play));

    PressPlay();
    EXPECT_TRUE(looks(ToolIcon::Stop));
    EXPECT_FALSE(status->isHidden());
    struct Step {
        double seconds;  // advanced before the look
        const char* text;
    } steps[] = {
        // A missing page is never announced as the next one; the floor of four counts.
        {0, "方案：A    页面：p1    剩余 6 秒    下一页：p2"},
        {2.5, "方案：A    页面：p1    剩余 4 秒    下一页：p2"},
        {4, "方案：A    页面：p1    剩余 0 秒    下一页：p2"},
        {0.6, "方案：A    页面：p2    剩余 4 秒    下一页：p3"},
        {5, "方案：B    页面：p3    剩余 5 秒    下一页：p1"},
    };
    for (const Step& step : steps) {
        Seconds(step.seconds);
        EXPECT_EQ(status->text(), U(step.text)) << step.seconds;
    }
    PressPlay();
    EXPECT_TRUE(status->isHidden());
    EXPECT_TRUE(looks(ToolIcon::Play));
    EXPECT_EQ(window_->ActionPlay->text(), U("播放"));
}

}  // namespace
}  // namespace zl
