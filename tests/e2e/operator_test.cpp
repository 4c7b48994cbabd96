// The real program under a private X server, driven only by pointer and keyboard as an operator
// drives it; the files it writes are checked, and each step leaves a screenshot in the build tree.
#include <gtest/gtest.h>

#include <QProcess>
#include <csignal>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "core/pagetext/parser.h"
#include "core/textlist.h"
#include "e2e/x11session.h"
#include "support/scratchdir.h"

namespace zl {
namespace {

using testing::X11Session;
namespace fs = std::filesystem;

const QString kMainTitle = QString::fromUtf8("ZorLED显示系统");
const QString kPageTitle = QString::fromUtf8("ZorLED通用显示系统");

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

const pagetext::Object* Child(const pagetext::Object& page, const std::string& name) {
    for (const auto& child : page.children)
        if (child.name == name) return &child;
    return nullptr;
}

std::int64_t IntegerProperty(const pagetext::Object& object, const std::string& path) {
    for (const auto& p : object.properties)
        if (p.path == path)
            if (const auto* v = p.value.If<pagetext::IntegerValue>()) return v->value;
    ADD_FAILURE() << object.name << " has no " << path;
    return -1;
}

std::u16string StringProperty(const pagetext::Object& object, const std::string& path) {
    for (const auto& p : object.properties)
        if (p.path == path)
            if (const auto* v = p.value.If<pagetext::StringValue>()) return v->text;
    ADD_FAILURE() << object.name << " has no " << path;
    return {};
}

class Operator : public ::testing::Test {
protected:
    void SetUp() override {
        const QString problem = x_.Start(1280, 1024);
        if (!problem.isEmpty()) GTEST_SKIP() << "no X server for the end-to-end run: " << problem.toStdString();
        shots_ = fs::path(ZORLED_BINARY_DIR) / "e2e-screenshots";
        fs::remove_all(shots_);
        fs::create_directories(home_ / "pagedef");
        QProcessEnvironment env = x_.Environment();
        env.insert("ZORLED_HOME", QString::fromStdString(home_.path().string()));
        program_.setProcessEnvironment(env);
        // The plan editor's page picker opens where the program was started.
        program_.setWorkingDirectory(QString::fromStdString((home_ / "pagedef").string()));
        program_.setProcessChannelMode(QProcess::ForwardedChannels);
        program_.start(QString(ZORLED_BINARY_DIR) + "/src/app/zorled", QStringList());
        ASSERT_TRUE(program_.waitForStarted(30000));
    }
    void TearDown() override {
        if (program_.state() != QProcess::NotRunning) {
            program_.kill();
            program_.waitForFinished(30000);
        }
    }

    void Shot(const std::string& step) { x_.Screenshot(shots_ / (std::to_string(++shot_) + "-" + step + ".png")); }

    // The tool buttons sit in two rows of 80-pixel cells under the menu bar.
    void SystemButton(int index) { x_.Click(main_.x + 43 + 80 * index, main_.y + kMenuBar + 37); }
    void CreateButton(int index) { x_.Click(main_.x + 43 + 80 * index, main_.y + kMenuBar + 74 + 37); }
    // A point on the page window's client area.
    int PageX(int x) { return x_.Geometry(page_).x + x; }
    int PageY(int y) { return x_.Geometry(page_).y + y; }

    QString MainWindow() { return x_.WaitWindow("^" + kMainTitle); }
    QString PageWindow() { return x_.WaitWindow("^" + kPageTitle + "$"); }
    // A dialog the last click opened: it takes the keyboard focus from the main and page windows.
    QString WaitDialog(const QStringList& others = {}) {
        return x_.WaitFocusAway(QStringList{MainWindow(), PageWindow()} + others);
    }

    // The file name field of a file dialog has the focus; its proposal is replaced.
    void AnswerFileDialog(const std::string& step, const fs::path& file, const QStringList& others = {}) {
        const QString dialog = WaitDialog(others);
        Shot(step);
        x_.Key("ctrl+a");
        x_.Type(QString::fromStdString(file.string()));
        x_.Key("Return");
        x_.WaitGone(dialog);
    }
    // The title names the file before it is written; the unit source is written last.
    void WaitSaved(const std::string& stem) {
        WaitTitle(QString::fromUtf8("当前文件:") + QString::fromStdString(stem) + QString::fromUtf8(".DFM[设计模式"));
        x_.Poll(QString::fromStdString(stem + ".Pas to be written"),
                [&] { return fs::exists(home_ / "pagedef" / (stem + ".Pas")); });
    }
    void WaitTitle(const QString& ending) {
        x_.Poll("the main title to end in " + ending, [&] { return x_.Title(MainWindow()).endsWith(ending); });
    }
    std::string PageFile(const char* name) { return (home_ / "pagedef" / name).string(); }

    // Double-clicks a widget at a point of the page and waits for its property dialog.
    QString EditWidget(int x, int y, const char* title, const std::string& step) {
        const QString pattern = "^" + QString::fromUtf8(title) + "$";
        QString dialog;
        // On a loaded machine the two clicks may land too far apart to count as one
        // double-click; clicks that reach the page once the dialog is up are blocked by it.
        for (int attempt = 0; dialog.isEmpty() && attempt < 6; ++attempt) {
            x_.Click(PageX(x), PageY(y), 2);
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (dialog.isEmpty() && std::chrono::steady_clock::now() < end) {
                dialog = x_.Windows(pattern).value(0);
                if (dialog.isEmpty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
        if (dialog.isEmpty()) throw std::runtime_error("gave up waiting for " + pattern.toStdString());
        Shot(step);
        return dialog;
    }
    // 确定 sits centred at the foot of every property dialog.
    void CloseDialog(const QString& dialog) {
        const X11Session::Rect r = x_.Geometry(dialog);
        x_.Click(r.x + r.width / 2, r.y + r.height - 22);
        x_.WaitGone(dialog);
    }
    // Replaces the text of a field at a point of a dialog.
    void Retype(const X11Session::Rect& dialog, int x, int y, const QString& text) {
        x_.Click(dialog.x + x, dialog.y + y);
        x_.Key("ctrl+a");
        x_.Type(text);
    }

    static constexpr int kMenuBar = 24;
    X11Session x_;
    testing::ScratchDir home_{"e2e"};
    fs::path shots_;
    int shot_ = 0;
    QProcess program_;
    X11Session::Rect main_;
    QString page_;
};

TEST_F(Operator, DesignsSavesOpensPlansPlaysAndQuits) {
    main_ = x_.Geometry(MainWindow());
    page_ = PageWindow();
    Shot("started");

    // One widget of each kind from the tool buttons: clock, marquee, board, label, image.
    for (int kind = 0; kind < 5; ++kind) CreateButton(kind);
    Shot("created");
    // The marquee (60,80 200x20) and the board (70,100 200x120) open their dialogs on a
    // double-click; one is closed with 确定, the other with Escape, and both stay as they were.
    CloseDialog(EditWidget(200, 90, "走马灯属性编辑器", "marquee-dialog"));
    const QString boardDialog = EditWidget(230, 200, "显示面板属性编辑器", "board-dialog");
    EXPECT_EQ(x_.WaitFocusAway({MainWindow(), PageWindow()}), boardDialog);
    x_.Key("Escape");
    x_.WaitGone(boardDialog);
    // Drag the label (30,20 100x20) by (40,120); resize the clock (50,60 200x20) by its
    // bottom-right grip.
    x_.Drag(PageX(70), PageY(28), PageX(110), PageY(148));
    x_.Click(PageX(150), PageY(70));
    x_.Drag(PageX(250), PageY(80), PageX(270), PageY(100));
    Shot("widgets");
    // The label's dialog: a new caption and Left, each written to the label as it is typed.
    const QString labelDialog = EditWidget(120, 150, "标签属性编辑器", "label-dialog");
    const X11Session::Rect labelEdit = x_.Geometry(labelDialog);
    Retype(labelEdit, 84 + 95, 178 + 11, "LED e2e");  // 显示内容
    Retype(labelEdit, 8 + 48 + 30, 94 + 22 + 11, "90");  // 位置X
    Shot("label-edited");
    CloseDialog(labelDialog);

    SystemButton(3);  // save: a page never saved asks for a name
    AnswerFileDialog("save-dialog", PageFile("first.DFM"));
    WaitSaved("first");
    const pagetext::Object first = pagetext::Parse(ReadFile(PageFile("first.DFM")));
    const pagetext::Object* label = Child(first, "mylabel1");
    const pagetext::Object* clock = Child(first, "myclock1");
    const pagetext::Object* marquee = Child(first, "myzmd1");
    const pagetext::Object* board = Child(first, "myscrolltext1");
    ASSERT_TRUE(label && clock && marquee && board && Child(first, "myzorledIMAGE1")) << ReadFile(PageFile("first.DFM"));
    EXPECT_EQ(IntegerProperty(*label, "Left"), 90);
    EXPECT_EQ(IntegerProperty(*label, "Top"), 140);
    EXPECT_EQ(StringProperty(*label, "Caption"), u"LED e2e");
    EXPECT_EQ(IntegerProperty(*marquee, "Left"), 60);
    EXPECT_EQ(IntegerProperty(*marquee, "Width"), 200);
    EXPECT_EQ(StringProperty(*marquee, "RunningCaption"), u"走马灯文字");
    EXPECT_EQ(IntegerProperty(*board, "Top"), 100);
    EXPECT_EQ(IntegerProperty(*board, "Height"), 120);
    EXPECT_EQ(IntegerProperty(*clock, "Width"), 220);
    EXPECT_EQ(IntegerProperty(*clock, "Height"), 40);
    Shot("saved");

    // A new page with a clock, saved under a second name.
    SystemButton(1);
    x_.Poll("a fresh page window", [&] { return PageWindow() != page_; });
    page_ = PageWindow();
    WaitTitle(kMainTitle);
    CreateButton(0);
    SystemButton(3);
    AnswerFileDialog("save-second", PageFile("second.DFM"));
    WaitSaved("second");

    // A label changes the page; opening the first page asks whether to save it, and the
    // default answer 保存 writes it under its name.
    const auto secondSaved = fs::last_write_time(PageFile("second.DFM"));
    CreateButton(3);
    WaitTitle(QString::fromUtf8("当前文件:second.DFM*[设计模式"));
    SystemButton(2);
    const QString question = WaitDialog();
    EXPECT_EQ(x_.Title(question), QString::fromUtf8("请确定"));
    Shot("save-question");
    x_.Key("Return");
    AnswerFileDialog("open-dialog", PageFile("first.DFM"));
    WaitTitle(QString::fromUtf8("当前文件:first.DFM[设计模式"));
    EXPECT_GE(fs::last_write_time(PageFile("second.DFM")), secondSaved);
    const pagetext::Object second = pagetext::Parse(ReadFile(PageFile("second.DFM")));
    ASSERT_EQ(second.children.size(), 2u);
    EXPECT_EQ(second.children[0].className, "Tzorledlabel");
    EXPECT_EQ(second.children[1].className, "Tzorledclock");
    Shot("opened");

    // Play: the plan editor opens first; a plan "plan1" holding both pages is made and selected.
    SystemButton(0);
    const QString editor = x_.WaitWindow(QString::fromUtf8("^播放计划定义$"));
    const X11Session::Rect plans = x_.Geometry(editor);
    x_.Click(plans.x + 45, plans.y + 20);  // new plan
    const QString query = WaitDialog({editor});
    x_.Key("ctrl+a");
    x_.Type("plan1");
    x_.Key("Return");
    x_.WaitGone(query);
    for (const char* page : {"first.DFM", "second.DFM"}) {
        x_.Click(plans.x + 265 + 45, plans.y + 20);  // add a page to the plan
        AnswerFileDialog("plan-page", PageFile(page), {editor});
    }
    x_.Click(plans.x + 60, plans.y + 48);  // the new plan's row, then its check box by keyboard
    x_.Key("space");
    Shot("plan-editor");
    x_.Click(plans.x + 195, plans.y + 436);  // 确定
    x_.WaitGone(editor);
    EXPECT_EQ(ReadFile(home_ / "pagedef" / "PlayList.PLN"), "plan1\r\n");
    EXPECT_EQ(ReadFile(home_ / "pagedef" / "SelectList.PLN"), "plan1\r\n");
    EXPECT_EQ(ReadFile(home_ / "pagedef" / "plan1.LED"), "first\r\nsecond\r\n");

    // Pages with no display time stay 4 s each: the second one follows the first.
    WaitTitle(QString::fromUtf8("当前文件:first.DFM[播放模式]"));
    Shot("playing-first");
    WaitTitle(QString::fromUtf8("当前文件:second.DFM[播放模式]"));
    Shot("playing-second");

    // Stop; input is handled in order, so the new page that follows finds design mode again.
    SystemButton(0);
    SystemButton(1);
    x_.Poll("design mode", [&] { return x_.Title(MainWindow()) == kMainTitle; });
    Shot("stopped");

    // 退出 is the last entry of the first menu.
    const QString mainWindow = MainWindow();
    const QStringList before = x_.VisibleWindows();
    x_.Click(main_.x + 25, main_.y + 10);
    // A tool button's tip (one line, 22 px) may open meanwhile under the pointer left there;
    // the menu of two entries is 46 px tall.
    const X11Session::Rect menu = x_.Geometry(x_.WaitNewWindow(before, 32));
    Shot("menu");
    x_.Click(menu.x + 40, menu.y + menu.height - 12);
    x_.WaitGone(mainWindow);
    Shot("closed");
    x_.Poll("the program to end", [&] { return program_.waitForFinished(100); });
    EXPECT_EQ(program_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program_.exitCode(), 0);
}

TEST_F(Operator, EditsWithUndoTheClipboardAndKeys) {
    main_ = x_.Geometry(MainWindow());
    page_ = PageWindow();
    // A label (30,20 100x20) from its tool button; Ctrl+Z takes it away, Ctrl+Y brings it back.
    CreateButton(3);
    WaitTitle(kMainTitle + "*");
    x_.Key("ctrl+z");
    WaitTitle(kMainTitle);
    Shot("undone");
    x_.Key("ctrl+y");
    WaitTitle(kMainTitle + "*");
    Shot("redone");
    // Copy it and paste: a second label 10 px right and below, selected.
    x_.Click(PageX(40), PageY(25));
    x_.Key("ctrl+c");
    x_.Key("ctrl+v");
    Shot("pasted");
    SystemButton(3);
    AnswerFileDialog("save-keys", PageFile("keys.DFM"));
    WaitSaved("keys");
    const pagetext::Object pasted = pagetext::Parse(ReadFile(PageFile("keys.DFM")));
    ASSERT_EQ(pasted.children.size(), 2u) << ReadFile(PageFile("keys.DFM"));
    ASSERT_TRUE(Child(pasted, "mylabel2"));
    EXPECT_EQ(IntegerProperty(*Child(pasted, "mylabel2"), "Left"), 40);
    EXPECT_EQ(IntegerProperty(*Child(pasted, "mylabel2"), "Top"), 30);
    // Delete takes the pasted label; the arrows move the first one.
    x_.Click(PageX(45), PageY(35));
    x_.Key("Delete");
    x_.Click(PageX(35), PageY(22));
    x_.Key("Right");
    x_.Key("Right");
    x_.Key("shift+Down");
    Shot("moved");
    WaitTitle(QString::fromUtf8("当前文件:keys.DFM*[设计模式"));
    SystemButton(3);
    WaitSaved("keys");
    const pagetext::Object saved = pagetext::Parse(ReadFile(PageFile("keys.DFM")));
    ASSERT_EQ(saved.children.size(), 1u) << ReadFile(PageFile("keys.DFM"));
    EXPECT_EQ(saved.children[0].name, "mylabel1");
    EXPECT_EQ(IntegerProperty(saved.children[0], "Left"), 32);
    EXPECT_EQ(IntegerProperty(saved.children[0], "Top"), 30);
    Shot("keys-saved");
}

TEST_F(Operator, AStopSignalEndsAChangedPageWithoutAsking) {
    main_ = x_.Geometry(MainWindow());
    page_ = PageWindow();
    CreateButton(3);
    WaitTitle(kMainTitle + "*");
    ::kill(static_cast<pid_t>(program_.processId()), SIGTERM);
    ASSERT_TRUE(program_.waitForFinished(30000)) << "the save question held the program";
    EXPECT_EQ(program_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program_.exitCode(), 0);
}

}  // namespace
}  // namespace zl
