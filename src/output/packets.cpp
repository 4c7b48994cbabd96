#include "output/packets.h"

#include <algorithm>
#include <cstring>

namespace zl {
namespace {

void Put16(std::uint8_t* p, unsigned v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v >> 16);
    Put16(p + 2, v & 0xFFFF);
}

}  // namespace

void PacketBatch::Reset(size_t packets, size_t packetSize) {
    packetSize_ = packetSize;
    storage_.assign(packets * packetSize, 0);
    slices_.assign(2 * packets, iovec{});
    messages_.assign(packets, mmsghdr{});
    for (size_t i = 0; i < packets; ++i) {
        slices_[2 * i] = {Packet(i), packetSize};
        messages_[i].msg_hdr.msg_iov = &slices_[2 * i];
        messages_[i].msg_hdr.msg_iovlen = 1;
    }
}

void PacketBatch::SetLength(size_t i, size_t bytes) {
    slices_[2 * i].iov_len = bytes;
    messages_[i].msg_hdr.msg_iovlen = 1;
}

void PacketBatch::Borrow(size_t i, size_t headerBytes, const std::uint8_t* data, size_t bytes) {
    slices_[2 * i].iov_len = headerBytes;
    slices_[2 * i + 1] = {const_cast<std::uint8_t*>(data), bytes};
    messages_[i].msg_hdr.msg_iovlen = 2;
}

std::vector<std::uint8_t> PacketBatch::Bytes(size_t i) const {
    std::vector<std::uint8_t> bytes;
    for (size_t k = 0; k < messages_[i].msg_hdr.msg_iovlen; ++k) {
        const auto* p = static_cast<const std::uint8_t*>(slices_[2 * i + k].iov_base);
        bytes.insert(bytes.end(), p, p + slices_[2 * i + k].iov_len);
    }
    return bytes;
}

std::vector<UniverseSlice> UniverseLayout(size_t pixels, int channelsPerPixel, int startChannel, int pixelsPerUniverse) {
    const size_t channels = static_cast<size_t>(channelsPerPixel);
    const size_t most = static_cast<size_t>(pixelsPerUniverse);
    std::vector<UniverseSlice> layout;
    size_t from = 0, channel = static_cast<size_t>(startChannel - 1);
    const size_t total = pixels * channels;
    do {
        const size_t fit = std::min(most, (kE131Channels - channel) / channels);
        const size_t bytes = std::min(fit * channels, total - from);
        layout.push_back({from, bytes, channel});
        from += bytes;
        channel = 0;
    } while (from < total);
    return layout;
}

void DdpFramer::Prepare(PacketBatch& batch, size_t bytes) const {
    batch.Reset(DdpPacketCount(bytes), kDdpHeaderSize + kDdpMaxData);
}

std::pair<size_t, size_t> DdpFramer::Header(size_t i, size_t bytes, PacketBatch& batch) {
    const size_t count = batch.Count();
    const size_t offset = i * kDdpMaxData;
    const size_t length = std::min(kDdpMaxData, bytes - offset);
    sequence_ = static_cast<std::uint8_t>(sequence_ % 15 + 1);
    std::uint8_t* h = batch.Packet(i);
    h[0] = 0x40 | (i + 1 == count ? 0x01 : 0x00);  // version 1; push on the last packet
    h[1] = sequence_;
    h[2] = white_ ? 0x1B : 0x0B;  // RGB or RGBW, 8 bits per element
    h[3] = 1;     // the default output device
    Put32(h + 4, static_cast<std::uint32_t>(offset_ + offset));
    Put16(h + 8, static_cast<unsigned>(length));
    return {offset, length};
}

void DdpFramer::Frame(const std::uint8_t* wire, size_t bytes, PacketBatch& batch, bool copy) {
    for (size_t i = 0; i < batch.Count(); ++i) {
        const auto [offset, length] = Header(i, bytes, batch);
        if (copy) std::memcpy(batch.Packet(i) + kDdpHeaderSize, wire + offset, length);
        batch.SetLength(i, kDdpHeaderSize + length);
    }
}

void DdpFramer::FrameBorrowed(const std::uint8_t* wire, size_t bytes, PacketBatch& batch) {
    for (size_t i = 0; i < batch.Count(); ++i) {
        const auto [offset, length] = Header(i, bytes, batch);
        batch.Borrow(i, kDdpHeaderSize, wire + offset, length);
    }
}

E131Framer::E131Framer(const E131Source& source, int firstUniverse, size_t pixels, const E131Options& options)
    : firstUniverse_(firstUniverse),
      syncUniverse_(options.syncUniverse),
      layout_(UniverseLayout(pixels, options.channelsPerPixel, options.startChannel, options.pixelsPerUniverse)),
      sequences_(layout_.size(), 0) {
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
    h[108] = static_cast<std::uint8_t>(options.priority);
    Put16(h + 109, static_cast<unsigned>(syncUniverse_));  // synchronisation address
    // 111 sequence, 112 options, 113-114 universe: per packet.
    // Data layer.
    Put16(h + 115, 0x7000 | (kE131PacketSize - 115));
    h[117] = 0x02;
    h[118] = 0xA1;
    Put16(h + 119, 0x0000);
    Put16(h + 121, 0x0001);
    Put16(h + 123, kE131Channels + 1);
    h[125] = 0;  // start code

    // The synchronisation packet: root layer with its own vector, then the sync framing layer.
    std::uint8_t* y = sync_.data();
    std::memcpy(y, h, 16);
    Put16(y + 16, 0x7000 | (kE131SyncPacketSize - 16));
    Put32(y + 18, 0x00000008);
    std::copy(source.cid.begin(), source.cid.end(), y + 22);
    Put16(y + 38, 0x7000 | (kE131SyncPacketSize - 38));
    Put32(y + 40, 0x00000001);
    // 44 sequence; 45-46 the sync address; 47-48 reserved.
    Put16(y + 45, static_cast<unsigned>(syncUniverse_));
}

void E131Framer::Prepare(PacketBatch& batch) const {
    // Every packet carries all 512 channels; those past the pixels stay zero.
    batch.Reset(sequences_.size() + (syncUniverse_ ? 1 : 0), kE131PacketSize);
    for (size_t u = 0; u < sequences_.size(); ++u) {
        std::uint8_t* h = batch.Packet(u);
        std::memcpy(h, header_.data(), kE131HeaderSize);
        Put16(h + 113, static_cast<unsigned>(firstUniverse_ + static_cast<int>(u)));
    }
    if (syncUniverse_) {
        std::memcpy(batch.Packet(sequences_.size()), sync_.data(), kE131SyncPacketSize);
        batch.SetLength(sequences_.size(), kE131SyncPacketSize);
    }
}

size_t E131Framer::Frame(const std::uint8_t* wire, size_t bytes, std::uint8_t options, PacketBatch& batch, bool copy) {
    for (size_t u = 0; u < sequences_.size(); ++u) {
        std::uint8_t* h = batch.Packet(u);
        h[111] = ++sequences_[u];
        h[112] = options;
        const UniverseSlice& slice = layout_[u];
        if (copy && slice.from < bytes)
            std::memcpy(h + kE131HeaderSize + slice.channel, wire + slice.from, std::min(slice.bytes, bytes - slice.from));
    }
    if (!syncUniverse_ || options != 0) return sequences_.size();
    batch.Packet(sequences_.size())[44] = ++syncSequence_;
    return sequences_.size() + 1;
}

ArtNetFramer::ArtNetFramer(int firstUniverse, size_t pixels, const E131Options& options, bool sync)
    : firstUniverse_(firstUniverse),
      sync_(sync),
      layout_(UniverseLayout(pixels, options.channelsPerPixel, options.startChannel, options.pixelsPerUniverse)) {}

void ArtNetFramer::Prepare(PacketBatch& batch) const {
    batch.Reset(layout_.size() + (sync_ ? 1 : 0), kArtNetHeaderSize + kE131Channels);
    for (size_t u = 0; u < batch.Count(); ++u) {
        std::uint8_t* h = batch.Packet(u);
        std::memcpy(h, "Art-Net\0", 8);
        const bool isSync = u == layout_.size();
        h[8] = 0x00;  // OpCode, low byte first
        h[9] = isSync ? 0x52 : 0x50;
        h[10] = 0;    // protocol version 14
        h[11] = 14;
        if (isSync) {
            batch.SetLength(u, kArtSyncSize);  // Aux1, Aux2 zero
            continue;
        }
        const unsigned address = static_cast<unsigned>(firstUniverse_) + static_cast<unsigned>(u);
        h[13] = 0;                                         // physical
        h[14] = static_cast<std::uint8_t>(address & 0xFF);  // SubUni
        h[15] = static_cast<std::uint8_t>(address >> 8 & 0x7F);  // Net
        // An even length of at least 2: the channels up to the last one with a pixel.
        size_t length = layout_[u].channel + layout_[u].bytes;
        length = std::max<size_t>(2, length + (length & 1));
        Put16(h + 16, static_cast<unsigned>(length));
        batch.SetLength(u, kArtNetHeaderSize + length);
    }
}

size_t ArtNetFramer::Frame(const std::uint8_t* wire, size_t bytes, PacketBatch& batch, bool copy) {
    // One number per frame, so every universe sees its packets counted 1, 2, ... 255, 1.
    sequence_ = static_cast<std::uint8_t>(sequence_ % 255 + 1);
    for (size_t u = 0; u < layout_.size(); ++u) {
        std::uint8_t* h = batch.Packet(u);
        h[12] = sequence_;
        const UniverseSlice& slice = layout_[u];
        if (copy && slice.from < bytes)
            std::memcpy(h + kArtNetHeaderSize + slice.channel, wire + slice.from, std::min(slice.bytes, bytes - slice.from));
    }
    return batch.Count();
}

}  // namespace zl
