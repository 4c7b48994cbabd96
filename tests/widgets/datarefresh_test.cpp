#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/clock.h"
#include "core/codepage.h"
#include "qtbase/application.h"
#include "support/pluginfixtures.h"
#include "plugins/modulerunner.h"
#include "support/scratchdir.h"
#include "widgets/datarefresh.h"

namespace zl {
namespace {

using testing::FixtureCalls;
using testing::FixtureFolder;
using testing::ScratchDir;
using testing::WaitUntil;
using Lines = std::vector<std::string>;

class Refresher : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = SetErrorReporter([this](const QString& m) { reported.push_back(m.toStdString()); });
    }
    void TearDown() override {
        ModuleRunner::Instance().Stop();
        SetErrorReporter(previous_);
    }

    // A refresher whose widget records each file it is handed and whether a pass was running.
    std::unique_ptr<Tdatarefresh> Make() {
        auto r = std::make_unique<Tdatarefresh>();
        Tdatarefresh* raw = r.get();
        r->OnGetDataFromFileEvent = [this, raw](const std::string& name) {
            handed.push_back(name);
            idleDuringPass.push_back(raw->Idle());
            if (auto lines = ReadDataTextFile(name)) text = *lines;
        };
        return r;
    }
    void Write(const std::filesystem::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    ManualTimeSource manual{MakeLocalMs(2024, 3, 1, 8, 0, 0)};
    ScopedTimeSource scope{manual};
    ScratchDir scratch{"zorled-refresh"};
    Lines handed;
    std::vector<bool> idleDuringPass;
    StringList text;
    Lines reported;
    ErrorReporter previous_;
};

TEST_F(Refresher, StartsOnTheEditorSourceDisabledAtThreeMinutes) {
    auto r = Make();
    EXPECT_EQ(r->datainterface(), datafromEditor);
    EXPECT_EQ(r->DataRefreshTime(), 180000);
    EXPECT_EQ(r->Interval(), 180000);
    EXPECT_FALSE(r->Enabled());
    EXPECT_TRUE(r->Idle());
    EXPECT_TRUE(r->TextFileName().empty());
    EXPECT_TRUE(r->ExeFileName().empty());
    // With the editor source neither a pass nor a tick touches the widget.
    r->StartRefresh();
    EXPECT_TRUE(r->Enabled());
    manual.Advance(400000);
    EXPECT_TRUE(handed.empty());
}

TEST_F(Refresher, RefreshTimeHasAFloorOfTenSeconds) {
    const struct {
        int set, stored;
    } cases[] = {{5000, 10000}, {-1, 10000}, {10000, 10000}, {10001, 10001}, {250000, 250000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.set);
        auto r = Make();
        r->SetDataRefreshTime(c.set);
        EXPECT_EQ(r->DataRefreshTime(), c.stored);
        EXPECT_EQ(r->Interval(), c.stored);
    }
}

TEST_F(Refresher, FileSourcesRunTheTimerAndTheEditorSourceStopsIt) {
    const std::string file = (scratch / "data.txt").string();
    Write(file, "one\r\n");
    auto r = Make();
    r->SetTextFileName(file);
    r->SetDataRefreshTime(10000);
    const struct {
        int source;
        bool enabled;
    } steps[] = {{dataformtxtfile, true}, {datafromEditor, false}, {datafromexetxt, true}, {dataformtxtfile, true}};
    for (const auto& s : steps) {
        r->Setdatainterface(s.source);
        EXPECT_EQ(r->Enabled(), s.enabled) << s.source;
    }
    // The first pass comes one interval after the source was chosen, not at once.
    EXPECT_TRUE(handed.empty());
    manual.Advance(6000);
    // Setting the same source again keeps the countdown.
    r->Setdatainterface(dataformtxtfile);
    manual.Advance(4000);
    EXPECT_EQ(handed, Lines({file}));
    manual.Advance(10000);
    EXPECT_EQ(handed.size(), 2u);
    r->StopRefresh();
    manual.Advance(60000);
    EXPECT_EQ(handed.size(), 2u);
}

TEST_F(Refresher, StartRefreshAsksTheModuleThenReadsTheFileAtOnce) {
    FixtureCalls calls(scratch);
    const std::string file = (scratch / "data.txt").string();
    ::setenv("ZORLED_FIXTURE_DATA", file.c_str(), 1);
    ::setenv("ZORLED_FIXTURE_TEXT", "from the module\r\nsecond", 1);
    auto r = Make();
    r->Setdatainterface(datafromexetxt);
    r->SetTextFileName(file);
    r->SetExeFileName((FixtureFolder("data") / "datamodule.so").string());
    r->StartRefresh();
    // The module runs in its host: the pass stays busy until its call has returned.
    EXPECT_FALSE(r->Idle());
    ASSERT_TRUE(WaitUntil([&] { return r->Idle(); }));
    EXPECT_EQ(calls.Lines(), Lines({"datamodule.so Plugingetdata"}));
    EXPECT_EQ(text, StringList({"from the module", "second"}));
    EXPECT_EQ(idleDuringPass, std::vector<bool>({false}));
    ::setenv("ZORLED_FIXTURE_TEXT", "later", 1);
    // A host keeps the environment it started with.
    ModuleRunner::Instance().Stop();
    manual.Advance(180000);
    ASSERT_TRUE(WaitUntil([&] { return r->Idle(); }));
    EXPECT_EQ(calls.Lines().size(), 2u);
    EXPECT_EQ(text, StringList({"later"}));
    ::unsetenv("ZORLED_FIXTURE_DATA");
    ::unsetenv("ZORLED_FIXTURE_TEXT");

    // Without the module, or with a library lacking the export, the file written earlier is read.
    for (const std::string& module : {(scratch / "gone.so").string(), (FixtureFolder("bare") / "no_exports.so").string()}) {
        SCOPED_TRACE(module);
        text.clear();
        r->SetExeFileName(module);
        r->RefreshNow();
        ASSERT_TRUE(WaitUntil([&] { return r->Idle(); }));
        EXPECT_EQ(text, StringList({"later"}));
    }
    EXPECT_TRUE(reported.empty()) << reported.front();
}

TEST_F(Refresher, AFileThatCannotBeReadIsReportedAndTriedAgainNextTick) {
    const auto file = scratch / "data.txt";
    // Tests run as root, so modes do not stop a read: a folder in the file's place does.
    std::filesystem::create_directory(file);
    auto r = Make();
    r->Setdatainterface(dataformtxtfile);
    r->SetDataRefreshTime(10000);
    r->SetTextFileName(file.string());
    text = {"previous"};
    r->StartRefresh();
    EXPECT_TRUE(r->Idle());
    EXPECT_EQ(text, StringList({"previous"}));
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], "Cannot open file \"" + file.string() + "\". Is a directory");
    EXPECT_TRUE(r->Enabled()) << "the timer goes on";

    std::filesystem::remove(file);
    Write(file, "fresh");
    manual.Advance(10000);
    EXPECT_EQ(text, StringList({"fresh"}));
    EXPECT_EQ(reported.size(), 1u);
}

// Holds a file open for writing in another process until destroyed, as a feed script writing
// its file in place does.
class OtherWriter {
public:
    explicit OtherWriter(const std::filesystem::path& path) {
        int ready[2];
        if (::pipe(ready) != 0 || ::pipe(release_) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(release_[1]);  // so that the parent's close ends the wait
            const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
            char c = fd >= 0 ? 'y' : 'n';
            if (::write(ready[1], &c, 1) != 1) ::_exit(1);
            while (::read(release_[0], &c, 1) < 0 && errno == EINTR) {
            }
            ::_exit(0);
        }
        char c = 'n';
        while (::read(ready[0], &c, 1) < 0 && errno == EINTR) {
        }
        ::close(ready[0]);
        ::close(ready[1]);
        if (c != 'y') throw std::runtime_error("the writer could not open the file");
    }
    ~OtherWriter() {
        ::close(release_[1]);
        ::close(release_[0]);
        ::waitpid(pid_, nullptr, 0);
    }

private:
    int release_[2];
    pid_t pid_;
};

TEST_F(Refresher, FilesThatCannotBeReadWithoutWaitingAreReportedAndTheTextKept) {
    const auto fifo = scratch / "fifo.txt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto written = scratch / "written.txt";
    Write(written, "3 of 200 lines\r\n");
    const struct {
        std::filesystem::path file;
        const char* why;
    } cases[] = {
        {fifo, "Not a regular file"},
        {"/dev/zero", "Not a regular file"},
        {written, "The file is still open for writing by another process"},
    };
    auto r = Make();
    r->Setdatainterface(dataformtxtfile);
    r->SetDataRefreshTime(10000);
    OtherWriter writer(written);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        reported.clear();
        r->SetTextFileName(c.file.string());
        text = {"previous"};
        r->RefreshNow();
        EXPECT_EQ(text, StringList({"previous"}));
        EXPECT_EQ(reported, Lines({"Cannot open file \"" + c.file.string() + "\". " + c.why}));
        EXPECT_TRUE(r->Idle());
        EXPECT_TRUE(r->Enabled());
    }
}

TEST_F(Refresher, AFileIsReadOnceItsWriterHasClosedIt) {
    const auto file = scratch / "feed.txt";
    Write(file, "first\r\n");
    auto r = Make();
    r->Setdatainterface(dataformtxtfile);
    r->SetDataRefreshTime(10000);
    r->SetTextFileName(file.string());
    text = {"previous"};
    {
        OtherWriter writer(file);
        r->StartRefresh();
        EXPECT_EQ(text, StringList({"previous"}));
        EXPECT_EQ(reported.size(), 1u);
    }
    manual.Advance(10000);
    EXPECT_EQ(text, StringList({"first"}));
    EXPECT_EQ(reported.size(), 1u);
    // Our own read holds the file only for the read: a writer may open it right after.
    OtherWriter after(file);
}

TEST_F(Refresher, DataFilesInUnicodeOrGbkGiveTheSameText) {
    const std::string utf8 = "欢迎乘车\r\n列车正点";
    std::string utf16le = "\xFF\xFE";
    for (char16_t u : Utf8ToUtf16(utf8)) utf16le += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {{"UTF-8", utf8},
                 {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + utf8},
                 {"UTF-16LE with a byte-order mark", utf16le},
                 {"GBK", Utf8ToGbk(utf8)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Write(scratch / "t.txt", c.bytes);
        EXPECT_EQ(ReadDataTextFile((scratch / "t.txt").string()),
                  StringList({Utf8ToGbk("欢迎乘车"), Utf8ToGbk("列车正点")}));
    }
}

TEST_F(Refresher, ADataFileOverSixteenMegabytesIsRefused) {
    const auto file = scratch / "big.txt";
    Write(file, std::string(kMaxDataFileSize, 'a'));
    auto lines = ReadDataTextFile(file.string());
    ASSERT_TRUE(lines);
    EXPECT_EQ(lines->at(0).size(), kMaxDataFileSize) << "exactly 16 MB is read";

    Write(file, std::string(kMaxDataFileSize + 1, 'a'));
    auto r = Make();
    r->Setdatainterface(dataformtxtfile);
    r->SetTextFileName(file.string());
    text = {"kept"};
    r->RefreshNow();
    EXPECT_EQ(text, StringList({"kept"}));
    EXPECT_EQ(reported, Lines({"File \"" + file.string() + "\" is larger than 16 MB"}));
    EXPECT_TRUE(r->Idle());
}

TEST_F(Refresher, DataFilesAreReadAsTextLists) {
    const struct {
        const char* what;
        std::string bytes;
        StringList lines;
    } cases[] = {
        {"line ends of every kind", "a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"a zero byte ends the text", std::string("x\r\ny\0z", 6), {"x", "y"}},
        {"empty file", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Write(scratch / "t.txt", c.bytes);
        EXPECT_EQ(ReadDataTextFile((scratch / "t.txt").string()), c.lines);
    }
    EXPECT_EQ(ReadDataTextFile((scratch / "missing.txt").string()), std::nullopt);
    EXPECT_EQ(ReadDataTextFile(""), std::nullopt);
    // Names from Windows: "\" separates folders and a case-insensitive twin counts.
    Write(scratch / "Data.TXT", "twin");
    const std::string windows = scratch.path().string() + "\\data.txt";
    EXPECT_EQ(ReadDataTextFile(windows), StringList({"twin"}));
}

}  // namespace
}  // namespace zl
