#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QStatusBar>

#include "app/autostart.h"
#include "app/mainwindow.h"
#include "core/atomicfile.h"
#include "page/pagefile.h"
#include "support/scratchdir.h"

namespace zl {
namespace {

TEST(Autostart, TheMenuSettingWritesAndRemovesTheEntryAndWarnsOfTheEnabledUnit) {
    testing::ScratchDir scratch("zorled-autostart");
    std::filesystem::create_directories(scratch / "home" / "pagedef");
    ::setenv("ZORLED_HOME", (scratch / "home").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (scratch / "config").c_str(), 1);
    RegisterPageClasses();
    {
        TSYS_Frmzorled window;
        ASSERT_TRUE(window.ActionAutostart);
        EXPECT_FALSE(window.ActionAutostart->isChecked());
        window.ActionAutostart->trigger();
        EXPECT_TRUE(window.ActionAutostart->isChecked());
        const std::string entry = ReadWholeFile(scratch / "config" / "autostart" / "zorled.desktop");
        EXPECT_EQ(entry.rfind("[Desktop Entry]\nType=Application\n", 0), 0u) << entry;
        // A program outside the install runs by its full path (here the test's own).
        EXPECT_NE(entry.find("\nExec=" + QCoreApplication::applicationFilePath().toStdString() + " --play\n"),
                  std::string::npos)
            << entry;
        EXPECT_TRUE(window.statusBar()->currentMessage().isEmpty());
        window.ActionAutostart->trigger();
        EXPECT_FALSE(window.ActionAutostart->isChecked());
        EXPECT_FALSE(std::filesystem::exists(scratch / "config" / "autostart" / "zorled.desktop"));

        // With the unit enabled (a link, even one whose unit is not installed) the setting warns.
        std::filesystem::create_directories(scratch / "config" / "systemd" / "user" / "graphical-session.target.wants");
        std::filesystem::create_symlink("/nowhere/zorled.service",
                                        scratch / "config" / "systemd" / "user" / "graphical-session.target.wants" /
                                            "zorled.service");
        window.ActionAutostart->trigger();
        EXPECT_TRUE(window.statusBar()->currentMessage().contains("zorled.service"));
        EXPECT_TRUE(AutostartEnabled());
        window.ActionAutostart->trigger();
    }
    // The box follows the file when the program starts again.
    SetAutostart(true, "/opt/Zor LED/zorled");
    EXPECT_NE(ReadWholeFile(AutostartEntryPath()).find("Exec=\"/opt/Zor LED/zorled\" --play\n"), std::string::npos);
    {
        TSYS_Frmzorled window;
        EXPECT_TRUE(window.ActionAutostart->isChecked());
    }
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("ZORLED_HOME");
}

}  // namespace
}  // namespace zl
