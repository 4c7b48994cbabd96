#pragma once
#include <netinet/in.h>
#include <sys/socket.h>

#include <string>
#include <vector>

#include "output/packets.h"

namespace zl {

// The call that hands a batch of datagrams to the kernel; tests put failures in its place.
using SendBatchCall = int (*)(int fd, mmsghdr* messages, unsigned count, int flags);

// A non-blocking IPv4 UDP socket and the addresses its packets go to. Unicast sockets are
// connected, so a controller that refuses (ICMP port or host unreachable) shows as an error on
// a later send; multicast gives no such errors and has one address per packet (universe).
class UdpLink {
public:
    UdpLink() = default;
    ~UdpLink();
    UdpLink(const UdpLink&) = delete;
    UdpLink& operator=(const UdpLink&) = delete;

    // Unicast to `address`:`port`; an empty text on success, else why not.
    std::string OpenUnicast(in_addr address, int port);
    // Multicast to 239.255.hi.lo of each universe from `firstUniverse` (and of `syncUniverse`
    // for a last packet, when not 0), with the TTL and, when named, the interface.
    std::string OpenMulticast(int firstUniverse, size_t universes, int syncUniverse, int port, int ttl,
                              const std::string& interface);
    bool IsOpen() const { return fd_ >= 0; }
    // The unicast address the link was opened to.
    in_addr Peer() const { return peer_; }

    // Sends `count` packets of the batch from packet `first`; 0, or the errno that stopped the frame or
    // that an earlier packet brought back (the frame still goes out whole then). A full send
    // buffer gets a short wait, never a stall.
    int Send(PacketBatch& batch, size_t first, size_t count, SendBatchCall call);

private:
    void Close();
    std::string OpenSocket();

    int fd_ = -1;
    bool connected_ = false;
    in_addr peer_{};
    std::vector<sockaddr_in> destinations_;
};

// The usual call: sendmmsg.
int SystemSendBatch(int fd, mmsghdr* messages, unsigned count, int flags);

}  // namespace zl
