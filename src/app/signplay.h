#pragma once
#include <QMetaObject>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/clock.h"
#include "core/playlog.h"

namespace zl {

class TSYS_Frmzorled;
class ServiceNotifier;
class ScreenSaverSuspension;

// What a sign does around play besides showing pages: a play log line for each page, start,
// stop, error report and failed data-module call; the resume point at every page; the pointer
// off the page window; reports that never wait on a click (one self-closing box at a time);
// the screen saver off and the service manager told the page. Design mode is left as it is.
// How often the page on screen has its seconds so far appended to the play log.
constexpr int kPlayLogHeartbeatMs = 10'000;

class SignPlay {
public:
    // `service` and `screenSaver` may be null (nothing to tell, nothing to suspend).
    SignPlay(TSYS_Frmzorled& window, std::filesystem::path home, ServiceNotifier* service = nullptr,
             ScreenSaverSuspension* screenSaver = nullptr);
    ~SignPlay();
    SignPlay(const SignPlay&) = delete;
    SignPlay& operator=(const SignPlay&) = delete;

    // Brings all of it in line with whether the window plays. The play command calls it by
    // itself; a stop that bypasses the command (退出, a signal) calls it after.
    void Follow();
    PlayLog& Log() { return log_; }
    // A fleet refusal or connection failure: said on standard error, in the play log, the status
    // line and the service status. Never a box: anyone who may write a group's topics could
    // raise one over the page.
    void FleetProblem(const std::string& message);

private:
    void Shown(const std::string& page);
    void Darkened(std::optional<UtcMs> until);

    TSYS_Frmzorled& window_;
    const std::filesystem::path home_;
    ServiceNotifier* service_;
    ScreenSaverSuspension* screenSaver_;
    PlayLog log_;
    std::unique_ptr<Timer> heartbeat_;
    bool wasPlaying_ = false;
    std::function<void(const std::string&)> previousShown_;
    std::function<void(const QString&)> previousWaiting_;
    std::function<void(std::optional<UtcMs>)> previousDark_;
    QMetaObject::Connection followPlay_;
};

}  // namespace zl
