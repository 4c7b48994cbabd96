#include "core/atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cerrno>
#include <cinttypes>
#include <cstring>

#include "core/error.h"

namespace zl {
namespace {

[[noreturn]] void FailCreate(const std::filesystem::path& path, int err) {
    throw Error(Format("Cannot create file \"%s\". %s", path.string().c_str(), std::strerror(err)));
}

}  // namespace

namespace {

// The file a save replaces: a symbolic link is followed (also through further links and when
// its target does not exist yet), so the link stays and its target gets the new content.
std::filesystem::path SaveTarget(const std::filesystem::path& path) {
    std::filesystem::path target = path;
    std::error_code ec;
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(std::filesystem::symlink_status(target, ec)); ++hops) {
        const std::filesystem::path next = std::filesystem::read_symlink(target, ec);
        if (ec) break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target;
}

}  // namespace

void WriteFileAtomic(const std::filesystem::path& path, std::string_view data) {
    const std::filesystem::path target = SaveTarget(path);
    const std::filesystem::path dir = target.has_parent_path() ? target.parent_path() : ".";
    std::string pattern = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) FailCreate(path, errno);
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            ::unlink(pattern.c_str());
            FailCreate(path, err);
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    // The file keeps its mode and, where we may set it, its group; a new one gets what an
    // ordinary new file would, rather than mkstemp's 0600.
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) {
        if (::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) errno = 0;  // not our group: keep ours
        ::fchmod(fd, old.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int err = errno;
        ::unlink(pattern.c_str());
        FailCreate(path, err);
    }
    if (::rename(pattern.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(pattern.c_str());
        FailCreate(path, err);
    }
}

namespace {

[[noreturn]] void FailOpen(const std::filesystem::path& path, const char* why) {
    throw Error(Format("Cannot open file \"%s\". %s", path.c_str(), why));
}

[[noreturn]] void FailTooLarge(const std::filesystem::path& path, std::uintmax_t maxBytes) {
    throw Error(Format("File \"%s\" is larger than %ju MB", path.c_str(), maxBytes / (1024 * 1024)));
}

[[noreturn]] void FailNotRegular(const std::filesystem::path& path, mode_t mode) {
    FailOpen(path, S_ISDIR(mode) ? std::strerror(EISDIR) : kNotARegularFile);
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// A read lease is refused while any process holds the file open for writing. A writer that
// opens it while we hold the lease makes the kernel signal us; that signal is SIGURG, which a
// process ignores unless it asks for it (SIGIO, the default, would end the program), and the
// writer waits only until the lease goes, right after the read.
// False: a writer holds the file. True: no writer, or the file system cannot tell (leases are
// for the file's owner or a privileged process, and NFS and some FUSE systems have none).
bool TakeReadLease(int fd, bool& held) {
    held = false;
    if (::fcntl(fd, F_SETSIG, SIGURG) != 0) return true;
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        held = true;
        return true;
    }
    return errno != EAGAIN;
}

}  // namespace

std::string ReadWholeFile(const std::filesystem::path& path, const ReadOptions& options) {
    // Looked at before opening, so that opening has no side effects on a device; checked again
    // on the open file, which may have been swapped in the meantime.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) FailNotRegular(path, info.st_mode);
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) FailOpen(path, std::strerror(errno));
    if (::fstat(file.get(), &info) != 0) FailOpen(path, std::strerror(errno));
    if (!S_ISREG(info.st_mode)) FailNotRegular(path, info.st_mode);
    bool leased = false;
    if (options.refuseWhileWritten && !TakeReadLease(file.get(), leased)) FailOpen(path, kFileBeingWritten);
    const std::uintmax_t maxBytes = options.maxBytes;
    if (maxBytes > 0 && static_cast<std::uintmax_t>(info.st_size) > maxBytes) FailTooLarge(path, maxBytes);
    // Read to the end rather than to the size seen: the file may still grow.
    std::string bytes;
    bytes.reserve(static_cast<size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            FailOpen(path, std::strerror(errno));
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
        if (maxBytes > 0 && bytes.size() > maxBytes) FailTooLarge(path, maxBytes);
    }
    // A writer that came meanwhile waits for the lease: let it go at once.
    if (leased) ::fcntl(file.get(), F_SETLEASE, F_UNLCK);
    return bytes;
}

}  // namespace zl
