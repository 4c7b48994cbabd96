// Headless companion of ZorLED: page text, re-saving and new pages without a screen.
#include <QApplication>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/headless.h"
#include "app/playsimulation.h"
#include "core/atomicfile.h"
#include "core/error.h"
#include "core/pagetext/parser.h"
#include "core/pagetext/writer.h"
#include "page/frmzorledform.h"
#include "page/pagefile.h"
#include "output/streampage.h"
#include "qtbase/application.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: zorled-tool pagetext FILE\n"
                 "       zorled-tool new OUT.DFM [KIND ...]\n"
                 "       zorled-tool resave IN.DFM OUT.DFM\n"
                 "       zorled-tool play [--seconds N]\n"
                 "       zorled-tool stream IN.DFM --seconds N\n");
    return 1;
}

// A whole number in first..last, or nothing.
std::optional<long long> WholeNumber(const std::string& text, long long first, long long last) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return {};
    const long long value = std::stoll(text);
    if (value < first || value > last) return {};
    return value;
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

int SimulatePlay(long long seconds) {
    zl::SetErrorReporter([](const QString& message) { std::fprintf(stderr, "%s\n", qPrintable(message)); });
    zl::SimulatePlayRun(seconds, [](const std::string& line) { std::printf("%s\n", line.c_str()); });
    return 0;
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
        for (size_t i = 1; i < args.size(); ++i) {
            if (args[i] != "--seconds" || i + 1 == args.size()) return Usage();
            seconds = Seconds(args[++i]);
        }
        return SimulatePlay(seconds);
    }
    if (command == "stream" && args.size() == 4 && args[2] == "--seconds") {
        const long long seconds = Seconds(args[3]);
        zl::SetErrorReporter([](const QString& message) { std::fprintf(stderr, "%s\n", qPrintable(message)); });
        zl::StreamPage(args[1], seconds, [](const std::string& line) { std::printf("%s\n", line.c_str()); });
        return 0;
    }
    return Usage();
}

}  // namespace

int main(int argc, char** argv) {
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
