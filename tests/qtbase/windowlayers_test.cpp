#include <gtest/gtest.h>

#include <QDialog>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QWindow>

#include "qtbase/windowlayers.h"

namespace zl {
namespace {

TEST(WindowLayers, TheProgramsOwnDialogsAreOnTopBeforeTheirFirstMap) {
    KeepDialogsAbovePages();
    QMainWindow main;
    QWidget page;
    page.setProperty(kPageWindowProperty, true);
    page.setWindowFlags(Qt::Dialog);  // a page with a dialog frame is still a page
    QMessageBox box(QMessageBox::Critical, "ZorLED", "report", QMessageBox::Ok);
    QDialog dialog(&main);
    QWidget desk(&main, Qt::Window);
    QMenu menu(&main);
    const struct {
        const char* what;
        QWidget* window;
        bool onTop;
    } cases[] = {
        {"main window", &main, false},
        {"page", &page, false},
        {"message box without a parent", &box, true},
        {"dialog", &dialog, true},
        {"window of the main window", &desk, true},
        {"menu", &menu, false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        k.window->show();
        EXPECT_EQ(bool(k.window->windowFlags() & Qt::WindowStaysOnTopHint), k.onTop);
        ASSERT_NE(k.window->windowHandle(), nullptr);
        EXPECT_EQ(bool(k.window->windowHandle()->flags() & Qt::WindowStaysOnTopHint), k.onTop)
            << "the native window carries the hint the window manager reads at the map";
        EXPECT_TRUE(k.window->isVisible()) << "shown once, not hidden by a flag change";
        k.window->hide();
    }
}

}  // namespace
}  // namespace zl
