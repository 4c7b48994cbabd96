#include "app/signplay.h"

#include <QAction>
#include <QStatusBar>
#include <cstdio>

#include "app/mainwindow.h"
#include "core/codepage.h"
#include "core/resumepoint.h"
#include "plugins/modulerunner.h"
#include "qtbase/application.h"
#include "qtbase/lifetime.h"

namespace zl {

SignPlay::SignPlay(TSYS_Frmzorled& window, std::filesystem::path home, ServiceNotifier* service,
                   ScreenSaverSuspension* screenSaver)
    : window_(window), home_(std::move(home)), service_(service), screenSaver_(screenSaver), log_(home_) {
    log_.RemoveOld(Now());
    // Proof of play that cannot be written is said once where someone may look: the status line,
    // standard error (the journal) and the service status.
    log_.SetWriteFailureListener([this](const std::string& why) {
        const QString text = QString::fromUtf8("播放日志无法写入：") + QString::fromStdString(why);
        std::fprintf(stderr, "%s\n", qPrintable(text));
        window_.statusBar()->showMessage(text);
        if (service_) service_->Status(text);
    });
    // While a page is on screen its seconds so far are appended now and then, so a kill or a
    // power cut loses at most that much of it.
    heartbeat_ = CreateTimer();
    heartbeat_->SetInterval(kPlayLogHeartbeatMs);
    heartbeat_->SetOnTimer([this] { log_.Heartbeat(Now()); });
    followPlay_ = QObject::connect(window_.ActionPlay, &QAction::changed, &window_, [this] { Follow(); });
    previousShown_ = window_.PageShown;
    window_.PageShown = [this](const std::string& page) { Shown(page); };
    previousWaiting_ = window_.PlayWaiting;
    // The report itself goes to the log as every play report does; the service manager hears it too.
    window_.PlayWaiting = [this](const QString& why) {
        if (previousWaiting_) previousWaiting_(why);
        if (service_) service_->Status(QString::fromUtf8("播放 ") + why);
    };
    previousDark_ = window_.DarkShown;
    window_.DarkShown = [this](std::optional<UtcMs> until) { Darkened(until); };
    // From the moment play is asked for, so a page that fails as the run starts is a play report.
    SetPlayReports([this] { return window_.Playing; },
                   [this](const QString& message) { log_.Event(Now(), "error", {message.toStdString()}); });
    ModuleRunner::Instance().SetFailureListener(
        [this](std::string_view kind, const std::string& module, const std::string& detail) {
            if (detail.empty())
                log_.Event(Now(), kind, {module});
            else
                log_.Event(Now(), kind, {module, detail});
        });
}

SignPlay::~SignPlay() {
    QObject::disconnect(followPlay_);
    window_.PageShown = previousShown_;
    window_.PlayWaiting = previousWaiting_;
    window_.DarkShown = previousDark_;
    ModuleRunner::Instance().SetFailureListener({});
    SetPlayReports({}, {});
    log_.SetWriteFailureListener({});
}

void SignPlay::Follow() {
    const bool playing = window_.Playing;
    if (screenSaver_) screenSaver_->Suspend(playing);
    if (window_.Page) {
        if (playing)
            window_.Page->setCursor(Qt::BlankCursor);
        else
            window_.Page->unsetCursor();
    }
    heartbeat_->SetEnabled(playing);
    if (playing == wasPlaying_) return;
    wasPlaying_ = playing;
    if (playing) {
        log_.Event(Now(), "start");
    } else {
        log_.PageEnded(Now());
        log_.Event(Now(), "stop");
        if (service_) service_->Status(QString::fromUtf8("设计模式"));
    }
}

void SignPlay::FleetProblem(const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
    log_.Event(Now(), "fleet", {message});
    const QString text = QString::fromStdString(message);
    window_.statusBar()->showMessage(text);
    if (service_) service_->Status(text);
}

void SignPlay::Shown(const std::string& page) {
    if (previousShown_) previousShown_(page);
    // Each page comes in a fresh page window, which has the pointer of its own.
    if (window_.Page && window_.Playing) window_.Page->setCursor(Qt::BlankCursor);
    if (!wasPlaying_) log_.Event(window_.PageStart, "start");
    wasPlaying_ = window_.Playing;
    heartbeat_->SetEnabled(wasPlaying_);
    log_.PageStarted(window_.PageStart, GbkToUtf8(window_.CurrentPlan()), GbkToUtf8(page));
    // Where to go on after a crash; a record that cannot be written never stops play. It is
    // written before the page is announced, so a kill right after the announcement resumes here.
    try {
        WriteResumePoint(home_, {window_.SelectedPlans, window_.PageIndex, window_.CurrentPlan(), page});
    } catch (const std::exception& e) {
        log_.Event(Now(), "error", {e.what()});
    }
    QString status = QString::fromUtf8("播放 ") + QString::fromStdString(GbkToUtf8(page));
    if (window_.Schedule.Active()) status += QString::fromUtf8("    ") + window_.ScheduleNote();
    if (service_) service_->Status(status);
}

void SignPlay::Darkened(std::optional<UtcMs> until) {
    if (previousDark_) previousDark_(until);
    if (!wasPlaying_) log_.Event(Now(), "start");
    wasPlaying_ = window_.Playing;
    log_.DarkStarted(Now(), until ? LocalSecond(LocalFromUtc(*until)).substr(0, 16) : std::string());
    if (service_) service_->Status(window_.ScheduleNote());
}

}  // namespace zl
