// The designer's editing through the real main window: undo and redo, keys, the clipboard and
// the question before a changed page is dropped.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QWindow>
#include <QTest>
#include <QUndoStack>

#include "app/mainwindow.h"
#include "core/atomicfile.h"
#include "core/codepage.h"
#include "core/pagetext/parser.h"
#include "core/pagetext/writer.h"
#include "page/pageclipboard.h"
#include "page/pagefile.h"
#include "qtbase/application.h"
#include "support/mainwindowfixture.h"
#include "widgets/zorledlabel.h"

namespace zl {
namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

void Mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons buttons, Qt::KeyboardModifiers keys = {}) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, buttons, keys);
    QApplication::sendEvent(w, &e);
}

// Drags with the left button from `from` by (dx, dy), in the widget's coordinates.
void Drag(QWidget* w, QPoint from, int dx, int dy) {
    Mouse(w, QEvent::MouseButtonPress, from, Qt::LeftButton);
    Mouse(w, QEvent::MouseMove, from + QPoint(dx, dy), Qt::LeftButton);
    Mouse(w, QEvent::MouseButtonRelease, from + QPoint(dx, dy), Qt::NoButton);
}

class DesignerEdit : public zl::testing::MainWindowTest {
public:
    DesignerEdit() : MainWindowTest("zorled-designer") {}
    void SetUp() override {
        MainWindowTest::SetUp();
        window_->RunFileDialog = [this](QFileDialog& dialog) {
            if (saveAs_.empty()) return false;
            dialog.selectFile(QString::fromStdString(saveAs_.string()));
            return true;
        };
    }
    // Keys as the operator types them into the active page window.
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = {}) {
        QApplicationPrivateActivate(window_->Page);
        QTest::keyClick(window_->Page, key, mods);
    }
    static void QApplicationPrivateActivate(QWidget* w) {
        w->activateWindow();
        QApplication::setActiveWindow(w);
    }

    std::filesystem::path saveAs_;
};

// A dialog session that sets several values: one step.
void EditLabelTwice(Tzorledlabel& label) {
    label.SetCaption(Utf8ToGbk("改过"));
    label.SetColor(clBlue);
    label.SetLeft(77);
}

TEST_F(DesignerEdit, UndoAndRedoOfEveryChangeRestoreThePageTextByteForByte) {
    EditLabel = EditLabelTwice;
    const struct {
        const char* what;
        std::function<void(DesignerEdit&)> change;
    } cases[] = {
        {"create", [](DesignerEdit& t) { t.window_->Actionnewzmd->trigger(); }},
        {"move by mouse",
         [](DesignerEdit& t) { Drag(t.Widget("mylabel1")->Widget(), {5, 5}, 13, 7); }},
        {"move a group by mouse",
         [](DesignerEdit& t) {
             t.Select({"mylabel1", "myclock1"});
             Drag(t.Widget("mylabel1")->Widget(), {5, 5}, -4, 9);
         }},
        {"resize by a grip",
         [](DesignerEdit& t) {
             t.Select({"mylabel1"});
             const Tselectcontrolcla& s = *t.Page().Selection;
             Drag(s.Overlay(), s.DrawnRect(s.Items[0], s.Items[0].Grips[7]).topLeft() + QPoint(2, 2), 30, 12);
         }},
        {"delete a label", [](DesignerEdit& t) { t.Select({"mylabel1"}); t.window_->Actiondeleteselected->trigger(); }},
        {"delete a clock and a board",
         [](DesignerEdit& t) { t.Select({"myclock1", "myscrolltext1"}); t.window_->Actiondeleteselected->trigger(); }},
        {"a dialog session",
         [](DesignerEdit& t) {
             QWidget* w = t.Widget("mylabel1")->Widget();
             Mouse(w, QEvent::MouseButtonDblClick, {5, 5}, Qt::LeftButton);
             Mouse(w, QEvent::MouseButtonRelease, {5, 5}, Qt::NoButton);
         }},
        {"the page's dialog session",
         [](DesignerEdit& t) {
             TFrmZorLedForm::ShowFormEdit = [](TFrmZorLedForm& page) {
                 page.SetCaption(Utf8ToGbk("新标题"));
                 page.SetColor(clBlue);
                 page.SetClientWidth(page.ClientWidth() + 40);
             };
             t.Page().FormDblClick();
             TFrmZorLedForm::ShowFormEdit = nullptr;
         }},
        {"paste",
         [](DesignerEdit& t) {
             t.Select({"mylabel1", "myzorledIMAGE1"});
             t.window_->ActionCopy->trigger();
             t.window_->ActionPaste->trigger();
         }},
        {"cut", [](DesignerEdit& t) { t.Select({"myclock1"}); t.window_->ActionCut->trigger(); }},
        {"arrow keys", [](DesignerEdit& t) { t.Select({"mylabel1"}); t.Page().MoveSelected(10, -1); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        window_->ActionnewpageExecute();
        answer_ = TSYS_Frmzorled::SaveAnswer::Discard;
        ResetWidgetCounters();
        for (QAction* a : {window_->Actionnewclock, window_->Actionnewlabel, window_->Actionnewscrolltext,
                           window_->Actionnewimage})
            a->trigger();
        // The label is created after the clock and ends up before it in the page's order.
        const std::string before = Text();
        const int steps = Page().History->Stack().count();
        c.change(*this);
        const std::string after = Text();
        ASSERT_NE(after, before);
        EXPECT_EQ(Page().History->Stack().count(), steps + 1) << "one step";
        window_->ActionUndo->trigger();
        EXPECT_EQ(Text(), before);
        window_->ActionRedo->trigger();
        EXPECT_EQ(Text(), after);
        window_->ActionUndo->trigger();
        EXPECT_EQ(Text(), before);
        EXPECT_TRUE(reports_.isEmpty()) << reports_.join("\n").toStdString();
    }
    EditLabel = nullptr;
}

TEST_F(DesignerEdit, UndoRebuildsAWidgetWithItsDefaultsAndItsPlace) {
    window_->Actionnewlabel->trigger();
    window_->Actionnewimage->trigger();
    window_->Actionnewlabel->trigger();
    const std::string before = Text();
    // A value set away from its default and then undone must come back as the default, which
    // page text does not write.
    Page().History->Begin({Widget("mylabel1")}, U("属性"));
    static_cast<Tzorledlabel*>(Widget("mylabel1"))->SetTransparent(true);
    Page().History->End();
    ASSERT_NE(Text(), before);
    window_->ActionUndo->trigger();
    EXPECT_EQ(Text(), before);
    EXPECT_EQ(Page().Components().front()->Name(), "mylabel1");
    // Drawn widgets paint in the page's order: the first label lies under the image again.
    const auto children = Page().children();
    EXPECT_LT(children.indexOf(Widget("mylabel1")->Widget()), children.indexOf(Widget("myzorledIMAGE1")->Widget()));
}

TEST_F(DesignerEdit, TwoWidgetsPasteIntoAFreshPageWithTheSamePropertiesUnderNewNames) {
    window_->Actionnewlabel->trigger();
    window_->Actionnewscrolltext->trigger();
    static_cast<Tzorledlabel*>(Widget("mylabel1"))->SetCaption(Utf8ToGbk("到站"));
    Select({"mylabel1", "myscrolltext1"});
    window_->ActionCopy->trigger();
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data->hasFormat(kPageTextMime));
    EXPECT_TRUE(data->text().contains("object mylabel1: Tzorledlabel")) << data->text().toStdString();

    answer_ = TSYS_Frmzorled::SaveAnswer::Discard;
    window_->ActionnewpageExecute();
    window_->ActionPaste->trigger();
    ASSERT_TRUE(reports_.isEmpty()) << reports_.join("\n").toStdString();
    // Named as the factory names new widgets: the counters went on past the copied ones.
    const auto copied = pagetext::Parse(data->data(kPageTextMime).toStdString());
    ASSERT_EQ(copied.children.size(), 2u);
    const char* newNames[] = {"mylabel2", "myscrolltext2"};
    for (size_t i = 0; i < 2; ++i) {
        Control* pasted = Widget(newNames[i]);
        ASSERT_NE(pasted, nullptr) << newNames[i];
        EXPECT_EQ(pasted->Left(), [&] {
            for (const auto& p : copied.children[i].properties)
                if (p.path == "Left") return int(p.value.If<pagetext::IntegerValue>()->value) + 10;
            return 10;
        }());
        pagetext::Object tree = WidgetToTree(Page(), *pasted);
        tree.name = copied.children[i].name;
        for (auto& p : tree.properties)
            if (p.path == "Left" || p.path == "Top") p.value.If<pagetext::IntegerValue>()->value -= 10;
        EXPECT_EQ(pagetext::Write(tree), pagetext::Write(copied.children[i]));
    }
    EXPECT_EQ(Page().Selection->Count(), 2);
    // The same text from a text editor pastes too, again under new names.
    QGuiApplication::clipboard()->setText(data->text());
    window_->ActionPaste->trigger();
    EXPECT_NE(Widget("mylabel3"), nullptr);
}

TEST_F(DesignerEdit, APasteOfSomethingElseIsRefusedAndChangesNothing) {
    window_->Actionnewlabel->trigger();
    const std::string before = Text();
    const int steps = Page().History->Stack().count();
    const struct {
        const char* what;
        const char* text;
        const char* message;
    } cases[] = {
        {"prose", "Dear operator, hello", "未粘贴：剪贴板中的内容不是页面文本"},
        {"empty", "", "剪贴板是空的"},
        {"only blanks", " \r\n\t", "剪贴板是空的"},
        {"a page without widgets", "object P: TFrmZorLedForm\r\n  Left = 3\r\nend\r\n", "未粘贴：剪贴板中的页面文本不含部件"},
        {"an unknown class",
         "object P: TFrmZorLedForm\r\n  object a: Tzorledlabel\r\n  end\r\n  object b: TNoSuch\r\n  end\r\nend\r\n",
         "未粘贴：找不到部件类 TNoSuch"},
        {"a bad value in the second widget",
         "object P: TFrmZorLedForm\r\n  object a: Tzorledlabel\r\n  end\r\n  object b: Tzorledlabel\r\n"
         "    Nonsense = 4\r\n  end\r\nend\r\n",
         "未粘贴：页面文本有误"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reports_.clear();
        QGuiApplication::clipboard()->setText(U(c.text));
        window_->ActionPaste->trigger();
        ASSERT_EQ(reports_.size(), 1);
        EXPECT_TRUE(reports_[0].contains(U(c.message))) << reports_[0].toStdString();
        EXPECT_EQ(Text(), before);
        EXPECT_EQ(Page().History->Stack().count(), steps);
    }
}

TEST_F(DesignerEdit, KeysDeleteMoveSelectAllAndClear) {
    window_->Actionnewlabel->trigger();
    window_->Actionnewimage->trigger();
    Control* label = Widget("mylabel1");
    const int left = label->Left(), top = label->Top();
    Select({"mylabel1"});
    Key(Qt::Key_Right);
    Key(Qt::Key_Down, Qt::ShiftModifier);
    Key(Qt::Key_Left, Qt::ShiftModifier);
    Key(Qt::Key_Up);
    EXPECT_EQ(label->Left(), left + 1 - 10);
    EXPECT_EQ(label->Top(), top + 10 - 1);
    Key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Page().Selection->Count(), 2);
    Key(Qt::Key_Escape);
    EXPECT_EQ(Page().Selection->Count(), 0);
    Key(Qt::Key_Delete);
    EXPECT_NE(Widget("mylabel1"), nullptr) << "nothing selected, nothing deleted";
    Key(Qt::Key_A, Qt::ControlModifier);
    Key(Qt::Key_Delete);
    EXPECT_EQ(Widget("mylabel1"), nullptr);
    EXPECT_EQ(Widget("myzorledIMAGE1"), nullptr);
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_NE(Widget("mylabel1"), nullptr);
    Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Widget("mylabel1"), nullptr);
    Key(Qt::Key_Z, Qt::ControlModifier);
    Key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(Widget("mylabel1"), nullptr);
}

TEST_F(DesignerEdit, TheSaveQuestionComesOnlyForAChangedPageAndCancelKeepsEverything) {
    // Unchanged: nothing asked, whatever the command.
    window_->ActionnewpageExecute();
    EXPECT_EQ(questions_, 0);
    EXPECT_EQ(window_->windowTitle(), U("ZorLED显示系统"));

    window_->Actionnewlabel->trigger();
    EXPECT_EQ(window_->windowTitle(), U("ZorLED显示系统*"));
    TFrmZorLedForm* page = window_->Page;
    const std::string text = Text();
    bool planEditorRan = false;
    window_->RunPlanEditor = [&] { planEditorRan = true; return false; };
    answer_ = TSYS_Frmzorled::SaveAnswer::Cancel;
    window_->Actionnewpage->trigger();
    window_->Actionpageopen->trigger();
    window_->ActionPlay->trigger();
    EXPECT_FALSE(window_->close());
    EXPECT_EQ(questions_, 4);
    EXPECT_FALSE(planEditorRan);
    EXPECT_FALSE(window_->Playing);
    EXPECT_EQ(window_->Page, page);
    EXPECT_EQ(Text(), text);

    // Undoing back to the saved state clears the mark; saving does as well.
    window_->ActionUndo->trigger();
    EXPECT_EQ(window_->windowTitle(), U("ZorLED显示系统"));
    window_->ActionRedo->trigger();
    saveAs_ = scratch_.path() / "pagedef" / "p.DFM";
    answer_ = TSYS_Frmzorled::SaveAnswer::Save;
    window_->Actionnewpage->trigger();
    EXPECT_EQ(questions_, 5);
    EXPECT_NE(ReadWholeFile(saveAs_).find("mylabel1"), std::string::npos);
    EXPECT_EQ(Widget("mylabel1"), nullptr) << "a fresh page";
    EXPECT_TRUE(reports_.isEmpty()) << reports_.join("\n").toStdString();
}

TEST_F(DesignerEdit, AQuitWithoutTheQuestionNeverAsks) {
    window_->Actionnewlabel->trigger();
    window_->QuitWithoutQuestion();
    EXPECT_EQ(questions_, 0);
}

TEST_F(DesignerEdit, EditingCommandsRestInPlay) {
    window_->Actionnewlabel->trigger();
    window_->Playing = true;
    window_->UpdateCommandStates();
    for (QAction* a : window_->EditActions) EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    window_->Playing = false;
    window_->UpdateCommandStates();
    EXPECT_TRUE(window_->ActionUndo->isEnabled());
    EXPECT_FALSE(window_->ActionRedo->isEnabled());
}

}  // namespace
}  // namespace zl

namespace zl {
namespace {

class DesignerWindow : public zl::testing::MainWindowTest {
public:
    DesignerWindow() : MainWindowTest("zorled-designer-window") {}
};

TEST_F(DesignerWindow, ASaveOfAHiddenPageStillWritesItVisible) {
    const auto path = scratch_ / "pagedef" / "hidden.DFM";
    window_->Actionnewlabel->trigger();
    Page().close();  // the program's own close, as quitting does
    ASSERT_FALSE(Page().Visible());
    window_->SavePageTo(path);
    EXPECT_NE(ReadWholeFile(path).find("Visible = True"), std::string::npos);
    EXPECT_TRUE(Page().isVisible());
}

TEST_F(DesignerWindow, RepeatedPastesCascadeAndVeryLargeOnesAskFirst) {
    window_->Actionnewlabel->trigger();
    Select({"mylabel1"});
    window_->ActionCopy->trigger();
    const int left = Widget("mylabel1")->Left(), top = Widget("mylabel1")->Top();
    for (int n = 1; n <= 3; ++n) {
        window_->ActionPaste->trigger();
        Control* pasted = Page().Selection->Items.at(0).Control;
        EXPECT_EQ(QPoint(pasted->Left(), pasted->Top()), QPoint(left + 10 * n, top + 10 * n)) << n;
    }

    std::string text = "object P: TFrmZorLedForm\r\n";
    for (int n = 0; n <= 10000; ++n) text += "  object a" + std::to_string(n) + ": Tzorledlabel\r\n  end\r\n";
    QGuiApplication::clipboard()->setText(QString::fromStdString(text + "end\r\n"));
    std::size_t asked = 0;
    window_->AskPasteMany = [&](std::size_t widgets) {
        asked = widgets;
        return false;
    };
    const std::string before = Text();
    window_->ActionPaste->trigger();
    EXPECT_EQ(asked, 10001u);
    EXPECT_EQ(Text(), before) << "declined: nothing pasted";
    EXPECT_TRUE(reports_.isEmpty());
}

}  // namespace
}  // namespace zl
