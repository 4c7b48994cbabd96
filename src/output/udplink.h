#pragma once
#include <netinet/in.h>
#include <sys/socket.h>

#include <string>
#include <vector>

#include "output/packets.h"

namespace zl {

// The call that hands a batch of datagrams to the kernel; tests put failures in its place.
using SendBatchCall = int (*)(int fd, mmsghdr* messages, unsigned count, int flags);

// A non-blocking IPv4 UDP socket and the addresses its packets go to: one for unicast, one per
// packet (universe) for multicast.
class UdpLink {
public:
    UdpLink() = default;
    ~UdpLink();
    UdpLink(const UdpLink&) = delete;
    UdpLink& operator=(const UdpLink&) = delete;

    // Unicast to `address`:`port`; an empty text on success, else why not.
    std::string OpenUnicast(in_addr address, int port);
    // Multicast to 239.255.hi.lo of each universe from `firstUniverse`, with the TTL and,
    // when named, the interface.
    std::string OpenMulticast(int firstUniverse, size_t universes, int port, int ttl, const std::string& interface);
    bool IsOpen() const { return fd_ >= 0; }

    // Sends every packet of the batch; 0, or the errno that stopped the frame. A full send
    // buffer gets a short wait, never a stall.
    int Send(PacketBatch& batch, SendBatchCall call);

private:
    void Close();
    std::string OpenSocket();

    int fd_ = -1;
    std::vector<sockaddr_in> destinations_;
};

// The usual call: sendmmsg.
int SystemSendBatch(int fd, mmsghdr* messages, unsigned count, int flags);

}  // namespace zl
