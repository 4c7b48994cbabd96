#include "output/pixelmap.h"

#include <QImage>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

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

PixelMap::PixelMap(const LedOutputConfig& output)
    : output_(output),
      chain_(ChainOrder(output)),
      levels_(LevelTable(output.brightness, output.gamma)),
      channels_(WireChannels(output.colors)),
      channelCount_(ChannelsPerPixel(output.colors)) {}

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
            const auto* p = reinterpret_cast<const std::uint8_t*>(pixels + run.first);
            const std::int64_t step = run.step * 4;
            for (std::uint32_t k = 0, count = run.count; k < count; ++k, p += step, out += 4) {
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
        const auto* p = reinterpret_cast<const std::uint8_t*>(pixels + run.first);
        const std::int64_t step = run.step * 4;
        const std::uint32_t count = run.count;
        std::uint32_t k = 0;
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
