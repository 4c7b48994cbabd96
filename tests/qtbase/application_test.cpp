#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QMessageBox>
#include <QTest>
#include <QWidget>

#include "core/error.h"
#include "qtbase/application.h"
#include "qtbase/systemtimers.h"
#include "qtbase/translations.h"

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

TEST(Translations, QtsOwnDialogsSpeakChinese) {
    ASSERT_TRUE(InstallTranslations());
    QFileDialog save(nullptr, QString(), QDir::tempPath());
    save.setOption(QFileDialog::DontUseNativeDialog);
    save.setAcceptMode(QFileDialog::AcceptSave);
    QStringList buttons;
    for (auto* b : save.findChildren<QPushButton*>()) buttons << b->text();
    QMessageBox question(QMessageBox::Question, "t", "x", QMessageBox::Yes | QMessageBox::No);
    QMessageBox error(QMessageBox::Critical, "t", "x", QMessageBox::Ok);
    const std::pair<QString, const char*> captions[] = {
        {save.windowTitle(), "另存为"},
        {save.findChild<QLabel*>("lookInLabel")->text(), "查找范围："},
        {save.findChild<QLabel*>("fileNameLabel")->text(), "文件名称(&N)："},
        {buttons.filter(QString::fromUtf8("取消")).value(0), "取消"},
        {question.button(QMessageBox::Yes)->text(), "是(&Y)"},
        {question.button(QMessageBox::No)->text(), "否(&N)"},
        {error.button(QMessageBox::Ok)->text(), "确定"},
    };
    for (const auto& [shown, expected] : captions) EXPECT_EQ(shown, QString::fromUtf8(expected));
}

}  // namespace
}  // namespace zl
