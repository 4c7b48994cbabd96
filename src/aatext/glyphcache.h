#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class QRawFont;

namespace zl {

// Glyphs are rasterised by FreeType from their outlines at the enlarged size, so synthetic bold
// and italic hold at every size; Qt shapes the text and picks the fallback faces.
//
// One face as Qt resolved it for a run, with the synthetic styles it needs.
struct GlyphFont {
    int face = -1;        // from GlyphCache::FaceOf
    int pixelSize = 0;    // enlarged
    bool embolden = false;
    bool oblique = false;
    // Side of the blocks the mask averages plainly (1: none). A block's mean of exact-area
    // coverage is the coverage of the block as one pixel, so such glyphs are rasterised a block
    // per pixel, a sixteenth of the work at four times, and each value fills its block.
    int block = 1;
};

// Coverage of one glyph: `width` x `height` bytes, its top-left corner `left` pixels right of
// and `top` pixels above the pen position.
struct GlyphBitmap {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<std::uint8_t> coverage;
};

// The enlarged coverage of glyphs, keyed by face, size, synthetic style, glyph and quarter-pixel
// phase, rasterised once and shared by every renderer of the process. Bounded by bytes, least
// recently used first out. One mutex guards it and the FreeType faces, so any thread may draw;
// a glyph handed out stays valid while the caller holds it, even when evicted meanwhile.
class GlyphCache {
public:
    static constexpr std::size_t kDefaultByteLimit = std::size_t{32} << 20;

    static GlyphCache& Shared();

    // The face behind a glyph run's font and the synthetic styles the requested bold and
    // italic need on it.
    GlyphFont FontOf(const QRawFont& raw, bool bold, bool italic);

    // Adds the coverage of `glyph` with its pen at (penX + phaseX / 4, penY + phaseY / 4) to a
    // tile of the enlarged grid whose top-left corner is (tileX, tileY), clipped to it.
    // Saturating addition, so glyphs that abut leave no seam. Glyphs too large to keep are drawn
    // straight into the tile, a band at a time, and never held whole.
    void Composite(const GlyphFont& font, std::uint32_t glyph, std::int64_t penX, int phaseX, std::int64_t penY,
                   int phaseY, std::uint8_t* tile, int stride, std::int64_t tileX, std::int64_t tileY, int tileWidth,
                   int tileHeight);

    void SetByteLimit(std::size_t bytes);
    std::size_t ByteLimit() const;
    std::size_t Bytes() const;
    // The most the cache has held since the last ResetPeak.
    std::size_t PeakBytes() const;
    void ResetPeak();
    std::size_t Count() const;
    void Clear();

    ~GlyphCache();

private:
    GlyphCache();
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace zl
