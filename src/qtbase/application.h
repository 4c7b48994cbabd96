#pragma once
#include <QApplication>
#include <QStringList>
#include <functional>
#include <string>

namespace zl {

class Control;

// The program's application object; a last resort for an error that slipped past the guards
// below (catching there is late: it has already unwound through Qt's own code).
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    ~Application() override;
    bool notify(QObject* receiver, QEvent* event) override;
};

// Lets the main thread's stack grow far enough for Qt to paint pages of tens of thousands of
// widgets; done by Application, and by anything that runs widgets without it.
void AllowDeepWidgetTrees();

// Shows an error's message text. A report never waits for the operator: it opens a box and
// returns, so a timer that failed ticks again while the box is up. While a box with the same
// text is open, the same error opens no second one (a sign running unattended would otherwise
// pile up one box per pass). Tests and the tool replace the display with SetErrorReporter.
void ReportError(const QString& message);
using ErrorReporter = std::function<void(const QString&)>;
// Replaces the display of reports; an empty reporter brings back the message boxes.
ErrorReporter SetErrorReporter(ErrorReporter reporter);
// While `playing()` holds, a sign never waits on a click: every report goes to `log`, at most one
// box is open, counting the reports that came while it was up, and it closes by itself after
// 60 s. Otherwise (and with an empty `playing`) reports are those of design mode.
void SetPlayReports(std::function<bool()> playing, ErrorReporter log);
// Takes a report back once its cause has gone (the pages a sign waited for are back): its box
// closes, unless a play box also counts later reports that still stand.
void WithdrawReport(const QString& message);
// The texts of the report boxes on screen, oldest first, and a way to close them all.
QStringList OpenReports();
void CloseReports();

// Runs a handler body where our code meets Qt (a command, timer, mouse or paint handler) and
// reports what it throws, so no error unwinds through Qt's own code. The state reached before
// the error stays.
void Guarded(const std::function<void()>& action);
// The same as a handler to hand to a timer or a signal connection.
std::function<void()> GuardedHandler(std::function<void()> handler);
// Reports the exception being handled; for a function-try-block around an event handler:
//   void X::paintEvent(QPaintEvent* e) try { ... } catch (...) { ReportCurrentError(); }
void ReportCurrentError();

// A report of drawing or data says where it comes from, so that an operator with many pages
// finds it: the message ends in ` (page "FILE", widget "NAME", data file "FILE")`. The page is
// named by its file (its caption while unsaved); a part the message already names is left out.
QString InPlace(const QString& message, const Control& widget, const std::string& dataFile = {});
// ReportCurrentError and Guarded naming the widget (and its data file) that failed.
void ReportCurrentError(const Control& widget, const std::string& dataFile = {});
void Guarded(const Control& widget, const std::function<void()>& action, const std::string& dataFile = {});

}  // namespace zl
