// The "属性" panel through the real main window: every published property of every widget kind
// and of the page is listed, editable or read-only by its kind; an edit is what the saved page
// file holds, and it is one undo step.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QScrollBar>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <QTreeWidgetItemIterator>
#include <QWheelEvent>
#include <QUndoStack>
#include <functional>

#include "app/mainwindow.h"
#include "core/atomicfile.h"
#include "core/codepage.h"
#include "core/pagetext/writer.h"
#include "editors/colorbox.h"
#include "editors/propertypanel.h"
#include "editors/whenmodal.h"
#include "page/pagefile.h"
#include "qtbase/application.h"
#include "support/mainwindowfixture.h"

namespace zl {
namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

class PropertyPanel : public zl::testing::MainWindowTest {
public:
    PropertyPanel() : MainWindowTest("zorled-panel") {}
    void SetUp() override {
        MainWindowTest::SetUp();
        answer_ = TSYS_Frmzorled::SaveAnswer::Discard;
        // The panel docks in the main window: shown, as the operator has it.
        window_->show();
        window_->ActionProperties->trigger();
        Settle();
    }
    TPropertyPanel& Panel() { return *window_->PropertyPanel; }
    std::string Text() { return pagetext::Write(PageToTree(Page())); }
    // Lets the panel follow the selection and the history, as the event loop does.
    void Settle() { QCoreApplication::sendPostedEvents(); }
    // Undo gives back the page text byte for byte, and redo the text the edits made.
    void ExpectUndoAndRedo(int undos, const std::string& before, int redos, const std::string& after) {
        for (int i = 0; i < undos; ++i) window_->ActionUndo->trigger();
        Settle();
        EXPECT_EQ(Text(), before) << "undo restores the page text byte for byte";
        for (int i = 0; i < redos; ++i) window_->ActionRedo->trigger();
        Settle();
        EXPECT_EQ(Text(), after);
    }
    // A fresh page holding one widget of the kind (none for the page itself), selected.
    void Show(QAction* create) {
        window_->Actionnewpage->trigger();
        if (create) {
            create->trigger();
            Page().Selection->SelectWidgets({Page().ChildControls().back()});
        }
        Settle();
    }

};

// What the table says each property must show: an editor, its elements as editors, or text only.
enum class Expect { Editor, Elements, ReadOnly };

Expect Expected(const PropInfo& p, Persistent& owner) {
    switch (p.kind) {
        case PropKind::Event:
        case PropKind::Reference:
        case PropKind::Binary:
        case PropKind::Collection: return Expect::ReadOnly;
        case PropKind::Object:
            return &p.object(owner)->Class() == &TFont::StaticClass() ? Expect::Editor : Expect::ReadOnly;
        case PropKind::Set: return Expect::Elements;
        default: return p.set ? Expect::Editor : Expect::ReadOnly;
    }
}

// Walks the class tables apart from the panel's own walk, nested objects included.
void ExpectListed(TPropertyPanel& panel, Persistent& object, const QString& prefix, int& count) {
    for (const PropInfo* p : object.Class().AllProps()) {
        const QString path = prefix + QString::fromLatin1(p->name.data(), int(p->name.size()));
        SCOPED_TRACE(path.toStdString());
        ++count;
        ASSERT_NE(panel.Row(path), nullptr) << "not listed";
        switch (Expected(*p, object)) {
            case Expect::Editor: EXPECT_NE(panel.Editor(path), nullptr); break;
            case Expect::ReadOnly: EXPECT_EQ(panel.Editor(path), nullptr); break;
            case Expect::Elements:
                EXPECT_EQ(panel.Editor(path), nullptr);
                for (const NameEntry& e : p->names->entries)
                    EXPECT_NE(panel.Editor(path + "[" + QString::fromLatin1(e.name.data(), int(e.name.size())) + "]"), nullptr);
                break;
        }
        if (p->kind == PropKind::Object) ExpectListed(panel, *p->object(object), path + ".", count);
        if (p->kind == PropKind::Collection) {
            // Items are shown, never edited here.
            auto& items = static_cast<Collection&>(*p->object(object));
            for (int i = 0; i < items.Count(); ++i) {
                QTreeWidgetItem* item = panel.Row(path + QString("[%1]").arg(i));
                ASSERT_NE(item, nullptr);
                for (QTreeWidgetItem* below = item; below; below = panel.Tree->itemBelow(below)) {
                    if (!below->data(0, Qt::UserRole).toString().startsWith(path + "[")) break;
                    EXPECT_EQ(panel.Tree->itemWidget(below, 1), nullptr);
                }
            }
        }
    }
}

TEST_F(PropertyPanel, ListsEveryPublishedPropertyOfEveryKindByTheTable) {
    const struct {
        const char* what;
        QAction* create;
        const char* heading;
        int atLeast;  // published rows, nested ones included
    } kinds[] = {
        {"page", nullptr, "页面: LedDesignWin  (TFrmZorLedForm)", 70},
        {"label", window_->Actionnewlabel, "部件: mylabel1  (Tzorledlabel)", 30},
        {"image", window_->Actionnewimage, "部件: myzorledIMAGE1  (Tzorledimage)", 30},
        {"marquee", window_->Actionnewzmd, "部件: myzmd1  (Tzorledzmd)", 30},
        {"clock", window_->Actionnewclock, "部件: myclock1  (Tzorledclock)", 30},
        {"board", window_->Actionnewscrolltext, "部件: myscrolltext1  (TzorledScrollText)", 60},
    };
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.what);
        Show(k.create);
        EXPECT_EQ(Panel().Heading->text(), U(k.heading));
        Persistent* target = Panel().Target();
        ASSERT_NE(target, nullptr);
        int count = 0;
        ExpectListed(Panel(), *target, "", count);
        EXPECT_GE(count, k.atLeast);
    }
    EXPECT_TRUE(reports_.isEmpty()) << reports_.join("\n").toStdString();
}

TEST_F(PropertyPanel, AnEditIsWhatTheSavedFileHoldsAndOneUndoStep) {
    auto check = [](bool on) { return [on](QWidget* e) { static_cast<QCheckBox*>(e)->setChecked(on); }; };
    auto pick = [](const char* name) {
        return [name](QWidget* e) {
            auto* combo = static_cast<QComboBox*>(e);
            const int index = combo->findText(name);
            ASSERT_GE(index, 0) << name;
            combo->setCurrentIndex(index);
        };
    };
    auto number = [](int v) { return [v](QWidget* e) { static_cast<QSpinBox*>(e)->setValue(v); }; };
    auto type = [](const char* text) {
        return [text](QWidget* e) {
            auto* line = static_cast<QLineEdit*>(e);
            line->setText(U(text));
            QTest::keyClick(line, Qt::Key_Return);
        };
    };
    auto colour = [](TColor c) {
        return [c](QWidget* e) {
            auto* box = e->findChild<TColorBox*>("Colors");
            ASSERT_NE(box, nullptr);
            box->SetSelected(c);
            emit box->activated(box->currentIndex());
        };
    };
    const struct {
        const char* what;
        QAction* create;
        const char* path;
        std::function<void(QWidget*)> edit;
        const char* line;  // as the saved page file then holds it
    } cases[] = {
        {"board word wrap", window_->Actionnewscrolltext, "Text.WordWrap", check(true), "Text.WordWrap = True"},
        {"board quality", window_->Actionnewscrolltext, "Text.Quality", pick("aqHigh"), "Text.Quality = aqHigh"},
        {"board alignment", window_->Actionnewscrolltext, "Text.Alignment", pick("taRightJustify"),
         "Text.Alignment = taRightJustify"},
        {"board row pitch", window_->Actionnewscrolltext, "Text.RowPitch", number(26), "Text.RowPitch = 26"},
        {"board repeat count", window_->Actionnewscrolltext, "RepeatCount", number(3), "RepeatCount = 3"},
        {"marquee direction", window_->Actionnewzmd, "Direction", pick("diRightToLeft"), "Direction = diRightToLeft"},
        {"label layout", window_->Actionnewlabel, "Layout", pick("tlBottom"), "Layout = tlBottom"},
        {"label caption", window_->Actionnewlabel, "Caption", type("Platform 2"), "Caption = 'Platform 2'"},
        {"label font style", window_->Actionnewlabel, "Font.Style[fsItalic]", check(true), "Font.Style = [fsItalic]"},
        {"label left", window_->Actionnewlabel, "Left", number(123), "Left = 123"},
        {"label colour", window_->Actionnewlabel, "Color", colour(clYellow), "Color = clYellow"},
        {"label cursor", window_->Actionnewlabel, "Cursor", pick("crHandPoint"), "Cursor = crHandPoint"},
        {"page display time", nullptr, "displaytime", number(12), "displaytime = 12"},
        {"page caption", nullptr, "Caption", type("Hall"), "Caption = 'Hall'"},
    };
    int saved = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Show(c.create);
        QWidget* editor = Panel().Editor(U(c.path));
        ASSERT_NE(editor, nullptr);
        const std::string before = Text();
        const int steps = Page().History->Stack().count();
        c.edit(editor);
        Settle();
        const std::string after = Text();
        EXPECT_NE(after, before);
        EXPECT_EQ(Page().History->Stack().count(), steps + 1) << "one step per edit";

        const auto file = scratch_.path() / ("p" + std::to_string(++saved) + ".DFM");
        window_->SavePageTo(file);
        EXPECT_NE(ReadWholeFile(file).find(std::string("  ") + c.line + "\r\n"), std::string::npos) << ReadWholeFile(file);

        ExpectUndoAndRedo(1, before, 1, after);
    }
    EXPECT_TRUE(reports_.isEmpty()) << reports_.join("\n").toStdString();
}

TEST_F(PropertyPanel, DisplayTimeComesFirstNamesShowInFullAndTheFilterKeepsMatchingRows) {
    Show(nullptr);
    ASSERT_GT(Panel().Tree->topLevelItemCount(), 1);
    EXPECT_EQ(Panel().Tree->topLevelItem(0)->text(0), "displaytime");
    EXPECT_NE(Panel().Editor("displaytime"), nullptr);
    ASSERT_NE(Panel().Row("Font.Charset"), nullptr);
    EXPECT_EQ(Panel().Row("Font.Charset")->toolTip(0), "Font.Charset");
    // The filter keeps the matching rows, nested ones with the rows above them, across a rebuild.
    Panel().Filter->setText("charset");
    EXPECT_TRUE(Panel().Row("displaytime")->isHidden());
    EXPECT_FALSE(Panel().Row("Font")->isHidden());
    EXPECT_FALSE(Panel().Row("Font.Charset")->isHidden());
    EXPECT_TRUE(Panel().Row("Font.Name")->isHidden());
    window_->Actionnewlabel->trigger();
    Page().Selection->SelectWidgets({Page().ChildControls().back()});
    Settle();
    EXPECT_TRUE(Panel().Row("Left")->isHidden());
    EXPECT_FALSE(Panel().Row("Font.Charset")->isHidden());
    Panel().Filter->clear();
    EXPECT_FALSE(Panel().Row("Left")->isHidden());
    // A widget keeps its table's order.
    Show(window_->Actionnewlabel);
    EXPECT_NE(Panel().Tree->topLevelItem(0)->text(0), "displaytime");
}

// 恢复默认值 gives what a new object of the class has (a label is 65 wide), to every selected
// widget, as one step; a read-only row has no default to go back to.
TEST_F(PropertyPanel, ResetToDefaultSetsTheClassDefaultAsOneStep) {
    Show(window_->Actionnewlabel);
    window_->Actionnewlabel->trigger();
    const std::vector<Control*> labels = Page().ChildControls();
    Page().Selection->SelectWidgets(labels);
    Settle();
    const std::string before = Text();
    const int steps = Page().History->Stack().count();
    ASSERT_EQ(labels[0]->Width(), 100);
    EXPECT_TRUE(Panel().ResetToDefault("Width"));
    Settle();
    for (Control* w : Page().ChildControls()) EXPECT_EQ(w->Width(), 65) << w->Name();
    EXPECT_EQ(Page().History->Stack().count(), steps + 1);
    EXPECT_EQ(static_cast<QSpinBox*>(Panel().Editor("Width"))->value(), 65);
    EXPECT_FALSE(Panel().ResetToDefault("OnClick"));
    window_->ActionUndo->trigger();
    Settle();
    EXPECT_EQ(Text(), before);
    EXPECT_TRUE(reports_.isEmpty()) << reports_.join("\n").toStdString();
}

// Undo and redo rebuild the widget, and its rows with it: the rows stay scrolled where they were.
TEST_F(PropertyPanel, UndoAndRedoKeepTheRowsScrolledWhereTheyWere) {
    Show(window_->Actionnewlabel);
    // Open, the folded group gives the docked panel more rows than it can show.
    Panel().MoreRow()->setExpanded(true);
    Settle();
    QScrollBar* bar = Panel().Tree->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(bar->maximum());
    const int at = bar->value();
    auto* check = Panel().findChild<QCheckBox*>("Transparent");
    ASSERT_NE(check, nullptr);
    check->setChecked(!check->isChecked());
    Settle();
    for (QAction* step : {window_->ActionUndo, window_->ActionRedo}) {
        step->trigger();
        Settle();
        EXPECT_EQ(Panel().Tree->verticalScrollBar()->value(), at) << step->text().toStdString();
    }
}

TEST_F(PropertyPanel, ShowsWhatUndoAndTheMouseChangeAndFollowsTheSelection) {
    Show(window_->Actionnewlabel);
    auto* left = static_cast<QSpinBox*>(Panel().Editor("Left"));
    ASSERT_NE(left, nullptr);
    const int was = left->value();
    left->setValue(was + 40);
    Settle();
    window_->ActionUndo->trigger();
    Settle();
    // Undo rebuilt the label: the panel shows the new instance with the old value.
    left = static_cast<QSpinBox*>(Panel().Editor("Left"));
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(left->value(), was);
    window_->Page->MoveSelected(5, 0);
    Settle();
    EXPECT_EQ(static_cast<QSpinBox*>(Panel().Editor("Left"))->value(), was + 5);

    Page().Selection->Clear();
    Settle();
    EXPECT_TRUE(Panel().Heading->text().startsWith(U("页面: ")));
    window_->Actionnewlabel->trigger();
    Page().Selection->SelectWidgets({Page().ChildControls().back()});
    Settle();
    EXPECT_EQ(Panel().Heading->text(), U("部件: mylabel2  (Tzorledlabel)"));
}

// Three labels and a board selected: rows show what all agree on, an edit reaches each widget
// that has the property, and one undo takes it back from all of them.
TEST_F(PropertyPanel, SeveralSelectedShowCommonValuesAndTakeAnEditAsOneStep) {
    Show(window_->Actionnewlabel);
    window_->Actionnewlabel->trigger();
    window_->Actionnewlabel->trigger();
    window_->Actionnewscrolltext->trigger();
    std::vector<Control*> widgets = Page().ChildControls();
    ASSERT_EQ(widgets.size(), 4u);
    for (size_t i = 0; i < widgets.size(); ++i) widgets[i]->SetBounds(10 + 40 * int(i), 20, 30, 16);
    widgets[1]->SetCaption("other");
    Page().Selection->SelectWidgets(widgets);
    Settle();
    EXPECT_EQ(Panel().Heading->text(), U("4 个部件: mylabel1 等  (Tzorledlabel)"));
    auto* left = static_cast<QSpinBox*>(Panel().Editor("Left"));
    auto* top = static_cast<QSpinBox*>(Panel().Editor("Top"));
    auto* caption = static_cast<QLineEdit*>(Panel().Editor("Caption"));
    ASSERT_TRUE(left && top && caption);
    EXPECT_EQ(left->text(), "") << "the lefts differ";
    EXPECT_EQ(top->text(), "20");
    EXPECT_EQ(caption->text(), "") << "one caption differs";

    const std::string before = Text();
    const int steps = Page().History->Stack().count();
    // The first label's own value typed into the blank box still sets it on every widget.
    left->setFocus();
    left->findChild<QLineEdit*>()->setText("10");
    QTest::keyClick(left, Qt::Key_Return);
    Settle();
    widgets = Page().ChildControls();
    for (Control* w : widgets) EXPECT_EQ(w->Left(), 10) << w->Name();
    caption = static_cast<QLineEdit*>(Panel().Editor("Caption"));
    caption->setText("same");
    caption->setModified(true);
    QTest::keyClick(caption, Qt::Key_Return);
    Settle();
    widgets = Page().ChildControls();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(widgets[i]->Caption(), "same") << widgets[i]->Name();
    EXPECT_EQ(Page().History->Stack().count(), steps + 2) << "one step per edit, not per widget";
    EXPECT_EQ(static_cast<QSpinBox*>(Panel().Editor("Left"))->text(), "10");

    window_->ActionUndo->trigger();
    window_->ActionUndo->trigger();
    Settle();
    EXPECT_EQ(Text(), before);
    EXPECT_TRUE(reports_.isEmpty()) << reports_.join("\n").toStdString();
}

TEST_F(PropertyPanel, APageFontEditUndoesWithTheParentFontItCleared) {
    Show(nullptr);
    window_->Page->SetParentFont(true);
    window_->Page->History->Stack().setClean();
    Settle();
    const std::string before = Text();
    auto* name = static_cast<QLineEdit*>(Panel().Editor("Font.Name"));
    ASSERT_NE(name, nullptr);
    name->setText(U("黑体"));
    QTest::keyClick(name, Qt::Key_Return);
    Settle();
    const std::string after = Text();
    EXPECT_NE(before.find("ParentFont = True"), std::string::npos) << before;
    EXPECT_EQ(after.find("ParentFont = True"), std::string::npos) << after;
    ExpectUndoAndRedo(1, before, 1, after);
}

TEST_F(PropertyPanel, StringListsEditInTheirOwnBoxAndNothingEditsInPlay) {
    Show(window_->Actionnewscrolltext);
    auto* lines = static_cast<QPushButton*>(Panel().Editor("Text.Lines.Strings"));
    ASSERT_NE(lines, nullptr);
    zl::testing::WhenModal<QDialog>([](QDialog& d) {
        d.findChild<QPlainTextEdit*>("Memo")->setPlainText("first\nsecond\n");
        d.accept();
    });
    lines->click();
    Settle();
    const auto file = scratch_.path() / "lines.DFM";
    window_->SavePageTo(file);
    EXPECT_NE(ReadWholeFile(file).find("Text.Lines.Strings = (\r\n      'first'\r\n      'second')"), std::string::npos)
        << ReadWholeFile(file);

    window_->Playing = true;
    window_->UpdateCommandStates();
    EXPECT_FALSE(Panel().Tree->isEnabled());
    window_->Playing = false;
    window_->UpdateCommandStates();
    EXPECT_TRUE(Panel().Tree->isEnabled());
}

}  // namespace
}  // namespace zl

namespace zl {
namespace {

// Ten notches of the wheel over the value column scroll the rows; they edit nothing.
TEST_F(PropertyPanel, TheWheelOverAnUnfocusedEditorScrollsAndEditsNothing) {
    Show(window_->Actionnewlabel);
    QWidget* editor = Panel().Editor("Left");
    auto* spin = qobject_cast<QSpinBox*>(editor);
    ASSERT_NE(spin, nullptr);
    const int value = spin->value(), steps = Page().History->Stack().count();
    const std::string before = Text();
    auto wheel = [](QWidget* w) {
        const QPointF at(w->width() / 2, w->height() / 2);
        QWheelEvent e(at, w->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w, &e);
    };
    const int scrolled = Panel().Tree->verticalScrollBar()->value();
    for (int n = 0; n < 10; ++n) wheel(spin);
    Settle();
    EXPECT_EQ(spin->value(), value);
    EXPECT_EQ(Page().History->Stack().count(), steps);
    EXPECT_EQ(Text(), before);
    if (Panel().Tree->verticalScrollBar()->maximum() > 0) {
        EXPECT_GT(Panel().Tree->verticalScrollBar()->value(), scrolled) << "the rows scroll instead";
    }
    // Once the operator clicked into it, the editor takes the wheel.
    QApplication::setActiveWindow(spin->window());
    spin->setFocus();
    if (spin->hasFocus()) {
        wheel(spin);
        Settle();
        EXPECT_NE(spin->value(), value);
    }
}

}  // namespace
}  // namespace zl

namespace zl {
namespace {

// The panel opens docked on the right, the window widened for it, and is found where it was left.
TEST_F(PropertyPanel, OpensDockedOnTheRightAndIsFoundWhereItWasLeft) {
    window_->show();
    EXPECT_TRUE(Panel().isVisible());
    EXPECT_FALSE(Panel().isFloating());
    EXPECT_EQ(window_->dockWidgetArea(&Panel()), Qt::RightDockWidgetArea);
    EXPECT_GE(window_->width(), TSYS_Frmzorled::kWidth - 6 + TSYS_Frmzorled::kDockedPanelWidth);
    Panel().setFloating(true);
    Panel().move(40, 60);
    window_->close();
    window_ = std::make_unique<TSYS_Frmzorled>();
    window_->AskSaveChanges = [] { return TSYS_Frmzorled::SaveAnswer::Discard; };
    EXPECT_TRUE(Panel().isFloating()) << "left floating, found floating";
}

}  // namespace
}  // namespace zl

namespace zl {
namespace {

// A widget's Name row renames it as one step; the page file and the unit source written beside it
// then bear the new name, and undo gives the old one back byte for byte. A name that is no
// identifier, a reserved word or one already on the page is refused with a message.
TEST_F(PropertyPanel, TheNameRowRenamesOneWidgetAsOneStepThatTheSavedFilesFollow) {
    Show(window_->Actionnewlabel);
    window_->Actionnewlabel->trigger();
    Select({"mylabel1"});
    Settle();
    const std::string before = Text();
    const int steps = Page().History->Stack().count();
    ASSERT_EQ(Panel().Tree->topLevelItem(0), Panel().Row("Name"));
    auto name = [&] { return static_cast<QLineEdit*>(Panel().Editor("Name")); };
    auto type = [&](const QString& text) {
        name()->setText(text);
        QTest::keyClick(name(), Qt::Key_Return);
        Settle();
    };
    const struct {
        QString name;
        const char* says;
    } refused[] = {
        {"", "不是有效的部件名称"},
        {"2nd", "不是有效的部件名称"},
        {"my label", "不是有效的部件名称"},
        {U("标签"), "不是有效的部件名称"},
        {QString(64, 'a'), "不能超过 63 个字符"},
        {"mylabel2", "本页面已有名为“mylabel2”的部件"},
        {"MYLABEL2", "本页面已有名为“mylabel2”的部件"},
        {"End", "是保留字"},
        {"object", "是保留字"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.name.toStdString());
        reports_.clear();
        type(r.name);
        ASSERT_EQ(reports_.size(), 1);
        EXPECT_TRUE(reports_[0].contains(U(r.says))) << reports_[0].toStdString();
        EXPECT_TRUE(reports_[0].contains(U("名称仍为“mylabel1”"))) << reports_[0].toStdString();
        EXPECT_EQ(name()->text(), "mylabel1");
        EXPECT_EQ(Text(), before);
        EXPECT_EQ(Page().History->Stack().count(), steps);
    }
    reports_.clear();

    type("Platform_2");
    ASSERT_NE(Widget("Platform_2"), nullptr);
    EXPECT_EQ(Widget("mylabel1"), nullptr);
    EXPECT_EQ(Page().History->Stack().count(), steps + 1);
    EXPECT_EQ(Panel().Heading->text(), U("部件: Platform_2  (Tzorledlabel)"));
    const std::string after = Text();
    const auto file = scratch_.path() / "renamed.DFM";
    window_->SavePageTo(file);
    EXPECT_NE(ReadWholeFile(file).find("\r\n  object Platform_2: Tzorledlabel\r\n"), std::string::npos);
    const std::string unit = ReadWholeFile(scratch_.path() / "renamed.Pas");
    EXPECT_NE(unit.find("\r\nPlatform_2: Tzorledlabel;\r\nmylabel2: Tzorledlabel;\r\n"), std::string::npos) << unit;
    EXPECT_EQ(unit.find("mylabel1"), std::string::npos);
    // The widget's own name in other letters is no clash.
    type("PLATFORM_2");
    EXPECT_NE(Page().FindComponent("PLATFORM_2"), nullptr);
    EXPECT_EQ(Page().History->Stack().count(), steps + 2);

    ExpectUndoAndRedo(2, before, 1, after);
    EXPECT_TRUE(reports_.isEmpty()) << reports_.join("\n").toStdString();

    // Several widgets, or the page, show their name without an editor.
    Select({"Platform_2", "mylabel2"});
    Settle();
    EXPECT_EQ(Panel().Editor("Name"), nullptr);
    EXPECT_FALSE(Panel().Rename("x"));
    Page().Selection->Clear();
    Settle();
    EXPECT_EQ(Panel().Tree->topLevelItem(1), Panel().Row("Name"));
    EXPECT_EQ(Panel().Row("Name")->text(1), "LedDesignWin");
    EXPECT_EQ(Panel().Editor("Name"), nullptr);
}

// Events, help and drag rows sit in one group at the end, closed until a click opens it; a
// filter that finds them opens it too.
TEST_F(PropertyPanel, EventHelpAndDragRowsAreFoldedInOneClosedGroupThatAClickOpens) {
    const struct {
        const char* what;
        QAction* create;
        std::vector<const char*> folded, open;
    } kinds[] = {
        {"page", nullptr, {"OnClick", "HelpFile", "OnDragDrop"}, {"Left", "Caption", "displaytime"}},
        {"label", window_->Actionnewlabel, {"OnClick", "HelpType", "HelpKeyword", "DragCursor", "DragMode"},
         {"Caption", "Hint", "Cursor"}},
        {"board", window_->Actionnewscrolltext, {"OnClick", "OnPainted", "HelpContext", "Drag"}, {"Text", "Active"}},
    };
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.what);
        Show(k.create);
        QTreeWidgetItem* more = Panel().MoreRow();
        ASSERT_NE(more, nullptr);
        EXPECT_EQ(Panel().Tree->topLevelItem(Panel().Tree->topLevelItemCount() - 1), more);
        EXPECT_FALSE(more->isExpanded());
        for (const char* path : k.folded) {
            SCOPED_TRACE(path);
            ASSERT_NE(Panel().Row(path), nullptr);
            EXPECT_EQ(Panel().Row(path)->parent(), more);
        }
        for (const char* path : k.open) {
            SCOPED_TRACE(path);
            ASSERT_NE(Panel().Row(path), nullptr);
            EXPECT_EQ(Panel().Row(path)->parent(), nullptr);
        }
    }
    // A click on the group's name opens it, another closes it; it stays as left across a rebuild.
    QTreeWidgetItem* more = Panel().MoreRow();
    Panel().Tree->scrollToItem(more);
    const QPoint at = Panel().Tree->visualItemRect(more).center();
    QTest::mouseClick(Panel().Tree->viewport(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(more->isExpanded());
    window_->Actionnewscrolltext->trigger();
    Page().Selection->SelectWidgets({Page().ChildControls().front()});
    Settle();
    EXPECT_TRUE(Panel().MoreRow()->isExpanded());
    more = Panel().MoreRow();
    Panel().Tree->scrollToItem(more);
    QTest::mouseClick(Panel().Tree->viewport(), Qt::LeftButton, {}, Panel().Tree->visualItemRect(more).center());
    EXPECT_FALSE(more->isExpanded());
    Panel().Filter->setText("ondbl");
    EXPECT_TRUE(Panel().MoreRow()->isExpanded());
    EXPECT_FALSE(Panel().Row("OnDblClick")->isHidden());
    EXPECT_TRUE(Panel().Row("OnClick")->isHidden());
}

// Docked as it opens, the panel shows every name whole, however deep, and leaves the values
// room for the longest entry of a drop-down and a spin box's arrows, and the rows the height of
// the editors (three labels start with a Name row of text only).
TEST_F(PropertyPanel, NamesAndValuesFitTheirColumnsInTheDockedPanel) {
    ASSERT_FALSE(Panel().isFloating());
    auto threeLabels = [this] {
        Show(window_->Actionnewlabel);
        window_->Actionnewlabel->trigger();
        window_->Actionnewlabel->trigger();
        Page().Selection->SelectWidgets(Page().ChildControls());
        Settle();
    };
    std::vector<std::function<void()>> shown{threeLabels};
    for (QAction* create : {static_cast<QAction*>(nullptr), window_->Actionnewlabel, window_->Actionnewscrolltext,
                            window_->Actionnewzmd, window_->Actionnewclock, window_->Actionnewimage})
        shown.push_back([this, create] { Show(create); });
    for (const auto& show : shown) {
        show();
        SCOPED_TRACE(Panel().Heading->text().toStdString());
        QTreeWidget* tree = Panel().Tree;
        tree->expandAll();
        QCoreApplication::processEvents();
        const QFontMetrics metrics(tree->font());
        const int names = tree->columnWidth(0), values = tree->viewport()->width() - names;
        for (QTreeWidgetItemIterator it(tree); *it; ++it) {
            int depth = 1;
            for (QTreeWidgetItem* p = (*it)->parent(); p; p = p->parent()) ++depth;
            EXPECT_LE(depth * tree->indentation() + metrics.horizontalAdvance((*it)->text(0)), names)
                << (*it)->text(0).toStdString();
            QWidget* editor = tree->itemWidget(*it, 1);
            if (!editor) continue;
            const int need = qobject_cast<QComboBox*>(editor) ? editor->sizeHint().width()
                                                               : editor->minimumSizeHint().width();
            EXPECT_GE(values, need) << (*it)->text(0).toStdString();
            EXPECT_GE(tree->visualItemRect(*it).height(), editor->minimumSizeHint().height())
                << (*it)->text(0).toStdString();
        }
    }
}

// 恢复默认值 is offered greyed out on rows that hold no class default: events, the name, the
// folded group, pictures and set elements.
TEST_F(PropertyPanel, ResetToDefaultIsGreyedOutOnReadOnlyRows) {
    Show(window_->Actionnewimage);
    Panel().Tree->expandAll();
    QCoreApplication::processEvents();
    const struct {
        const char* path;
        bool offered;
    } rows[] = {{"Width", true}, {"Hint", true}, {"Name", false}, {"OnClick", false},
                {"(more)", false}, {"Picture", false}, {"Anchors[akLeft]", false}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.path);
        QTreeWidgetItem* item = QString(r.path) == "(more)" ? Panel().MoreRow() : Panel().Row(r.path);
        if (!item) {
            EXPECT_FALSE(r.offered) << "no such row";
            continue;
        }
        Panel().Tree->scrollToItem(item);
        bool shown = false, enabled = false;
        QTimer::singleShot(0, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                shown = true;
                enabled = menu->actions().value(0) && menu->actions()[0]->isEnabled();
                menu->close();
            }
        });
        emit Panel().Tree->customContextMenuRequested(Panel().Tree->visualItemRect(item).center());
        EXPECT_TRUE(shown);
        EXPECT_EQ(enabled, r.offered);
    }
}

}  // namespace
}  // namespace zl
