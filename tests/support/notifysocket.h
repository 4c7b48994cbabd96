#pragma once
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace zl::testing {

// A datagram socket standing where systemd's notify socket would; what the program sends with
// sd_notify waits here, one message per datagram.
class NotifySocket {
public:
    explicit NotifySocket(const std::filesystem::path& path) : path_(path) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un at{};
        at.sun_family = AF_UNIX;
        std::strncpy(at.sun_path, path.c_str(), sizeof at.sun_path - 1);
        std::filesystem::remove(path);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~NotifySocket() {
        if (fd_ >= 0) ::close(fd_);
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    bool Ready() const { return fd_ >= 0; }
    std::string Path() const { return path_.string(); }
    // Every message waiting, oldest first.
    std::vector<std::string> Take() {
        std::vector<std::string> messages;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n < 0) break;
            messages.emplace_back(buffer, static_cast<size_t>(n));
        }
        return messages;
    }

private:
    std::filesystem::path path_;
    int fd_ = -1;
};

}  // namespace zl::testing
