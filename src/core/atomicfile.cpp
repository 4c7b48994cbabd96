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

void WriteFileAtomic(const std::filesystem::path& path, std::string_view data) {
    const std::filesystem::path dir = path.has_parent_path() ? path.parent_path() : ".";
    std::string pattern = (dir / ("." + path.filename().string() + ".XXXXXX")).string();
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
    // Keep the permissions an ordinary new file would get rather than mkstemp's 0600.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int err = errno;
        ::unlink(pattern.c_str());
        FailCreate(path, err);
    }
    if (::rename(pattern.c_str(), path.c_str()) != 0) {
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
