#include <gtest/gtest.h>

#include <filesystem>

#include "core/home.h"
#include "support/scratchdir.h"

namespace zl {
namespace {

TEST(Home, InstalledProgramsLiveInTheUserDataFolder) {
    testing::ScratchDir scratch("home");
    std::filesystem::create_directories(scratch / "usr" / "bin");
    std::filesystem::create_directory_symlink("usr/bin", scratch / "bin");
    const auto bin = scratch / "usr" / "bin";
    struct Case {
        const char* what;
        HomeSources sources;
        std::filesystem::path expected;
    } cases[] = {
        {"ZORLED_HOME wins over an install", {"/srv/led", bin, bin, "/x", "/root"}, "/srv/led"},
        {"installed", {"", bin, bin, "/data", "/root"}, "/data/zorled"},
        {"installed, reached by a linked folder", {"", scratch / "bin", bin, "/data", "/root"}, "/data/zorled"},
        {"installed, no XDG_DATA_HOME", {"", bin, bin, "", "/home/op"}, "/home/op/.local/share/zorled"},
        {"installed, relative XDG_DATA_HOME ignored", {"", bin, bin, "data", "/home/op"},
         "/home/op/.local/share/zorled"},
        {"build tree keeps its own folder", {"", "/src/build/src/app", bin, "/data", "/root"}, "/src/build/src/app"},
        {"no install prefix known", {"", "/opt/zl", "", "/data", "/root"}, "/opt/zl"},
    };
    for (const auto& c : cases) EXPECT_EQ(ChooseHome(c.sources), c.expected) << c.what;
}

}  // namespace
}  // namespace zl
