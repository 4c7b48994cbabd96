#include "qtbase/application.h"

#include <QMessageBox>
#include <exception>

namespace zl {
namespace {

ErrorReporter& Reporter() {
    static ErrorReporter reporter;
    return reporter;
}

}  // namespace

ErrorReporter SetErrorReporter(ErrorReporter reporter) {
    ErrorReporter previous = std::move(Reporter());
    Reporter() = std::move(reporter);
    return previous;
}

void ReportError(const QString& message) {
    if (Reporter()) {
        Reporter()(message);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), message, QMessageBox::Ok);
    box.exec();
}

void Guarded(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        ReportError(QString::fromUtf8(e.what()));
    } catch (...) {
        ReportError(QStringLiteral("Unknown error"));
    }
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("ZorLED"));
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ReportError(QString::fromUtf8(e.what()));
    } catch (...) {
        ReportError(QStringLiteral("Unknown error"));
    }
    return false;
}

}  // namespace zl
