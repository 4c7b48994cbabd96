// A UDP socket bound to a free port on 127.0.0.1: an LED controller's port on this machine.
#pragma once
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zl::bench {

struct LoopbackReceiver {
    LoopbackReceiver() {
        fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof at;
        ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length);
        port = ntohs(at.sin_port);
    }
    ~LoopbackReceiver() { ::close(fd); }
    LoopbackReceiver(const LoopbackReceiver&) = delete;
    LoopbackReceiver& operator=(const LoopbackReceiver&) = delete;
    int fd = -1;
    int port = 0;
};

}  // namespace zl::bench
