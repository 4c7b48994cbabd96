#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "output/ledoutputconfig.h"

class QImage;

namespace zl {

// For every pixel of the panel's chain, in wire order, its index y * width + x in the region.
std::vector<std::uint32_t> ChainOrder(const LedOutputConfig& output);

// Entry v: 255 * (v / 255)^gamma * brightness / 100 to the nearest integer, halves up.
std::array<std::uint8_t, 256> LevelTable(double brightness, double gamma);

// Which colour (0 red, 1 green, 2 blue, 3 white) each wire byte of a pixel carries; the fourth
// is -1 for the three-channel orders.
std::array<int, 4> WireChannels(ColorOrder order);

// Turns a region of a picture into an output's wire bytes, with the tables built once.
class PixelMap {
public:
    explicit PixelMap(const LedOutputConfig& output);
    // `picture` is RGB32 with the page's client area at (0, 0); pixels of the region outside
    // it are black. `wire` gets 3 bytes per pixel (4 with white), in chain order.
    void Map(const QImage& picture, std::uint8_t* wire);
    // The same into the buffer given to the previous call, rewriting only the runs whose rows of
    // the picture changed since then; false when nothing did. The first call maps everything.
    bool Update(const QImage& picture, std::uint8_t* wire);
    // Multiplies the output's brightness by `factor` (0..1) from the next Map or Update on.
    void SetDimming(double factor);
    double Dimming() const { return dimming_; }
    // The buffer was written by someone else: the next Update maps everything.
    void Invalidate() { havePrevious_ = false; }
    // The inverse for a viewer: the RGB colour (0xRRGGBB) of region pixel y * width + x.
    void Unmap(const std::uint8_t* wire, std::uint32_t* region) const;
    int Bytes() const { return static_cast<int>(chain_.size()) * channelCount_; }
    int Channels() const { return channelCount_; }

private:
    void Rebase(const QImage& picture);
    struct Run;
    // Maps the leading blocks of 16 pixels of a run along a row with byte permutes where the
    // processor has them into the run's `wire` bytes; how many pixels it mapped.
    std::uint32_t Permuted(const Run& run, const std::uint32_t* pixels, std::uint8_t* wire) const;
    // Maps the runs for which `wanted(run)` holds.
    template <typename Wanted>
    void MapRuns(const QImage& picture, std::uint8_t* wire, Wanted wanted);

    LedOutputConfig output_;
    std::vector<std::uint32_t> chain_;
    std::array<std::uint8_t, 256> levels_;
    double dimming_ = 1.0;
    std::array<int, 4> channels_;
    int channelCount_;
    std::array<std::array<std::uint8_t, 64>, 2> orders_;  // wire byte sources, forwards and backwards
    // The chain as straight runs through the picture last seen, so a frame walks the picture
    // with a fixed step instead of looking every pixel up; runs off the picture are black.
    struct Run {
        std::int64_t first;  // offset in 32-bit pixels
        std::int64_t step;
        std::uint32_t count;
        bool outside;
        std::uint32_t wire = 0;  // offset of its first byte in the wire
    };
    std::vector<Run> runs_;
    // The region's rows of the picture last mapped, and which of them the present one changed.
    std::vector<std::uint32_t> previous_;
    std::vector<std::uint32_t> dirtyBefore_;  // dirty rows above each picture row
    bool havePrevious_ = false;
    int pictureWidth_ = -1, pictureHeight_ = -1, pictureStride_ = -1;
};

}  // namespace zl
