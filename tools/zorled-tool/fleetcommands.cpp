// The fleet's sub-commands: a headless sign, and the publisher's publish, announce, fleet, shot.
#include "fleetcommands.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "app/fleetplay.h"
#include "app/mainwindow.h"
#include "app/signplay.h"
#include "core/atomicfile.h"
#include "core/error.h"
#include "core/home.h"
#include "core/playlog.h"
#include "fleet/fleetconfig.h"
#include "fleet/proofofplay.h"
#include "fleet/publisher.h"
#include "desk/deskauth.h"
#include "desk/deskconfig.h"
#include "desk/deskserver.h"
#include <termios.h>
#include <unistd.h>
#include <iostream>
#include "qtbase/application.h"
#include "qtbase/lifetime.h"
#include "qtbase/systemtimers.h"

namespace zl {
namespace {

struct Options {
    std::map<std::string, std::string> named;
    std::vector<std::string> positional;
    bool Has(const char* name) const { return named.count(name) != 0; }
    std::string Get(const char* name) const {
        auto it = named.find(name);
        return it == named.end() ? std::string() : it->second;
    }
};

// "--name value" pairs from the allowed names, and the rest in order.
Options Parse(const std::vector<std::string>& args, std::initializer_list<const char*> allowed) {
    Options o;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i].rfind("--", 0) == 0 && args[i].size() > 2) {
            bool known = false;
            for (const char* name : allowed) known |= args[i] == name;
            if (!known) throw Error("Unknown option \"" + args[i] + "\"");
            if (i + 1 == args.size()) throw Error("Option \"" + args[i] + "\" needs a value");
            o.named[args[i]] = args[i + 1];
            ++i;
        } else {
            o.positional.push_back(args[i]);
        }
    }
    return o;
}

std::string Required(const Options& o, const char* name) {
    if (!o.Has(name)) throw Error(std::string("Option \"") + name + "\" is required");
    return o.Get(name);
}

long long Whole(const std::string& text, const char* name, long long first, long long last) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos ||
        std::stoll(text) < first || std::stoll(text) > last)
        throw Error(Format("%s \"%s\" is not valid: give a whole number from %lld to %lld", name, text.c_str(), first,
                           last));
    return std::stoll(text);
}

FleetConfig PublisherConfig(const Options& o) {
    return ReadFleetConfig(Required(o, "--fleet"), FleetRole::Publisher);
}

}  // namespace

int RunSign(const std::vector<std::string>& args) {
    const Options o = Parse(args, {"--home", "--seconds"});
    if (!o.positional.empty()) throw Error("usage: zorled-tool sign --home DIR [--seconds N]");
    const std::filesystem::path home = std::filesystem::absolute(Required(o, "--home"));
    const long long seconds = o.Has("--seconds") ? Whole(o.Get("--seconds"), "Seconds", 1, 999999999) : 0;
    if (!std::filesystem::exists(home / "fleet.ini"))
        throw Error(Format("No fleet settings in \"%s\": fleet.ini is missing", home.string().c_str()));
    // One sign per home: two would apply bundles into the same folders.
    HomeLock lock(home);
    // The status of its own tells a service manager not to restart into the same refusal.
    if (!lock.TryLock()) {
        std::fprintf(stderr, "%s\n", qPrintable(lock.Message()));
        return kExitHomeInUse;
    }
    setenv("ZORLED_HOME", home.c_str(), 1);
    InstallSystemTime();
    SetErrorReporter([](const QString& message) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        std::fflush(stderr);
    });
    // Stop signals end the run in the event loop, so the sign says goodbye to the broker. One
    // served before the loop runs (setting up may serve events) finds no loop to quit: the flag
    // keeps it from being lost.
    bool stopped = false;
    // Under a unit of Type=notify, as the program is: ready, status lines, and watchdog pings from
    // the event loop, so a sign whose play hangs is ended and restarted rather than shown running.
    ServiceNotifier service;
    StopSignals stop([&stopped, &service](int) {
        stopped = true;
        service.Stopping();
        QCoreApplication::quit();
    });

    TSYS_Frmzorled window(nullptr, TSYS_Frmzorled::Use::PlayOnly);
    window.RunPlanEditor = [] { return true; };
    // The play log, as a sign's program keeps it: proof of play over the fleet reads it.
    SignPlay signPlay(window, home, &service);
    std::unique_ptr<FleetPlay> fleet;
    fleet = std::make_unique<FleetPlay>(window, home, ReadFleetConfig(home / "fleet.ini", FleetRole::Sign));
    fleet->Log = [](const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    };
    fleet->Problem = [&signPlay](const std::string& message) { signPlay.FleetProblem(message); };
    fleet->Start();
    // Play runs from the start; with nothing to play it waits for the fleet's first bundle.
    window.Playing = true;
    Guarded([&] {
        std::error_code ec;
        if (std::filesystem::exists(PageDefDir() / "SelectList.PLN", ec)) window.StartPlay();
    });
    window.Playing = true;
    service.Ready();
    if (seconds > 0) QTimer::singleShot(static_cast<int>(std::min<long long>(seconds * 1000, INT32_MAX)), [] {
        QCoreApplication::quit();
    });
    const int status = stopped ? 0 : QCoreApplication::exec();
    const bool connected = fleet->Sign().EverConnected();
    fleet.reset();
    Guarded([&] { window.StopPlay(); });
    signPlay.Follow();
    if (status == kExitRestart) return kExitRestart;
    if (!connected) {
        std::fprintf(stderr, "The sign never connected to its broker\n");
        return kExitNeverConnected;
    }
    return 0;
}

int RunPublish(const std::vector<std::string>& args) {
    const Options o = Parse(args, {"--fleet", "--group", "--home", "--wait"});
    if (!o.positional.empty()) throw Error("usage: zorled-tool publish --fleet FILE --group G [--home DIR] [--wait S]");
    const FleetConfig config = PublisherConfig(o);
    const std::string group = Required(o, "--group");
    const std::filesystem::path home = o.Has("--home") ? std::filesystem::path(o.Get("--home")) : ProgramHome();
    const int wait = o.Has("--wait") ? static_cast<int>(Whole(o.Get("--wait"), "Wait", 0, 86400)) : 0;
    const PublishResult r = PublishBundle(config, group, home / "pagedef", wait);
    for (const std::string& w : r.warnings) std::fprintf(stderr, "warning: %s\n", w.c_str());
    if (!r.versionNote.empty()) std::fprintf(stderr, "note: %s\n", r.versionNote.c_str());
    std::printf("published bundle %s (version %lld) to group %s\n", r.sha256.substr(0, 12).c_str(),
                static_cast<long long>(r.version), group.c_str());
    if (wait <= 0) return 0;
    std::printf("%zu of %zu signs of group %s applied it\n", r.applied.size(), r.applied.size() + r.missing.size(),
                group.c_str());
    if (!r.missing.empty()) {
        std::string names;
        for (const std::string& s : r.missing) {
            const bool offline = std::count(r.offline.begin(), r.offline.end(), s) != 0;
            names += (names.empty() ? "" : ", ") + s + (offline ? " (offline)" : "");
        }
        std::printf("not applied: %s\n", names.c_str());
    }
    return r.missing.empty() && !r.applied.empty() ? 0 : 3;
}

int RunAnnounce(const std::vector<std::string>& args) {
    const Options o = Parse(args, {"--fleet", "--group", "--widget", "--minutes"});
    if (o.positional.size() != 1)
        throw Error("usage: zorled-tool announce --fleet FILE --group G --widget NAME [--minutes M] TEXT");
    double minutes = 0;
    if (o.Has("--minutes")) {
        char* end = nullptr;
        const std::string text = o.Get("--minutes");
        minutes = std::strtod(text.c_str(), &end);
        if (text.empty() || *end || !(minutes > 0) || minutes > 525600)
            throw Error("Minutes \"" + text + "\" are not valid: give a number above 0 and up to 525600");
    }
    const std::string note =
        Announce(PublisherConfig(o), Required(o, "--group"), Required(o, "--widget"), minutes, o.positional[0]);
    if (!note.empty()) std::fprintf(stderr, "note: %s\n", note.c_str());
    return 0;
}

int RunFleet(const std::vector<std::string>& args) {
    const Options o = Parse(args, {"--fleet", "--group"});
    if (!o.positional.empty()) throw Error("usage: zorled-tool fleet --fleet FILE [--group G]");
    for (const QJsonObject& state : ReadStates(PublisherConfig(o), o.Get("--group")))
        std::printf("%s\n", FormatStateLine(state).c_str());
    return 0;
}

int RunShot(const std::vector<std::string>& args) {
    const Options o = Parse(args, {"--fleet", "--sign"});
    if (o.positional.size() != 1) throw Error("usage: zorled-tool shot --fleet FILE --sign S OUT.PNG");
    const std::string png = RequestShot(PublisherConfig(o), Required(o, "--sign"), 15000);
    WriteFileAtomic(o.positional[0], png);
    return 0;
}

int RunFleetPlayLog(const std::vector<std::string>& args) {
    const Options o = Parse(args, {"--fleet", "--group", "--from", "--to"});
    if (!o.positional.empty())
        throw Error("usage: zorled-tool playlog --fleet FILE [--group G] --from YYYY-MM-DD --to YYYY-MM-DD");
    const FleetPlayLog log =
        CollectPlayLogs(PublisherConfig(o), o.Get("--group"), Required(o, "--from"), Required(o, "--to"), 10000);
    std::printf("%s", PlayRowsCsv(log.rows).c_str());
    std::fflush(stdout);
    if (log.missing.empty()) return 0;
    std::string names;
    for (const std::string& s : log.missing) names += (names.empty() ? "" : ", ") + s;
    std::fprintf(stderr, "no answer within 10 s from: %s\n", names.c_str());
    return 3;
}

int RunDesk(const std::vector<std::string>& args) {
    if (args.size() == 2 && args[1] == "--hash-password") {
        // Typed at a terminal the password is not echoed; piped in it is read as it comes.
        const bool terminal = isatty(STDIN_FILENO);
        termios saved{};
        if (terminal) {
            std::fprintf(stderr, "Password: ");
            tcgetattr(STDIN_FILENO, &saved);
            termios quiet = saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
        }
        std::string password;
        std::getline(std::cin, password);
        if (terminal) {
            tcsetattr(STDIN_FILENO, TCSANOW, &saved);
            std::fprintf(stderr, "\n");
        }
        if (!password.empty() && password.back() == '\r') password.pop_back();
        if (password.empty()) throw Error("No password given on standard input");
        std::printf("%s\n", HashDeskPassword(password).c_str());
        return 0;
    }
    const Options o = Parse(args, {"--fleet", "--home"});
    if (!o.positional.empty()) throw Error("usage: zorled-tool desk --fleet FILE [--home DIR] | desk --hash-password");
    const std::filesystem::path file = Required(o, "--fleet");
    const FleetConfig config = PublisherConfig(o);
    const DeskConfig desk = ReadDeskConfig(file);
    const std::filesystem::path home = o.Has("--home") ? std::filesystem::path(o.Get("--home")) : ProgramHome();
    StopSignals stop([](int) { QCoreApplication::quit(); });
    DeskServer server(desk, config, std::filesystem::absolute(home));
    server.Start();
    std::printf("desk: serving %s\n", server.Url().toUtf8().constData());
    std::fflush(stdout);
    QCoreApplication::exec();
    return 0;
}

}  // namespace zl
