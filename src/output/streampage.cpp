#include "output/streampage.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <optional>

#include "core/error.h"
#include "output/ledoutputengine.h"
#include "page/frmzorledform.h"
#include "page/pagefile.h"
#include "plugins/dlllistclass.h"
#include "qtbase/systemtimers.h"

namespace zl {

namespace {

// Streams until `seconds` have passed on real time, then ends the streams and gives one
// summary line per output.
void Run(LedOutputEngine& engine, const std::vector<LedOutputConfig>& outputs, long long seconds,
         const std::function<void(const std::string&)>& line, std::optional<TestPatternKind> pattern = {}) {
    engine.StatusChanged = nullptr;
    engine.SetOutputs(outputs);
    if (pattern) engine.SetTestPattern(0, true, *pattern);
    // From here on each output's problem as it comes or goes, once: never the whole list again.
    engine.OutputChanged = line;
    engine.Start();
    line(std::to_string(outputs.size()) + " 个LED输出，正在发送");
    QTimer::singleShot(std::chrono::milliseconds(seconds * 1000), QCoreApplication::instance(),
                       [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    engine.OutputChanged = nullptr;
    engine.Stop();
    std::string failed;
    for (size_t i = 0; i < outputs.size(); ++i) {
        const LedOutputStats s = engine.Stats(static_cast<int>(i));
        line(Describe(outputs[i]) + ": " + std::to_string(s.frames) + " frames, " + std::to_string(s.packets) +
             " packets, " + std::to_string(s.failures) + " failed" +
             (s.lastError.empty() ? std::string() : ", last error: " + s.lastError));
        // An output that never got a frame through, or was failing still when the run ended, is
        // what the installer must hear of: the run as a whole failed.
        if (outputs[i].enabled && (s.frames == 0 || !s.problem.empty()))
            failed += (failed.empty() ? "" : "; ") + Describe(outputs[i]) +
                      (s.lastError.empty() ? std::string(" (no frame sent)") : " (" + s.lastError + ")");
    }
    if (!failed.empty()) throw Error("LED output failed: " + failed);
}

}  // namespace

void StreamPage(const std::filesystem::path& path, long long seconds, const std::function<void(const std::string&)>& line) {
    InstallSystemTime();
    const LedOutputSettings read = LoadLedOutputs();
    for (const std::string& p : read.problems) line(p);
    if (read.outputs.empty())
        throw Error("No LED output to stream to in \"" + LedOutputFilePath().string() + "\"");
    std::unique_ptr<TFrmZorLedForm> page(CreatePageWindow("LedDesignWin"));
    LoadPageFile(*page, path);
    for (const std::string& p : RegionProblems(read.outputs, page->width(), page->height())) line(p);
    page->HookAllWidgets();
    // The page's data modules are initialised and uninitialised around the run, as play does.
    Tdlllistclass modules([&path](const std::string&) { return path; });
    const StringList pages{path.stem().string()};
    modules.PageList = &pages;
    modules.CollectDataModules();
    modules.InitDataModules();
    page->StartWidgets();
    LedOutputEngine engine([&page]() -> QWidget* { return page.get(); });
    Run(engine, read.outputs, seconds, line);
    page->StopWidgets();
    modules.UnInitDataModules();
}

void StreamPattern(const std::string& output, const std::string& kind, long long seconds,
                   const std::function<void(const std::string&)>& line) {
    InstallSystemTime();
    const std::optional<TestPatternKind> pattern = TestPatternByName(kind);
    if (!pattern) {
        std::string kinds;
        for (int k = 0; k < kTestPatternCount; ++k)
            kinds += std::string(k ? ", " : "") + std::string(TestPatternName(static_cast<TestPatternKind>(k)));
        throw Error("Pattern \"" + Printable(kind) + "\" is not known: give one of " + kinds);
    }
    const LedOutputSettings read = LoadLedOutputs();
    for (const std::string& p : read.problems) line(p);
    auto found = std::find_if(read.outputs.begin(), read.outputs.end(), [&](const LedOutputConfig& o) {
        return QString::fromStdString(o.section).compare(QString::fromStdString(output), Qt::CaseInsensitive) == 0;
    });
    if (found == read.outputs.end())
        throw Error("No LED output \"" + Printable(output) + "\" to send to in \"" + LedOutputFilePath().string() + "\"");
    LedOutputConfig o = *found;
    o.enabled = true;  // asked for by name: a disabled output is tested too
    LedOutputEngine engine(nullptr);
    Run(engine, {o}, seconds, line, pattern);
}

}  // namespace zl
