#include "output/pixelmap.h"

#include <QImage>
#include <cmath>

namespace zl {
namespace {

constexpr std::uint32_t kOutside = 0xFFFFFFFFu;

}  // namespace

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

std::array<int, 3> WireChannels(ColorOrder order) {
    switch (order) {
        case ColorOrder::RGB: return {0, 1, 2};
        case ColorOrder::RBG: return {0, 2, 1};
        case ColorOrder::GRB: return {1, 0, 2};
        case ColorOrder::GBR: return {1, 2, 0};
        case ColorOrder::BRG: return {2, 0, 1};
        case ColorOrder::BGR: return {2, 1, 0};
    }
    return {0, 1, 2};
}

PixelMap::PixelMap(const LedOutputConfig& output)
    : output_(output),
      chain_(ChainOrder(output)),
      levels_(LevelTable(output.brightness, output.gamma)),
      channels_(WireChannels(output.colors)) {}

void PixelMap::Rebase(const QImage& picture) {
    pictureWidth_ = picture.width();
    pictureHeight_ = picture.height();
    pictureStride_ = static_cast<int>(picture.bytesPerLine() / 4);
    source_.resize(chain_.size());
    for (size_t i = 0; i < chain_.size(); ++i) {
        const int x = output_.x + static_cast<int>(chain_[i] % output_.width);
        const int y = output_.y + static_cast<int>(chain_[i] / output_.width);
        source_[i] = x < pictureWidth_ && y < pictureHeight_ ? static_cast<std::uint32_t>(y * pictureStride_ + x)
                                                             : kOutside;
    }
}

void PixelMap::Map(const QImage& picture, std::uint8_t* wire) {
    if (picture.width() != pictureWidth_ || picture.height() != pictureHeight_ ||
        picture.bytesPerLine() / 4 != pictureStride_)
        Rebase(picture);
    const auto* pixels = reinterpret_cast<const std::uint32_t*>(picture.constBits());
    // Wire byte k carries colour channels_[k]; in an RGB32 pixel red sits at bit 16, blue at 0.
    const int s0 = 16 - 8 * channels_[0], s1 = 16 - 8 * channels_[1], s2 = 16 - 8 * channels_[2];
    const std::uint8_t* lv = levels_.data();
    for (size_t i = 0; i < source_.size(); ++i) {
        const std::uint32_t at = source_[i];
        const std::uint32_t p = at == kOutside ? 0 : pixels[at];
        wire[0] = lv[(p >> s0) & 0xFF];
        wire[1] = lv[(p >> s1) & 0xFF];
        wire[2] = lv[(p >> s2) & 0xFF];
        wire += 3;
    }
}

void PixelMap::Unmap(const std::uint8_t* wire, std::uint32_t* region) const {
    for (size_t i = 0; i < chain_.size(); ++i, wire += 3) {
        std::uint32_t rgb = 0;
        for (int k = 0; k < 3; ++k) rgb |= static_cast<std::uint32_t>(wire[k]) << (16 - 8 * channels_[k]);
        region[chain_[i]] = rgb;
    }
}

}  // namespace zl
