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

std::array<std::uint8_t, 256> LevelTable(int brightness, double gamma) {
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
}

void PixelMap::Map(const QImage& picture, std::uint8_t* wire) {
    if (picture.width() != pictureWidth_ || picture.height() != pictureHeight_ ||
        picture.bytesPerLine() / 4 != pictureStride_)
        Rebase(picture);
    if (channelCount_ == 4) {
        MapWithWhite(picture, wire);
        return;
    }
    const auto* pixels = reinterpret_cast<const std::uint32_t*>(picture.constBits());
    static_assert(std::endian::native == std::endian::little, "wire bytes are stored from the low end");
    // One table per colour that puts its level straight into the wire byte it goes to, so a
    // pixel is three look-ups and one store.
    std::uint32_t tables[3][256];
    for (int k = 0; k < 3; ++k)
        for (int v = 0; v < 256; ++v) tables[channels_[k]][v] = static_cast<std::uint32_t>(levels_[v]) << (8 * k);
    const std::uint32_t *red = tables[0], *green = tables[1], *blue = tables[2];
    auto level = [&](std::uint32_t c) { return red[(c >> 16) & 0xFF] | green[(c >> 8) & 0xFF] | blue[c & 0xFF]; };
    for (const Run& run : runs_) {
        if (run.outside) {
            std::memset(wire, levels_[0], run.count * 3u);
            wire += run.count * 3u;
            continue;
        }
        const std::uint32_t* p = pixels + run.first;
        // Four bytes stored per pixel, the fourth overwritten by the next; the last one alone.
        for (std::uint32_t k = 1; k < run.count; ++k, p += run.step, wire += 3) {
            const std::uint32_t out = level(*p);
            std::memcpy(wire, &out, 4);
        }
        const std::uint32_t out = level(*p);
        std::memcpy(wire, &out, 3);
        wire += 3;
    }
}

void PixelMap::MapWithWhite(const QImage& picture, std::uint8_t* wire) {
    const auto* pixels = reinterpret_cast<const std::uint32_t*>(picture.constBits());
    // The shift of each colour's wire byte within the pixel's four bytes.
    int shift[4] = {};
    for (int k = 0; k < 4; ++k) shift[channels_[k]] = 8 * k;
    const std::uint8_t* levels = levels_.data();
    auto level = [&](std::uint32_t c) {
        const std::uint32_t r = levels[(c >> 16) & 0xFF], g = levels[(c >> 8) & 0xFF], b = levels[c & 0xFF];
        const std::uint32_t w = std::min(r, std::min(g, b));
        return (r - w) << shift[0] | (g - w) << shift[1] | (b - w) << shift[2] | w << shift[3];
    };
    const std::uint32_t black = level(0);
    for (const Run& run : runs_) {
        for (std::uint32_t k = 0; k < run.count; ++k, wire += 4) {
            const std::uint32_t out = run.outside ? black : level(pixels[run.first + run.step * k]);
            std::memcpy(wire, &out, 4);
        }
    }
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
