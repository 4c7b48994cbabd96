#include <QAction>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QStatusBar>
#include <cstdio>

#include "app/fleetplay.h"
#include "app/headless.h"
#include "app/mainwindow.h"
#include "core/home.h"
#include "editors/playfiles.h"
#include "qtbase/application.h"
#include "qtbase/lifetime.h"
#include "qtbase/systemtimers.h"

namespace {

// Why `--play` cannot start from the saved selection; empty when it can.
QString MissingSelection(zl::TSYS_Frmzorled& window) {
    if (!zl::FindFileCaseInsensitive(zl::SelectListPath()))
        return QString::fromUtf8("没有保存的播放方案选择 (SelectList.PLN)，以设计模式启动");
    window.BuildPageList();
    if (window.PageList.empty()) return QString::fromUtf8("保存的播放方案选择中没有页面，以设计模式启动");
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    zl::Application app(argc, argv);
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("ZorLED: compose and play pages for LED screens."));
    options.addHelpOption();
    const QCommandLineOption play(QStringLiteral("play"),
                                  QStringLiteral("Start playing the plans last selected in the plan editor."));
    options.addOption(play);
    options.process(app);
    const bool playAtStart = options.isSet(play);

    zl::PrepareProgram();
    zl::InstallSystemTime();
    // One copy per home: two would overwrite each other's plan lists.
    zl::HomeLock lock(zl::ProgramHome());
    if (!lock.TryLock()) {
        std::fprintf(stderr, "%s\n", qPrintable(lock.Message()));
        if (!playAtStart) QMessageBox::critical(nullptr, QStringLiteral("ZorLED"), lock.Message());
        return zl::kExitHomeInUse;
    }
    zl::ServiceNotifier service;
    zl::ScreenSaverSuspension screenSaver;
    zl::TSYS_Frmzorled window;
    window.show();

    // While playing, the screen never blanks and the pointer stays off the page.
    auto followPlay = [&] {
        screenSaver.Suspend(window.Playing);
        if (window.Page) {
            if (window.Playing)
                window.Page->setCursor(Qt::BlankCursor);
            else
                window.Page->unsetCursor();
        }
        if (!window.Playing) service.Status(QString::fromUtf8("设计模式"));
    };
    QObject::connect(window.ActionPlay, &QAction::changed, &window, followPlay);
    auto shown = window.PageShown;
    window.PageShown = [&, shown](const std::string& page) {
        if (shown) shown(page);
        if (window.Page && window.Playing) window.Page->setCursor(Qt::BlankCursor);
        service.Status(QString::fromUtf8("播放 ") + QString::fromLocal8Bit(page.c_str()));
    };

    // A stop signal stops as 停止 and 退出 do, without any question.
    bool stopping = false;
    zl::StopSignals stopSignals([&](int) {
        if (stopping) return;
        stopping = true;
        service.Stopping();
        if (window.Playing) zl::Guarded([&] { window.ActionPlayExecute(); });
        if (window.Playing) zl::Guarded([&] { window.StopPlay(); });
        screenSaver.Suspend(false);
        if (window.Page) window.Page->close();
        zl::CloseReports();
        QCoreApplication::quit();
    });

    if (playAtStart) {
        QString why;
        zl::Guarded([&] { why = MissingSelection(window); });
        if (!why.isEmpty()) {
            window.statusBar()->showMessage(why);
            std::fprintf(stderr, "%s\n", qPrintable(why));
        } else {
            // The saved selection stands as the plan editor's 确定 would leave it.
            const auto editor = window.RunPlanEditor;
            window.RunPlanEditor = [] { return true; };
            zl::Guarded([&] { window.ActionPlayExecute(); });
            window.RunPlanEditor = editor;
        }
    }
    followPlay();
    service.Ready();
    // A sign of a fleet connects as it starts; a bad fleet.ini is reported and the program runs on.
    std::unique_ptr<zl::FleetPlay> fleet;
    zl::Guarded([&] { fleet = zl::StartFleetIfConfigured(window, zl::ProgramHome()); });
    const int status = app.exec();
    fleet.reset();
    screenSaver.Suspend(false);
    lock.Unlock();
    return stopping ? 0 : status;
}
