#include <gtest/gtest.h>

#include <QAction>
#include <QFileDialog>
#include <QFrame>
#include <QMenuBar>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <unistd.h>

#include "app/mainwindow.h"
#include "core/atomicfile.h"
#include "core/codepage.h"
#include "core/home.h"
#include "qtbase/application.h"
#include "support/scratchdir.h"

namespace zl {
namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("ZORLED_HOME", home_.c_str(), 1);
        RegisterPageClasses();
        ResetWidgetCounters();
        window_ = std::make_unique<TSYS_Frmzorled>();
        // File dialogs answer from a queue: a path picks that file, an empty one cancels.
        window_->RunFileDialog = [this](QFileDialog& dialog) {
            dialogs_.push_back(&dialog);
            proposed_.push_back(dialog.selectedFiles().value(0));
            if (answers_.empty() || answers_.front().empty()) {
                if (!answers_.empty()) answers_.erase(answers_.begin());
                return false;
            }
            dialog.selectFile(QString::fromStdString(answers_.front().string()));
            answers_.erase(answers_.begin());
            return true;
        };
        window_->AskSaveChanges = [this] { ++questions_; return answer_; };
    }
    void TearDown() override {
        window_.reset();
        ::unsetenv("ZORLED_HOME");
    }

    zl::testing::ScratchDir scratch_{"zorled-app"};
    const std::filesystem::path& home_ = scratch_.path();
    std::unique_ptr<TSYS_Frmzorled> window_;
    std::vector<std::filesystem::path> answers_;
    std::vector<QFileDialog*> dialogs_;
    std::vector<QString> proposed_;
    int questions_ = 0;
    TSYS_Frmzorled::SaveAnswer answer_ = TSYS_Frmzorled::SaveAnswer::Discard;
};

TEST_F(MainWindow, StartsAsTheFormSays) {
    EXPECT_EQ(window_->windowTitle(), U("ZorLED显示系统"));
    EXPECT_EQ(window_->pos(), QPoint(20, 350));
    EXPECT_EQ(window_->size(), QSize(492 - 6, 346 - 26)) << "frame model: 492 x 346 outside";
    ASSERT_NE(window_->Page, nullptr);
    EXPECT_EQ(window_->Page->Name(), "LedDesignWin");
    EXPECT_TRUE(std::filesystem::is_directory(home_ / "pagedef")) << "a fresh home gets its pagedef folder";
    EXPECT_FALSE(window_->Playing);
    EXPECT_EQ(window_->PageIndex, -1);
    EXPECT_FALSE(window_->TimerPlay->Enabled());
    for (QFileDialog* d : {window_->OpenDialog1, window_->SaveDialog1}) {
        EXPECT_EQ(d->nameFilters(), QStringList({U("LED页面定义文件 (*.DFM)"), U("所有文件 (*)")}));
        EXPECT_EQ(d->defaultSuffix(), "DFM");
        EXPECT_EQ(std::filesystem::path(d->directory().absolutePath().toStdString()),
                  std::filesystem::path(home_ / "pagedef"));
    }
}

TEST_F(MainWindow, MenusListEveryEntryInOrder) {
    QStringList got;
    for (QAction* top : window_->menuBar()->actions()) {
        QStringList entries;
        for (QAction* a : top->menu()->actions()) entries << (a->isSeparator() ? "-" : a->text());
        got << top->text() + ": " + entries.join(" ");
    }
    EXPECT_EQ(got, QStringList({U("Led显示: 播放 开机自动播放 - 退出"), U("页面定义: 新页面 打开 保存 另存为 - 播放方案"),
                                U("部件定义: 新增标签 新增显示板 新增走马灯 新增时钟 新增图片 - 删除部件 - 撤销 重做 - 剪切 复制 粘贴 全选 - 属性"),
                                U("关于: 联系 - 关于"), U("编辑: "), U("LED输出: 输出设置 LED预览 设计时输出"),
                                U("屏群: 屏群")}));
    EXPECT_EQ(window_->ActionHelp->text(), U("帮助"));
}

TEST_F(MainWindow, ToolButtonsStandInTheirPanels) {
    struct Place {
        QWidget* panel;
        int left;
        const char* caption;
    } places[] = {
        {window_->SYS_Panelsystools, 3, "播放"}, {window_->SYS_Panelsystools, 83, "新页面"},
        {window_->SYS_Panelsystools, 163, "打开"}, {window_->SYS_Panelsystools, 243, "保存"},
        {window_->SYS_Panelsystools, 323, "另存为"}, {window_->SYS_Panelcreatetools, 3, "新增时钟"},
        {window_->SYS_Panelcreatetools, 83, "新增走马灯"}, {window_->SYS_Panelcreatetools, 163, "新增显示板"},
        {window_->SYS_Panelcreatetools, 243, "新增标签"}, {window_->SYS_Panelcreatetools, 323, "新增图片"},
        {window_->SYS_Panelcreatetools, 403, "删除部件"},
    };
    // The pictures stay when play changes the actions' captions and enabling.
    window_->RunPlanEditor = [] { return true; };
    for (const char* when : {"at start", "after play and stop"}) {
        SCOPED_TRACE(when);
        for (const auto& p : places) {
            QToolButton* found = nullptr;
            for (auto* b : p.panel->findChildren<QToolButton*>())
                if (b->text() == U(p.caption)) found = b;
            ASSERT_NE(found, nullptr) << p.caption;
            EXPECT_EQ(found->geometry(), QRect(p.left, 2, 80, 70)) << p.caption;
            EXPECT_EQ(found->iconSize(), QSize(32, 32));
            EXPECT_FALSE(found->icon().isNull()) << p.caption;
            EXPECT_FALSE(found->defaultAction()->icon().isNull()) << "the menu entry shows it too";
        }
        window_->ActionPlay->trigger();
        window_->ActionPlay->trigger();
    }
    EXPECT_EQ(window_->SYS_Panelsystools->height(), 74);
    EXPECT_EQ(window_->SYS_Panelcreatetools->height(), 74);
}

TEST_F(MainWindow, EnablingFollowsPlayMode) {
    struct Row {
        QAction* action;
        const char* category;
        bool enabledWhilePlaying;
    } rows[] = {
        {window_->ActionPlay, "system", true},         {window_->ActionExit, "system", true},
        {window_->Actionnewpage, "page", false},       {window_->Actionpageopen, "page", false},
        {window_->Actionpagesave, "page", false},      {window_->Actionpagesaveto, "page", false},
        {window_->ActionPlaymode, "system", false},    {window_->Actionnewlabel, "component", false},
        {window_->Actionnewimage, "component", false}, {window_->Actionnewzmd, "component", false},
        {window_->Actionnewclock, "component", false}, {window_->Actionnewscrolltext, "component", false},
        {window_->Actiondeleteselected, "component", false}, {window_->ActionHelp, "system", true},
        {window_->ActionAbout, "system", true},
    };
    for (bool playing : {true, false}) {
        window_->Playing = playing;
        window_->UpdateCommandStates();
        for (const auto& r : rows) {
            EXPECT_EQ(r.action->isEnabled(), !playing || r.enabledWhilePlaying) << r.action->text().toStdString();
            EXPECT_EQ(r.action->property("category").toString(), r.category);
        }
    }
}

TEST_F(MainWindow, TitlesNameTheFileAndTheMode) {
    EXPECT_EQ(MainTitle({}, false), U("ZorLED显示系统"));
    EXPECT_EQ(MainTitle("/x/pagedef/a.DFM", false), U("ZorLED显示系统        当前文件:a.DFM[设计模式"));
    EXPECT_EQ(MainTitle("/x/pagedef/a.DFM", true), U("ZorLED显示系统        当前文件:a.DFM[播放模式]"));
}

TEST_F(MainWindow, WidgetCommandsGoToThePage) {
    window_->Actionnewlabel->trigger();
    window_->Actionnewimage->trigger();
    window_->Actionnewclock->trigger();  // a kind without its widget yet creates nothing or a clock
    ASSERT_GE(window_->Page->Components().size(), 2u);
    EXPECT_EQ(window_->Page->Components()[0]->Name(), "mylabel1");
    window_->Page->Selection->Add(static_cast<Control*>(window_->Page->FindComponent("mylabel1")));
    window_->Actiondeleteselected->trigger();
    EXPECT_EQ(window_->Page->FindComponent("mylabel1"), nullptr);
}

TEST_F(MainWindow, NewPageAsksOnlyForAChangedPage) {
    window_->Actionnewlabel->trigger();
    window_->CurrentFile = home_ / "pagedef" / "a.DFM";
    window_->ActionnewpageExecute();
    EXPECT_EQ(questions_, 1);
    window_->ActionnewpageExecute();
    EXPECT_EQ(questions_, 1) << "an unchanged page asks nothing";
    EXPECT_TRUE(window_->CurrentFile.empty());
    EXPECT_EQ(window_->windowTitle(), U("ZorLED显示系统"));
    EXPECT_TRUE(window_->Page->Components().empty());
    EXPECT_EQ(window_->Page->Name(), "LedDesignWin");
}

TEST_F(MainWindow, SaveAsProposesTheFixedNameAndWritesBothFiles) {
    const auto target = home_ / "pagedef" / "first.DFM";
    answers_ = {target};
    window_->Actionnewlabel->trigger();
    window_->Actionpagesave->trigger();  // never saved: Save goes through Save as
    ASSERT_EQ(proposed_.size(), 1u);
    EXPECT_TRUE(proposed_[0].endsWith(U("机车计划页.DFM"))) << proposed_[0].toStdString();
    EXPECT_EQ(dialogs_[0], window_->SaveDialog1);
    EXPECT_TRUE(std::filesystem::exists(target));
    EXPECT_TRUE(std::filesystem::exists(home_ / "pagedef" / "first.Pas"));
    EXPECT_EQ(window_->CurrentFile, target);
    EXPECT_EQ(window_->windowTitle(), U("ZorLED显示系统        当前文件:first.DFM[设计模式"));

    // Save again rewrites both files without asking.
    window_->Actionnewlabel->trigger();
    window_->Actionpagesave->trigger();
    EXPECT_EQ(dialogs_.size(), 1u);
    EXPECT_NE(ReadWholeFile(target).find("mylabel2"), std::string::npos);
    EXPECT_NE(ReadWholeFile(home_ / "pagedef" / "first.Pas").find("mylabel2: Tzorledlabel;"), std::string::npos);

    // Save as proposes the fixed name again, whatever the current file.
    answers_ = {std::filesystem::path()};
    window_->Actionpagesaveto->trigger();
    EXPECT_TRUE(proposed_.back().endsWith(U("机车计划页.DFM")));
    EXPECT_EQ(window_->CurrentFile, target) << "a cancelled dialog changes nothing";
}

TEST_F(MainWindow, OpenChangeOneValueAndSaveChangesNothingElseOfEitherFile) {
    const auto p6 = home_ / "pagedef" / "p6.DFM", unit = home_ / "pagedef" / "p6.Pas";
    window_->Actionnewlabel->trigger();
    window_->Actionnewimage->trigger();  // a clock would write the time it shows
    window_->SavePageTo(p6);
    const std::string pageBefore = ReadWholeFile(p6), unitBefore = ReadWholeFile(unit);
    ASSERT_EQ(pageBefore.rfind("object LedDesignWin: TFrmZorLedForm\r\n", 0), 0u);
    window_->ActionnewpageExecute();

    answers_ = {p6};
    window_->Actionpageopen->trigger();
    EXPECT_EQ(window_->Page->Name(), "LedDesignWin") << "the page window keeps its root name";
    window_->Page->displaytime = 17;
    window_->Actionpagesave->trigger();

    std::string expected = pageBefore;
    const std::string was = "  displaytime = 0\r\n";
    ASSERT_NE(expected.find(was), std::string::npos);
    expected.replace(expected.find(was), was.size(), "  displaytime = 17\r\n");
    EXPECT_EQ(ReadWholeFile(p6), expected);
    EXPECT_EQ(ReadWholeFile(unit), unitBefore);
}

TEST_F(MainWindow, OpenAsksForAChangedPageAndACancelledSaveKeepsIt) {
    const auto page = home_ / "pagedef" / "shown.DFM";
    window_->Actionnewlabel->trigger();
    window_->SavePageTo(page);
    window_->ActionnewpageExecute();
    EXPECT_EQ(questions_, 0) << "a saved page asks nothing";

    // 保存 on a page never saved runs Save as; cancelling it keeps the page and opens nothing.
    window_->Actionnewimage->trigger();
    TFrmZorLedForm* changed = window_->Page;
    answer_ = TSYS_Frmzorled::SaveAnswer::Save;
    answers_ = {std::filesystem::path()};
    window_->Actionpageopen->trigger();
    EXPECT_EQ(questions_, 1);
    ASSERT_EQ(dialogs_.size(), 1u);
    EXPECT_EQ(dialogs_[0], window_->SaveDialog1);
    EXPECT_EQ(window_->Page, changed);
    EXPECT_TRUE(window_->PageModified());

    // 保存 with a name saves, then the page is opened.
    const auto saved = home_ / "pagedef" / "second.DFM";
    answers_ = {saved, page};
    window_->Actionpageopen->trigger();
    EXPECT_EQ(questions_, 2);
    EXPECT_NE(ReadWholeFile(saved).find("myzorledIMAGE1"), std::string::npos);
    EXPECT_EQ(window_->CurrentFile, page);
    EXPECT_EQ(window_->windowTitle(), U("ZorLED显示系统        当前文件:shown.DFM[设计模式"));
    EXPECT_NE(window_->Page->FindComponent("mylabel1"), nullptr);

    // Cancelling the open dialog of an unchanged page leaves everything as it was.
    TFrmZorLedForm* before = window_->Page;
    answers_ = {std::filesystem::path()};
    window_->Actionpageopen->trigger();
    EXPECT_EQ(questions_, 2);
    EXPECT_EQ(window_->Page, before);
}

TEST_F(MainWindow, AFailedOpenIsReportedAndSaveThenAsksForAName) {
    struct Case {
        const char* what;
        std::string bytes;
        const char* message;
        bool labelRead;
    } cases[] = {
        {"a picture renamed", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "OBJECT expected on line 1", false},
        {"an unknown class after a label",
         "object P: TFrmZorLedForm\r\n"
         "  object mylabel1: Tzorledlabel\r\n"
         "    Left = 5\r\n"
         "  end\r\n"
         "  object x: TNoSuchWidget\r\n"
         "  end\r\n"
         "end\r\n",
         "Class TNoSuchWidget not found", true},
        {"cut short inside a widget",
         "object P: TFrmZorLedForm\r\n"
         "  object mylabel1: Tzorledlabel\r\n"
         "    Left = 5\r\n"
         "    Top = ",
         "Invalid property value on line 4", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto broken = home_ / "pagedef" / "notapage.DFM";
        WriteFileAtomic(broken, c.bytes);
        QStringList reports;
        auto previous = SetErrorReporter([&](const QString& m) { reports << m; });
        answers_ = {broken};
        // A command's error reaches the operator through the application's report.
        QTimer::singleShot(0, window_->Actionpageopen, &QAction::trigger);
        QCoreApplication::processEvents();
        // Named by the file it came from.
        EXPECT_EQ(reports, QStringList({U(c.message) + " (page file \"" + QString::fromStdString(broken.string()) + "\")"}));
        ASSERT_NE(window_->Page, nullptr);
        EXPECT_TRUE(window_->CurrentFile.empty()) << "a page that failed to load names no file";
        EXPECT_EQ(window_->windowTitle(), U("ZorLED显示系统"));
        auto* label = dynamic_cast<Control*>(window_->Page->FindComponent("mylabel1"));
        EXPECT_EQ(label != nullptr, c.labelRead) << "what was read before the error stays";
        if (label) {
            EXPECT_EQ(label->Left(), 5);
        }
        EXPECT_TRUE(window_->Page->updatesEnabled());

        // Save asks for a name as for a new page; the unreadable file keeps its bytes.
        dialogs_.clear();
        answers_ = {std::filesystem::path()};
        window_->Actionpagesave->trigger();
        ASSERT_EQ(dialogs_.size(), 1u);
        EXPECT_EQ(dialogs_[0], window_->SaveDialog1);
        EXPECT_EQ(ReadWholeFile(broken), c.bytes);
        EXPECT_FALSE(std::filesystem::exists(home_ / "pagedef" / "notapage.Pas"));
        SetErrorReporter(previous);
    }
}

}  // namespace
}  // namespace zl
