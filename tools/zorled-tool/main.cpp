// Headless companion of ZorLED: page text, re-saving and new pages without a screen.
#include <QApplication>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/headless.h"
#include "fleetcommands.h"
#include "app/playsimulation.h"
#include "core/atomicfile.h"
#include "core/clock.h"
#include "core/error.h"
#include "core/pagetext/parser.h"
#include "core/pagetext/writer.h"
#include "page/frmzorledform.h"
#include "page/pagefile.h"
#include "output/streampage.h"
#include "core/playlog.h"
#include "core/home.h"
#include "core/codepage.h"
#include "core/schedule.h"
#include "editors/playfiles.h"
#include <regex>
#include "qtbase/lifetime.h"
#include "plugins/dlllistclass.h"
#include "plugins/modulerunner.h"
#include "qtbase/application.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: zorled-tool pagetext FILE\n"
                 "       zorled-tool new OUT.DFM [KIND ...]\n"
                 "       zorled-tool resave IN.DFM OUT.DFM\n"
                 "       zorled-tool play [--at \"YYYY-MM-DD HH:MM:SS\"] [--seconds N]\n"
                 "       zorled-tool schedule [--at \"YYYY-MM-DD HH:MM:SS\"] [--days N]\n"
                 "       zorled-tool stream IN.DFM --seconds N\n"
                 "       zorled-tool pattern --output NAME --kind chase|red|green|blue|white|gradient|grid|corners "
                 "[--seconds N]\n"
                 "       zorled-tool render IN.DFM OUT.PNG [--ms N] [--at \"YYYY-MM-DD HH:MM:SS\"]\n"
                 "       zorled-tool sign --home DIR [--seconds N]\n"
                 "       zorled-tool publish --fleet FILE --group G [--home DIR] [--wait S]\n"
                 "       zorled-tool announce --fleet FILE --group G --widget NAME [--minutes M] TEXT\n"
                 "       zorled-tool fleet --fleet FILE [--group G]\n"
                 "       zorled-tool shot --fleet FILE --sign S OUT.PNG\n"
                 "       zorled-tool playlog [--from YYYY-MM-DD] [--to YYYY-MM-DD]\n"
                 "       zorled-tool playlog --fleet FILE [--group G] --from YYYY-MM-DD --to YYYY-MM-DD\n"
                 "       zorled-tool desk --fleet FILE [--home DIR]\n"
                 "       zorled-tool desk --hash-password\n");
    return 1;
}

// A whole number in first..last, or nothing.
std::optional<long long> WholeNumber(const std::string& text, long long first, long long last) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return {};
    const long long value = std::stoll(text);
    if (value < first || value > last) return {};
    return value;
}

// Seconds each page was shown per day, from the home's play log: proof of play.
int PlayLogSums(const std::vector<std::string>& args) {
    std::string from, to;
    for (size_t i = 1; i < args.size(); i += 2) {
        if (i + 1 == args.size() || (args[i] != "--from" && args[i] != "--to")) return Usage();
        const std::string& day = args[i + 1];
        if (!zl::ValidDay(day))
            throw zl::Error(zl::Format("Date \"%s\" is not valid: give a date of the calendar as YYYY-MM-DD", day.c_str()));
        (args[i] == "--from" ? from : to) = day;
    }
    std::printf("date\tplan\tpage\tseconds\n");
    for (const auto& [key, seconds] : zl::SumPlayLog(zl::ProgramHome(), from, to)) {
        // No plan is named empty: that key is the sign's dark time.
        if (std::get<1>(key).empty() && std::get<2>(key).empty())
            std::printf("%s\tdark\t\t%lld\n", std::get<0>(key).c_str(), seconds);
        else
            std::printf("%s\t%s\t%s\t%lld\n", std::get<0>(key).c_str(), std::get<1>(key).c_str(),
                        std::get<2>(key).c_str(), seconds);
    }
    return 0;
}

const char* const kKindNames[] = {"", "label", "image", "marquee", "clock", "board"};

std::filesystem::path UnitPath(std::filesystem::path page) { return page.replace_extension(".Pas"); }

void SaveAsSaveDoes(zl::TFrmZorLedForm& page, const std::filesystem::path& out) {
    zl::SavePageFile(page, out);
    zl::WriteUnitSource(page, UnitPath(out));
}

long long Seconds(const std::string& value) {
    const auto given = WholeNumber(value, 0, 999999999);
    if (!given)
        throw zl::Error(zl::Format("Seconds \"%s\" are not valid: give a whole number from 0 to 999999999",
                                   value.c_str()));
    return *given;
}

int SimulatePlay(long long seconds, std::optional<zl::LocalMs> at) {
    zl::SetErrorReporter([](const QString& message) { std::fprintf(stderr, "%s\n", qPrintable(message)); });
    zl::SimulatePlayRun(seconds, [](const std::string& line) { std::printf("%s\n", line.c_str()); }, at);
    return 0;
}

// "YYYY-MM-DD HH:MM:SS" as local time, checked field by field.
std::optional<zl::LocalMs> ParseInstant(const std::string& text) {
    int year, month, day, hour, minute, second;
    char tail;
    if (text.size() != 19 || std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &year, &month, &day, &hour,
                                         &minute, &second, &tail) != 6)
        return std::nullopt;
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1] || (month == 2 && day == 29 && !leap) ||
        hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    return zl::MakeLocalMs(year, month, day, hour, minute, second);
}

zl::LocalMs InstantArgument(const std::string& value) {
    const auto at = ParseInstant(value);
    if (!at)
        throw zl::Error(zl::Format("--at takes a local time as \"YYYY-MM-DD HH:MM:SS\", not \"%s\"", value.c_str()));
    return *at;
}

// What the home's selection plays when, from its schedules and dark hours: one line an
// interval, local time.
int PrintSchedule(const std::vector<std::string>& args) {
    std::optional<zl::LocalMs> at;
    long long days = 7;
    for (size_t i = 1; i < args.size(); i += 2) {
        if (i + 1 == args.size()) return Usage();
        if (args[i] == "--at") {
            at = InstantArgument(args[i + 1]);
        } else if (args[i] == "--days") {
            const auto given = WholeNumber(args[i + 1], 1, 3660);
            if (!given)
                throw zl::Error(zl::Format("Days \"%s\" are not valid: give a whole number from 1 to 3660",
                                           args[i + 1].c_str()));
            days = *given;
        } else {
            return Usage();
        }
    }
    const zl::UtcMs from = at ? zl::UtcFromLocal(*at) : zl::SystemClock().Utc();
    const zl::UtcMs to = zl::UtcFromLocal(zl::LocalFromUtc(from) + days * zl::kMsPerDay);
    const auto select = zl::FindFileCaseInsensitive(zl::SelectListPath());
    const zl::StringList selection = select ? zl::ReadTextList(*select) : zl::StringList{};
    const zl::PlaySchedule schedule = zl::LoadPlaySchedule(zl::PageDefDir(), selection, [](const std::string& problem) {
        std::fprintf(stderr, "%s\n", zl::GbkToUtf8(problem).c_str());
    });
    const auto minute = [](zl::UtcMs t) { return zl::LocalSecond(zl::LocalFromUtc(t)).substr(0, 16); };
    for (const zl::TimelineEntry& entry : zl::Timeline(schedule, from, to)) {
        std::string what;
        for (const std::string& plan : entry.state.plans) what += (what.empty() ? "" : ",") + zl::GbkToUtf8(plan);
        if (entry.state.dark) what = "dark";
        std::printf("%s\t%s\t%s\n", minute(entry.start).c_str(), minute(entry.end).c_str(), what.c_str());
    }
    return 0;
}

// Opens the page as Open does, starts its widgets as play does, lets `ms` of virtual time pass
// and writes the page's client area.
int Render(const std::vector<std::string>& args) {
    if (args.size() < 3) return Usage();
    long long ms = 0;
    std::optional<zl::LocalMs> at;
    for (size_t i = 3; i < args.size(); ++i) {
        if (i + 1 == args.size()) return Usage();
        const std::string& value = args[++i];
        if (args[i - 1] == "--ms") {
            if (value.empty() || value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos) {
                std::fprintf(stderr, "--ms takes a whole number of milliseconds, not \"%s\"\n", value.c_str());
                return 1;
            }
            ms = std::stoll(value);
        } else if (args[i - 1] == "--at") {
            at = ParseInstant(value);
            if (!at) {
                std::fprintf(stderr, "--at takes a local time as \"YYYY-MM-DD HH:MM:SS\", not \"%s\"\n", value.c_str());
                return 1;
            }
        } else {
            return Usage();
        }
    }
    zl::ManualTimeSource manual(at ? *at : zl::SystemClock().Now());
    zl::ScopedTimeSource scope(manual);
    // Errors are reported as the program reports them and the run goes on, as it does there;
    // the picture is written all the same and the exit status tells that something failed.
    int errors = 0;
    zl::SetErrorReporter([&errors](const QString& message) {
        ++errors;
        std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    std::unique_ptr<zl::TFrmZorLedForm> page(zl::CreatePageWindow("LedDesignWin"));
    zl::LoadPageFile(*page, args[1]);
    page->HookAllWidgets();
    page->StopWidgets();
    // The data modules this page names are initialised and uninitialised around the run, as
    // play does for the pages of its list.
    const std::filesystem::path in = args[1];
    zl::Tdlllistclass modules([&in](const std::string&) { return in; });
    const zl::StringList pages{in.stem().string()};
    modules.PageList = &pages;
    modules.CollectDataModules();
    // Virtual time has no event loop to wait in: each module call is awaited.
    zl::ModuleRunner::Instance().SetAwaitReplies(true);
    modules.InitDataModules();
    zl::Guarded([&] { page->StartWidgets(); });
    // A handler that fails leaves the clock at its time; the timers after it still run.
    const zl::LocalMs until = manual.Now() + ms;
    for (bool done = false; !done;) {
        done = true;
        zl::Guarded([&] {
            done = false;
            manual.Advance(until - manual.Now());
            done = true;
        });
    }
    const QImage image = page->grab().toImage();
    page->StopWidgets();
    modules.UnInitDataModules();
    const QString out = QString::fromStdString(args[2]);
    if (!image.save(out, "PNG")) {
        std::fprintf(stderr, "Cannot create file \"%s\".\n", args[2].c_str());
        return 1;
    }
    return errors > 0 ? 1 : 0;
}

int Run(const std::vector<std::string>& args) {
    if (args.empty()) return Usage();
    const std::string& command = args[0];
    if (command == "pagetext" && args.size() == 2) {
        const std::string text = zl::ReadWholeFile(args[1]);
        const std::string out = zl::pagetext::Write(zl::pagetext::Parse(text));
        std::fwrite(out.data(), 1, out.size(), stdout);
        return 0;
    }
    if (command == "new" && args.size() >= 2) {
        std::vector<int> kinds;
        for (size_t i = 2; i < args.size(); ++i) {
            const auto kind = WholeNumber(args[i], 1, 5);
            if (!kind)
                throw zl::Error(zl::Format("Widget kind \"%s\" is not valid: give 1 (label), 2 (image), 3 (marquee), "
                                           "4 (clock) or 5 (board)", args[i].c_str()));
            kinds.push_back(static_cast<int>(*kind));
        }
        std::unique_ptr<zl::TFrmZorLedForm> page(zl::CreatePageWindow("LedDesignWin"));
        for (int kind : kinds)
            if (!page->CreateWidget(kind))
                throw zl::Error(zl::Format("Widget kind %d (%s) cannot be created yet; no page was written", kind,
                                           kKindNames[kind]));
        SaveAsSaveDoes(*page, args[1]);
        return 0;
    }
    if (command == "resave" && args.size() == 3) {
        std::unique_ptr<zl::TFrmZorLedForm> page(zl::CreatePageWindow("LedDesignWin"));
        zl::LoadPageFile(*page, args[1]);
        page->HookAllWidgets();
        page->StopWidgets();
        SaveAsSaveDoes(*page, args[2]);
        return 0;
    }
    if (command == "play") {
        long long seconds = 60;
        std::optional<zl::LocalMs> at;
        for (size_t i = 1; i < args.size(); ++i) {
            if ((args[i] != "--seconds" && args[i] != "--at") || i + 1 == args.size()) return Usage();
            if (args[i] == "--at")
                at = InstantArgument(args[++i]);
            else
                seconds = Seconds(args[++i]);
        }
        return SimulatePlay(seconds, at);
    }
    if (command == "schedule") return PrintSchedule(args);
    if (command == "render") return Render(args);
    if (command == "sign") return zl::RunSign(args);
    if (command == "playlog")
        return std::find(args.begin(), args.end(), "--fleet") != args.end() ? zl::RunFleetPlayLog(args) : PlayLogSums(args);
    if (command == "desk") return zl::RunDesk(args);
    if (command == "publish") return zl::RunPublish(args);
    if (command == "announce") return zl::RunAnnounce(args);
    if (command == "fleet") return zl::RunFleet(args);
    if (command == "shot") return zl::RunShot(args);
    if (command == "stream" && args.size() == 4 && args[2] == "--seconds") {
        const long long seconds = Seconds(args[3]);
        zl::SetErrorReporter([](const QString& message) { std::fprintf(stderr, "%s\n", qPrintable(message)); });
        // A stop signal ends the run early through the same end: the streams say they are over.
        zl::StopSignals stop([](int) { QCoreApplication::quit(); });
        zl::StreamPage(args[1], seconds, [](const std::string& line) { std::printf("%s\n", line.c_str()); });
        return 0;
    }
    if (command == "pattern") {
        std::string output, kind;
        long long seconds = 10;
        for (size_t i = 1; i < args.size(); i += 2) {
            if (i + 1 == args.size()) return Usage();
            if (args[i] == "--output")
                output = args[i + 1];
            else if (args[i] == "--kind")
                kind = args[i + 1];
            else if (args[i] == "--seconds")
                seconds = Seconds(args[i + 1]);
            else
                return Usage();
        }
        if (output.empty() || kind.empty()) return Usage();
        zl::SetErrorReporter([](const QString& message) { std::fprintf(stderr, "%s\n", qPrintable(message)); });
        zl::StopSignals stop([](int) { QCoreApplication::quit(); });
        zl::StreamPattern(output, kind, seconds, [](const std::string& line) { std::printf("%s\n", line.c_str()); });
        return 0;
    }
    return Usage();
}

}  // namespace

// A command-line tool prints nothing on success: the headless platform's notes about the
// session it runs in (no runtime folder, no window manager hints) are no errors of ours.
void QuietPlatformChatter(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    static const char* const kChatter[] = {"QStandardPaths: ", "This plugin does not support"};
    if (type != QtFatalMsg) {
        if (context.category && std::strncmp(context.category, "qt.", 3) == 0) return;
        for (const char* chatter : kChatter)
            if (message.startsWith(QLatin1String(chatter))) return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(message));
    if (type == QtFatalMsg) std::abort();
}

int main(int argc, char** argv) {
    qInstallMessageHandler(QuietPlatformChatter);
    zl::ChooseHeadlessPlatform();
    QApplication app(argc, argv);
    zl::PrepareProgram();
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return Run(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
