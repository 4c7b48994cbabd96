#include <gtest/gtest.h>

#include <QAction>
#include <QMessageBox>
#include <QStatusBar>
#include <filesystem>
#include <fstream>

#include "app/mainwindow.h"
#include "app/signplay.h"
#include "core/playlog.h"
#include "core/textlist.h"
#include "page/frmzorledform.h"
#include "page/pagefile.h"
#include "plugins/modulerunner.h"
#include "qtbase/application.h"
#include "support/mainwindowfixture.h"
#include "support/pluginfixtures.h"
#include "support/scratchdir.h"
#include "widgets/zorledzmd.h"

namespace zl {
namespace {

using Lines = std::vector<std::string>;

// The program's play with what a sign adds around it, on virtual time and with the real boxes.
class SignPlayTest : public testing::MainWindowTest {
protected:
    SignPlayTest() : MainWindowTest("zorled-signplay") {}
    void SetUp() override {
        std::filesystem::create_directories(home_ / "pagedef");
        MainWindowTest::SetUp();
        SetErrorReporter(nullptr);  // the real report boxes
        window_->RunPlanEditor = [] { return true; };
        sign_ = std::make_unique<SignPlay>(*window_, home_);
    }
    void TearDown() override {
        if (window_->Playing) window_->ActionPlayExecute();
        sign_.reset();
        window_.reset();
        CloseReports();
        MainWindowTest::TearDown();
    }
    void WritePage(const std::string& name) {
        std::unique_ptr<TFrmZorLedForm> page(CreatePageWindow("LedDesignWin"));
        SavePageFile(*page, home_ / "pagedef" / (name + ".DFM"));
    }
    void Select(const Lines& pages) {
        WriteTextList(home_ / "pagedef" / "A.LED", pages);
        WriteTextList(home_ / "pagedef" / "SelectList.PLN", {"A"});
    }
    // The log's lines without their time stamps.
    Lines Log() const {
        Lines lines;
        for (const auto& line : ReadTextList(PlayLog::DayFile(home_, clock_.Now())))
            lines.push_back(line.substr(line.find('\t') + 1));
        return lines;
    }
    static int Count(const Lines& lines, const std::string& prefix) {
        return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                              [&](const std::string& l) { return l.starts_with(prefix); }));
    }
    void Seconds(int s) { clock_.Advance(s * 1000LL); }

    ManualTimeSource clock_{MakeLocalMs(2024, 3, 1, 8, 0, 0)};
    ScopedTimeSource scope_{clock_};
    const std::filesystem::path& home_ = scratch_.path();
    std::unique_ptr<SignPlay> sign_;
};

TEST_F(SignPlayTest, ThePointerIsHiddenOverEveryPageShownAndBackOnStop) {
    WritePage("p1");
    WritePage("p2");
    Select({"p1", "p2"});
    window_->ActionPlayExecute();
    ASSERT_TRUE(window_->Playing);
    const QPointer<TFrmZorLedForm> first = window_->Page;
    EXPECT_EQ(window_->Page->cursor().shape(), Qt::BlankCursor);
    Seconds(6);
    ASSERT_NE(window_->Page, first.data()) << "each page in a fresh page window";
    EXPECT_EQ(window_->Page->cursor().shape(), Qt::BlankCursor);
    window_->ActionPlayExecute();
    ASSERT_FALSE(window_->Playing);
    EXPECT_EQ(window_->Page->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(SignPlayTest, APageCutShortKeepsItsSecondsToWithinTenInTheLog) {
    {
        std::unique_ptr<TFrmZorLedForm> page(CreatePageWindow("LedDesignWin"));
        page->displaytime = 300;
        SavePageFile(*page, home_ / "pagedef" / "p1.DFM");
    }
    Select({"p1"});
    window_->ActionPlayExecute();
    Seconds(37);
    // Killed here: nothing more is written, and what is there counts 30 of the 37 s.
    EXPECT_EQ(SumPlayLog(home_, "", ""), (PlaySums{{{LocalDay(clock_.Now()), "A", "p1"}, 30}}));
    const Lines log = Log();
    EXPECT_EQ(Count(log, "showing\tA\tp1"), 1);
    EXPECT_EQ(Count(log, "on\tA\tp1\t"), 3);
    window_->ActionPlayExecute();
    EXPECT_EQ(SumPlayLog(home_, "", ""), (PlaySums{{{LocalDay(clock_.Now()), "A", "p1"}, 37}})) << "its end line counts";
    Seconds(60);
    EXPECT_EQ(Count(Log(), "on\t"), 3) << "no heartbeat out of play";
}

TEST_F(SignPlayTest, ALogThatCannotBeWrittenIsToldOnceInTheStatusLine) {
    WritePage("p1");
    Select({"p1"});
    std::filesystem::remove_all(home_ / "log");
    WriteTextList(home_ / "log", {"a file where the log folder belongs"});
    window_->ActionPlayExecute();
    ASSERT_TRUE(window_->Playing);
    const QString told = window_->statusBar()->currentMessage();
    EXPECT_TRUE(told.startsWith(QString::fromUtf8("播放日志无法写入："))) << told.toStdString();
    EXPECT_TRUE(told.contains(QString::fromStdString((home_ / "log").string()))) << told.toStdString();
    window_->statusBar()->clearMessage();
    Seconds(30);
    EXPECT_TRUE(window_->statusBar()->currentMessage().isEmpty()) << "told once, not at every line";
    EXPECT_TRUE(window_->Playing);
}

TEST_F(SignPlayTest, ReportsInPlayOpenOneBoxThatCountsTheRestAndClosesItselfAfterAMinute) {
    WritePage("p1");
    Select({"p1"});
    window_->ActionPlayExecute();
    ASSERT_TRUE(window_->Playing);
    for (int i = 0; i < 10; ++i) ReportError(QStringLiteral("line grew to %1").arg(i));
    QStringList open = OpenReports();
    ASSERT_EQ(open.size(), 1);
    EXPECT_EQ(open[0], QString::fromUtf8("line grew to 0\n\n另有 9 条错误，见播放日志"));
    // The box waits on no one: modeless, so no click is needed for anything to go on.
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    const Lines log = Log();
    EXPECT_EQ(Count(log, "error\tline grew to "), 10);
    EXPECT_EQ(Count(log, "error\tline grew to 9"), 1);

    Seconds(59);
    EXPECT_EQ(OpenReports().size(), 1);
    Seconds(1);
    EXPECT_TRUE(OpenReports().isEmpty()) << "closed by itself after 60 s";
    // The next report opens a fresh box with a count of its own, and a minute of its own.
    ReportError("later");
    Seconds(30);
    ReportError("and another");
    EXPECT_EQ(OpenReports(), QStringList({QString::fromUtf8("later\n\n另有 1 条错误，见播放日志")}));
    Seconds(30);
    EXPECT_TRUE(OpenReports().isEmpty());

    // Design mode keeps its reports: one modal box per differing text, left for the operator.
    window_->ActionPlayExecute();
    ASSERT_FALSE(window_->Playing);
    ReportError("a");
    ReportError("b");
    ReportError("a");
    EXPECT_EQ(OpenReports(), QStringList({"a", "b"}));
    Seconds(120);
    EXPECT_EQ(OpenReports().size(), 2);
    EXPECT_NE(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(Count(Log(), "error\t"), 12) << "design-mode reports are not play";
}

// The box saying nothing can play goes once a page plays again; one counting later reports stays.
TEST_F(SignPlayTest, TheBoxOfPagesMissingGoesWhenThePagesComeBack) {
    Select({"p1"});
    window_->ActionPlayExecute();
    ASSERT_TRUE(window_->Playing);
    ASSERT_EQ(OpenReports().size(), 1);
    EXPECT_TRUE(OpenReports()[0].contains(QString::fromUtf8("没有可播放的页面")));
    WritePage("p1");
    Seconds(4);
    ASSERT_EQ(Count(Log(), "showing\tA\tp1"), 1) << ::testing::PrintToString(Log());
    EXPECT_TRUE(OpenReports().isEmpty()) << "the box went with its cause";

    window_->ActionPlayExecute();
    std::filesystem::remove(home_ / "pagedef" / "p1.DFM");
    window_->ActionPlayExecute();
    ReportError("board text unreadable");
    WritePage("p1");
    Seconds(4);
    EXPECT_EQ(OpenReports().size(), 1) << "a box that also tells of a later report stays";
}

TEST_F(SignPlayTest, AReportWhileTheFirstPageComesUpIsAPlayReportToo) {
    // As a widget of the first page reports a feed it cannot read, before the run is under way.
    sign_.reset();
    window_->PageShown = [first = true](const std::string&) mutable {
        if (first) ReportError("board text unreadable");
        first = false;
    };
    sign_ = std::make_unique<SignPlay>(*window_, home_);
    WritePage("p1");
    Select({"p1"});
    window_->ActionPlayExecute();
    ASSERT_TRUE(window_->Playing);
    ASSERT_EQ(OpenReports(), QStringList({"board text unreadable"}));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(Count(Log(), "error\tboard text unreadable"), 1);
    Seconds(60);
    EXPECT_TRUE(OpenReports().isEmpty());
}

// A data module's failed call goes into the play log as what it was, beside its report.
TEST_F(SignPlayTest, ADataModuleThatTimesOutOrDiesIsInThePlayLog) {
    struct Case {
        const char* module;
        bool hang;  // else it crashes in its call
        std::string logged;
    };
    for (const Case& c : {Case{"slow.so", true, "timeout\t"}, Case{"crashing.so", false, "ended\t"}}) {
        SCOPED_TRACE(c.module);
        testing::FixtureCalls calls(scratch_);
        calls.Clear();
        const auto module = testing::FixtureFolder("data") / c.module;
        const auto text = scratch_ / "data.txt";
        ::setenv("ZORLED_FIXTURE_DATA", text.c_str(), 1);
        ::setenv("ZORLED_FIXTURE_RELEASE", (scratch_ / "never").c_str(), 1);
        ::setenv("ZORLED_FIXTURE_CRASH", (scratch_ / "crash").c_str(), 1);
        if (!c.hang) std::ofstream(scratch_ / "crash") << "";
        {
            // A marquee fed by the module, as the designer saves it.
            std::unique_ptr<TFrmZorLedForm> page(CreatePageWindow("LedDesignWin"));
            auto* marquee = dynamic_cast<Tzorledzmd*>(page->CreateWidget(3));
            ASSERT_NE(marquee, nullptr);
            marquee->Setdatainterface(datafromexetxt);
            marquee->SetTextFileName(text.string());
            marquee->SetExeFileName(module.string());
            page->displaytime = 300;
            SavePageFile(*page, home_ / "pagedef" / "data.DFM");
        }
        Select({"data"});
        window_->ActionPlayExecute();
        ASSERT_TRUE(window_->Playing);
        ASSERT_TRUE(testing::WaitUntil([&] { return calls.Lines().size() >= 2; }))
            << ::testing::PrintToString(calls.Lines());
        if (c.hang) {
            Seconds(59);
            EXPECT_EQ(Count(Log(), c.logged), 0);
            Seconds(1);
        } else {
            ASSERT_TRUE(testing::WaitUntil([&] { return !OpenReports().isEmpty(); }));
        }
        const Lines log = Log();
        EXPECT_EQ(Count(log, c.logged + module.string()), 1) << ::testing::PrintToString(log);
        EXPECT_EQ(Count(log, "error\tData module"), 1);
        EXPECT_EQ(OpenReports().size(), 1);
        window_->ActionPlayExecute();
        CloseReports();
        std::filesystem::remove(scratch_ / "crash");
        std::filesystem::remove(PlayLog::DayFile(home_, clock_.Now()));
        ::unsetenv("ZORLED_FIXTURE_DATA");
        ::unsetenv("ZORLED_FIXTURE_RELEASE");
        ::unsetenv("ZORLED_FIXTURE_CRASH");
    }
}

}  // namespace
}  // namespace zl
