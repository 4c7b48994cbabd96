#include "qtbase/application.h"

#include <QMessageBox>
#include <QPointer>
#include <algorithm>
#include <exception>
#include <memory>

#include <sys/resource.h>

#include "core/clock.h"
#include "qtbase/control.h"
#include "qtbase/qtstrings.h"

namespace zl {
namespace {

ErrorReporter& Reporter() {
    static ErrorReporter reporter;
    return reporter;
}

QList<QPointer<QMessageBox>>& Boxes() {
    static QList<QPointer<QMessageBox>> boxes;
    return boxes;
}

// Drops the boxes that have been closed (each deletes itself when closed).
void ForgetClosedBoxes() {
    Boxes().removeIf([](const QPointer<QMessageBox>& box) { return box.isNull() || !box->isVisible(); });
}

void ShowReportBox(const QString& message) {
    ForgetClosedBoxes();
    for (const auto& box : Boxes())
        if (box->text() == message) return;
    auto* box = new QMessageBox(QMessageBox::Critical, QApplication::applicationName(), message, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // An open report must not keep the program alive once the main window has closed.
    box->setAttribute(Qt::WA_QuitOnClose, false);
    box->setWindowModality(Qt::ApplicationModal);
    Boxes().append(box);
    box->show();
}

// A report box in play closes itself after this long.
constexpr int kPlayReportCloseMs = 60'000;

struct PlayReports {
    std::function<bool()> playing;
    ErrorReporter log;
    QPointer<QMessageBox> box;
    // On the program's time seam, so a run on virtual time closes the box too.
    std::unique_ptr<Timer> closing;
    QString first;
    int more = 0;
};

PlayReports& Play() {
    static PlayReports play;
    return play;
}

// In play a sign never waits on a click: one box at a time, closing itself after a minute.
void ShowPlayReport(const QString& message) {
    PlayReports& play = Play();
    if (play.log) play.log(message);
    if (play.box && play.box->isVisible()) {
        ++play.more;
        play.box->setText(play.first + QString::fromUtf8("\n\n另有 %1 条错误，见播放日志").arg(play.more));
        return;
    }
    play.first = message;
    play.more = 0;
    auto* box = new QMessageBox(QMessageBox::Critical, QApplication::applicationName(), message, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setAttribute(Qt::WA_QuitOnClose, false);
    // Modeless: whoever comes by can stop play without dismissing the report first.
    box->setWindowModality(Qt::NonModal);
    // One timer for the one box: an earlier box's countdown never closes a later one.
    play.closing = CreateTimer();
    play.closing->SetInterval(kPlayReportCloseMs);
    play.closing->SetOnTimer([] {
        PlayReports& p = Play();
        p.closing->SetEnabled(false);
        if (p.box) p.box->close();
    });
    play.closing->SetEnabled(true);
    QObject::connect(box, &QMessageBox::finished, [box] {
        PlayReports& p = Play();
        if (p.box == box && p.closing) p.closing->SetEnabled(false);
    });
    Boxes().append(box);
    play.box = box;
    box->show();
}

}  // namespace

void SetPlayReports(std::function<bool()> playing, ErrorReporter log) {
    Play().playing = std::move(playing);
    Play().log = std::move(log);
}

ErrorReporter SetErrorReporter(ErrorReporter reporter) {
    ErrorReporter previous = std::move(Reporter());
    Reporter() = std::move(reporter);
    return previous;
}

void ReportError(const QString& message) {
    if (Reporter())
        Reporter()(message);
    else if (Play().playing && Play().playing())
        ShowPlayReport(message);
    else
        ShowReportBox(message);
}

void WithdrawReport(const QString& message) {
    ForgetClosedBoxes();
    PlayReports& play = Play();
    const auto boxes = Boxes();
    for (const auto& box : boxes) {
        if (!box || box->text() != message) continue;
        if (box == play.box && play.closing) play.closing->SetEnabled(false);
        box->close();
    }
    ForgetClosedBoxes();
}

QStringList OpenReports() {
    ForgetClosedBoxes();
    QStringList texts;
    for (const auto& box : Boxes()) texts << box->text();
    return texts;
}

void CloseReports() {
    ForgetClosedBoxes();
    const auto boxes = Boxes();
    for (const auto& box : boxes)
        if (box) box->close();
    ForgetClosedBoxes();
}

namespace {

QString CurrentErrorText() {
    try {
        throw;
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

}  // namespace

void ReportCurrentError() { ReportError(CurrentErrorText()); }

QString InPlace(const QString& message, const Control& widget, const std::string& dataFile) {
    QStringList parts;
    const auto add = [&](const char* what, const QString& name) {
        if (!name.isEmpty() && !message.contains('"' + name + '"')) parts << QStringLiteral("%1 \"%2\"").arg(what, name);
    };
    const Control* page = Control::Of(widget.Widget()->window());
    if (page) add("page", page->PageName());
    if (widget.PageName().isEmpty()) add("widget", Q(widget.Name()));
    add("data file", Q(dataFile));
    return parts.isEmpty() ? message : message + " (" + parts.join(", ") + ")";
}

void ReportCurrentError(const Control& widget, const std::string& dataFile) {
    ReportError(InPlace(CurrentErrorText(), widget, dataFile));
}

void Guarded(const Control& widget, const std::function<void()>& action, const std::string& dataFile) {
    try {
        action();
    } catch (...) {
        ReportCurrentError(widget, dataFile);
    }
}

void Guarded(const std::function<void()>& action) {
    try {
        action();
    } catch (...) {
        ReportCurrentError();
    }
}

std::function<void()> GuardedHandler(std::function<void()> handler) {
    return [handler = std::move(handler)] { Guarded(handler); };
}

void AllowDeepWidgetTrees() {
    // Qt paints overlapping sibling widgets by recursing once per sibling: a page of 30,000 labels
    // needs some 9 MB of stack, past the usual 8 MB. The main thread's stack grows on demand up to
    // the soft limit in force at the time, so raising it here is enough.
    // Linux keeps at least 128 MB free below that stack, so the limit stays under it.
    constexpr rlim_t kWanted = rlim_t(100) << 20;
    rlimit limit{};
    if (::getrlimit(RLIMIT_STACK, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= kWanted) return;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? kWanted : std::min(kWanted, limit.rlim_max);
    ::setrlimit(RLIMIT_STACK, &limit);
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("ZorLED"));
    AllowDeepWidgetTrees();
}

Application::~Application() {
    // Its timer must not outlive the event loop it runs in.
    Play().closing.reset();
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportCurrentError();
    }
    return false;
}

}  // namespace zl
