#include <gtest/gtest.h>

#include <QProcess>
#include <algorithm>
#include <csignal>
#include <map>

#include "core/atomicfile.h"
#include "core/codepage.h"
#include "core/textlist.h"
#include "output/packets.h"
#include "qtbase/lifetime.h"
#include "support/notifysocket.h"
#include "support/pluginfixtures.h"
#include "support/scratchdir.h"
#include "support/udpreceiver.h"

namespace zl {
namespace {

using testing::FixtureFolder;
using Lines = std::vector<std::string>;

// The program itself, started as systemd or an operator starts it, on a home of the test's own.
class Program : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(home_ / "pagedef"); }
    void TearDown() override {
        for (auto& p : running_)
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished();
            }
    }
    void WritePage(const std::string& name) {
        const auto module = FixtureFolder("data") / "datamodule.so";
        WriteFileAtomic(home_ / "pagedef" / (name + ".DFM"),
                        "object P: TFrmZorLedForm\r\n  displaytime = 5\r\n  object R: Tdatarefresh\r\n"
                        "    ExeFileName = '" + module.string() + "'\r\n  end\r\nend\r\n");
    }
    void WriteSelection(const Lines& pages) {
        for (const auto& page : pages) WritePage(page);
        WriteTextList(home_ / "pagedef" / "A.LED", pages);
        WriteTextList(home_ / "pagedef" / "SelectList.PLN", {"A"});
    }
    // Without a screen, `display` (if any) is a DISPLAY that no server answers.
    QProcess& Start(const QStringList& args, const std::string& watchdogUsec = "", bool screen = true,
                    const QString& display = {}) {
        running_.push_back(std::make_unique<QProcess>());
        QProcess& process = *running_.back();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        if (!screen) {
            env.remove("QT_QPA_PLATFORM");
            env.remove("DISPLAY");
            env.remove("WAYLAND_DISPLAY");
            if (!display.isEmpty()) env.insert("DISPLAY", display);
        }
        env.insert("ZORLED_HOME", QString::fromStdString(home_.path().string()));
        env.insert("ZORLED_FIXTURE_LOG", QString::fromStdString((home_ / "calls.log").string()));
        env.insert("NOTIFY_SOCKET", QString::fromStdString(notify_.Path()));
        env.remove("WATCHDOG_PID");
        if (!watchdogUsec.empty()) env.insert("WATCHDOG_USEC", QString::fromStdString(watchdogUsec));
        process.setProcessEnvironment(env);
        process.start(QString(ZORLED_BINARY_DIR) + "/src/app/zorled", args);
        return process;
    }
    // Collects notifications until `done` holds for them or the program ends.
    bool WaitFor(QProcess& process, const std::function<bool()>& done) {
        for (int i = 0; i < 1200; ++i) {
            for (auto& m : notify_.Take()) messages_.push_back(m);
            if (done()) return true;
            if (process.state() == QProcess::NotRunning) return false;
            process.waitForFinished(50);
        }
        return false;
    }
    int Count(const std::string& message) const {
        return static_cast<int>(std::count(messages_.begin(), messages_.end(), message));
    }
    Lines Calls() const {
        Lines lines;
        for (const auto& line : ReadTextList(home_ / "calls.log")) lines.push_back(line);
        return lines;
    }

    testing::ScratchDir home_{"zorled-program"};
    testing::NotifySocket notify_{home_ / "notify"};
    std::vector<std::unique_ptr<QProcess>> running_;
    Lines messages_;
};

TEST_F(Program, PlayAtStartPlaysTheSavedSelectionAndAStopSignalStopsInOrder) {
    ASSERT_TRUE(notify_.Ready());
    testing::UdpReceiver receiver;
    WriteFileAtomic(home_ / "ledoutput.ini", "[output1]\nprotocol=e131\nhost=127.0.0.1\nport=" +
                                                 std::to_string(receiver.Port()) + "\nuniverse=5\nwidth=4\nheight=4\n");
    WriteSelection({"p1", "p2"});
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        messages_.clear();
        std::filesystem::remove(home_ / "calls.log");
        QProcess& program = Start({"--play"}, "200000");
        // No plan editor stands in the way: play is on and says which page it shows.
        ASSERT_TRUE(WaitFor(program, [&] { return Count("READY=1") == 1 && Count("WATCHDOG=1") >= 3; }))
            << program.readAllStandardError().toStdString();
        EXPECT_EQ(Count("STATUS=播放 p1"), 1);
        const auto ready = std::find(messages_.begin(), messages_.end(), "READY=1");
        EXPECT_LT(std::find(messages_.begin(), messages_.end(), "STATUS=播放 p1"), ready) << "ready once playing";
        // Once per mention, as 播放 does.
        EXPECT_EQ(Calls(), Lines({"datamodule.so PluginInit", "datamodule.so PluginInit"}));
        EXPECT_TRUE(std::filesystem::exists(home_ / "zorled.lock"));
        receiver.Take();

        ::kill(static_cast<pid_t>(program.processId()), signal);
        ASSERT_TRUE(program.waitForFinished(30000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
        EXPECT_EQ(Calls(), Lines({"datamodule.so PluginInit", "datamodule.so PluginInit", "datamodule.so PluginUnInit",
                                  "datamodule.so PluginUnInit"}));
        EXPECT_FALSE(std::filesystem::exists(home_ / "zorled.lock"));
        int terminated = 0;
        for (const auto& p : receiver.Take())
            if (p.size() > 114 && (p[112] & kE131StreamTerminated)) ++terminated;
        EXPECT_EQ(terminated, 3) << signal;
        for (auto& m : notify_.Take()) messages_.push_back(m);
        EXPECT_EQ(Count("STOPPING=1"), 1);
    }
}

TEST_F(Program, PlayAtStartWithoutASavedSelectionStartsInDesignMode) {
    for (const bool emptySelection : {false, true}) {
        messages_.clear();
        if (emptySelection) WriteTextList(home_ / "pagedef" / "SelectList.PLN", {});
        QProcess& program = Start({"--play"});
        ASSERT_TRUE(WaitFor(program, [&] { return Count("READY=1") == 1; }));
        EXPECT_EQ(Count("STATUS=设计模式"), 1);
        EXPECT_EQ(Count("WATCHDOG=1"), 0) << "no watchdog asked for";
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        ASSERT_TRUE(program.waitForFinished(30000));
        EXPECT_EQ(program.exitCode(), 0);
        EXPECT_NE(program.readAllStandardError().toStdString().find("以设计模式启动"), std::string::npos);
        std::string log;
        for (const auto& entry : std::filesystem::directory_iterator(home_ / "log")) log += ReadWholeFile(entry.path());
        EXPECT_NE(log.find("\tdesign\t"), std::string::npos) << log;
    }
}

TEST_F(Program, PlayAtStartGoesPastABrokenFirstPageAndWaitsForPagesPutBack) {
    ASSERT_TRUE(notify_.Ready());
    const auto pagedef = home_ / "pagedef";
    // Cut off after "Left = ", as a copy broken half-way leaves it.
    WriteFileAtomic(pagedef / "p1.DFM", "object P: TFrmZorLedForm\r\n  displaytime = 4\r\n  Left = ");
    const std::string second = "object P: TFrmZorLedForm\r\n  displaytime = 4\r\nend\r\n";
    WriteFileAtomic(pagedef / "页二.DFM", second);
    // Names in the lists are in GBK, as the plan editor writes them.
    WriteTextList(pagedef / "A.LED", {"p1", Utf8ToGbk("页二")});
    WriteTextList(pagedef / "SelectList.PLN", {"A"});
    QProcess& program = Start({"--play"});
    ASSERT_TRUE(WaitFor(program, [&] { return Count("READY=1") == 1 && Count("STATUS=播放 页二") == 1; }))
        << program.readAllStandardError().toStdString();
    EXPECT_EQ(Count("STATUS=设计模式"), 0);

    // Every page gone: play says so and waits; the page put back plays again.
    std::filesystem::remove(pagedef / "页二.DFM");
    const auto waiting = [&] {
        return std::any_of(messages_.begin(), messages_.end(),
                           [](const std::string& m) { return m.find("没有可播放的页面") != std::string::npos; });
    };
    ASSERT_TRUE(WaitFor(program, waiting));
    WriteFileAtomic(pagedef / "页二.DFM", second);
    ASSERT_TRUE(WaitFor(program, [&] { return Count("STATUS=播放 页二") == 2; }));

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitCode(), 0);
    std::string log;
    for (const auto& entry : std::filesystem::directory_iterator(home_ / "log")) log += ReadWholeFile(entry.path());
    // The broken page once, by its file, however often play came round to it.
    const std::string named = (pagedef / "p1.DFM").string();
    const size_t first = log.find(named);
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(named, first + 1), std::string::npos) << log;
    EXPECT_NE(log.find("没有可播放的页面"), std::string::npos) << log;
}

TEST_F(Program, ASecondCopyOnTheSameHomeEndsWithItsOwnStatus) {
    QProcess& first = Start({});
    ASSERT_TRUE(WaitFor(first, [&] { return Count("READY=1") == 1; }));
    QProcess& second = Start({"--play"});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), kExitHomeInUse);
    EXPECT_NE(second.readAllStandardError().toStdString().find("is in use by another copy of ZorLED"),
              std::string::npos);
    EXPECT_EQ(first.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(30000));
    EXPECT_EQ(first.exitCode(), 0);
}

// Asked on a console or over ssh, where there is no screen at all.
TEST_F(Program, HelpListsTheOptionsWithoutAScreen) {
    QProcess& program = Start({"--help"}, "", false);
    ASSERT_TRUE(program.waitForFinished(30000));
    const std::string out = program.readAllStandardOutput().toStdString();
    EXPECT_NE(out.find("--play"), std::string::npos) << out;
    EXPECT_EQ(program.exitCode(), 0);
}

// A sign started before its X server (or with none to import) says so and ends with 69, which its
// unit waits longer after; it never aborts.
TEST_F(Program, WithoutADisplayPlayEndsWithItsOwnStatusAndOneLine) {
    int free = 4093;
    while (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(free))) ++free;
    WriteSelection({"p1"});
    struct Case {
        QString display;
        std::string why;
    };
    for (const Case& c : {Case{"", "DISPLAY is not set"}, Case{":" + QString::number(free), "cannot open X display"}}) {
        SCOPED_TRACE(c.why);
        QProcess& program = Start({"--play"}, "", false, c.display);
        ASSERT_TRUE(program.waitForFinished(30000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), kExitNoDisplay);
        const std::string err = program.readAllStandardError().toStdString();
        EXPECT_EQ(err.rfind("zorled: no display: ", 0), 0u) << err;
        EXPECT_NE(err.find(c.why), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
}

// A data module's children (the host's process group) end with the program, however it ends.
TEST_F(Program, WhatADataModuleStartedEndsWithTheProgram) {
    ASSERT_TRUE(notify_.Ready());
    WriteFileAtomic(home_ / "pagedef" / "fed.DFM",
                    "object P: TFrmZorLedForm\r\n  displaytime = 5\r\n  object M: Tzorledzmd\r\n"
                    "    datainterface = datafromexetxt\r\n    ExeFileName = '" +
                        (FixtureFolder("data") / "forking.so").string() + "'\r\n    TextFileName = '" +
                        (home_ / "data.txt").string() + "'\r\n  end\r\nend\r\n");
    WriteTextList(home_ / "pagedef" / "A.LED", {"fed"});
    WriteTextList(home_ / "pagedef" / "SelectList.PLN", {"A"});
    // The module's call never returns: its children stay until someone ends them.
    ::setenv("ZORLED_FIXTURE_RELEASE", (home_ / "never").c_str(), 1);
    ::setenv("ZORLED_FIXTURE_DATA", (home_ / "data.txt").c_str(), 1);
    for (const int signal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(signal);
        QProcess& program = Start({"--play"});
        const long pid = program.processId();
        long host = 0;
        // The host leads its own group: itself, a sleeping child with a child, and an orphan.
        ASSERT_TRUE(WaitFor(program, [&] {
            for (const auto& p : testing::Processes())
                if (p.parent == pid && p.group == p.pid) host = p.pid;
            return host > 0 && testing::LiveInGroup(host) == 4;
        })) << host;
        ::kill(static_cast<pid_t>(pid), signal);
        ASSERT_TRUE(program.waitForFinished(30000));
        EXPECT_TRUE(testing::WaitUntil([&] { return testing::LiveInGroup(host) == 0; }))
            << testing::LiveInGroup(host) << " left";
    }
    ::unsetenv("ZORLED_FIXTURE_RELEASE");
    ::unsetenv("ZORLED_FIXTURE_DATA");
}

// The unit a sign runs under, as systemd reads it: never given up, slower to retry without a
// display, and a watchdog well above the longest page load bench_pageload measures (a
// 10,000-widget page) but far below the minute a frozen sign used to stay dark.
TEST(Unit, NeverGivesUpWaitsLongerWithoutADisplayAndWatchesAboveTheLongestPageLoad) {
    const std::filesystem::path file = std::filesystem::path(ZORLED_BINARY_DIR) / "packaging" / "zorled.service";
    const std::string unit = ReadWholeFile(file);
    const auto value = [&](const std::string& key) {
        const size_t at = unit.find("\n" + key + "=");
        if (at == std::string::npos) return std::string();
        const size_t from = at + key.size() + 2;
        return unit.substr(from, unit.find('\n', from) - from);
    };
    EXPECT_EQ(value("StartLimitIntervalSec"), "0");
    EXPECT_EQ(value("Restart"), "always");
    EXPECT_EQ(value("RestartPreventExitStatus"), std::to_string(kExitHomeInUse));
    EXPECT_NE(value("ExecStopPost").find("!= " + std::to_string(kExitNoDisplay)), std::string::npos);
    const std::string watchdog = value("WatchdogSec");
    ASSERT_FALSE(watchdog.empty());
    EXPECT_GE(std::stoi(watchdog), 10);
    EXPECT_LE(std::stoi(watchdog), 20);

    // systemd itself accepts it, with the program of this build in its command.
    const testing::ScratchDir work{"zorled-unit"};
    std::filesystem::create_directories(work / "runtime");
    std::filesystem::permissions(work / "runtime", std::filesystem::perms::owner_all);
    std::string local = unit;
    const size_t exec = local.find("\nExecStart=") + 11;
    local.replace(exec, local.find(' ', exec) - exec, std::string(ZORLED_BINARY_DIR) + "/src/app/zorled");
    WriteFileAtomic(work / "zorled.service", local);
    QProcess verify;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString((work / "runtime").string()));
    verify.setProcessEnvironment(env);
    verify.setProcessChannelMode(QProcess::MergedChannels);
    verify.start("systemd-analyze", {"--user", "verify", "--man=no", QString::fromStdString((work / "zorled.service").string())});
    if (!verify.waitForStarted(10000)) GTEST_SKIP() << "no systemd-analyze";
    ASSERT_TRUE(verify.waitForFinished(60000));
    EXPECT_EQ(verify.exitCode(), 0) << verify.readAll().toStdString();
}

TEST_F(Program, AfterAKillDuringPage2Of3PlayAtStartResumesAtPage2) {
    WriteSelection({"p1", "p2", "p3"});
    QProcess& first = Start({"--play"});
    ASSERT_TRUE(WaitFor(first, [&] { return Count("STATUS=播放 p2") == 1; }));
    first.kill();
    ASSERT_TRUE(first.waitForFinished(30000));
    messages_.clear();
    QProcess& second = Start({"--play"});
    ASSERT_TRUE(WaitFor(second, [&] { return Count("READY=1") == 1; }));
    ASSERT_FALSE(messages_.empty());
    EXPECT_EQ(messages_.front(), "STATUS=播放 p2");
    ::kill(static_cast<pid_t>(second.processId()), SIGTERM);
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 0);
    // The log tells the story: p1 shown whole, p2 cut by the kill (shown, no end line), resumed,
    // stopped.
    Lines kinds;
    for (const auto& entry : std::filesystem::directory_iterator(home_ / "log"))
        for (const auto& line : ReadTextList(entry.path())) {
            const auto tab = line.find('\t');
            kinds.push_back(line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1));
        }
    EXPECT_EQ(kinds, Lines({"start", "showing", "page", "showing", "resume", "start", "showing", "page", "stop"}));
}

}  // namespace
}  // namespace zl
