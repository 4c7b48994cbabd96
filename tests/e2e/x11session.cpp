#include "e2e/x11session.h"

#include <QProcess>
#include <QRegularExpression>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace zl::testing {
namespace {

QString Run(const QProcessEnvironment& env, const QString& program, const QStringList& args) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, args);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        throw std::runtime_error((program + " " + args.join(' ') + " did not finish").toStdString());
    if (process.exitCode() != 0 && program != "xdotool")
        throw std::runtime_error((program + " failed: " + process.readAllStandardError()).toStdString());
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

}  // namespace

X11Session::~X11Session() {
    if (managerPid_ > 0) {
        ::kill(managerPid_, SIGTERM);
        ::waitpid(managerPid_, nullptr, 0);
    }
    if (serverPid_ > 0) {
        ::kill(serverPid_, SIGTERM);
        ::waitpid(serverPid_, nullptr, 0);
    }
}

QString X11Session::Start(int width, int height) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return "no pipe";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The server writes its display number to descriptor 3 once it accepts clients.
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    std::vector<std::string> args = {"Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int failed = ::posix_spawnp(&pid, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (failed) {
        ::close(fds[0]);
        return "Xvfb is not installed";
    }
    serverPid_ = pid;
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (::poll(&p, 1, 30000) > 0) {
        char c;
        if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    ::close(fds[0]);
    if (number.empty()) return "Xvfb did not report a display";
    display_ = ":" + QString::fromStdString(number);
    return {};
}

QString X11Session::StartWindowManager() {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = {"openbox", "--sm-disable"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (const QString& entry : Environment().toStringList()) env.push_back(entry.toStdString());
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int failed = ::posix_spawnp(&pid, "openbox", &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed) return "openbox is not installed";
    managerPid_ = pid;
    // A managing window manager names its check window on the root.
    try {
        Poll("the window manager", [&] {
            QProcess xprop;
            xprop.setProcessEnvironment(Environment());
            xprop.start("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"});
            xprop.waitForFinished(10000);
            return xprop.readAllStandardOutput().contains("window id");
        }, std::chrono::seconds(30));
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

QProcessEnvironment X11Session::Environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display_);
    env.remove("QT_QPA_PLATFORM");
    env.remove("WAYLAND_DISPLAY");
    return env;
}

QString X11Session::Xdotool(const QStringList& args) const { return Run(Environment(), "xdotool", args); }

QStringList X11Session::Windows(const QString& titlePattern) const {
    return Xdotool({"search", "--onlyvisible", "--name", titlePattern}).split('\n', Qt::SkipEmptyParts);
}

void X11Session::Poll(const QString& what, const std::function<bool()>& done, std::chrono::seconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            throw std::runtime_error(("gave up waiting for " + what).toStdString());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

QString X11Session::WaitWindow(const QString& titlePattern) const {
    QString found;
    Poll("a window titled " + titlePattern, [&] {
        const QStringList ids = Windows(titlePattern);
        if (!ids.isEmpty()) found = ids.last();
        return !found.isEmpty();
    });
    return found;
}

QStringList X11Session::VisibleWindows() const {
    return Xdotool({"search", "--onlyvisible", "--classname", "."}).split('\n', Qt::SkipEmptyParts);
}

QString X11Session::WaitNewWindow(const QStringList& before, int minHeight) const {
    QString found;
    Poll("a new window", [&] {
        for (const QString& w : VisibleWindows())
            if (!before.contains(w) && Geometry(w).height > minHeight) found = w;
        return !found.isEmpty();
    });
    return found;
}

QString X11Session::WaitFocusAway(const QStringList& windows) const {
    QString focus;
    Poll("a dialog to take the focus", [&] {
        focus = Xdotool({"getwindowfocus"});
        return !focus.isEmpty() && !windows.contains(focus) && !Windows(".").isEmpty() &&
               Windows(".").contains(focus);
    });
    return focus;
}

void X11Session::WaitGone(const QString& window) const {
    Poll("window " + window + " to close", [&] { return !Windows(".").contains(window); });
}

X11Session::Rect X11Session::Geometry(const QString& window) const {
    Rect r;
    for (const QString& line : Xdotool({"getwindowgeometry", "--shell", window}).split('\n')) {
        const QString key = line.section('=', 0, 0), value = line.section('=', 1);
        if (key == "X") r.x = value.toInt();
        if (key == "Y") r.y = value.toInt();
        if (key == "WIDTH") r.width = value.toInt();
        if (key == "HEIGHT") r.height = value.toInt();
    }
    return r;
}

X11Session::Rect X11Session::ScreenArea(const QString& window) const {
    Rect r;
    for (const QString& line : Run(Environment(), "xwininfo", {"-id", window}).split('\n')) {
        const QString key = line.section(':', 0, 0).trimmed(), value = line.section(':', 1).trimmed();
        if (key == "Absolute upper-left X") r.x = value.toInt();
        if (key == "Absolute upper-left Y") r.y = value.toInt();
        if (key == "Width") r.width = value.toInt();
        if (key == "Height") r.height = value.toInt();
    }
    return r;
}

QString X11Session::Title(const QString& window) const { return Xdotool({"getwindowname", window}); }

void X11Session::Click(int x, int y, int count) const {
    Xdotool({"mousemove", "--sync", QString::number(x), QString::number(y), "click", "--repeat",
             QString::number(count), "--delay", "60", "1"});
}

void X11Session::Drag(int fromX, int fromY, int toX, int toY) const {
    // Several steps, as a hand moves: the designer follows each motion.
    QStringList args = {"mousemove", "--sync", QString::number(fromX), QString::number(fromY), "mousedown", "1"};
    for (int step = 1; step <= 4; ++step)
        args << "mousemove" << "--sync" << QString::number(fromX + (toX - fromX) * step / 4)
             << QString::number(fromY + (toY - fromY) * step / 4);
    args << "mouseup" << "1";
    Xdotool(args);
}

void X11Session::DragUntil(int fromX, int fromY, int toX, int toY, const std::function<bool()>& arrived) const {
    Xdotool({"mousemove", "--sync", QString::number(fromX), QString::number(fromY), "mousedown", "1"});
    const QString x = QString::number(toX), y = QString::number(toY);
    try {
        Poll("the dragged window to follow the pointer", [&] {
            Xdotool({"mousemove", "--sync", QString::number(toX + 1), y, "mousemove", "--sync", x, y});
            return arrived();
        });
    } catch (...) {
        Xdotool({"mouseup", "1"});
        throw;
    }
    Xdotool({"mouseup", "1"});
}

void X11Session::Type(const QString& text) const { Xdotool({"type", "--delay", "30", text}); }

void X11Session::Key(const QString& keys) const { Xdotool({"key", "--delay", "60", keys}); }

void X11Session::Screenshot(const std::filesystem::path& file) const {
    std::filesystem::create_directories(file.parent_path());
    Run(Environment(), "import", {"-display", display_, "-window", "root", QString::fromStdString(file.string())});
}

}  // namespace zl::testing
