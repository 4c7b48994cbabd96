// Page windows under a real window manager (openbox on a private X server): where a page lands,
// and what a page change in play does to the operator's open menu.
#include <gtest/gtest.h>

#include <QProcess>
#include <chrono>
#include <filesystem>
#include <fstream>
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
std::string PageText(const std::string& caption, int clientWidth, int clientHeight, const std::string& color) {
    return "object LedDesignWin: TFrmZorLedForm\r\n"
           "  Left = 150\r\n"
           "  Top = 60\r\n"
           "  BorderStyle = bsDialog\r\n"
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
        // Two sizes at the same Left and Top: a default-sized page and a resized one.
        WriteText(pagedef / "small.DFM", PageText("small", 291, 255, "clRed"));
        WriteText(pagedef / "wide.DFM", PageText("wide", 600, 120, "clBlue"));
        WriteText(pagedef / "A.LED", "small\r\nwide\r\n");
        WriteText(pagedef / "SelectList.PLN", "A\r\n");
        QProcessEnvironment env = x_.Environment();
        env.insert("ZORLED_HOME", QString::fromStdString(home_.path().string()));
        program_.setProcessEnvironment(env);
        program_.setProcessChannelMode(QProcess::ForwardedChannels);
        program_.start(QString(ZORLED_BINARY_DIR) + "/src/app/zorled", {"--play"});
        ASSERT_TRUE(program_.waitForStarted(30000));
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

}  // namespace
}  // namespace zl
