#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "core/codepage.h"
#include "msgdialog/frmmsgdlg.h"
#include "msgdialog/msgdialog.h"

namespace zl {
namespace {

std::string G(const char* utf8) { return Utf8ToGbk(utf8); }
QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// Runs `action` on the dialog once its modal loop runs. A dialog the action leaves open is
// rejected, so a broken test fails instead of hanging.
void OnDialog(std::function<void(TfrmMsgDialog&)> action) {
    QTimer::singleShot(0, [action] {
        auto* form = qobject_cast<TfrmMsgDialog*>(QApplication::activeModalWidget());
        if (!form) {
            ADD_FAILURE() << "no modal message dialog is showing";
            return;
        }
        action(*form);
        if (form->isVisible()) {
            ADD_FAILURE() << "the dialog was left open";
            form->reject();
        }
    });
}

// Key events that carry their text, as an input method delivers Chinese characters.
void TypeInto(TfrmMsgDialog& form, const char* utf8) {
    form.txtEdit->clear();
    for (QChar c : U(utf8))
        QTest::sendKeyEvent(QTest::Click, form.txtEdit, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

std::vector<TMsgDlgBtn> VisibleButtons(const TfrmMsgDialog& form) {
    std::vector<TMsgDlgBtn> shown;
    for (int i = 0; i < kMsgDlgBtnCount; ++i)
        if (form.Button(static_cast<TMsgDlgBtn>(i))->isVisibleTo(&form)) shown.push_back(static_cast<TMsgDlgBtn>(i));
    return shown;
}

TEST(MsgDialogLayout, ButtonRowTable) {
    struct Case { int width, count, expectedWidth; std::vector<int> lefts; } cases[] = {
        {300, 2, 300, {55, 155}},
        {150, 2, 208, {24, 93}},            // too narrow: widened to 2 * 100 + 8
        {250, 3, 308, {32, 109, 186}},      // 308 / 4 = 77
        {350, 3, 350, {43, 131, 219}},      // 87.5 rounds to the even 88
        {450, 4, 450, {45, 135, 225, 315}},
        {330, 3, 330, {37, 119, 201}},      // 82.5 rounds to the even 82
        {377, 2, 377, {81, 207}},           // 125.67 rounds to 126
    };
    for (const auto& c : cases) {
        const ButtonRow row = LayOutButtonRow(c.width, c.count);
        EXPECT_EQ(row.dialogWidth, c.expectedWidth) << c.width << "/" << c.count;
        EXPECT_EQ(row.lefts, c.lefts) << c.width << "/" << c.count;
    }
}

TEST(MsgDialogLayout, PlainMessageSizesToItsLabel) {
    TfrmMsgDialog form;
    form.PrepareDialog(G("一条相当长的消息文本，足以让对话框变宽很多很多"), mtWarning,
                       MsgDlgButtons({mbCancel, mbOK}), 0);
    EXPECT_EQ(form.dlgLabel->pos(), QPoint(60, 8));
    EXPECT_GT(form.dlgLabel->width(), 200);
    EXPECT_EQ(form.Width(), form.dlgLabel->width() + 100);
    EXPECT_EQ(form.Height(), form.dlgLabel->height() + 100);
    // Placed in the order of the set, not the order of the call: OK before Cancel.
    const std::vector<int> lefts = LayOutButtonRow(form.Width(), 2).lefts;
    EXPECT_EQ(form.cmdOk->geometry(), QRect(lefts[0], form.Height() - 60, 80, 25));
    EXPECT_EQ(form.cmdCancel->geometry(), QRect(lefts[1], form.Height() - 60, 80, 25));

    form.PrepareDialog(G("短"), mtWarning, MsgDlgButtons({mbOK, mbCancel}), 0);
    EXPECT_EQ(form.Width(), 208);
}

TEST(MsgDialogLayout, DialogTypeChoosesIconAndTitle) {
    struct Case { TMsgDlgType type; const char* icon; QString title; } cases[] = {
        {mtWarning, "expWarn", U("警告")},
        {mtError, "expError", U("错误")},
        {mtInformation, "expInfo", U("信息")},
        {mtConfirmation, "expConf", U("请确定")},
        {mtCustom, nullptr, QGuiApplication::applicationDisplayName()},
    };
    TfrmMsgDialog form;
    for (const auto& c : cases) {
        form.PrepareDialog("Message", c.type, MsgDlgButtons({mbOK}), 0);
        EXPECT_EQ(form.windowTitle(), c.title) << c.type;
        for (QLabel* icon : {form.expWarn, form.expError, form.expInfo, form.expConf})
            EXPECT_EQ(icon->isVisibleTo(&form), c.icon && icon->objectName() == c.icon)
                << c.type << " " << icon->objectName().toStdString();
    }
}

TEST(MsgDialogLayout, InputFieldRefusesCharactersOutsideGbk) {
    TfrmMsgDialog form;
    form.txtEdit->insert(U("a😀b"));
    EXPECT_EQ(form.txtEdit->text(), QString());
    form.txtEdit->insert(U("方案·1"));
    EXPECT_EQ(form.txtEdit->text(), U("方案·1"));
}

TEST(MsgDialog, DefaultsOfTheComponent) {
    TMsgDialog dialog;
    EXPECT_EQ(dialog.DialogType(), mtInformation);
    EXPECT_EQ(dialog.DialogButtons(), MsgDlgButtons({mbOK}));
    EXPECT_EQ(dialog.HelpContextID(), 0);
    EXPECT_EQ(dialog.Msg(), "Message");
    EXPECT_FALSE(dialog.Password());
}

// Each button of a plain message dialog shows its caption and ends it with its code.
TEST(MsgDialog, ButtonsCaptionsAndResultCodes) {
    struct Case { TMsgDlgBtn button; const char* name; const char* caption; int result; } cases[] = {
        {mbYes, "cmdYes", "&Y是", 6},           {mbNo, "cmdNo", "&N不", 7},
        {mbOK, "cmdOk", "&O确定", 1},           {mbCancel, "cmdCancel", "放弃", 2},
        {mbAbort, "cmdAbort", "&A放弃   ", 3},  {mbRetry, "cmdRetry", "&R重试", 4},
        {mbIgnore, "cmdIgnore", "&I忽略", 5},   {mbAll, "cmdAll", "&A全部", 8},
        {mbNoToAll, "cmdNotoAll", "&X全部不", 9}, {mbYesToAll, "cmdYestoAll", "&A全部是", 10},
    };
    TMsgDialog dialog;
    dialog.SetDialogButtons((1u << kMsgDlgBtnCount) - 1);
    for (const auto& c : cases) {
        OnDialog([&](TfrmMsgDialog& form) {
            QPushButton* button = form.findChild<QPushButton*>(c.name);
            ASSERT_EQ(button, form.Button(c.button));
            EXPECT_EQ(button->text(), U(c.caption));
            QTest::mouseClick(button, Qt::LeftButton);
        });
        EXPECT_EQ(dialog.Execute(), c.result) << c.name;
    }
}

TEST(MsgDialog, AllElevenButtonsStandInSetOrderOnOneRow) {
    TMsgDialog dialog;
    dialog.SetDialogButtons((1u << kMsgDlgBtnCount) - 1);
    OnDialog([](TfrmMsgDialog& form) {
        EXPECT_EQ(form.Width(), 1108);
        const std::vector<int> lefts = LayOutButtonRow(1108, kMsgDlgBtnCount).lefts;
        for (int i = 0; i < kMsgDlgBtnCount; ++i)
            EXPECT_EQ(form.Button(static_cast<TMsgDlgBtn>(i))->pos(), QPoint(lefts[i], form.Height() - 60)) << i;
        form.reject();
    });
    EXPECT_EQ(dialog.Execute(), 2);
}

TEST(MsgDialog, HelpReportsTheContextAndKeepsTheDialogOpen) {
    TMsgDialog dialog;
    dialog.SetDialogButtons(MsgDlgButtons({mbOK, mbHelp}));
    dialog.SetHelpContextID(42);
    std::vector<int> helpCalls;
    dialog.OnHelp = [&](int context) { helpCalls.push_back(context); };
    OnDialog([&](TfrmMsgDialog& form) {
        QTest::mouseClick(form.cmdHelp, Qt::LeftButton);
        EXPECT_TRUE(form.isVisible());
        EXPECT_FALSE(form.cmdHelp->isDown());
        QTest::mouseClick(form.cmdOk, Qt::LeftButton);
    });
    EXPECT_EQ(dialog.Execute(), 1);
    EXPECT_EQ(helpCalls, std::vector<int>{42});
}

class InputQueryTest : public ::testing::Test {
protected:
    TMsgDialog dialog;
    std::string value = G("方案一");
};

TEST_F(InputQueryTest, PlanEditorQueryShowsQuestionPromptAndTwoButtons) {
    OnDialog([](TfrmMsgDialog& form) {
        EXPECT_EQ(form.windowTitle(), U("请输入新的方案名称:"));
        EXPECT_EQ(form.dlgLabel->text(), U("名称"));
        EXPECT_EQ(form.txtEdit->text(), U("方案一"));
        EXPECT_EQ(form.focusWidget(), form.txtEdit);
        EXPECT_EQ(VisibleButtons(form), (std::vector<TMsgDlgBtn>{mbOK, mbCancel}));
        // The label spans the top with its text centred; field and buttons lie below it.
        EXPECT_EQ(form.dlgLabel->geometry(), QRect(0, 0, form.width(), form.dlgLabel->height()));
        EXPECT_TRUE(form.dlgLabel->alignment() & Qt::AlignHCenter);
        EXPECT_EQ(form.txtEdit->y(), form.dlgLabel->height() + 10);
        EXPECT_EQ(form.txtEdit->width(), form.Width() - 50);
        const std::vector<int> lefts = LayOutButtonRow(form.Width(), 2).lefts;
        EXPECT_EQ(form.cmdOk->pos(), QPoint(lefts[0], form.Height() - 60));
        EXPECT_EQ(form.cmdCancel->pos(), QPoint(lefts[1], form.Height() - 60));
        EXPECT_LT(form.cmdOk->x() + form.cmdOk->width(), form.cmdCancel->x());
        EXPECT_GE(form.cmdOk->y(), form.txtEdit->geometry().bottom() + 10);
        EXPECT_LE(form.cmdCancel->geometry().right(), form.width());
        TypeInto(form, "方案二");
        QTest::mouseClick(form.cmdOk, Qt::LeftButton);
    });
    EXPECT_EQ(dialog.InputQuery(G("请输入新的方案名称:"), G("名称"), value), 1);
    EXPECT_EQ(value, G("方案二"));
}

TEST_F(InputQueryTest, EmptiedFieldKeepsTheValueAndReturnsOk) {
    OnDialog([](TfrmMsgDialog& form) {
        form.txtEdit->clear();
        QTest::mouseClick(form.cmdOk, Qt::LeftButton);
    });
    EXPECT_EQ(dialog.InputQuery("", "", value), 1);
    EXPECT_EQ(value, G("方案一"));
}

TEST_F(InputQueryTest, CancelKeepsTheValueEvenWhenEdited) {
    OnDialog([](TfrmMsgDialog& form) {
        TypeInto(form, "改过");
        QTest::mouseClick(form.cmdCancel, Qt::LeftButton);
    });
    EXPECT_EQ(dialog.InputQuery("", "", value), 2);
    EXPECT_EQ(value, G("方案一"));
}

TEST_F(InputQueryTest, CloseBoxReturnsCancelAfterAnEarlierOk) {
    OnDialog([](TfrmMsgDialog& form) {
        TypeInto(form, "first");
        QTest::mouseClick(form.cmdOk, Qt::LeftButton);
    });
    ASSERT_EQ(dialog.InputQuery("", "", value), 1);
    ASSERT_EQ(value, "first");
    OnDialog([](TfrmMsgDialog& form) {
        TypeInto(form, "second");
        form.close();
    });
    EXPECT_EQ(dialog.InputQuery("", "", value), 2);
    EXPECT_EQ(value, "first");
}

TEST_F(InputQueryTest, EnterInTheFieldActsAsOk) {
    OnDialog([](TfrmMsgDialog& form) {
        TypeInto(form, "abc");
        QTest::keyClick(form.txtEdit, Qt::Key_Return);
    });
    EXPECT_EQ(dialog.InputQuery("", "", value), 1);
    EXPECT_EQ(value, "abc");
}

TEST_F(InputQueryTest, RestoresMsgTypeAndButtonsAndFallsBackToThem) {
    dialog.SetMsg(G("原来的消息"));
    dialog.SetDialogType(mtWarning);
    dialog.SetDialogButtons(MsgDlgButtons({mbYes, mbNo}));
    OnDialog([](TfrmMsgDialog& form) {
        // No prompt: the label shows Msg; no caption: the application's title.
        EXPECT_EQ(form.dlgLabel->text(), U("原来的消息"));
        EXPECT_EQ(form.windowTitle(), QGuiApplication::applicationDisplayName());
        EXPECT_EQ(VisibleButtons(form), (std::vector<TMsgDlgBtn>{mbOK, mbCancel}));
        QTest::mouseClick(form.cmdOk, Qt::LeftButton);
    });
    EXPECT_EQ(dialog.InputQuery("", "", value), 1);
    EXPECT_EQ(dialog.Msg(), G("原来的消息"));
    EXPECT_EQ(dialog.DialogType(), mtWarning);
    EXPECT_EQ(dialog.DialogButtons(), MsgDlgButtons({mbYes, mbNo}));

    OnDialog([](TfrmMsgDialog& form) { form.close(); });
    EXPECT_EQ(dialog.InputQuery(G("标题"), G("提示"), value), 2);
    EXPECT_EQ(dialog.Msg(), G("原来的消息"));
}

TEST_F(InputQueryTest, PasswordFieldHidesTheText) {
    dialog.SetPassword(true);
    OnDialog([](TfrmMsgDialog& form) {
        EXPECT_EQ(form.txtEdit->echoMode(), QLineEdit::Password);
        TypeInto(form, "secret");
        QTest::keyClick(form.txtEdit, Qt::Key_Return);
    });
    EXPECT_EQ(dialog.InputQuery("", "", value), 1);
    EXPECT_EQ(value, "secret");
}

}  // namespace
}  // namespace zl
