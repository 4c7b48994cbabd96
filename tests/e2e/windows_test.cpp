// Page windows under a real window manager (openbox on a private X server): where a page lands,
// and what a page change in play does to the operator's open menu.
#include <gtest/gtest.h>

#include <QPoint>
#include <QProcess>
#include <QSize>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "e2e/x11session.h"
#include "support/scratchdir.h"

namespace zl {
namespace {

using testing::X11Session;
namespace fs = std::filesystem;

const QString kMainTitle = QString::fromUtf8("ZorLED显示系统");

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// A page as the designer saves it, at one place, in its own size and colour.
std::string PageText(const std::string& caption, int clientWidth, int clientHeight, const std::string& color,
                     const std::string& border = "bsDialog") {
    return "object LedDesignWin: TFrmZorLedForm\r\n"
           "  Left = 150\r\n"
           "  Top = 60\r\n"
           "  BorderStyle = " + border + "\r\n"
           "  Caption = '" + caption + "'\r\n"
           "  ClientHeight = " + std::to_string(clientHeight) + "\r\n"
           "  ClientWidth = " + std::to_string(clientWidth) + "\r\n"
           "  Color = " + color + "\r\n"
           "  FormStyle = fsStayOnTop\r\n"
           "  OldCreateOrder = False\r\n"
           "  Visible = True\r\n"
           "  displaytime = 4\r\n"
           "  PixelsPerInch = 96\r\n"
           "  TextHeight = 13\r\n"
           "end\r\n";
}

class PageWindows : public ::testing::Test {
protected:
    void SetUp() override {
        QString problem = x_.Start(1024, 768);
        if (problem.isEmpty()) problem = x_.StartWindowManager();
        if (!problem.isEmpty()) GTEST_SKIP() << "no X server with a window manager: " << problem.toStdString();
        const fs::path pagedef = home_ / "pagedef";
        fs::create_directories(pagedef);
        WritePages(pagedef);
        WriteText(pagedef / "SelectList.PLN", "A\r\n");
        QProcessEnvironment env = x_.Environment();
        env.insert("ZORLED_HOME", QString::fromStdString(home_.path().string()));
        program_.setProcessEnvironment(env);
        program_.setProcessChannelMode(QProcess::ForwardedChannels);
        program_.start(QString(ZORLED_BINARY_DIR) + "/src/app/zorled", {"--play"});
        ASSERT_TRUE(program_.waitForStarted(30000));
    }
    // Two sizes at the same Left and Top: a default-sized page and a resized one.
    virtual void WritePages(const fs::path& pagedef) {
        WriteText(pagedef / "small.DFM", PageText("small", 291, 255, "clRed"));
        WriteText(pagedef / "wide.DFM", PageText("wide", 600, 120, "clBlue"));
        WriteText(pagedef / "A.LED", "small\r\nwide\r\n");
    }
    void TearDown() override {
        if (program_.state() != QProcess::NotRunning) {
            program_.kill();
            program_.waitForFinished(30000);
        }
    }

    X11Session x_;
    zl::testing::ScratchDir home_{"e2e-windows"};
    QProcess program_;
};

TEST_F(PageWindows, EveryPageShowsItsClientAreaAtLeftPlus3TopPlus23) {
    struct Case {
        const char* caption;
        int width, height;
    };
    for (const Case& k : {Case{"small", 291, 255}, Case{"wide", 600, 120}}) {
        SCOPED_TRACE(k.caption);
        const QString page = x_.WaitWindow(QString("^") + k.caption + "$");
        // The window manager may still be settling the frame right after the map.
        X11Session::Rect r;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        do {
            r = x_.ScreenArea(page);
        } while ((r.x != 153 || r.y != 83) && std::chrono::steady_clock::now() < end);
        EXPECT_EQ(r.x, 153);
        EXPECT_EQ(r.y, 83);
        EXPECT_EQ(r.width, k.width);
        EXPECT_EQ(r.height, k.height);
    }
}

TEST_F(PageWindows, AMenuOpenInPlayStaysOpenAcrossAPageChange) {
    x_.WaitWindow("^small$");
    const X11Session::Rect main = x_.ScreenArea(x_.WaitWindow("^" + kMainTitle));
    const QStringList before = x_.VisibleWindows();
    x_.Click(main.x + 25, main.y + 10);
    const X11Session::Rect menu = x_.ScreenArea(x_.WaitNewWindow(before, 32));
    x_.WaitWindow("^wide$");
    // The click meant for 退出, the menu's last entry, ends the program: it did not fall through
    // to the play button beneath a menu closed by the page change.
    x_.Click(menu.x + 40, menu.y + menu.height - 12);
    X11Session::Poll("the program to end", [&] { return program_.waitForFinished(100); });
    EXPECT_EQ(program_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program_.exitCode(), 0);
}

TEST_F(PageWindows, AnOpenDialogStaysAboveTheNextPage) {
    x_.WaitWindow("^small$");
    const X11Session::Rect main = x_.ScreenArea(x_.WaitWindow("^" + kMainTitle));
    QStringList before = x_.VisibleWindows();
    x_.Click(main.x + 193, main.y + 10);  // 关于
    const X11Session::Rect menu = x_.ScreenArea(x_.WaitNewWindow(before, 32));
    before = x_.VisibleWindows();
    x_.Click(menu.x + 30, menu.y + 12);  // 联系: the contact box, modal
    const QString box = x_.WaitNewWindow(before, 100);
    const QString page = x_.WaitWindow("^wide$");
    // The window manager's stacking, bottom to top, names the box after the page.
    QProcess xprop;
    xprop.setProcessEnvironment(x_.Environment());
    xprop.start("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"});
    ASSERT_TRUE(xprop.waitForFinished(10000));
    const QString stacking = QString::fromUtf8(xprop.readAllStandardOutput());
    const auto at = [&](const QString& window) { return stacking.indexOf("0x" + QString::number(window.toULong(), 16)); };
    ASSERT_GE(at(page), 0) << stacking.toStdString();
    EXPECT_GT(at(box), at(page)) << stacking.toStdString();
}

// A sign whose first page broke (a copy cut off half-way) plays the second one.
class BrokenFirstPage : public PageWindows {
protected:
    void WritePages(const fs::path& pagedef) override {
        const std::string small = PageText("small", 291, 255, "clRed");
        WriteText(pagedef / "small.DFM", small.substr(0, small.find("Top = ") + 6));
        WriteText(pagedef / "wide.DFM", PageText("wide", 600, 120, "clBlue"));
        WriteText(pagedef / "A.LED", "small\r\nwide\r\n");
    }
};

TEST_F(BrokenFirstPage, PlayReachesTheSecondPageAndNamesTheFirstByItsFile) {
    x_.WaitWindow("^wide$");
    // The report box, which closes by itself, stands beside the page; the play log has its text.
    x_.WaitWindow("^ZorLED$");
    const fs::path shots = fs::path(ZORLED_BINARY_DIR) / "e2e-screenshots";
    fs::create_directories(shots);
    x_.Screenshot(shots / "broken-first-page.png");
    const std::string named = "(page file \"" + (home_ / "pagedef" / "small.DFM").string() + "\")";
    std::string log;
    X11Session::Poll("the play log to name the broken page", [&] {
        log.clear();
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(home_ / "log", ec)) {
            std::ifstream in(entry.path());
            log.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        return log.find(named) != std::string::npos;
    });
    const size_t line = log.rfind('\n', log.find(named)) + 1;
    EXPECT_NE(log.substr(line, log.find(named) - line).find("\terror\t"), std::string::npos) << log;
    EXPECT_NE(log.find("\tshowing\tA\twide"), std::string::npos) << log;
    EXPECT_EQ(program_.state(), QProcess::Running);
}

QString WindowProperty(const X11Session& x, const QString& window, const char* property) {
    QProcess xprop;
    xprop.setProcessEnvironment(x.Environment());
    xprop.start("xprop", {"-id", window, property});
    xprop.waitForFinished(10000);
    return QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
}

// Polls until the page's client area stands at the point (the window manager settles frames).
X11Session::Rect ClientAt(const X11Session& x, const QString& window, QPoint at) {
    X11Session::Rect r;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
        r = x.ScreenArea(window);
    } while ((r.x != at.x() || r.y != at.y()) && std::chrono::steady_clock::now() < end);
    return r;
}

// The program as the operator starts it to design, with a page of each border kind to open.
class DesignWindows : public ::testing::Test {
protected:
    void SetUp() override {
        QString problem = x_.Start(1024, 768);
        if (problem.isEmpty()) problem = x_.StartWindowManager();
        if (!problem.isEmpty()) GTEST_SKIP() << "no X server with a window manager: " << problem.toStdString();
        fs::create_directories(home_ / "pagedef");
        QProcessEnvironment env = x_.Environment();
        env.insert("ZORLED_HOME", QString::fromStdString(home_.path().string()));
        program_.setProcessEnvironment(env);
        program_.setProcessChannelMode(QProcess::ForwardedChannels);
    }
    void StartProgram(const QStringList& args) {
        program_.start(QString(ZORLED_BINARY_DIR) + "/src/app/zorled", args);
        ASSERT_TRUE(program_.waitForStarted(30000));
    }
    void TearDown() override {
        if (program_.state() != QProcess::NotRunning) {
            program_.kill();
            program_.waitForFinished(30000);
        }
    }
    // Saves the page being designed through 另存为's file dialog, as the operator types it.
    std::string SaveAs(const fs::path& file) {
        const X11Session::Rect main = x_.ScreenArea(x_.WaitWindow("^" + kMainTitle));
        const QStringList before = x_.VisibleWindows();
        // 另存为, the fifth of the tool buttons in 80-pixel cells under the menu bar.
        x_.Click(main.x + 43 + 80 * 4, main.y + 24 + 37);
        x_.WaitNewWindow(before, 100);
        x_.Key("ctrl+a");
        x_.Type(QString::fromStdString(file.string()));
        x_.Key("Return");
        std::string text;
        X11Session::Poll("the page file", [&] {
            std::ifstream in(file, std::ios::binary);
            text.assign(std::istreambuf_iterator<char>(in), {});
            return text.find("\r\nend\r\n") != std::string::npos;
        });
        return text;
    }

    X11Session x_;
    zl::testing::ScratchDir home_{"e2e-design"};
    QProcess program_;
};

// The first move of a fresh page goes where the operator moves it, and the page keeps the place.
TEST_F(DesignWindows, AMovedPageKeepsItsClientWhereItWasPutAndWritesIt) {
    StartProgram({});
    const QString page = x_.WaitWindow(QString::fromUtf8("^ZorLED通用显示系统$"));
    X11Session::Rect r = ClientAt(x_, page, {203, 39});
    ASSERT_EQ(QPoint(r.x, r.y), QPoint(203, 39));
    // Its title bar, dragged down and right by 100 pixels.
    x_.DragUntil(300, 28, 400, 128, [&] { return x_.ScreenArea(page).x != 203; });
    r = ClientAt(x_, page, {303, 139});
    EXPECT_EQ(QPoint(r.x, r.y), QPoint(303, 139));
    x_.Xdotool({"windowmove", page, "500", "300"});
    X11Session::Poll("the page to move", [&] { return x_.ScreenArea(page).x > 400; });
    const X11Session::Rect moved = ClientAt(x_, page, {x_.ScreenArea(page).x, x_.ScreenArea(page).y});
    EXPECT_GE(moved.x, 490);
    EXPECT_GE(moved.y, 290);
    const std::string text = SaveAs(home_ / "pagedef" / "moved.DFM");
    EXPECT_NE(text.find("  Left = " + std::to_string(moved.x - 3) + "\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  Top = " + std::to_string(moved.y - 23) + "\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  Visible = True\r\n"), std::string::npos);
}

// The window manager's close button on a changed page asks 新页面's question: 取消 keeps the
// page as it is, 不保存 puts a fresh page in its place, which a save then writes visible.
TEST_F(DesignWindows, TheCloseButtonOfAChangedPageAsksTheNewPageQuestion) {
    StartProgram({});
    const QString title = QString::fromUtf8("^ZorLED通用显示系统$");
    const QString page = x_.WaitWindow(title);
    const QString mainWindow = x_.WaitWindow("^" + kMainTitle);
    const X11Session::Rect main = x_.ScreenArea(mainWindow);
    x_.Click(main.x + 43 + 80 * 3, main.y + 24 + 74 + 37);  // 新增标签
    X11Session::Poll("the page to be changed", [&] { return x_.Title(mainWindow).endsWith("*"); });
    // The close button, at the right end of the page's title bar.
    const auto closeAndAnswer = [&](int buttonX) {
        const X11Session::Rect r = x_.ScreenArea(x_.WaitWindow(title));
        const QStringList before = x_.VisibleWindows();
        x_.Click(r.x + r.width - 10, r.y - 11);
        const QString question = x_.WaitNewWindow(before, 50);
        EXPECT_EQ(x_.Title(question), QString::fromUtf8("请确定"));
        const X11Session::Rect q = x_.ScreenArea(question);
        x_.Click(q.x + buttonX, q.y + 60);
        x_.WaitGone(question);
    };
    closeAndAnswer(222);  // 取消
    EXPECT_TRUE(x_.Windows(title).contains(page));
    EXPECT_TRUE(x_.Title(mainWindow).endsWith("*"));
    closeAndAnswer(136);  // 不保存
    X11Session::Poll("a fresh page", [&] { return !x_.Title(mainWindow).endsWith("*") && !x_.Windows(title).isEmpty(); });
    const std::string text = SaveAs(home_ / "pagedef" / "fresh.DFM");
    EXPECT_EQ(text.find("object mylabel1"), std::string::npos) << text;
    EXPECT_NE(text.find("  Visible = True\r\n"), std::string::npos) << text;
}

TEST_F(DesignWindows, ABorderlessPageHasNoFrameAndItsClientWhereEveryPageHasIt) {
    const fs::path pagedef = home_ / "pagedef";
    WriteText(pagedef / "bare.DFM", PageText("bare", 320, 96, "clBlack", "bsNone"));
    WriteText(pagedef / "A.LED", "bare\r\n");
    WriteText(pagedef / "SelectList.PLN", "A\r\n");
    StartProgram({"--play"});
    const QString page = x_.WaitWindow("^bare$");
    const X11Session::Rect r = ClientAt(x_, page, {153, 83});
    EXPECT_EQ(QPoint(r.x, r.y), QPoint(153, 83));
    EXPECT_EQ(QSize(r.width, r.height), QSize(320, 96));
    QString extents;
    X11Session::Poll("frame extents", [&] {
        extents = WindowProperty(x_, page, "_NET_FRAME_EXTENTS");
        return extents.contains('=');
    });
    EXPECT_TRUE(extents.endsWith("= 0, 0, 0, 0")) << extents.toStdString();
}

}  // namespace
}  // namespace zl
