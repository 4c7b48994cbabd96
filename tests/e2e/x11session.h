#pragma once
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>

namespace zl::testing {

// A private X server (Xvfb picks a free display and reports it on a pipe) and the operator's
// hands on it: real pointer and keyboard input through xdotool, screenshots through import.
class X11Session {
public:
    X11Session() = default;
    ~X11Session();
    X11Session(const X11Session&) = delete;
    X11Session& operator=(const X11Session&) = delete;

    // Empty on success, else why the server did not start.
    QString Start(int width, int height);
    // Starts openbox on the server and waits until it manages windows; empty on success.
    QString StartWindowManager();
    const QString& Display() const { return display_; }
    QProcessEnvironment Environment() const;

    struct Rect {
        int x = 0, y = 0, width = 0, height = 0;
    };
    // Visible windows whose title matches the regular expression.
    QStringList Windows(const QString& titlePattern) const;
    QString WaitWindow(const QString& titlePattern) const;
    // Every visible window, named or not (menus are not).
    QStringList VisibleWindows() const;
    // Waits for a visible window that is not among those given and is taller than minHeight.
    QString WaitNewWindow(const QStringList& before, int minHeight = 0) const;
    // Waits until a window other than those given holds the keyboard focus: a dialog just opened.
    QString WaitFocusAway(const QStringList& windows) const;
    void WaitGone(const QString& window) const;
    Rect Geometry(const QString& window) const;
    // The window's own area on the screen, as the X server has it (under a window manager
    // xdotool's geometry counts the frame's offset twice).
    Rect ScreenArea(const QString& window) const;
    QString Title(const QString& window) const;

    void Click(int x, int y, int count = 1) const;
    void Drag(int fromX, int fromY, int toX, int toY) const;
    // A drag the window manager carries out (a title bar): it starts moving only on motion it
    // sees after taking the press, so the pointer keeps stirring at the end point until `arrived`
    // holds, and only then lets go.
    void DragUntil(int fromX, int fromY, int toX, int toY, const std::function<bool()>& arrived) const;
    void Type(const QString& text) const;
    void Key(const QString& keys) const;
    void Screenshot(const std::filesystem::path& file) const;

    // Fails the test (by exception) with `what` when `done` stays false past the deadline.
    static void Poll(const QString& what, const std::function<bool()>& done,
                     std::chrono::seconds deadline = std::chrono::seconds(60));

    QString Xdotool(const QStringList& args) const;

private:
    QString display_;
    int serverPid_ = -1;
    int managerPid_ = -1;
};

}  // namespace zl::testing
