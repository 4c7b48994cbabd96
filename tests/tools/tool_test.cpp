#include <gtest/gtest.h>

#include <QImageReader>
#include <algorithm>
#include <QProcess>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "core/atomicfile.h"
#include "core/textlist.h"
#include "support/scopedzone.h"
#include "support/scratchdir.h"

namespace zl {
namespace {

using testing::FirstDifference;

struct Result {
    int exitCode;
    std::string out, err;
};

// Runs the real zorled-tool, offscreen, with its own home.
Result Tool(const QStringList& args, const std::filesystem::path& home) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("ZORLED_HOME", QString::fromStdString(home.string()));
    process.setProcessEnvironment(env);
    process.start(QString(ZORLED_BINARY_DIR) + "/src/app/zorled-tool", args);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}

QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

class ZorledTool : public ::testing::Test {
protected:
    zl::testing::ScratchDir scratch_{"zorled-tool"};
    const std::filesystem::path& dir_ = scratch_.path();
};

TEST_F(ZorledTool, NewWritesTheFreshPageAndItsUnit) {
    const Result r = Tool({"new", Q(dir_ / "page.DFM")}, dir_);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "") << "the headless platform's chatter is no error";
    const Result resave = Tool({"resave", Q(dir_ / "page.DFM"), Q(dir_ / "again.DFM")}, dir_);
    EXPECT_EQ(resave.exitCode, 0);
    EXPECT_EQ(resave.err, "");
    const std::string expected = ReadWholeFile(std::filesystem::path(ZORLED_TEST_DATA) / "pages" / "fresh.DFM");
    EXPECT_EQ(FirstDifference(expected, ReadWholeFile(dir_ / "page.DFM")), "");
    EXPECT_EQ(ReadWholeFile(dir_ / "page.Pas").rfind("unit page;\r\n\r\ninterface\r\n", 0), 0u);
}

TEST_F(ZorledTool, PageTextRoundTripsEveryGolden) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(ZORLED_TEST_DATA) / "pagetext")) {
        if (entry.path().extension() != ".dfm") continue;
        const std::string original = ReadWholeFile(entry.path());
        const Result r = Tool({"pagetext", Q(entry.path())}, dir_);
        ASSERT_EQ(r.exitCode, 0) << entry.path() << ": " << r.err;
        EXPECT_EQ(FirstDifference(original, r.out), "") << entry.path();
        ++files;
    }
    EXPECT_GT(files, 0);
}

TEST_F(ZorledTool, ResaveLosesNothingAndSettles) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(ZORLED_TEST_DATA) / "pages")) {
        if (entry.path().extension() != ".DFM") continue;
        const std::string original = ReadWholeFile(entry.path());
        const auto once = dir_ / "once.DFM", twice = dir_ / "twice.DFM";
        Result r = Tool({"resave", Q(entry.path()), Q(once)}, dir_);
        ASSERT_EQ(r.exitCode, 0) << entry.path() << ": " << r.err;
        r = Tool({"resave", Q(once), Q(twice)}, dir_);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        // Everything is kept, the root's name too, but for the pages whose first save settles
        // them as resaved/ shows.
        const auto settled = entry.path().parent_path() / "resaved" / entry.path().filename();
        const std::string expected = std::filesystem::exists(settled) ? ReadWholeFile(settled) : original;
        EXPECT_EQ(FirstDifference(expected, ReadWholeFile(once)), "") << entry.path();
        EXPECT_EQ(FirstDifference(ReadWholeFile(once), ReadWholeFile(twice)), "") << entry.path();
        ++files;
    }
    EXPECT_GT(files, 0);
}

TEST_F(ZorledTool, FailuresExitWithOneAndTheMessage) {
    WriteFileAtomic(dir_ / "broken.DFM", "object A: TFrmZorLedForm\r\n  Left 5\r\nend\r\n");
    struct Case {
        QStringList args;
        std::string message;
    } cases[] = {
        {{"pagetext", Q(dir_ / "broken.DFM")}, "''='' expected on line 2\n"},
        {{"resave", Q(dir_ / "broken.DFM"), Q(dir_ / "out.DFM")},
         "''='' expected on line 2 (page file \"" + (dir_ / "broken.DFM").string() + "\")\n"},
        {{"pagetext", Q(dir_ / "missing.DFM")}, "Cannot open file \"" + (dir_ / "missing.DFM").string() + "\"."},
        {{"new", Q(dir_ / "no" / "folder" / "x.DFM")}, "Cannot create file \""},
        {{"frobnicate"}, "usage: zorled-tool"},
        {{"new", Q(dir_ / "out.DFM"), "1", "x"},
         "Widget kind \"x\" is not valid: give 1 (label), 2 (image), 3 (marquee), 4 (clock) or 5 (board)\n"},
        {{"new", Q(dir_ / "out.DFM"), "99999999999"}, "Widget kind \"99999999999\" is not valid: give 1 (label)"},
        {{"new", Q(dir_ / "out.DFM"), "0"}, "Widget kind \"0\" is not valid"},
        {{"play", "--seconds", "-5"}, "Seconds \"-5\" are not valid: give a whole number from 0 to 999999999\n"},
    };
    for (const auto& c : cases) {
        const Result r = Tool(c.args, dir_);
        EXPECT_EQ(r.exitCode, 1) << c.args.join(' ').toStdString();
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir_ / "out.DFM"));
}

TEST_F(ZorledTool, ResaveKeepsTheLinkAndTheModeOfTheFileItReplaces) {
    const auto page = std::filesystem::path(ZORLED_TEST_DATA) / "pages" / "fresh.DFM";
    std::filesystem::create_directories(dir_ / "shared");
    WriteFileAtomic(dir_ / "shared" / "sign.DFM", "old");
    ASSERT_EQ(::chmod((dir_ / "shared" / "sign.DFM").c_str(), 0600), 0);
    std::filesystem::create_symlink("shared/sign.DFM", dir_ / "link.DFM");
    const Result r = Tool({"resave", Q(page), Q(dir_ / "link.DFM")}, dir_);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_symlink(std::filesystem::symlink_status(dir_ / "link.DFM")));
    EXPECT_EQ(ReadWholeFile(dir_ / "shared" / "sign.DFM").rfind("object LedDesignWin: TFrmZorLedForm\r\n", 0), 0u)
        << "the root keeps its name";
    EXPECT_EQ(std::filesystem::status(dir_ / "shared" / "sign.DFM").permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(ZorledTool, KindsNotBuiltYetWriteNoPage) {
    // Whichever kinds the program cannot create yet fail by name; the others make a page.
    const char* const names[] = {"", "label", "image", "marquee", "clock", "board"};
    for (int kind = 1; kind <= 5; ++kind) {
        const auto out = dir_ / ("kind" + std::to_string(kind) + ".DFM");
        const Result r = Tool({"new", Q(out), QString::number(kind)}, dir_);
        if (r.exitCode == 0) {
            EXPECT_NE(ReadWholeFile(out).find(std::string(": Tzorled")), std::string::npos) << kind;
            continue;
        }
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.ends_with("Widget kind " + std::to_string(kind) + " (" + names[kind] +
                                    ") cannot be created yet; no page was written\n"))
            << r.err;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

// Hostile page files: refused with a clear message, never a crash or a page cut to fit.
TEST_F(ZorledTool, ResaveRefusesWhatCannotBeHeld) {
    const std::filesystem::path hostile = std::filesystem::path(ZORLED_TEST_DATA) / "hostile";
    const std::string head = "object LedDesignWin: TFrmZorLedForm\r\n";
    // Pictures are held to Qt's image allocation limit.
    const std::string limit = ", at most " + std::to_string(QImageReader::allocationLimit()) + " MB are allowed\n";
    struct Case {
        std::filesystem::path file;
        std::string text;  // written to `file` when given
        std::string message;
    } cases[] = {
        {hostile / "jpeg_30000.DFM", {},
         "Error reading myzorledIMAGE1.Picture.Data: Picture of 30000 x 30000 pixels is too large: it needs 2575 MB" +
             limit},
        {hostile / "jpeg_65500.DFM", {},
         "Error reading myzorledIMAGE1.Picture.Data: Picture of 65500 x 65500 pixels is too large: it needs 12275 MB" +
             limit},
        {dir_ / "left.DFM", head + "  Left = 4294967306\r\nend\r\n",
         "Error reading LedDesignWin.Left: Invalid property value\n"},
        {dir_ / "tag.DFM", head + "  object mylabel1: Tzorledlabel\r\n    Tag = 99999999999\r\n  end\r\nend\r\n",
         "Error reading mylabel1.Tag: Invalid property value\n"},
        {dir_ / "color.DFM", head + "  Color = $FFFFFFFFFFFFFFFF\r\nend\r\n",
         "Error reading LedDesignWin.Color: Invalid property value\n"},
        {dir_ / "height.DFM", head + "  ClientHeight = 2000000000\r\nend\r\n",
         "Error reading LedDesignWin.ClientHeight: Invalid property value\n"},
        {dir_ / "width.DFM", head + "  ClientWidth = 2147483647\r\nend\r\n",
         "Error reading LedDesignWin.ClientWidth: Invalid property value\n"},
        {dir_ / "surface.DFM", head + "  ClientHeight = 32767\r\n  ClientWidth = 32767\r\nend\r\n",
         "Page of 32767 x 32767 pixels is too large to show: it needs 4096 MB, at most 256 MB are allowed\n"},
    };
    for (const auto& c : cases) {
        if (!c.text.empty()) WriteFileAtomic(c.file, c.text);
        const Result r = Tool({"resave", Q(c.file), Q(dir_ / "out.DFM")}, dir_);
        EXPECT_EQ(r.exitCode, 1) << c.file;
        // The message is the last line, naming the file; Qt may have said something before it.
        const std::string named = c.message.substr(0, c.message.size() - 1) + " (page file \"" + c.file.string() + "\")\n";
        EXPECT_TRUE(r.err.ends_with(named)) << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir_ / "out.DFM"));
    }
}

TEST_F(ZorledTool, RenderReportsErrorsWritesThePictureAndExitsOne) {
    // A marquee fed from a FIFO: every pass is refused and reported, and the run goes on.
    ASSERT_EQ(::mkfifo((dir_ / "feed.txt").c_str(), 0600), 0);
    ASSERT_EQ(Tool({"new", Q(dir_ / "page.DFM"), "3"}, dir_).exitCode, 0);
    std::string page = ReadWholeFile(dir_ / "page.DFM");
    const std::string fed = "    datainterface = dataformtxtfile\r\n    DataRefreshTime = 10000\r\n    TextFileName = '" +
                            (dir_ / "feed.txt").string() + "'\r\n";
    const size_t at = page.find("    datainterface = datafromEditor\r\n");
    ASSERT_NE(at, std::string::npos);
    page.replace(at, page.find("  end", at) - at, fed);
    WriteFileAtomic(dir_ / "page.DFM", page);
    WriteFileAtomic(dir_ / "old.png", "an older picture");
    const Result r = Tool({"render", Q(dir_ / "page.DFM"), Q(dir_ / "old.png"), "--ms", "15000"}, dir_);
    EXPECT_EQ(r.exitCode, 1);
    const std::string line = "Cannot open file \"" + (dir_ / "feed.txt").string() + "\". Not a regular file (page \"" +
                             (dir_ / "page.DFM").string() + "\", widget \"myzmd1\")\n";
    EXPECT_EQ(r.err, line + line) << "the pass at the start and the one ten seconds later";
    EXPECT_FALSE(QImageReader(Q(dir_ / "old.png")).size().isEmpty()) << "the picture is written all the same";
}

}  // namespace
}  // namespace zl

namespace zl {
namespace {

TEST_F(ZorledTool, RenderShowsThePageAtTheInstantsAsked) {
    ASSERT_EQ(Tool({"new", Q(dir_ / "page.DFM"), "1", "4"}, dir_).exitCode, 0);
    const QStringList at = {"--at", "2025-03-04 09:05:07"};
    ASSERT_EQ(Tool(QStringList{"render", Q(dir_ / "page.DFM"), Q(dir_ / "a.png")} + at, dir_).exitCode, 0);
    ASSERT_EQ(Tool(QStringList{"render", Q(dir_ / "page.DFM"), Q(dir_ / "b.png"), "--ms", "2000"} + at, dir_).exitCode, 0);
    ASSERT_EQ(Tool(QStringList{"render", Q(dir_ / "page.DFM"), Q(dir_ / "c.png"), "--ms", "2000"} + at, dir_).exitCode, 0);
    const QImage a(Q(dir_ / "a.png")), b(Q(dir_ / "b.png")), c(Q(dir_ / "c.png"));
    EXPECT_EQ(a.size(), QSize(291, 255)) << "the page's client area";
    EXPECT_NE(a, b) << "the clock moved on";
    EXPECT_EQ(b, c) << "the same instant gives the same picture";

    for (const QStringList& bad : {QStringList{"render", Q(dir_ / "page.DFM")},
                                   QStringList{"render", Q(dir_ / "page.DFM"), Q(dir_ / "d.png"), "--ms", "-1"},
                                   QStringList{"render", Q(dir_ / "page.DFM"), Q(dir_ / "d.png"), "--at", "2025-02-30 00:00:00"},
                                   QStringList{"render", Q(dir_ / "none.DFM"), Q(dir_ / "d.png")}}) {
        const Result r = Tool(bad, dir_);
        EXPECT_EQ(r.exitCode, 1) << bad.join(' ').toStdString();
        EXPECT_FALSE(r.err.empty());
        EXPECT_FALSE(std::filesystem::exists(dir_ / "d.png"));
    }
}

}  // namespace
TEST_F(ZorledTool, PlaylogSumsTheSecondsPerDayAndPage) {
    std::filesystem::create_directories(dir_ / "log");
    WriteFileAtomic(dir_ / "log" / "play-2026-03-01.log",
                    "2026-03-01 08:00:00\tstart\n2026-03-01 08:00:00\tpage\t早班\tp1\t10\n"
                    "2026-03-01 08:00:10\tpage\t早班\tp2\t5\n2026-03-01 08:00:15\tpage\t早班\tp1\t12\n");
    WriteFileAtomic(dir_ / "log" / "play-2026-03-02.log", "2026-03-02 09:00:00\tpage\t早班\tp1\t30\n");
    Result r = Tool({"playlog"}, dir_);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "date\tplan\tpage\tseconds\n2026-03-01\t早班\tp1\t22\n2026-03-01\t早班\tp2\t5\n"
                     "2026-03-02\t早班\tp1\t30\n");
    r = Tool({"playlog", "--from", "2026-03-02", "--to", "2026-03-02"}, dir_);
    EXPECT_EQ(r.out, "date\tplan\tpage\tseconds\n2026-03-02\t早班\tp1\t30\n");
    for (const char* day : {"March", "2026-13-45", "2026-02-29", "2026-04-31", "2026-00-10"}) {
        r = Tool({"playlog", "--from", day}, dir_);
        EXPECT_EQ(r.exitCode, 1) << day;
        EXPECT_NE(r.err.find("Date \"" + std::string(day) + "\" is not valid"), std::string::npos) << r.err;
    }
}

// A home with a default plan, a breakfast plan on weekdays, a weekend plan and dark hours.
class ToolSchedule : public ZorledTool {
protected:
    ToolSchedule() {
        const auto pagedef = dir_ / "pagedef";
        std::filesystem::create_directories(pagedef);
        const auto fresh = std::filesystem::path(ZORLED_TEST_DATA) / "pages" / "fresh.DFM";
        for (const char* page : {"d1", "d2", "b1", "w1"})
            std::filesystem::copy_file(fresh, pagedef / (std::string(page) + ".DFM"));
        WriteTextList(pagedef / "SelectList.PLN", {"Default", "Breakfast", "Weekend"});
        WriteTextList(pagedef / "Default.LED", {"d1", "d2"});
        WriteTextList(pagedef / "Breakfast.LED", {"b1"});
        WriteTextList(pagedef / "Weekend.LED", {"w1"});
        WriteTextList(pagedef / "Breakfast.SCH", {"; weekday mornings", "1-5 07:00-11:00 priority 5"});
        WriteTextList(pagedef / "Weekend.SCH", {"6,7 10:00-18:00", "8 10:00-12:00"});
        WriteTextList(pagedef / "DarkHours.PLN", {"* 23:00-06:00"});
    }
    ScopedZone zone_{"Asia/Shanghai"};
};

TEST_F(ToolSchedule, PrintsTheWeeksTimelineAndReportsTheLineItCannotRead) {
    const Result r = Tool({"schedule", "--at", "2026-12-21 00:00:00"}, dir_);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string expected;
    const auto line = [&](int day, const char* from, int toDay, const char* to, const char* what) {
        char text[96];
        std::snprintf(text, sizeof text, "2026-12-%02d %s\t2026-12-%02d %s\t%s\n", day, from, toDay, to, what);
        expected += text;
    };
    line(21, "00:00", 21, "06:00", "dark");
    for (int day = 21; day <= 25; ++day) {  // Monday to Friday
        if (day > 21) line(day - 1, "23:00", day, "06:00", "dark");
        line(day, "06:00", day, "07:00", "Default");
        line(day, "07:00", day, "11:00", "Breakfast");
        line(day, "11:00", day, "23:00", "Default");
    }
    for (int day = 26; day <= 27; ++day) {
        line(day - 1, "23:00", day, "06:00", "dark");
        line(day, "06:00", day, "10:00", "Default");
        line(day, "10:00", day, "18:00", "Weekend");
        line(day, "18:00", day, "23:00", "Default");
    }
    line(27, "23:00", 28, "00:00", "dark");
    EXPECT_EQ(r.out, expected) << FirstDifference(expected, r.out);
    EXPECT_NE(r.err.find("Weekend.SCH, line 2: days \"8\""), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;

    const Result day = Tool({"schedule", "--at", "2026-12-26 09:30:15", "--days", "1"}, dir_);
    EXPECT_EQ(day.out, "2026-12-26 09:30\t2026-12-26 10:00\tDefault\n2026-12-26 10:00\t2026-12-26 18:00\tWeekend\n"
                       "2026-12-26 18:00\t2026-12-26 23:00\tDefault\n2026-12-26 23:00\t2026-12-27 06:00\tdark\n"
                       "2026-12-27 06:00\t2026-12-27 09:30\tDefault\n");
    EXPECT_EQ(Tool({"schedule", "--days", "0"}, dir_).exitCode, 1);
}

TEST_F(ToolSchedule, PlayOnVirtualTimeSwitchesAtTheWindowAndGoesDark) {
    Result r = Tool({"play", "--at", "2026-12-21 06:59:50", "--seconds", "30"}, dir_);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "0.0\td1\n5.0\td2\n10.0\tb1\n15.0\tb1\n20.0\tb1\n25.0\tb1\n30.0\tb1\n");
    r = Tool({"play", "--at", "2026-12-21 22:59:52", "--seconds", "30"}, dir_);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "0.0\td1\n5.0\td2\n8.0\tdark\n") << "dark once, at 23:00, whatever the page's time left";
    r = Tool({"play", "--at", "2026-12-22 05:59:58", "--seconds", "4"}, dir_);
    EXPECT_EQ(r.out, "0.0\tdark\n2.0\td1\n") << "a run that starts dark wakes by itself";
}

// Across the nights the clocks change, a window opens when the local clock shows its time: 03:00
// comes ten seconds after 01:59:50 in spring and an hour and ten seconds after 02:59:50 in autumn.
TEST_F(ToolSchedule, PlayOnVirtualTimeFollowsDaylightSavingChanges) {
    ScopedZone zone("Europe/Berlin");
    WriteTextList(dir_ / "pagedef" / "SelectList.PLN", {"Default", "Breakfast"});
    WriteTextList(dir_ / "pagedef" / "Breakfast.SCH", {"* 03:00-03:01 priority 5"});
    std::filesystem::remove(dir_ / "pagedef" / "DarkHours.PLN");
    const struct {
        const char* at;
        const char* seconds;
        const char* opens;  // the first line of the 03:00 plan
    } cases[] = {
        {"2026-03-29 01:59:50", "12", "10.0\tb1\n"},
        // A start in the skipped hour is the first valid minute after it.
        {"2026-03-29 02:30:00", "1", "0.0\tb1\n"},
        {"2026-10-25 02:59:50", "3612", "3610.0\tb1\n"},
    };
    for (const auto& c : cases) {
        const Result r = Tool({"play", "--at", c.at, "--seconds", c.seconds}, dir_);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const size_t b1 = r.out.find("\tb1\n");
        ASSERT_NE(b1, std::string::npos) << c.at << "\n" << r.out;
        const size_t line = r.out.rfind('\n', b1);
        EXPECT_EQ(r.out.substr(line == std::string::npos ? 0 : line + 1, b1 + 4 - (line == std::string::npos ? 0 : line + 1)),
                  c.opens)
            << c.at;
    }
}

}  // namespace zl
