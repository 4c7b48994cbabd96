#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "core/atomicfile.h"
#include "core/commatext.h"
#include "core/error.h"
#include "core/home.h"
#include "core/textlist.h"
#include "support/scratchdir.h"

namespace zl {
namespace {

TEST(TextList, ParsesEveryLineEnd) {
    struct Case {
        std::string bytes;
        StringList entries;
    } cases[] = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\rb\nc", {"a", "b", "c"}},            // lone CR, lone LF, no end on the last line
        {"a\n\nb\r\n\r\n", {"a", "", "b", ""}},  // empty lines are entries
        {"a\r\n\nb", {"a", "", "b"}},            // CR LF then a lone LF
        {"x\0y\r\nz", {"x"}},                    // NUL ends the text
        {"", {}},
        {" padded \r\n", {" padded "}},          // nothing is trimmed
        {"\xB7\xBD\xB0\xB8" "1\r\n", {"\xB7\xBD\xB0\xB8" "1"}},  // GBK bytes kept as they are
        {"dup\r\ndup\r\n", {"dup", "dup"}},
    };
    for (auto& c : cases) {
        if (c.bytes.find('x') == 0) c.bytes = std::string("x\0y\r\nz", 6);
        EXPECT_EQ(ParseTextList(c.bytes), c.entries) << c.bytes;
    }
}

TEST(TextList, WritesCrLfAfterEveryEntry) {
    EXPECT_EQ(FormatTextList({}), "");
    EXPECT_EQ(FormatTextList({"p1", "", "p2"}), "p1\r\n\r\np2\r\n");
}

class TempDir : public ::testing::Test {
protected:
    zl::testing::ScratchDir scratch_{"zorled-core"};
    const std::filesystem::path& dir_ = scratch_.path();
};

using AtomicFile = TempDir;

TEST_F(AtomicFile, ReplacesTheWholeFile) {
    const auto path = dir_ / "list.PLN";
    WriteTextList(path, {"a", "b"});
    WriteTextList(path, {"c"});
    EXPECT_EQ(ReadWholeFile(path), "c\r\n");
    // No temporary file is left beside the target.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()), 1);
}

TEST_F(AtomicFile, FailedWriteLeavesTheOldFileWhole) {
    if (::geteuid() == 0) {
        // Root ignores folder permissions: make the rename fail instead, with a folder in the way.
        const auto blocked = dir_ / "blocked.DFM";
        std::filesystem::create_directories(blocked / "inside");
        EXPECT_THROW(WriteFileAtomic(blocked, "new"), Error);
        EXPECT_TRUE(std::filesystem::is_directory(blocked / "inside"));
    }
    const auto path = dir_ / "page.DFM";
    WriteFileAtomic(path, "old contents");
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (::geteuid() != 0) {
        try {
            WriteFileAtomic(path, "new");
            FAIL() << "write into a read-only folder succeeded";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find("Cannot create file \"" + path.string() + "\"."), std::string::npos)
                << e.what();
        }
    }
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all);
    EXPECT_EQ(ReadWholeFile(path), "old contents");
    EXPECT_THROW(WriteFileAtomic(dir_ / "no" / "such" / "folder.DFM", "x"), Error);
}

namespace fs = std::filesystem;

mode_t ModeOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
}

TEST_F(AtomicFile, SavingThroughALinkKeepsTheLinkAndUpdatesItsTarget) {
    const fs::path& dir = dir_;
    fs::create_directories(dir / "real");
    WriteFileAtomic(dir / "real" / "page.DFM", "old");
    struct Case {
        const char* link;
        fs::path target;   // what the link points at, as stored
        fs::path written;  // where the content must land
    } cases[] = {
        {"relative.DFM", "real/page.DFM", dir / "real" / "page.DFM"},
        {"absolute.DFM", dir / "real" / "page.DFM", dir / "real" / "page.DFM"},
        {"chain.DFM", "relative.DFM", dir / "real" / "page.DFM"},
        {"dangling.DFM", "real/new.DFM", dir / "real" / "new.DFM"},
    };
    for (const auto& c : cases) {
        fs::create_symlink(c.target, dir / c.link);
        WriteFileAtomic(dir / c.link, c.link);
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / c.link))) << c.link;
        EXPECT_EQ(fs::read_symlink(dir / c.link), c.target);
        EXPECT_EQ(ReadWholeFile(c.written), c.link);
    }
    // Nothing but the targets was left beside them.
    int files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir / "real")) ++files;
    EXPECT_EQ(files, 2);
}

TEST_F(AtomicFile, ReplacedFileKeepsItsModeAndANewOneFollowsTheUmask) {
    const fs::path& dir = dir_;
    for (mode_t mode : {0600, 0640, 0664}) {
        const fs::path file = dir / ("m" + std::to_string(mode));
        WriteFileAtomic(file, "old");
        ASSERT_EQ(::chmod(file.c_str(), mode), 0);
        WriteFileAtomic(file, "new");
        EXPECT_EQ(ModeOf(file), mode);
        EXPECT_EQ(ReadWholeFile(file), "new");
    }
    const mode_t mask = ::umask(022);
    WriteFileAtomic(dir / "fresh", "x");
    ::umask(mask);
    EXPECT_EQ(ModeOf(dir / "fresh"), 0644u);
}

TEST_F(AtomicFile, ReadingAMissingFileNamesIt) {
    try {
        ReadWholeFile(dir_ / "missing.DFM");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"" + (dir_ / "missing.DFM").string() + "\".", 0), 0u);
    }
}

// Opening a FIFO for reading waits for a writer, and a device never ends: neither may hang or
// flood a reader, whatever the file is used for.
TEST_F(AtomicFile, OnlyRegularFilesAreRead) {
    ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, (dir_ / "socket").c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(sock, 1), 0);
    fs::create_symlink("/dev/zero", dir_ / "zero-link");
    std::ofstream(dir_ / "plain") << "text";
    fs::create_symlink(dir_ / "plain", dir_ / "plain-link");
    const struct {
        fs::path path;
        const char* why;
    } cases[] = {
        {dir_ / "fifo", "Not a regular file"},
        {"/dev/zero", "Not a regular file"},
        {dir_ / "zero-link", "Not a regular file"},
        {dir_ / "socket", "Not a regular file"},
        {dir_, "Is a directory"},
    };
    for (const auto& c : cases) {
        for (const bool guarded : {false, true}) {
            try {
                ReadWholeFile(c.path, {0, guarded});
                ADD_FAILURE() << c.path << " was read";
            } catch (const Error& e) {
                EXPECT_EQ(e.what(), "Cannot open file \"" + c.path.string() + "\". " + c.why);
            }
        }
    }
    ::close(sock);
    EXPECT_EQ(ReadWholeFile(dir_ / "plain-link"), "text") << "a link to a regular file is read";
    EXPECT_EQ(ReadTextList(dir_ / "plain-link"), StringList({"text"}));
}

TEST_F(AtomicFile, ALimitRefusesLargerFiles) {
    std::ofstream(dir_ / "f") << std::string(2 * 1024 * 1024, 'a');
    EXPECT_EQ(ReadWholeFile(dir_ / "f", {2 * 1024 * 1024}).size(), 2u * 1024 * 1024);
    std::ofstream(dir_ / "f", std::ios::app) << "b";
    try {
        ReadWholeFile(dir_ / "f", {2 * 1024 * 1024});
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.what(), "File \"" + (dir_ / "f").string() + "\" is larger than 2 MB");
    }
}

using Lookup = TempDir;

TEST_F(Lookup, FindsFilesWhateverTheirCase) {
    std::ofstream(dir_ / "Plan1.LED") << "x";
    EXPECT_EQ(FindFileCaseInsensitive(dir_ / "Plan1.LED"), dir_ / "Plan1.LED");
    EXPECT_EQ(FindFileCaseInsensitive(dir_ / "plan1.led"), dir_ / "Plan1.LED");
    EXPECT_EQ(FindFileCaseInsensitive(dir_ / "plan2.led"), std::nullopt);
    EXPECT_EQ(FindFileCaseInsensitive(dir_ / "nofolder" / "a.led"), std::nullopt);
}

TEST(Home, FollowsTheEnvironment) {
    ::setenv("ZORLED_HOME", "/srv/led", 1);
    EXPECT_EQ(ProgramHome(), std::filesystem::path("/srv/led"));
    EXPECT_EQ(PageDefDir(), std::filesystem::path("/srv/led/pagedef"));
    ::unsetenv("ZORLED_HOME");
    EXPECT_TRUE(std::filesystem::exists(ProgramHome()));
    EXPECT_EQ(StoredPath("data\\news.txt"), std::filesystem::path("data/news.txt"));
}

TEST(CommaText, QuotesOnlyWhatNeedsIt) {
    struct Case {
        StringList lines;
        std::string text;
    } cases[] = {
        {{}, ""},
        {{""}, "\"\""},
        {{"a", "b"}, "a,b"},
        {{"a b", "c,d", "say \"hi\""}, "\"a b\",\"c,d\",\"say \"\"hi\"\"\""},
        {{"a", "", "b"}, "a,,b"},
        {{"tab\there"}, "\"tab\there\""},
        // The trail byte of a double-byte character never counts: 0xA1 0x2C has no comma.
        {{"\xB1\xEA\xC7\xA9"}, "\xB1\xEA\xC7\xA9"},
        {{"\x81\x2C"}, "\x81\x2C"},
    };
    for (const auto& c : cases) EXPECT_EQ(CommaText(c.lines), c.text);
}

}  // namespace
}  // namespace zl
