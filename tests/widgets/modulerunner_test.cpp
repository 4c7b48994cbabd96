#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/clock.h"
#include "plugins/modulerunner.h"
#include "qtbase/application.h"
#include "support/pluginfixtures.h"
#include "support/scratchdir.h"

namespace zl {
namespace {

using testing::FixtureCalls;
using testing::FixtureFolder;
using testing::LiveInGroup;
using testing::ScratchDir;
using testing::WaitUntil;
using Lines = std::vector<std::string>;

// Data modules that crash, leak or are not callable, run through the real host process.
class ModuleHost : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = SetErrorReporter([this](const QString& m) { reported.push_back(m.toStdString()); });
        ::setenv("ZORLED_FIXTURE_DATA", (scratch / "data.txt").c_str(), 1);
        // Hosts take the environment they start with; the crashing module crashes while this file exists.
        ::setenv("ZORLED_FIXTURE_CRASH", (scratch / "crash").c_str(), 1);
    }
    void TearDown() override {
        runner.Stop();
        ::unsetenv("ZORLED_FIXTURE_DATA");
        ::unsetenv("ZORLED_FIXTURE_CRASH");
        ::unsetenv("ZORLED_MODULE_MEMORY_LIMIT_MB");
        SetErrorReporter(previous_);
    }
    static std::string Module(const char* name) { return (FixtureFolder("data") / name).string(); }
    // One pass: the call's outcome once it is known.
    bool Pass(const std::string& module) {
        std::optional<bool> outcome;
        runner.Call(module, [&](bool returned) { outcome = returned; });
        EXPECT_TRUE(WaitUntil([&] { return outcome.has_value(); }));
        return outcome.value_or(false);
    }
    std::string Data() {
        std::ifstream in(scratch / "data.txt");
        std::string s;
        std::getline(in, s);
        return s;
    }
    int Reports(const char* part) const {
        int n = 0;
        for (const auto& r : reported) n += r.find(part) != std::string::npos;
        return n;
    }

    ManualTimeSource manual{MakeLocalMs(2024, 3, 1, 8, 0, 0)};
    ScopedTimeSource scope{manual};
    ScratchDir scratch{"zorled-modulehost"};
    FixtureCalls calls{scratch};
    ModuleRunner& runner = ModuleRunner::Instance();
    Lines reported;
    ErrorReporter previous_;
};

TEST_F(ModuleHost, InitOncePerMentionThenDataCallsThenUnInitOncePerMention) {
    runner.Start({Module("datamodule.so"), Module("crashing.so"), Module("datamodule.so")});
    EXPECT_EQ(runner.RunningHosts(), 2) << "one host per module file";
    EXPECT_TRUE(Pass(Module("datamodule.so")));
    runner.Stop();
    EXPECT_EQ(runner.RunningHosts(), 0);
    Lines own;
    for (const auto& line : calls.Lines())
        if (line.starts_with("datamodule.so")) own.push_back(line);
    EXPECT_EQ(own, Lines({"datamodule.so PluginInit", "datamodule.so PluginInit", "datamodule.so Plugingetdata",
                          "datamodule.so PluginUnInit", "datamodule.so PluginUnInit"}));
    EXPECT_TRUE(reported.empty());
}

TEST_F(ModuleHost, AModuleCrashingInACallIsReportedOnceAndStartedAfreshWithInitAtTheNextPass) {
    const std::string module = Module("crashing.so");
    runner.Start({module});
    EXPECT_TRUE(Pass(module));
    EXPECT_EQ(Data(), "call 1");
    const auto crash = scratch / "crash";
    std::ofstream(crash) << "";
    EXPECT_FALSE(Pass(module)) << "the widget keeps its text";
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_NE(reported[0].find("crashed"), std::string::npos) << reported[0];
    EXPECT_EQ(runner.RunningHosts(), 0);
    std::filesystem::remove(crash);
    EXPECT_TRUE(Pass(module));
    EXPECT_EQ(Data(), "call 1") << "a fresh host";
    EXPECT_EQ(reported.size(), 1u);
    EXPECT_EQ(calls.Lines(), Lines({"crashing.so PluginInit", "crashing.so Plugingetdata", "crashing.so Plugingetdata",
                                    "crashing.so PluginInit", "crashing.so Plugingetdata"}));
}

TEST_F(ModuleHost, AModuleCrashingInInitCostsItsHostOnly) {
    const std::string module = Module("initcrash.so");
    runner.Start({module});
    ASSERT_TRUE(WaitUntil([&] { return reported.size() == 1; }));
    EXPECT_NE(reported[0].find("crashed"), std::string::npos) << reported[0];
    // Each pass tries again with PluginInit first; each crash is one report.
    EXPECT_FALSE(Pass(module));
    EXPECT_EQ(reported.size(), 2u);
    EXPECT_EQ(calls.Lines(), Lines({"initcrash.so PluginInit", "initcrash.so PluginInit"}));
}

TEST_F(ModuleHost, AnExportThatIsNotAFunctionIsNeverCalledAndReportedOnce) {
    const std::string module = Module("datasymbol.so");
    runner.Start({module});
    EXPECT_TRUE(Pass(module));
    EXPECT_TRUE(Pass(module));
    EXPECT_EQ(runner.RunningHosts(), 1);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_NE(reported[0].find("not a function"), std::string::npos) << reported[0];
}

TEST_F(ModuleHost, AHostAboveTheMemoryLimitIsRecycledWithInitAgain) {
    ::setenv("ZORLED_MODULE_MEMORY_LIMIT_MB", "24", 1);
    const std::string module = Module("leaking.so");
    runner.Start({module});
    const long first = runner.HostProcessId(module);
    for (int i = 0; i < 40; ++i) Pass(module);
    EXPECT_EQ(Reports("above the limit of 24 MB"), 1) << (reported.empty() ? "" : reported[0]);
    EXPECT_EQ(reported.size(), 1u);
    EXPECT_NE(runner.HostProcessId(module), first);
    int inits = 0;
    for (const auto& line : calls.Lines()) inits += line == "leaking.so PluginInit";
    EXPECT_EQ(inits, 2);
}

TEST_F(ModuleHost, EveryWayAHostEndsEndsWhatItsModuleStarted) {
    const std::string module = Module("forking.so");
    struct Case {
        const char* what;
        std::function<void(long host)> end;
    } cases[] = {
        {"stop", [&](long) { runner.Stop(); }},
        {"call limit", [&](long) { manual.Advance(kModuleCallTimeoutMs); }},
        {"host crash", [&](long host) {
             ::kill(static_cast<pid_t>(host), SIGKILL);
             EXPECT_TRUE(WaitUntil([&] { return runner.RunningHosts() == 0; }));
         }},
    };
    ::setenv("ZORLED_FIXTURE_RELEASE", (scratch / "never").c_str(), 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        runner.Start({module});
        runner.Call(module, [](bool) {});
        ASSERT_TRUE(WaitUntil([&] { return runner.HostProcessId(module) > 0; }));
        const long host = runner.HostProcessId(module);
        // The host, a sleeping child with a child of its own, and the orphan of a child that ended.
        ASSERT_TRUE(WaitUntil([&] { return LiveInGroup(host) == 4; })) << LiveInGroup(host);
        c.end(host);
        EXPECT_TRUE(WaitUntil([&] { return LiveInGroup(host) == 0; })) << LiveInGroup(host) << " left";
        runner.Stop();
    }
    ::unsetenv("ZORLED_FIXTURE_RELEASE");
}

TEST_F(ModuleHost, StopEndsAHostStuckInACall) {
    const std::string module = Module("slow.so");
    ::setenv("ZORLED_FIXTURE_RELEASE", (scratch / "never").c_str(), 1);
    runner.Start({module});
    std::optional<bool> outcome;
    runner.Call(module, [&](bool returned) { outcome = returned; });
    ASSERT_TRUE(WaitUntil([&] { return calls.Lines().size() == 2; }));
    const long pid = runner.HostProcessId(module);
    ASSERT_GT(pid, 0);
    runner.Stop();
    ::unsetenv("ZORLED_FIXTURE_RELEASE");
    EXPECT_EQ(outcome, std::optional<bool>(false));
    EXPECT_NE(::kill(static_cast<pid_t>(pid), 0), 0) << "the host is gone";
    EXPECT_TRUE(reported.empty());
}

}  // namespace
}  // namespace zl
