#include "qtbase/lifetime.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <fstream>
#include <signal.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>

#include "qtbase/application.h"

// Xlib last: its macros (Status, Bool) clash with Qt's headers.
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#undef Status

namespace zl {

namespace {

int g_stopPipe[2] = {-1, -1};
constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

void OnStopSignal(int signal) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] ssize_t n = ::write(g_stopPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

StopSignals::StopSignals(std::function<void(int)> onStop) : onStop_(std::move(onStop)) {
    if (g_stopPipe[0] < 0 && ::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(g_stopPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        unsigned char bytes[16];
        const ssize_t n = ::read(g_stopPipe[0], bytes, sizeof bytes);
        for (ssize_t i = 0; i < n; ++i) Guarded([&] { onStop_(bytes[i]); });
    });
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : kStopSignals) sigaction(s, &action, nullptr);
}

StopSignals::~StopSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (int s : kStopSignals) sigaction(s, &action, nullptr);
}

QString NoDisplayReason() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb")) return {};
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty()) {
        if (platform.isEmpty() && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return {};
        return QStringLiteral("no display: DISPLAY is not set (import it into the service manager from the X session)");
    }
    Display* x = XOpenDisplay(display.constData());
    if (!x) return QStringLiteral("no display: cannot open X display \"%1\"").arg(QString::fromLocal8Bit(display));
    XCloseDisplay(x);
    return {};
}

HomeLock::HomeLock(const std::filesystem::path& home) : home_(home) {}

HomeLock::~HomeLock() { Unlock(); }

bool HomeLock::TryLock() {
    if (fd_ >= 0) return true;
    std::error_code ec;
    std::filesystem::create_directories(home_, ec);
    const std::filesystem::path path = home_ / "zorled.lock";
    // The kernel holds the lock for the open file and lets go when the holder dies, whatever
    // process later gets its id. A holder removes the file as it lets go, so a lock taken on a
    // file that is no longer the one at the path is tried again on the new one.
    for (int attempt = 0; attempt < 10; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return false;
        }
        struct stat held {}, named {};
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino) {
            // The holder's process id, for the message a refused copy gives.
            const std::string pid = std::to_string(::getpid()) + "\n";
            if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
            }
            fd_ = fd;
            return true;
        }
        ::close(fd);
    }
    return false;
}

void HomeLock::Unlock() {
    if (fd_ < 0) return;
    std::error_code ec;
    std::filesystem::remove(home_ / "zorled.lock", ec);
    ::close(fd_);
    fd_ = -1;
}

QString HomeLock::Message() const {
    std::ifstream in(home_ / "zorled.lock");
    long long pid = 0;
    const QString who = (in >> pid) && pid > 0 ? QStringLiteral(" (process %1)").arg(pid) : QString();
    return QStringLiteral("Home \"%1\" is in use by another copy of ZorLED%2; this copy ends")
        .arg(QString::fromStdString(home_.string()), who);
}

ServiceNotifier::ServiceNotifier() {
    uint64_t usec = 0;
    if (qEnvironmentVariableIsEmpty("NOTIFY_SOCKET")) return;
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
        watchdogUsec_ = usec;
        watchdog_ = new QTimer(this);
        watchdog_->setInterval(std::max<int>(1, static_cast<int>(std::min<uint64_t>(usec / 2000, INT32_MAX))));
        QObject::connect(watchdog_, &QTimer::timeout, [] { sd_notify(0, "WATCHDOG=1"); });
        watchdog_->start();
    }
}

ServiceNotifier::~ServiceNotifier() = default;

void ServiceNotifier::Ready() {
    if (!qEnvironmentVariableIsEmpty("NOTIFY_SOCKET")) sd_notify(0, "READY=1");
}

void ServiceNotifier::Status(const QString& text) {
    if (qEnvironmentVariableIsEmpty("NOTIFY_SOCKET")) return;
    QString line = text;
    line.replace('\n', ' ');
    sd_notify(0, ("STATUS=" + line.toUtf8()).constData());
}

void ServiceNotifier::Stopping() {
    if (!qEnvironmentVariableIsEmpty("NOTIFY_SOCKET")) sd_notify(0, "STOPPING=1");
}

ScreenSaverSuspension::ScreenSaverSuspension() {
    if (QGuiApplication::platformName() == QLatin1String("xcb")) display_ = XOpenDisplay(nullptr);
}

ScreenSaverSuspension::~ScreenSaverSuspension() {
    Suspend(false);
    if (display_) XCloseDisplay(static_cast<Display*>(display_));
}

void ScreenSaverSuspension::Suspend(bool on) {
    if (on == suspended_) return;
    suspended_ = on;
    if (display_) {
        auto* display = static_cast<Display*>(display_);
        int event = 0, error = 0;
        if (XScreenSaverQueryExtension(display, &event, &error)) {
            XScreenSaverSuspend(display, on ? True : False);
            XFlush(display);
            return;
        }
    }
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusInterface saver("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver",
                         bus);
    if (!saver.isValid()) return;
    if (on) {
        const QDBusReply<quint32> cookie = saver.call("Inhibit", QStringLiteral("zorled"), QStringLiteral("playing"));
        inhibited_ = cookie.isValid();
        if (inhibited_) inhibitCookie_ = cookie.value();
    } else if (inhibited_) {
        saver.call("UnInhibit", inhibitCookie_);
        inhibited_ = false;
    }
}

}  // namespace zl
