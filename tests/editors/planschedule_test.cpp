#include <gtest/gtest.h>

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimeEdit>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "support/scratchdir.h"
#include "core/textlist.h"
#include "editors/formplanedit.h"
#include "editors/planschedule.h"
#include "editors/whenmodal.h"
#include "qtbase/application.h"

namespace zl {
namespace {

using testing::WhenModal;

void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

void ClickRow(QListWidget* list, int row) {
    list->doItemsLayout();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

std::string Bytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class PlanSchedule : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(PageDef());
        ::setenv("ZORLED_HOME", home_.c_str(), 1);
        WriteTextList(PageDef() / "PlayList.PLN", {"menu", "night"});
    }
    void TearDown() override { ::unsetenv("ZORLED_HOME"); }
    std::filesystem::path PageDef() const { return home_ / "pagedef"; }

    void Edit(std::function<void(TFormPlanEdit&)> operate) {
        WhenModal<TFormPlanEdit>([operate](TFormPlanEdit& form) {
            operate(form);
            Click(form.BitBtnok);
        });
        EditPlayPlan();
    }
    // Answers the window dialog: Monday to Friday 07:00-11:00, priority 5.
    static void AnswerWeekdayBreakfast() {
        WhenModal<TScheduleWindowDialog>([](TScheduleWindowDialog& d) {
            for (int i = 0; i < 7; ++i) d.Days[i]->setChecked(i < 5);
            d.TimeFrom->setTime(QTime(7, 0));
            d.TimeTo->setTime(QTime(11, 0));
            d.SpinPriority->setValue(5);
            Click(d.BitBtnok);
        });
    }

    zl::testing::ScratchDir scratch_{"zorled-planschedule"};
    const std::filesystem::path& home_ = scratch_.path();
};

TEST_F(PlanSchedule, AddedWindowIsTheLineAndUnreadableLinesSurvive) {
    const std::string kept = "8 25:00-26:00 weird";
    WriteTextList(PageDef() / "menu.SCH", {"; breakfast", kept});
    const std::string before = Bytes(PageDef() / "menu.SCH");
    Edit([&](TFormPlanEdit& form) {
        EXPECT_EQ(form.CheckListBoxPlayList->item(0)->text().toStdString(), "menu") << "no window yet, no mark";
        ClickRow(form.CheckListBoxPlayList, 0);
        ASSERT_EQ(form.FramePlanSchedule1->ListWindows->count(), 1) << "the unreadable line is shown";
        AnswerWeekdayBreakfast();
        Click(form.FramePlanSchedule1->BitBtnadd);
        EXPECT_EQ(form.FramePlanSchedule1->ListWindows->count(), 2);
        EXPECT_NE(form.CheckListBoxPlayList->item(0)->text().toStdString(), "menu") << "a plan with windows is marked";
    });
    EXPECT_EQ(Bytes(PageDef() / "menu.SCH"), before + "1-5 07:00-11:00 priority 5\r\n");
    EXPECT_FALSE(std::filesystem::exists(PageDef() / "night.SCH")) << "a plan not touched gets no file";
}

TEST_F(PlanSchedule, DeletingTheLastWindowRemovesTheFile) {
    WriteTextList(PageDef() / "night.SCH", {"* 22:00-06:00"});
    Edit([&](TFormPlanEdit& form) {
        EXPECT_NE(form.CheckListBoxPlayList->item(1)->text().toStdString(), "night");
        ClickRow(form.CheckListBoxPlayList, 1);
        form.FramePlanSchedule1->ListWindows->setCurrentRow(0);
        Click(form.FramePlanSchedule1->BitBtndelete);
        EXPECT_EQ(form.CheckListBoxPlayList->item(1)->text().toStdString(), "night");
    });
    EXPECT_FALSE(std::filesystem::exists(PageDef() / "night.SCH"));
}

TEST_F(PlanSchedule, DarkHoursAreEditedTheSameWay) {
    Edit([&](TFormPlanEdit& form) {
        Click(form.BitBtndark);
        AnswerWeekdayBreakfast();
        Click(form.FramePlanSchedule1->BitBtnadd);
    });
    EXPECT_EQ(ReadTextList(PageDef() / "DarkHours.PLN"), StringList{"1-5 07:00-11:00 priority 5"});
}

TEST_F(PlanSchedule, EditingAWindowKeepsWhatTheDialogWasNotToldToChange) {
    WriteTextList(PageDef() / "menu.SCH", {"6,7 23:00-24:00 2026-12-24..2026-12-26 priority 3"});
    Edit([&](TFormPlanEdit& form) {
        ClickRow(form.CheckListBoxPlayList, 0);
        form.FramePlanSchedule1->ListWindows->setCurrentRow(0);
        WhenModal<TScheduleWindowDialog>([](TScheduleWindowDialog& d) { Click(d.BitBtnok); });
        Click(form.FramePlanSchedule1->BitBtnedit);
    });
    EXPECT_EQ(ReadTextList(PageDef() / "menu.SCH"), StringList{"6,7 23:00-24:00 2026-12-24..2026-12-26 priority 3"});
}

}  // namespace
}  // namespace zl
