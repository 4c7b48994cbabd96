#pragma once
#include <sys/socket.h>
#include <sys/uio.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zl {

constexpr size_t kDdpHeaderSize = 10;
constexpr size_t kDdpMaxData = 1440;  // 480 RGB pixels
constexpr size_t kE131HeaderSize = 126;
constexpr size_t kE131PacketSize = 638;
constexpr size_t kE131Channels = 512;
constexpr size_t kE131PixelsPerUniverse = 170;
constexpr std::uint8_t kE131StreamTerminated = 0x40;

constexpr size_t DdpPacketCount(size_t bytes) { return (bytes + kDdpMaxData - 1) / kDdpMaxData; }
constexpr size_t E131UniverseCount(size_t pixels) { return (pixels + kE131PixelsPerUniverse - 1) / kE131PixelsPerUniverse; }

// The datagrams of one frame, each a header of ours followed by slices of the frame's wire bytes,
// ready for one sendmmsg. Built once per output; only headers and slices change per frame.
class PacketBatch {
public:
    PacketBatch() = default;
    PacketBatch(const PacketBatch&) = delete;
    PacketBatch& operator=(const PacketBatch&) = delete;

    void Reset(size_t packets, size_t headerSize, size_t slicesPerPacket);
    size_t Count() const { return messages_.size(); }
    std::uint8_t* Header(size_t i) { return headers_.data() + i * headerSize_; }
    // Slice k of packet i (k = 0 is the header).
    iovec& Slice(size_t i, size_t k) { return slices_[i * slicesPerPacket_ + k]; }
    mmsghdr* Messages() { return messages_.data(); }
    // The bytes of packet i laid end to end, as a receiver gets them.
    std::vector<std::uint8_t> Bytes(size_t i) const;

private:
    std::vector<std::uint8_t> headers_;
    std::vector<iovec> slices_;
    std::vector<mmsghdr> messages_;
    size_t headerSize_ = 0, slicesPerPacket_ = 0;
};

// DDP: 10-byte header, up to 1440 data bytes per packet, push flag on the last.
class DdpFramer {
public:
    void Prepare(PacketBatch& batch, size_t bytes) const;
    // Fills the batch from `wire`, which must outlive the send.
    void Frame(const std::uint8_t* wire, size_t bytes, PacketBatch& batch);

private:
    std::uint8_t sequence_ = 0;  // 1..15, 0 before the first packet
};

// The sender's identity in every E1.31 packet.
struct E131Source {
    std::array<std::uint8_t, 16> cid{};
    std::string name;  // UTF-8, at most 63 bytes are sent
};

// E1.31: one 638-byte packet per universe of 170 pixels, all 512 channels always present.
class E131Framer {
public:
    E131Framer(const E131Source& source, int firstUniverse, size_t pixels);
    void Prepare(PacketBatch& batch) const;
    // `options` 0 for data, kE131StreamTerminated when the stream ends.
    void Frame(const std::uint8_t* wire, size_t bytes, std::uint8_t options, PacketBatch& batch);
    size_t Universes() const { return sequences_.size(); }
    int FirstUniverse() const { return firstUniverse_; }

private:
    std::array<std::uint8_t, kE131HeaderSize> header_{};
    int firstUniverse_;
    std::vector<std::uint8_t> sequences_;  // one per universe
};

}  // namespace zl
