#include <QAction>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QStatusBar>
#include <cstdio>
#include <string_view>

#include "app/fleetplay.h"
#include "app/headless.h"
#include "app/mainwindow.h"
#include "app/signplay.h"
#include "core/codepage.h"
#include "core/home.h"
#include "core/resumepoint.h"
#include "editors/playfiles.h"
#include "qtbase/application.h"
#include "qtbase/windowlayers.h"
#include "qtbase/lifetime.h"
#include "qtbase/systemtimers.h"

namespace {

// Why `--play` cannot start from the saved selection; empty when it can.
QString MissingSelection(zl::TSYS_Frmzorled& window) {
    if (!zl::FindFileCaseInsensitive(zl::SelectListPath()))
        return QString::fromUtf8("没有保存的播放方案选择 (SelectList.PLN)，以设计模式启动");
    window.BuildPageList();
    // Plans whose pages are all missing still play: play waits on black and takes the pages as
    // they appear. Only a selection of no plan at all is the operator's choice not to play.
    if (window.SelectedPlans.empty()) return QString::fromUtf8("保存的播放方案选择中没有页面，以设计模式启动");
    return {};
}

// Parses the options; --help prints them and ends the process.
bool PlayAtStart(const QCoreApplication& app) {
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("ZorLED: compose and play pages for LED screens."));
    options.addHelpOption();
    const QCommandLineOption play(QStringLiteral("play"),
                                  QStringLiteral("Start playing the plans last selected in the plan editor."));
    options.addOption(play);
    options.process(app);
    return options.isSet(play);
}

}  // namespace

int main(int argc, char** argv) {
    // Help needs no screen: answer it before the GUI looks for one (Qt's own options such as
    // -platform are only known once the GUI application has taken them out).
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help" || arg == "-?" || arg == "--help-all") {
            QCoreApplication console(argc, argv);
            PlayAtStart(console);
        }
    }
    // Without a display Qt would abort; a sign under a service manager is better served by one
    // line and a status of its own, after which it is started again.
    bool platformGiven = false;
    for (int i = 1; i < argc; ++i) platformGiven = platformGiven || std::string_view(argv[i]) == "-platform";
    if (const QString why = platformGiven ? QString() : zl::NoDisplayReason(); !why.isEmpty()) {
        std::fprintf(stderr, "zorled: %s\n", qPrintable(why));
        return zl::kExitNoDisplay;
    }
    zl::Application app(argc, argv);
    const bool playAtStart = PlayAtStart(app);

    zl::PrepareProgram();
    zl::KeepDialogsAbovePages();
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

    const std::filesystem::path home = zl::ProgramHome();
    // While playing: the play log, the resume point, no blanking, no pointer, no waiting report.
    zl::SignPlay sign(window, home, &service, &screenSaver);

    // A stop signal stops as 停止 and 退出 do, without any question.
    bool stopping = false;
    zl::StopSignals stopSignals([&](int) {
        if (stopping) return;
        stopping = true;
        service.Stopping();
        if (window.Playing) zl::Guarded([&] { window.ActionPlayExecute(); });
        if (window.Playing) zl::Guarded([&] { window.StopPlay(); });
        sign.Follow();
        if (window.Page) window.Page->close();
        zl::CloseReports();
        // Qt's quit closes the windows first, and closing the main window would ask about a
        // changed page: a stop by a signal never asks.
        window.QuitWithoutQuestion();
        QCoreApplication::quit();
    });

    if (playAtStart) {
        QString why;
        zl::Guarded([&] { why = MissingSelection(window); });
        if (!why.isEmpty()) {
            window.statusBar()->showMessage(why);
            std::fprintf(stderr, "%s\n", qPrintable(why));
            sign.Log().Event(zl::Now(), "design", {why.toStdString()});
        } else {
            // After a crash or a kill, play goes on at the page that was showing.
            const auto resume = zl::ReadResumePoint(home);
            if (const int at = resume ? window.ResumeIndex(*resume) : -1; at >= 0) {
                window.Resume = resume;
                sign.Log().Event(zl::Now(), "resume",
                              {zl::GbkToUtf8(window.PagePlans[at]), zl::GbkToUtf8(window.PageList[at])});
            }
            // The saved selection stands as the plan editor's 确定 would leave it.
            const auto editor = window.RunPlanEditor;
            window.RunPlanEditor = [] { return true; };
            zl::Guarded([&] { window.ActionPlayExecute(); });
            window.RunPlanEditor = editor;
        }
    }
    sign.Follow();
    if (!window.Playing) service.Status(QString::fromUtf8("设计模式"));
    service.Ready();
    // A sign of a fleet connects as it starts; a bad fleet.ini is reported and the program runs on.
    std::unique_ptr<zl::FleetPlay> fleet;
    zl::Guarded([&] { fleet = zl::StartFleetIfConfigured(window, zl::ProgramHome()); });
    if (fleet) {
        fleet->Problem = [&](const std::string& message) { sign.FleetProblem(message); };
        // Asked to play with nothing to play yet: the fleet's first bundle brings the selection.
        if (playAtStart && !window.Playing)
            fleet->StartPlay = [&] {
                const auto editor = window.RunPlanEditor;
                window.RunPlanEditor = [] { return true; };
                zl::Guarded([&] { window.ActionPlayExecute(); });
                window.RunPlanEditor = editor;
                sign.Follow();
            };
    }
    // A stop signal served while starting found no loop to quit.
    const int status = stopping ? 0 : app.exec();
    fleet.reset();
    // 退出 stops play without the command: the stop line still goes to the log.
    sign.Follow();
    screenSaver.Suspend(false);
    lock.Unlock();
    return stopping ? 0 : status;
}
