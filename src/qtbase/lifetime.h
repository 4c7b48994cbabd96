#pragma once
#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>

class QSocketNotifier;
class QTimer;

namespace zl {

// Process lifetime of the program and of the tool's long-running commands: stop signals, the
// home lock, the service manager's notifications and the screen-saver suspension. One of each
// per process.

// The exit status of a start on a home that another copy holds; the service unit names it so
// that systemd does not restart into the same refusal.
constexpr int kExitHomeInUse = 75;
// The exit status of a start that finds no display to show pages on; the service unit waits
// longer before it tries again.
constexpr int kExitNoDisplay = 69;

// Why the GUI would find no display (one line), empty when it can start: an X display that
// cannot be opened, or no display named at all. Another platform chosen (offscreen, Wayland)
// is taken as it is.
QString NoDisplayReason();
// The exit status of a restart the fleet's publisher asked for: the unit restarts the program
// on it like on any other end but 75.
constexpr int kExitRestart = 76;

// Routes SIGTERM, SIGINT and SIGHUP through a self-pipe into the event loop: `onStop` runs there,
// on the GUI thread, with the signal's number, never inside the handler. A second signal while
// the first is being handled runs it again; `onStop` should be idempotent. The default handlers
// come back when the object goes.
class StopSignals {
public:
    explicit StopSignals(std::function<void(int signal)> onStop);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    std::function<void(int)> onStop_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

// One program (or `zorled-tool sign`) per home: an flock on "zorled.lock" in the home, released
// when the object goes or the process dies (a process id that lives on in another process holds
// nothing).
class HomeLock {
public:
    explicit HomeLock(const std::filesystem::path& home);
    ~HomeLock();
    // False when another process holds the home; Message() then says so.
    bool TryLock();
    void Unlock();
    QString Message() const;

private:
    std::filesystem::path home_;
    int fd_ = -1;
};

// Notifications to the service manager (sd_notify). Without NOTIFY_SOCKET nothing is sent.
// When the unit asks for a watchdog, WATCHDOG=1 goes from a timer of the event loop at half the
// interval given, so a blocked GUI thread stops the pings and systemd ends the program.
class ServiceNotifier : public QObject {
public:
    ServiceNotifier();
    ~ServiceNotifier() override;
    void Ready();
    // STATUS= text, for `systemctl status`.
    void Status(const QString& text);
    void Stopping();
    // The watchdog interval in microseconds, 0 when the unit asks for none.
    quint64 WatchdogUsec() const { return watchdogUsec_; }

private:
    quint64 watchdogUsec_ = 0;
    QTimer* watchdog_ = nullptr;
};

// Keeps the X screen saver and power saving off (MIT-SCREEN-SAVER suspension) while active. The
// server lifts the suspension when our connection closes, so a crash leaves nothing changed.
// Without an X server it falls back to the session's org.freedesktop.ScreenSaver inhibit, and
// without that it does nothing.
class ScreenSaverSuspension {
public:
    ScreenSaverSuspension();
    ~ScreenSaverSuspension();
    void Suspend(bool on);
    bool Suspended() const { return suspended_; }

private:
    void* display_ = nullptr;
    bool suspended_ = false;
    quint32 inhibitCookie_ = 0;
    bool inhibited_ = false;
};

}  // namespace zl
