#include "output/pixelmap.h"

#include <QImage>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define ZL_BYTE_PERMUTES 1
#endif

namespace zl {

std::vector<std::uint32_t> ChainOrder(const LedOutputConfig& o) {
    const bool fromRight = o.start == PanelStart::TopRight || o.start == PanelStart::BottomRight;
    const bool fromBottom = o.start == PanelStart::BottomLeft || o.start == PanelStart::BottomRight;
    const int lines = o.columns ? o.width : o.height;
    const int length = o.columns ? o.height : o.width;
    std::vector<std::uint32_t> chain;
    chain.reserve(static_cast<size_t>(o.PixelCount()));
    for (int line = 0; line < lines; ++line) {
        const bool back = o.serpentine && (line % 2 == 1);
        for (int step = 0; step < length; ++step) {
            const int along = back ? length - 1 - step : step;
            int x, y;
            if (o.columns) {
                x = fromRight ? o.width - 1 - line : line;
                y = fromBottom ? o.height - 1 - along : along;
            } else {
                y = fromBottom ? o.height - 1 - line : line;
                x = fromRight ? o.width - 1 - along : along;
            }
            chain.push_back(static_cast<std::uint32_t>(y * o.width + x));
        }
    }
    return chain;
}

std::array<std::uint8_t, 256> LevelTable(double brightness, double gamma) {
    std::array<std::uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v) {
        // Integers where the exact value is rational, so halves round up as they should.
        const long double level = gamma == 1.0
            ? static_cast<long double>(v * brightness) / 100.0L
            : 255.0L * std::pow(static_cast<long double>(v) / 255.0L, static_cast<long double>(gamma)) *
                  brightness / 100.0L;
        table[v] = static_cast<std::uint8_t>(std::floor(level + 0.5L));
    }
    return table;
}

std::array<int, 4> WireChannels(ColorOrder order) {
    const std::string_view name = ColorOrderName(order);
    std::array<int, 4> channels{-1, -1, -1, -1};
    for (size_t k = 0; k < name.size(); ++k)
        channels[k] = name[k] == 'R' ? 0 : name[k] == 'G' ? 1 : name[k] == 'B' ? 2 : 3;
    return channels;
}

namespace {

#if defined(ZL_BYTE_PERMUTES)
// GCC 12's own shift and min intrinsics start from a deliberately undefined register.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// Byte permutes look the level table up for 64 bytes at once, so 16 pixels cost a handful of
// instructions instead of three or four table reads each. Only where the processor has them.
bool HaveBytePermutes() {
    static const bool have = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                             __builtin_cpu_supports("avx512vbmi");
    return have;
}

// The level of every byte: the index's low seven bits pick from one half of the table, its
// top bit which half.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) inline __m512i Levels(__m512i bytes, const __m512i table[4]) {
    const __m512i low = _mm512_permutex2var_epi8(table[0], bytes, table[1]);
    const __m512i high = _mm512_permutex2var_epi8(table[2], bytes, table[3]);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(bytes), low, high);
}

// Maps whole blocks of 16 pixels of a run walking the picture by +1 or -1 and returns how many
// pixels it mapped. `order` holds, for each wire byte of the 16 pixels in turn, the byte of the
// levelled pixels it takes (the white level sits in each pixel's fourth byte).
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) std::uint32_t PermuteRun(
    const std::uint32_t* p, bool backwards, std::uint32_t count, std::uint8_t* out, const std::uint8_t* levels,
    const std::uint8_t* order, int channels) {
    __m512i table[4];
    for (int k = 0; k < 4; ++k) table[k] = _mm512_loadu_si512(levels + 64 * k);
    const __m512i permute = _mm512_loadu_si512(order);
    // The white level into the three colour bytes of its pixel, nothing into the fourth.
    const __m512i spread = _mm512_set4_epi32(static_cast<int>(0x800C0C0C), static_cast<int>(0x80080808),
                                             static_cast<int>(0x80040404), static_cast<int>(0x80000000));
    const __mmask64 fourth = 0x8888888888888888ull;
    const __mmask64 store = channels == 4 ? ~__mmask64{0} : (__mmask64{1} << 48) - 1;
    const std::uint32_t blocks = count / 16;
    for (std::uint32_t b = 0; b < blocks; ++b) {
        const __m512i pixels = _mm512_loadu_si512(backwards ? p - 15 : p);
        __m512i wire = Levels(pixels, table);
        if (channels == 4) {
            // White is the level of the smallest colour, taken off each colour.
            const __m512i smallest = _mm512_min_epu8(pixels, _mm512_min_epu8(_mm512_srli_epi32(pixels, 8),
                                                                               _mm512_srli_epi32(pixels, 16)));
            const __m512i white = Levels(smallest, table);
            wire = _mm512_sub_epi8(wire, _mm512_shuffle_epi8(white, spread));
            wire = _mm512_mask_blend_epi8(fourth, wire, _mm512_slli_epi32(white, 24));
        }
        _mm512_mask_storeu_epi8(out, store, _mm512_permutexvar_epi8(permute, wire));
        p += backwards ? -16 : 16;
        out += 16 * channels;
    }
    return blocks * 16;
}
#pragma GCC diagnostic pop
#endif

}  // namespace

PixelMap::PixelMap(const LedOutputConfig& output)
    : output_(output),
      chain_(ChainOrder(output)),
      levels_(LevelTable(output.brightness, output.gamma)),
      channels_(WireChannels(output.colors)),
      channelCount_(ChannelsPerPixel(output.colors)) {
    // For blocks of 16 pixels: which byte of the levelled pixels (blue, green, red, white from
    // the low end) each wire byte takes, walking forwards and backwards.
    constexpr std::uint8_t kByteOf[4] = {2, 1, 0, 3};
    for (int backwards = 0; backwards < 2; ++backwards) {
        orders_[backwards].fill(0);
        for (int q = 0; q < 16; ++q)
            for (int k = 0; k < channelCount_; ++k)
                orders_[backwards][static_cast<size_t>(q * channelCount_ + k)] =
                    static_cast<std::uint8_t>(4 * (backwards ? 15 - q : q) + kByteOf[channels_[k]]);
    }
}

void PixelMap::SetDimming(double factor) {
    if (factor == dimming_) return;
    dimming_ = factor;
    levels_ = LevelTable(output_.brightness * factor, output_.gamma);
    havePrevious_ = false;  // every byte changes level
}

void PixelMap::Rebase(const QImage& picture) {
    pictureWidth_ = picture.width();
    pictureHeight_ = picture.height();
    pictureStride_ = static_cast<int>(picture.bytesPerLine() / 4);
    runs_.clear();
    for (size_t i = 0; i < chain_.size(); ++i) {
        const int x = output_.x + static_cast<int>(chain_[i] % output_.width);
        const int y = output_.y + static_cast<int>(chain_[i] / output_.width);
        const bool outside = x >= pictureWidth_ || y >= pictureHeight_;
        const std::int64_t at = static_cast<std::int64_t>(y) * pictureStride_ + x;
        if (!runs_.empty()) {
            Run& run = runs_.back();
            if (outside && run.outside) {
                ++run.count;
                continue;
            }
            if (!outside && !run.outside) {
                const std::int64_t step = at - (run.first + run.step * (run.count - 1));
                if (run.count == 1) run.step = step;
                if (step == run.step) {
                    ++run.count;
                    continue;
                }
            }
        }
        runs_.push_back({at, 0, 1, outside});
    }
    std::uint32_t offset = 0;
    for (Run& run : runs_) {
        run.wire = offset;
        offset += run.count * static_cast<std::uint32_t>(channelCount_);
    }
}

std::uint32_t PixelMap::Permuted(const Run& run, const std::uint32_t* pixels, std::uint8_t* wire) const {
#if defined(ZL_BYTE_PERMUTES)
    if ((run.step == 1 || run.step == -1) && run.count >= 16 && HaveBytePermutes())
        return PermuteRun(pixels + run.first, run.step < 0, run.count, wire, levels_.data(),
                          orders_[run.step < 0 ? 1 : 0].data(), channelCount_);
#else
    (void)run, (void)pixels, (void)wire;
#endif
    return 0;
}

template <typename Wanted>
void PixelMap::MapRuns(const QImage& picture, std::uint8_t* wire, Wanted wanted) {
    const auto* pixels = reinterpret_cast<const std::uint32_t*>(picture.constBits());
    static_assert(std::endian::native == std::endian::little, "wire bytes are stored from the low end");
    if (channelCount_ == 4) {
        // Levels keep the order of values, so white's level is the level of the smallest raw
        // colour. Each table puts a level in its wire byte; the fourth adds white and takes it
        // off the three colours at once (no byte goes below zero, so no borrow crosses bytes).
        int shift[4] = {};
        for (int k = 0; k < 4; ++k) shift[channels_[k]] = 8 * k;
        std::uint32_t tables[4][256];
        for (int v = 0; v < 256; ++v) {
            const std::uint32_t l = levels_[static_cast<size_t>(v)];
            for (int c = 0; c < 3; ++c) tables[c][v] = l << shift[c];
            tables[3][v] = (l << shift[3]) - (tables[0][v] + tables[1][v] + tables[2][v]);
        }
        const std::uint32_t *red = tables[0], *green = tables[1], *blue = tables[2], *white = tables[3];
        // The colour bytes are read from memory one by one: cheaper than shifting them out.
        auto level = [&](const std::uint8_t* c) {
            const std::uint32_t b = c[0], g = c[1], r = c[2];
            return red[r] + green[g] + blue[b] + white[std::min(r, std::min(g, b))];
        };
        const std::uint8_t zero[4] = {};
        const std::uint32_t black = level(zero);
        for (const Run& run : runs_) {
            if (!wanted(run)) continue;
            std::uint8_t* out = wire + run.wire;
            if (run.outside) {
                for (std::uint32_t k = 0; k < run.count; ++k, out += 4) std::memcpy(out, &black, 4);
                continue;
            }
            // Locals: a store through the byte pointer could alias the run and reload it.
            const std::uint32_t done = Permuted(run, pixels, out);
            const auto* p = reinterpret_cast<const std::uint8_t*>(pixels + run.first + run.step * done);
            const std::int64_t step = run.step * 4;
            out += done * 4;
            for (std::uint32_t k = done, count = run.count; k < count; ++k, p += step, out += 4) {
                const std::uint32_t v = level(p);
                std::memcpy(out, &v, 4);
            }
        }
        return;
    }
    // One table per colour that puts its level straight into the wire byte it goes to, so a
    // pixel is three look-ups and one store.
    std::uint32_t tables[3][256];
    for (int k = 0; k < 3; ++k)
        for (int v = 0; v < 256; ++v) tables[channels_[k]][v] = static_cast<std::uint32_t>(levels_[v]) << (8 * k);
    const std::uint32_t *red = tables[0], *green = tables[1], *blue = tables[2];
    // The colour bytes are read from memory one by one: cheaper than shifting them out.
    auto level = [&](const std::uint8_t* c) { return red[c[2]] | green[c[1]] | blue[c[0]]; };
    for (const Run& run : runs_) {
        if (!wanted(run)) continue;
        std::uint8_t* out = wire + run.wire;
        if (run.outside) {
            std::memset(out, levels_[0], run.count * 3u);
            continue;
        }
        // Locals: a store through the byte pointer could alias the run and reload it.
        std::uint32_t k = Permuted(run, pixels, out);
        const auto* p = reinterpret_cast<const std::uint8_t*>(pixels + run.first + run.step * k);
        const std::int64_t step = run.step * 4;
        const std::uint32_t count = run.count;
        out += k * 3;
        // Two pixels in one eight-byte store while a third follows to take its last two bytes.
        for (; k + 2 < count; k += 2, p += 2 * step, out += 6) {
            const std::uint64_t pair = level(p) | std::uint64_t{level(p + step)} << 24;
            std::memcpy(out, &pair, 8);
        }
        for (; k < count; ++k, p += step, out += 3) {
            const std::uint32_t v = level(p);
            std::memcpy(out, &v, 3);
        }
    }
}

void PixelMap::Map(const QImage& picture, std::uint8_t* wire) {
    if (picture.width() != pictureWidth_ || picture.height() != pictureHeight_ ||
        picture.bytesPerLine() / 4 != pictureStride_)
        Rebase(picture);
    havePrevious_ = false;
    MapRuns(picture, wire, [](const Run&) { return true; });
}

bool PixelMap::Update(const QImage& picture, std::uint8_t* wire) {
    if (picture.width() != pictureWidth_ || picture.height() != pictureHeight_ ||
        picture.bytesPerLine() / 4 != pictureStride_) {
        Rebase(picture);
        havePrevious_ = false;
    }
    // The region's part of each picture row, compared with the copy kept from the last call.
    const int x0 = std::min(output_.x, pictureWidth_), x1 = std::min(output_.x + output_.width, pictureWidth_);
    const int y0 = std::min(output_.y, pictureHeight_), y1 = std::min(output_.y + output_.height, pictureHeight_);
    const size_t rowPixels = static_cast<size_t>(x1 - x0);
    previous_.resize(rowPixels * static_cast<size_t>(y1 - y0));
    dirtyBefore_.assign(static_cast<size_t>(pictureHeight_) + 1, 0);
    bool any = false;
    for (int y = y0; y < y1; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(picture.constScanLine(y)) + x0;
        std::uint32_t* kept = previous_.data() + static_cast<size_t>(y - y0) * rowPixels;
        const bool dirty = !havePrevious_ || std::memcmp(row, kept, rowPixels * 4) != 0;
        if (dirty) std::memcpy(kept, row, rowPixels * 4);
        dirtyBefore_[static_cast<size_t>(y) + 1] = dirtyBefore_[static_cast<size_t>(y)] + (dirty ? 1 : 0);
        any |= dirty;
    }
    for (int y = std::max(y1, 0); y < pictureHeight_; ++y) dirtyBefore_[static_cast<size_t>(y) + 1] = dirtyBefore_[static_cast<size_t>(y)];
    if (!havePrevious_) {
        havePrevious_ = true;
        MapRuns(picture, wire, [](const Run&) { return true; });
        return true;
    }
    if (!any) return false;
    const std::int64_t stride = pictureStride_;
    MapRuns(picture, wire, [&](const Run& run) {
        if (run.outside) return false;  // black whatever the picture shows
        const std::int64_t last = run.first + run.step * (run.count - 1);
        const auto top = static_cast<size_t>(std::min(run.first, last) / stride);
        const auto bottom = static_cast<size_t>(std::max(run.first, last) / stride);
        return dirtyBefore_[bottom + 1] != dirtyBefore_[top];
    });
    return true;
}

void PixelMap::Unmap(const std::uint8_t* wire, std::uint32_t* region) const {
    for (size_t i = 0; i < chain_.size(); ++i, wire += channelCount_) {
        int rgb[4] = {};
        for (int k = 0; k < channelCount_; ++k) rgb[channels_[k]] = wire[k];
        const int r = std::min(255, rgb[0] + rgb[3]), g = std::min(255, rgb[1] + rgb[3]), b = std::min(255, rgb[2] + rgb[3]);
        region[chain_[i]] = static_cast<std::uint32_t>(r << 16 | g << 8 | b);
    }
}

}  // namespace zl
