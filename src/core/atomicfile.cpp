#include "core/atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

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

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::error_code ec;
    // A folder opens as an empty stream; reading it as empty text would hide the mistake.
    if (std::filesystem::is_directory(path, ec))
        throw Error(Format("Cannot open file \"%s\". %s", path.string().c_str(), std::strerror(EISDIR)));
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Error(Format("Cannot open file \"%s\". %s", path.string().c_str(), std::strerror(errno ? errno : ENOENT)));
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace zl
