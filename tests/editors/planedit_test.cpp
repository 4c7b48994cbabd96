#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <unistd.h>

#include "support/scratchdir.h"
#include "core/atomicfile.h"
#include "core/codepage.h"
#include "core/textlist.h"
#include "editors/formplanedit.h"
#include "editors/frameaplan.h"
#include "editors/whenmodal.h"
#include "msgdialog/frmmsgdlg.h"
#include "qtbase/application.h"

namespace zl {
namespace {

using testing::WhenModal;
using Names = std::vector<std::string>;

QString U(const char* s) { return QString::fromUtf8(s); }

void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

// Selects an entry as the operator does, by a click on it.
void ClickRow(QListWidget* list, int row) {
    list->doItemsLayout();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

Names Texts(const QListWidget* list) {
    Names texts;
    for (int i = 0; i < list->count(); ++i) texts.push_back(list->item(i)->text().toStdString());
    return texts;
}

// Answers the plan-name query: `text` typed into the field (nullptr keeps what is there),
// then "&O确定" or "放弃". `shown` records what the field held when the query came up.
void AnswerName(const char* text, bool ok, std::vector<QString>* shown = nullptr,
                std::function<void()> beforeClosing = {}) {
    WhenModal<TfrmMsgDialog>([=](TfrmMsgDialog& d) {
        if (shown) shown->push_back(d.txtEdit->text());
        if (text) d.txtEdit->setText(U(text));
        if (beforeClosing) beforeClosing();
        Click(ok ? d.cmdOk : d.cmdCancel);
    });
}

class PlanEdit : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(home_ / "pagedef");
        ::setenv("ZORLED_HOME", home_.c_str(), 1);
        previousReporter_ = SetErrorReporter([this](const QString& m) { reported_.push_back(m.toStdString()); });
    }
    void TearDown() override {
        SetErrorReporter(previousReporter_);
        ::unsetenv("ZORLED_HOME");
    }

    std::filesystem::path PageDef() const { return home_ / "pagedef"; }
    // Lists are given and read back in UTF-8; the files hold GBK.
    void Write(const std::string& file, const Names& entries) {
        StringList gbk;
        for (const auto& e : entries) gbk.push_back(Utf8ToGbk(e));
        WriteTextList(PageDef() / file, gbk);
    }
    Names Read(const std::string& file) const {
        Names utf8;
        for (const auto& e : ReadTextList(PageDef() / file)) utf8.push_back(GbkToUtf8(e));
        return utf8;
    }
    bool Exists(const std::string& file) const { return std::filesystem::exists(PageDef() / file); }

    // Opens the editor through EditPlayPlan and runs `operate` on it while it is shown.
    bool Edit(std::function<void(TFormPlanEdit&)> operate) {
        WhenModal<TFormPlanEdit>([operate](TFormPlanEdit& form) {
            operate(form);
            if (form.isVisible()) {
                ADD_FAILURE() << "the editor was left open";
                form.reject();
            }
        });
        return EditPlayPlan();
    }

    zl::testing::ScratchDir scratch_{"zorled-planedit"};
    const std::filesystem::path& home_ = scratch_.path();
    std::vector<std::string> reported_;
    ErrorReporter previousReporter_;
};

TEST_F(PlanEdit, ClosingWritesBothListsWhicheverWayItCloses) {
    struct Case {
        const char* how;
        std::function<void(TFormPlanEdit&)> close;
        bool result;
    } cases[] = {
        {"确定", [](TFormPlanEdit& f) { Click(f.BitBtnok); }, true},
        {"放弃", [](TFormPlanEdit& f) { Click(f.BitBtncancle); }, false},
        {"close box", [](TFormPlanEdit& f) { f.close(); }, false},
        // Enter is 确定 wherever the focus is, also on the plan list or its 新增 button.
        {"Enter in the plan list", [](TFormPlanEdit& f) { QTest::keyClick(f.FrameAplan1->ListBoxAPlan, Qt::Key_Return); }, true},
        {"Enter on 新增", [](TFormPlanEdit& f) { QTest::keyClick(f.FrameAplan1->BitBtnadd, Qt::Key_Return); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        std::filesystem::remove(PageDef() / "PlayList.PLN");
        std::filesystem::remove(PageDef() / "SelectList.PLN");
        EXPECT_EQ(Edit([&](TFormPlanEdit& f) {
                      EXPECT_EQ(f.windowTitle(), U("播放计划定义"));
                      EXPECT_EQ(f.size(), QSize(837, 467)) << "the plan part keeps 537 wide, the 时段 list beside it";
                      EXPECT_EQ(f.CheckListBoxPlayList->count(), 0);
                      c.close(f);
                  }),
                  c.result);
        ASSERT_TRUE(Exists("PlayList.PLN") && Exists("SelectList.PLN"));
        EXPECT_EQ(std::filesystem::file_size(PageDef() / "PlayList.PLN"), 0u);
        EXPECT_EQ(std::filesystem::file_size(PageDef() / "SelectList.PLN"), 0u);
    }
}

TEST_F(PlanEdit, AddingAPlanAsksAgainWhileTheNameIsTaken) {
    Write("PlayList.PLN", {"方案1", "Day"});
    Write("SelectList.PLN", {"Day"});
    std::vector<QString> shown;
    QString title, prompt;
    EXPECT_TRUE(Edit([&](TFormPlanEdit& f) {
        // "方案1" is taken, so the query comes back; "day" differs from "Day" only in case.
        AnswerName(nullptr, true, &shown, [&] {
            auto* d = qobject_cast<TfrmMsgDialog*>(QApplication::activeModalWidget());
            title = d->windowTitle();
            prompt = d->dlgLabel->text();
            AnswerName("day", true, &shown);
        });
        Click(f.BitBtnadd);
        EXPECT_EQ(Texts(f.CheckListBoxPlayList), Names({"方案1", "Day", "day"}));
        EXPECT_EQ(f.CheckListBoxPlayList->currentRow(), 2);
        EXPECT_EQ(f.CheckListBoxPlayList->item(2)->checkState(), Qt::Unchecked);
        EXPECT_EQ(f.FrameAplan1->PanelPlanname->text(), U("方案:day"));

        // An emptied field keeps the name shown before, which is taken, so it is asked again.
        AnswerName("", true, &shown, [&] { AnswerName(nullptr, false, &shown); });
        Click(f.BitBtnadd);
        EXPECT_EQ(f.CheckListBoxPlayList->count(), 3);
        Click(f.BitBtnok);
    }));
    EXPECT_EQ(title, U("请输入新的方案名称:"));
    EXPECT_EQ(prompt, U("名称"));
    EXPECT_EQ(shown, std::vector<QString>({U("方案1"), U("方案1"), U("方案1"), U("方案1")}));
    EXPECT_EQ(Read("PlayList.PLN"), Names({"方案1", "Day", "day"}));
    EXPECT_EQ(Read("SelectList.PLN"), Names({"Day"}));
}

TEST_F(PlanEdit, ANewPlanTakesOverThePagesOnView) {
    Write("PlayList.PLN", {"A", "B"});
    Write("A.LED", {"x", "y", "z"});
    Write("B.LED", {"q"});
    EXPECT_TRUE(Edit([&](TFormPlanEdit& f) {
        EXPECT_EQ(f.FrameAplan1->PlanFileName, std::filesystem::path());
        ClickRow(f.CheckListBoxPlayList, 0);
        EXPECT_EQ(Texts(f.FrameAplan1->ListBoxAPlan), Names({"x", "y", "z"}));
        AnswerName("新方案", true);
        Click(f.BitBtnadd);
        EXPECT_EQ(Texts(f.FrameAplan1->ListBoxAPlan), Names({"x", "y", "z"}));
        EXPECT_FALSE(Exists("新方案.LED")) << "written when the plan is left";
        ClickRow(f.CheckListBoxPlayList, 1);
        EXPECT_EQ(Texts(f.FrameAplan1->ListBoxAPlan), Names({"q"}));
        EXPECT_EQ(Read("新方案.LED"), Names({"x", "y", "z"}));
        QTest::keyClick(f.CheckListBoxPlayList, Qt::Key_Up);  // the keyboard selects as well
        EXPECT_EQ(f.FrameAplan1->PanelPlanname->text(), U("方案:A"));
        EXPECT_EQ(Texts(f.FrameAplan1->ListBoxAPlan), Names({"x", "y", "z"}));
        Click(f.BitBtnok);
    }));
    EXPECT_EQ(Read("A.LED"), Names({"x", "y", "z"}));
    EXPECT_EQ(Read("PlayList.PLN"), Names({"A", "B", "新方案"}));
}

TEST_F(PlanEdit, PlansDifferingOnlyInCaseKeepFilesOfTheirOwn) {
    Write("PlayList.PLN", {"a"});
    Write("a.LED", {"p1", "p2"});
    EXPECT_TRUE(Edit([&](TFormPlanEdit& f) {
        ClickRow(f.CheckListBoxPlayList, 0);
        AnswerName("A", true);
        Click(f.BitBtnadd);
        EXPECT_EQ(Texts(f.CheckListBoxPlayList), Names({"a", "A"}));
        ClickRow(f.CheckListBoxPlayList, 0);
        ClickRow(f.FrameAplan1->ListBoxAPlan, 0);
        Click(f.FrameAplan1->BitBtndelete);
        ClickRow(f.CheckListBoxPlayList, 1);
        EXPECT_EQ(Texts(f.FrameAplan1->ListBoxAPlan), Names({"p1", "p2"})) << "a page removed from a stays in A";
        Click(f.BitBtnok);
    }));
    EXPECT_EQ(Read("a.LED"), Names({"p2"}));
    EXPECT_EQ(Read("A.LED"), Names({"p1", "p2"}));
}

TEST_F(PlanEdit, PagesAreAddedByFileNameAndKeptEvenOnCancel) {
    Write("PlayList.PLN", {"A"});
    Write("A.LED", {"x", "y", "z"});
    const auto elsewhere = home_ / "elsewhere";
    std::filesystem::create_directories(elsewhere);
    WriteFileAtomic(elsewhere / "晨报.v1.DFM", "");
    auto pick = [&] {
        WhenModal<QFileDialog>([&](QFileDialog& d) {
            EXPECT_EQ(d.nameFilters(), QStringList({U("LED页面定义文件 (*.DFM)"), U("所有文件 (*)")}));
            d.selectFile(QString::fromStdString((elsewhere / "晨报.v1.DFM").string()));
            static_cast<QDialog&>(d).accept();
        });
    };
    EXPECT_FALSE(Edit([&](TFormPlanEdit& f) {
        ClickRow(f.CheckListBoxPlayList, 0);
        for (int i = 0; i < 2; ++i) {
            pick();
            Click(f.FrameAplan1->BitBtnadd);
        }
        ClickRow(f.FrameAplan1->ListBoxAPlan, 1);
        Click(f.FrameAplan1->BitBtndelete);
        Click(f.BitBtncancle);
    }));
    // The folder and the last extension go; duplicates stay; "放弃" undoes nothing.
    EXPECT_EQ(Read("A.LED"), Names({"x", "z", "晨报.v1", "晨报.v1"}));
}

TEST_F(PlanEdit, DeletingAPlanRemovesItsEntryAndFile) {
    Write("PlayList.PLN", {"A", "B"});
    Write("SelectList.PLN", {"A", "B"});
    Write("A.LED", {"x", "y"});
    QString title, text;
    EXPECT_TRUE(Edit([&](TFormPlanEdit& f) {
        ClickRow(f.CheckListBoxPlayList, 0);
        ClickRow(f.FrameAplan1->ListBoxAPlan, 0);
        Click(f.FrameAplan1->BitBtndelete);  // an unsaved edit that deleting drops
        for (auto answer : {QMessageBox::No, QMessageBox::Yes}) {
            WhenModal<QMessageBox>([&, answer](QMessageBox& box) {
                title = box.windowTitle();
                text = box.text();
                EXPECT_EQ(box.defaultButton(), box.button(QMessageBox::No));
                Click(box.button(answer));
            });
            Click(f.BitBtndelete);
            if (answer == QMessageBox::No) {
                EXPECT_EQ(f.CheckListBoxPlayList->count(), 2);
                EXPECT_TRUE(Exists("A.LED"));
            }
        }
        EXPECT_EQ(Texts(f.CheckListBoxPlayList), Names({"B"}));
        EXPECT_FALSE(Exists("A.LED"));
        EXPECT_EQ(f.CheckListBoxPlayList->currentRow(), -1);
        EXPECT_EQ(f.FrameAplan1->PlanFileName, std::filesystem::path());
        EXPECT_EQ(f.FrameAplan1->PanelPlanname->text(), U("方案:"));
        EXPECT_EQ(Texts(f.FrameAplan1->ListBoxAPlan), Names({"x", "y"}));
        Click(f.BitBtnok);
    }));
    EXPECT_EQ(title, U("删除当前定义的方案?"));
    EXPECT_EQ(text, U("请确定"));
    EXPECT_FALSE(Exists("A.LED"));
    EXPECT_EQ(Read("PlayList.PLN"), Names({"B"}));
    EXPECT_EQ(Read("SelectList.PLN"), Names({"B"}));
}

TEST_F(PlanEdit, CheckMarksFollowTheSelectList) {
    Write("PlayList.PLN", {"A", "B", "A"});
    Write("SelectList.PLN", {"A", "B", "gone"});
    EXPECT_TRUE(Edit([&](TFormPlanEdit& f) {
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(f.CheckListBoxPlayList->item(i)->checkState(), Qt::Checked) << i;
            f.CheckListBoxPlayList->item(i)->setCheckState(Qt::Unchecked);
        }
        Click(f.BitBtnok);
    }));
    EXPECT_EQ(Read("PlayList.PLN"), Names({"A", "B", "A"}));
    EXPECT_EQ(std::filesystem::file_size(PageDef() / "SelectList.PLN"), 0u);
}

TEST_F(PlanEdit, AFileThatCannotBeWrittenCostsTheOthersNothing) {
    // The plan's name leads into a folder that does not exist, so its file cannot be created.
    Write("PlayList.PLN", {"A", "nowhere\\B"});
    EXPECT_TRUE(Edit([&](TFormPlanEdit& f) {
        ClickRow(f.CheckListBoxPlayList, 1);
        f.CheckListBoxPlayList->item(0)->setCheckState(Qt::Checked);
        Click(f.BitBtnok);
    }));
    ASSERT_EQ(reported_.size(), 1u);
    EXPECT_NE(reported_[0].find("Cannot create file"), std::string::npos) << reported_[0];
    EXPECT_EQ(Read("SelectList.PLN"), Names({"A"}));
}

}  // namespace
}  // namespace zl
