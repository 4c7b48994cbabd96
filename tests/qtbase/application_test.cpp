#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>
#include <QWidget>

#include "core/error.h"
#include "qtbase/application.h"
#include "qtbase/systemtimers.h"

namespace zl {
namespace {

class Reports : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = SetErrorReporter([this](const QString& m) { messages_ << m; });
    }
    void TearDown() override { SetErrorReporter(previous_); }
    QStringList messages_;
    ErrorReporter previous_;
};

// A handler written as the program's own are: its body guarded where it meets Qt.
class Throwing : public QWidget {
protected:
    void mousePressEvent(QMouseEvent*) override try {
        ++presses;
        throw Error("mouse handler failed");
    } catch (...) {
        ReportCurrentError();
    }

public:
    int presses = 0;
};

TEST_F(Reports, MouseHandlerErrorsAreShownAndTheProgramGoesOn) {
    Throwing widget;
    widget.resize(50, 50);
    widget.show();
    QTest::mouseClick(&widget, Qt::LeftButton);
    QTest::mouseClick(&widget, Qt::LeftButton);
    EXPECT_EQ(widget.presses, 2);
    EXPECT_EQ(messages_, QStringList({"mouse handler failed", "mouse handler failed"}));
}

TEST_F(Reports, TimerHandlerErrorsAreShownAndTheStateReachedStays) {
    QtTimerFactory timers;
    auto timer = timers.CreateTimer();
    int state = 0;
    timer->SetOnTimer([&] {
        state = 1;
        timer->SetEnabled(false);
        throw Error("timer handler failed");
    });
    timer->SetInterval(1);
    timer->SetEnabled(true);
    QTRY_COMPARE(messages_.size(), 1);
    EXPECT_EQ(messages_[0], "timer handler failed");
    EXPECT_EQ(state, 1) << "what the handler did before the error stays";
}

TEST_F(Reports, GuardedReportsWhatACallThrows) {
    Guarded([] { throw Error("Cannot open file \"x\". No such file or directory"); });
    Guarded([] {});
    GuardedHandler([] { throw 42; })();
    EXPECT_EQ(messages_, QStringList({"Cannot open file \"x\". No such file or directory", "Unknown error"}));
}

// The real boxes: open without waiting, one per text while it is open.
class ReportBoxes : public ::testing::Test {
protected:
    void SetUp() override { previous_ = SetErrorReporter(nullptr); }
    void TearDown() override {
        CloseReports();
        SetErrorReporter(previous_);
    }
    ErrorReporter previous_;
};

TEST_F(ReportBoxes, OneOpenBoxPerTextAndANewOneOnceItIsClosed) {
    ReportError("a");
    ReportError("a");
    ReportError("b");
    EXPECT_EQ(OpenReports(), QStringList({"a", "b"}));
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    box->button(QMessageBox::Ok)->click();
    EXPECT_EQ(OpenReports().size(), 1);
    ReportError("a");
    ReportError("b");
    EXPECT_EQ(OpenReports().size(), 2);
}

TEST_F(ReportBoxes, AnOpenReportNeverHoldsTheTimerThatFailed) {
    QtTimerFactory timers;
    auto timer = timers.CreateTimer();
    int ticks = 0;
    timer->SetOnTimer([&] {
        ++ticks;
        throw Error("Invalid binary value on line 56");
    });
    timer->SetInterval(1);
    timer->SetEnabled(true);
    QTRY_VERIFY(ticks >= 3);
    timer->SetEnabled(false);
    EXPECT_EQ(OpenReports(), QStringList({"Invalid binary value on line 56"}));
}

}  // namespace
}  // namespace zl
