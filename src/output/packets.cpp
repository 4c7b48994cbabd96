#include "output/packets.h"

#include <algorithm>
#include <cstring>

namespace zl {
namespace {

const std::array<std::uint8_t, kE131Channels> kZeros{};

void Put16(std::uint8_t* p, unsigned v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v >> 16);
    Put16(p + 2, v & 0xFFFF);
}

}  // namespace

void PacketBatch::Reset(size_t packets, size_t headerSize, size_t slicesPerPacket) {
    headerSize_ = headerSize;
    slicesPerPacket_ = slicesPerPacket;
    headers_.assign(packets * headerSize, 0);
    slices_.assign(packets * slicesPerPacket, iovec{});
    messages_.assign(packets, mmsghdr{});
    for (size_t i = 0; i < packets; ++i) {
        Slice(i, 0) = {Header(i), headerSize};
        msghdr& m = messages_[i].msg_hdr;
        m.msg_iov = &slices_[i * slicesPerPacket];
        m.msg_iovlen = slicesPerPacket;
    }
}

std::vector<std::uint8_t> PacketBatch::Bytes(size_t i) const {
    std::vector<std::uint8_t> out;
    const msghdr& m = messages_[i].msg_hdr;
    for (size_t k = 0; k < m.msg_iovlen; ++k) {
        const auto* p = static_cast<const std::uint8_t*>(m.msg_iov[k].iov_base);
        out.insert(out.end(), p, p + m.msg_iov[k].iov_len);
    }
    return out;
}

void DdpFramer::Prepare(PacketBatch& batch, size_t bytes) const { batch.Reset(DdpPacketCount(bytes), kDdpHeaderSize, 2); }

void DdpFramer::Frame(const std::uint8_t* wire, size_t bytes, PacketBatch& batch) {
    const size_t count = batch.Count();
    for (size_t i = 0; i < count; ++i) {
        const size_t offset = i * kDdpMaxData;
        const size_t length = std::min(kDdpMaxData, bytes - offset);
        sequence_ = static_cast<std::uint8_t>(sequence_ % 15 + 1);
        std::uint8_t* h = batch.Header(i);
        h[0] = 0x40 | (i + 1 == count ? 0x01 : 0x00);  // version 1; push on the last packet
        h[1] = sequence_;
        h[2] = 0x0B;  // RGB, 8 bits per element
        h[3] = 1;     // the default output device
        Put32(h + 4, static_cast<std::uint32_t>(offset));
        Put16(h + 8, static_cast<unsigned>(length));
        batch.Slice(i, 1) = {const_cast<std::uint8_t*>(wire + offset), length};
    }
}

E131Framer::E131Framer(const E131Source& source, int firstUniverse, size_t pixels)
    : firstUniverse_(firstUniverse), sequences_(E131UniverseCount(pixels), 0) {
    std::uint8_t* h = header_.data();
    // Root layer.
    Put16(h + 0, 0x0010);
    Put16(h + 2, 0x0000);
    std::memcpy(h + 4, "ASC-E1.17\0\0\0", 12);
    Put16(h + 16, 0x7000 | (kE131PacketSize - 16));
    Put32(h + 18, 0x00000004);
    std::copy(source.cid.begin(), source.cid.end(), h + 22);
    // Framing layer.
    Put16(h + 38, 0x7000 | (kE131PacketSize - 38));
    Put32(h + 40, 0x00000002);
    // The name ends with at least one zero byte, cut on a character boundary.
    size_t nameLength = std::min<size_t>(source.name.size(), 63);
    while (nameLength > 0 && nameLength < source.name.size() &&
           (static_cast<unsigned char>(source.name[nameLength]) & 0xC0) == 0x80)
        --nameLength;
    std::memcpy(h + 44, source.name.data(), nameLength);
    h[108] = 100;         // priority
    Put16(h + 109, 0);    // synchronisation address
    // 111 sequence, 112 options, 113-114 universe: per packet.
    // Data layer.
    Put16(h + 115, 0x7000 | (kE131PacketSize - 115));
    h[117] = 0x02;
    h[118] = 0xA1;
    Put16(h + 119, 0x0000);
    Put16(h + 121, 0x0001);
    Put16(h + 123, kE131Channels + 1);
    h[125] = 0;  // start code
}

void E131Framer::Prepare(PacketBatch& batch) const {
    batch.Reset(sequences_.size(), kE131HeaderSize, 3);
    for (size_t u = 0; u < sequences_.size(); ++u) {
        std::uint8_t* h = batch.Header(u);
        std::memcpy(h, header_.data(), kE131HeaderSize);
        Put16(h + 113, static_cast<unsigned>(firstUniverse_ + static_cast<int>(u)));
    }
}

void E131Framer::Frame(const std::uint8_t* wire, size_t bytes, std::uint8_t options, PacketBatch& batch) {
    const size_t perUniverse = kE131PixelsPerUniverse * 3;
    for (size_t u = 0; u < sequences_.size(); ++u) {
        std::uint8_t* h = batch.Header(u);
        h[111] = ++sequences_[u];
        h[112] = options;
        const size_t offset = u * perUniverse;
        const size_t length = std::min(perUniverse, bytes - offset);
        batch.Slice(u, 1) = {const_cast<std::uint8_t*>(wire + offset), length};
        batch.Slice(u, 2) = {const_cast<std::uint8_t*>(kZeros.data()), kE131Channels - length};
    }
}

}  // namespace zl
