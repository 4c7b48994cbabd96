#include "output/udplink.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace zl {
namespace {

// How long one frame may wait for room in the send buffer before the rest of it is dropped.
constexpr int kFullBufferWaitMs = 10;
// Room for a few whole frames of the largest outputs; the kernel caps it at its own maximum.
constexpr int kSendBufferBytes = 4 << 20;

std::string Why(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

int SystemSendBatch(int fd, mmsghdr* messages, unsigned count, int flags) {
    return ::sendmmsg(fd, messages, count, flags);
}

UdpLink::~UdpLink() { Close(); }

void UdpLink::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    connected_ = false;
    destinations_.clear();
}

std::string UdpLink::OpenSocket() {
    Close();
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return Why("socket");
    const int size = kSendBufferBytes;
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    return {};
}

std::string UdpLink::OpenUnicast(in_addr address, int port) {
    if (std::string e = OpenSocket(); !e.empty()) return e;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr = address;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        std::string e = Why("connect");
        Close();
        return e;
    }
    connected_ = true;
    peer_ = address;
    return {};
}

std::string UdpLink::OpenMulticast(int firstUniverse, size_t universes, int syncUniverse, int port, int ttl,
                                   const std::string& interface) {
    if (std::string e = OpenSocket(); !e.empty()) return e;
    const int hops = ttl;
    if (::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_TTL, &hops, sizeof hops) != 0) {
        std::string e = Why("IP_MULTICAST_TTL");
        Close();
        return e;
    }
    if (!interface.empty()) {
        ip_mreqn via{};
        via.imr_ifindex = static_cast<int>(::if_nametoindex(interface.c_str()));
        if (via.imr_ifindex == 0 || ::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_IF, &via, sizeof via) != 0) {
            std::string e = Why(("interface " + interface).c_str());
            Close();
            return e;
        }
    }
    auto group = [&](unsigned universe) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl((239u << 24) | (255u << 16) | (universe & 0xFFFF));
        to.sin_port = htons(static_cast<std::uint16_t>(port));
        destinations_.push_back(to);
    };
    for (size_t u = 0; u < universes; ++u) group(static_cast<unsigned>(firstUniverse) + static_cast<unsigned>(u));
    if (syncUniverse != 0) group(static_cast<unsigned>(syncUniverse));
    return {};
}

int UdpLink::Send(PacketBatch& batch, size_t first, size_t count, SendBatchCall call) {
    if (fd_ < 0) return EBADF;
    mmsghdr* messages = batch.Messages() + first;
    for (size_t i = 0; i < count; ++i) {
        sockaddr_in* to = connected_ ? nullptr : &destinations_[std::min(first + i, destinations_.size() - 1)];
        messages[i].msg_hdr.msg_name = to;
        messages[i].msg_hdr.msg_namelen = to ? sizeof *to : 0;
    }
    using Clock = std::chrono::steady_clock;
    Clock::time_point deadline{};
    size_t sent = 0;
    int returned = 0;  // an error an earlier packet brought back
    size_t returns = 0;
    while (sent < count) {
        const int n = call(fd_, messages + sent, static_cast<unsigned>(count - sent), MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        const int err = n == 0 ? EAGAIN : errno;
        if (err == EINTR) continue;
        // The answer to a packet sent before: this packet did not go yet, so it is sent again.
        if ((err == ECONNREFUSED || err == EHOSTUNREACH || err == ENETUNREACH || err == EHOSTDOWN) &&
            connected_ && returns++ <= count) {
            returned = err;
            continue;
        }
        if (err != EAGAIN && err != EWOULDBLOCK && err != ENOBUFS) return err;
        const Clock::time_point now = Clock::now();
        if (deadline == Clock::time_point{}) deadline = now + std::chrono::milliseconds(kFullBufferWaitMs);
        if (now >= deadline) return err;
        pollfd p{fd_, POLLOUT, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        ::poll(&p, 1, static_cast<int>(left) + 1);
    }
    return returned;
}

}  // namespace zl
