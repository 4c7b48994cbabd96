#include <gtest/gtest.h>

#include <QProcess>
#include <filesystem>
#include <unistd.h>

#include "core/atomicfile.h"
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
        // A root named LedDesignWin comes back as LedDesignWin_1; everything else is kept.
        std::string expected = original;
        const std::string root = "object LedDesignWin: ";
        if (expected.rfind(root, 0) == 0) expected.replace(0, root.size(), "object LedDesignWin_1: ");
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
        {{"resave", Q(dir_ / "broken.DFM"), Q(dir_ / "out.DFM")}, "''='' expected on line 2\n"},
        {{"pagetext", Q(dir_ / "missing.DFM")}, "Cannot open file \"" + (dir_ / "missing.DFM").string() + "\"."},
        {{"new", Q(dir_ / "no" / "folder" / "x.DFM")}, "Cannot create file \""},
        {{"frobnicate"}, "usage: zorled-tool"},
    };
    for (const auto& c : cases) {
        const Result r = Tool(c.args, dir_);
        EXPECT_EQ(r.exitCode, 1) << c.args.join(' ').toStdString();
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir_ / "out.DFM"));
}

}  // namespace
}  // namespace zl
