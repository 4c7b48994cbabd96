#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <QWidget>

#include "core/error.h"
#include "qtbase/application.h"

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

class Throwing : public QWidget {
protected:
    void mousePressEvent(QMouseEvent*) override {
        ++presses;
        throw Error("mouse handler failed");
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
    int state = 0;
    QTimer::singleShot(0, [&] {
        state = 1;
        throw Error("timer handler failed");
    });
    QTRY_COMPARE(messages_.size(), 1);
    EXPECT_EQ(messages_[0], "timer handler failed");
    EXPECT_EQ(state, 1) << "what the handler did before the error stays";
}

TEST_F(Reports, GuardedReportsWhatACallThrows) {
    Guarded([] { throw Error("Cannot open file \"x\". No such file or directory"); });
    Guarded([] {});
    EXPECT_EQ(messages_, QStringList({"Cannot open file \"x\". No such file or directory"}));
}

}  // namespace
}  // namespace zl
