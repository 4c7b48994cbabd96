#pragma once
#include <QApplication>
#include <functional>

namespace zl {

// Catches what leaves a command, timer or mouse handler and shows its message text; the state
// reached before the error stays.
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Shows an error's message text in a message box (tests replace the reporter).
void ReportError(const QString& message);
using ErrorReporter = std::function<void(const QString&)>;
ErrorReporter SetErrorReporter(ErrorReporter reporter);

// Runs `action`, reporting any exception it throws; for calls made outside the event loop.
void Guarded(const std::function<void()>& action);

}  // namespace zl
