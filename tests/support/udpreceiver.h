#pragma once
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zl::testing {

// A UDP socket on the loopback interface that collects what the program sends to it. Loopback
// mostly delivers during the send, but a busy machine may defer it: a test that must see every
// datagram sent says how many it waits for.
class UdpReceiver {
public:
    // Unicast on 127.0.0.1 at a free port.
    UdpReceiver() { Open(htonl(INADDR_LOOPBACK)); }
    // Joins a 239.255.x.x group on the loopback interface; Ready() is false where the machine
    // does not allow it.
    explicit UdpReceiver(const char* group) {
        in_addr address{};
        ::inet_pton(AF_INET, group, &address);
        Open(address.s_addr);
        ip_mreqn join{};
        join.imr_multiaddr = address;
        join.imr_ifindex = static_cast<int>(::if_nametoindex("lo"));
        if (fd_ >= 0 && ::setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) != 0) Close();
    }
    ~UdpReceiver() { Close(); }
    UdpReceiver(const UdpReceiver&) = delete;
    UdpReceiver& operator=(const UdpReceiver&) = delete;

    bool Ready() const { return fd_ >= 0; }
    int Port() const { return port_; }

    // Every datagram waiting, oldest first; with `atLeast`, waits up to `timeoutMs` for that
    // many, since the kernel may hand a loopback datagram over after send() has returned.
    std::vector<std::vector<std::uint8_t>> Take(size_t atLeast = 0, int timeoutMs = 10000) {
        std::vector<std::vector<std::uint8_t>> packets;
        std::vector<std::uint8_t> buffer(65536);
        for (;;) {
            const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (n >= 0) {
                packets.emplace_back(buffer.begin(), buffer.begin() + n);
                continue;
            }
            pollfd waiting{fd_, POLLIN, 0};
            if (packets.size() >= atLeast || ::poll(&waiting, 1, timeoutMs) <= 0) break;
        }
        return packets;
    }

private:
    void Open(in_addr_t address) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int size = 1 << 20;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = address;
        socklen_t length = sizeof at;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&at), &length) != 0) {
            Close();
            return;
        }
        port_ = ntohs(at.sin_port);
    }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    int fd_ = -1;
    int port_ = 0;
};

}  // namespace zl::testing
