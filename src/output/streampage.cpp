#include "output/streampage.h"

#include <QCoreApplication>
#include <QTimer>
#include <memory>

#include "core/error.h"
#include "output/ledoutputengine.h"
#include "page/frmzorledform.h"
#include "page/pagefile.h"
#include "qtbase/systemtimers.h"

namespace zl {

void StreamPage(const std::filesystem::path& path, long long seconds, const std::function<void(const std::string&)>& line) {
    InstallSystemTime();
    const LedOutputSettings read = LoadLedOutputs();
    for (const std::string& p : read.problems) line(p);
    if (read.outputs.empty())
        throw Error("No LED output to stream to in \"" + LedOutputFilePath().string() + "\"");
    std::unique_ptr<TFrmZorLedForm> page(CreatePageWindow("LedDesignWin"));
    LoadPageFile(*page, path);
    page->HookAllWidgets();
    page->StartWidgets();

    LedOutputEngine engine([&page]() -> QWidget* { return page.get(); });
    engine.StatusChanged = [&line](const QString& status) { line(status.toStdString()); };
    engine.SetOutputs(read.outputs);
    engine.Start();
    QTimer::singleShot(std::chrono::milliseconds(seconds * 1000), QCoreApplication::instance(),
                       [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    page->StopWidgets();
    engine.StatusChanged = nullptr;
    engine.Stop();
    for (size_t i = 0; i < read.outputs.size(); ++i) {
        const LedOutputStats s = engine.Stats(static_cast<int>(i));
        line(Describe(read.outputs[i]) + ": " + std::to_string(s.frames) + " frames, " + std::to_string(s.packets) +
             " packets, " + std::to_string(s.failures) + " failed");
    }
}

}  // namespace zl
