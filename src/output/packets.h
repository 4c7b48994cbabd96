#pragma once
#include <sys/socket.h>
#include <sys/uio.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zl {

constexpr size_t kDdpHeaderSize = 10;
constexpr size_t kDdpMaxData = 1440;  // 480 RGB pixels
constexpr size_t kE131HeaderSize = 126;
constexpr size_t kE131PacketSize = 638;
constexpr size_t kE131Channels = 512;
constexpr size_t kE131PixelsPerUniverse = 170;
constexpr std::uint8_t kE131StreamTerminated = 0x40;
constexpr size_t kE131SyncPacketSize = 49;
constexpr size_t kArtNetHeaderSize = 18;
constexpr size_t kArtSyncSize = 14;

constexpr size_t DdpPacketCount(size_t bytes) { return (bytes + kDdpMaxData - 1) / kDdpMaxData; }
constexpr size_t E131UniverseCount(size_t pixels) { return (pixels + kE131PixelsPerUniverse - 1) / kE131PixelsPerUniverse; }

// The datagrams of one frame, laid out whole one after another, ready for one sendmmsg. Built
// once per output; a frame rewrites the changing header fields and either copies the pixel data
// in, so the kernel gets one plain buffer per datagram, or points the datagram's data at the
// caller's pixels, so the kernel gathers header and data and nothing is copied twice.
class PacketBatch {
public:
    PacketBatch() = default;
    PacketBatch(const PacketBatch&) = delete;
    PacketBatch& operator=(const PacketBatch&) = delete;

    // Room for `packets` datagrams of at most `packetSize` bytes, all zero, each that long.
    void Reset(size_t packets, size_t packetSize);
    size_t Count() const { return messages_.size(); }
    std::uint8_t* Packet(size_t i) { return storage_.data() + i * packetSize_; }
    // Packet i is its first `bytes` bytes.
    void SetLength(size_t i, size_t bytes);
    // Packet i is its first `headerBytes` bytes followed by `data`, which must stay as it is
    // until the packet is sent.
    void Borrow(size_t i, size_t headerBytes, const std::uint8_t* data, size_t bytes);
    mmsghdr* Messages() { return messages_.data(); }
    // The bytes of packet i laid end to end, as a receiver gets them.
    std::vector<std::uint8_t> Bytes(size_t i) const;

private:
    std::vector<std::uint8_t> storage_;
    std::vector<iovec> slices_;  // two per packet: its own bytes, then borrowed data
    std::vector<mmsghdr> messages_;
    size_t packetSize_ = 0;
};

// Where each universe's channels come from: `bytes` wire bytes from `from`, placed from channel
// `channel` (0-based). The first universe starts at `startChannel` (1-based) and holds what fits
// there, the others start at channel 1; at most `pixelsPerUniverse` pixels each.
struct UniverseSlice {
    size_t from, bytes, channel;
};
std::vector<UniverseSlice> UniverseLayout(size_t pixels, int channelsPerPixel, int startChannel, int pixelsPerUniverse);

// DDP: 10-byte header, up to 1440 data bytes per packet, push flag on the last. `offset` is the
// byte offset of the first pixel in the controller's chain.
class DdpFramer {
public:
    DdpFramer() = default;
    DdpFramer(size_t offset, int channelsPerPixel) : offset_(offset), white_(channelsPerPixel == 4) {}
    void Prepare(PacketBatch& batch, size_t bytes) const;
    // `copy` false: the pixels are those of the previous frame, already in the batch.
    void Frame(const std::uint8_t* wire, size_t bytes, PacketBatch& batch, bool copy = true);
    // The same with the packets' data read from `wire` as they are sent.
    void FrameBorrowed(const std::uint8_t* wire, size_t bytes, PacketBatch& batch);

private:
    // Writes packet i's header and returns its data's offset in the wire and length.
    std::pair<size_t, size_t> Header(size_t i, size_t bytes, PacketBatch& batch);

    std::uint8_t sequence_ = 0;  // 1..15, 0 before the first packet
    size_t offset_ = 0;
    bool white_ = false;
};

// The sender's identity in every E1.31 packet.
struct E131Source {
    std::array<std::uint8_t, 16> cid{};
    std::string name;  // UTF-8, at most 63 bytes are sent
};

struct E131Options {
    int channelsPerPixel = 3;
    int startChannel = 1;
    int pixelsPerUniverse = 170;
    int priority = 100;
    int syncUniverse = 0;  // 0: no synchronisation
};

// E1.31: one 638-byte packet per universe, all 512 channels always present; with a sync
// universe, a 49-byte synchronisation packet follows the data of each frame as the batch's last.
class E131Framer {
public:
    E131Framer(const E131Source& source, int firstUniverse, size_t pixels, const E131Options& options = {});
    void Prepare(PacketBatch& batch) const;
    // `options` 0 for data, kE131StreamTerminated when the stream ends. Returns how many packets
    // of the batch to send: a terminating frame has no synchronisation packet.
    size_t Frame(const std::uint8_t* wire, size_t bytes, std::uint8_t options, PacketBatch& batch, bool copy = true);
    size_t Universes() const { return sequences_.size(); }
    int FirstUniverse() const { return firstUniverse_; }

private:
    std::array<std::uint8_t, kE131HeaderSize> header_{};
    std::array<std::uint8_t, kE131SyncPacketSize> sync_{};
    int firstUniverse_;
    int syncUniverse_;
    std::vector<UniverseSlice> layout_;
    std::vector<std::uint8_t> sequences_;  // one per universe
    std::uint8_t syncSequence_ = 0;
};

// Art-Net: one ArtDmx per universe (15-bit port-address), data rounded up to an even length;
// with sync, an ArtSync as the batch's last packet.
class ArtNetFramer {
public:
    ArtNetFramer(int firstUniverse, size_t pixels, const E131Options& options, bool sync);
    void Prepare(PacketBatch& batch) const;
    size_t Frame(const std::uint8_t* wire, size_t bytes, PacketBatch& batch, bool copy = true);
    size_t Universes() const { return layout_.size(); }

private:
    int firstUniverse_;
    bool sync_;
    std::vector<UniverseSlice> layout_;
    std::uint8_t sequence_ = 0;  // 1..255, one per frame
};

}  // namespace zl
