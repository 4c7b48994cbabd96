#include "aatext/smoothmask.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QTextLayout>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <list>
#include <new>
#include <unordered_map>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "aatext/canvas.h"
#include "aatext/glyphcache.h"
#include "aatext/randomsource.h"
#include "aatext/smoothfont.h"
#include "core/props/enums.h"
#include "qtbase/qtstrings.h"

namespace zl {
namespace {

using Row = const std::uint8_t*;

// Column sums of `rows` sample rows, `count` samples wide: the vertical half of every block.
void SumRows(const Row* rows, int rowCount, int count, std::uint16_t* out) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= count; i += 16) {
        __m128i lo = zero, hi = zero;
        for (int r = 0; r < rowCount; ++r) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + i));
            lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(v, zero));
            hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(v, zero));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), lo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), hi);
    }
#endif
    for (; i < count; ++i) {
        unsigned sum = 0;
        for (int r = 0; r < rowCount; ++r) sum += rows[r][i];
        out[i] = static_cast<std::uint16_t>(sum);
    }
}

// The low byte of each 32-bit pixel.
void LowBytes(const std::uint32_t* in, std::uint8_t* out, int count) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i low = _mm_set1_epi32(0xFF);
    for (; i + 16 <= count; i += 16) {
        const __m128i* p = reinterpret_cast<const __m128i*>(in + i);
        const __m128i a = _mm_and_si128(_mm_loadu_si128(p), low), b = _mm_and_si128(_mm_loadu_si128(p + 1), low);
        const __m128i c = _mm_and_si128(_mm_loadu_si128(p + 2), low), d = _mm_and_si128(_mm_loadu_si128(p + 3), low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d)));
    }
#endif
    for (; i < count; ++i) out[i] = static_cast<std::uint8_t>(in[i]);
}

// Grey sample rows of a bitmap: 8-bit rows as they are, 32-bit rows by their low byte (the text
// is white on black, so every channel holds the coverage).
class ImageRows {
public:
    ImageRows(const QImage& work, int rows)
        : work_(work), grey_(work.format() == QImage::Format_Grayscale8), width_(work.width()),
          buffer_(grey_ ? 0 : static_cast<size_t>(rows) * width_) {}
    Row Get(int y, int slot) {
        if (grey_) return work_.constScanLine(y);
        std::uint8_t* out = buffer_.data() + static_cast<size_t>(slot) * width_;
        LowBytes(reinterpret_cast<const std::uint32_t*>(work_.constScanLine(y)), out, width_);
        return out;
    }

private:
    const QImage& work_;
    bool grey_;
    int width_;
    std::vector<std::uint8_t> buffer_;
};

// Rows of an 8-bit tile of the enlarged grid.
struct TileRows {
    const std::uint8_t* base;
    std::ptrdiff_t stride;
    Row Get(int y, int) const { return base + y * stride; }
};

template <class Rows>
void ReduceHigh(Rows& samples, std::uint8_t* out, int stride, int width, int height) {
    std::vector<std::uint16_t> columns(static_cast<size_t>(width) * 4);
    for (int r = 0; r < height; ++r) {
        const Row rows[4] = {samples.Get(r * 4, 0), samples.Get(r * 4 + 1, 1), samples.Get(r * 4 + 2, 2),
                             samples.Get(r * 4 + 3, 3)};
        SumRows(rows, 4, width * 4, columns.data());
        const std::uint16_t* v = columns.data();
        std::uint8_t* o = out + static_cast<size_t>(r) * stride;
        for (int c = 0; c < width; ++c, v += 4) o[c] = static_cast<std::uint8_t>((v[0] + v[1] + v[2] + v[3]) >> 4);
    }
}

#if defined(__x86_64__) || defined(__i386__)
#define ZL_REDUCE_SSSE3 1
__attribute__((target("ssse3"))) inline __m128i Load16(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

// Sums of three neighbouring column sums starting at each of eight columns.
__attribute__((target("ssse3"))) inline __m128i Threes(const std::uint16_t* p) {
    return _mm_add_epi16(_mm_add_epi16(Load16(p), Load16(p + 1)), Load16(p + 2));
}

// Rounded-up halves of eight samples picked from bytes 0-15 and 8-23 of a row.
__attribute__((target("ssse3"))) inline __m128i Halves(Row p, __m128i fromFirst, __m128i fromSecond) {
    const __m128i x = _mm_or_si128(_mm_shuffle_epi8(Load16(p), fromFirst), _mm_shuffle_epi8(Load16(p + 8), fromSecond));
    return _mm_srli_epi16(_mm_add_epi16(x, _mm_set1_epi16(1)), 1);
}

// Eight values of a normal-quality row at a time: each three-column sum gathered from every
// third place by byte shuffles, the corner samples likewise, as ReduceNormal does one by one.
__attribute__((target("ssse3"))) int NormalRowSsse3(const std::uint16_t* v, Row top, Row bottom, std::uint8_t* o,
                                                    int width) {
    const __m128i pick0 = _mm_setr_epi8(0, 1, 6, 7, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i pick1 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 3, 8, 9, 14, 15, -1, -1, -1, -1);
    const __m128i pick2 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 4, 5, 10, 11);
    // Samples 3c + 2 of the top row and 3c of the bottom one.
    const __m128i topA = _mm_setr_epi8(2, -1, 5, -1, 8, -1, 11, -1, 14, -1, -1, -1, -1, -1, -1, -1);
    const __m128i topB = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 9, -1, 12, -1, 15, -1);
    const __m128i bottomA = _mm_setr_epi8(0, -1, 3, -1, 6, -1, 9, -1, 12, -1, 15, -1, -1, -1, -1, -1);
    const __m128i bottomB = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 10, -1, 13, -1);
    int c = 0;
    // The last group reads two column sums past its own 24.
    for (; 3 * c + 26 <= 3 * width; c += 8, v += 24, top += 24, bottom += 24) {
        const __m128i sums = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(Threes(v), pick0),
                                                       _mm_shuffle_epi8(Threes(v + 8), pick1)),
                                          _mm_shuffle_epi8(Threes(v + 16), pick2));
        const __m128i value = _mm_srli_epi16(
            _mm_sub_epi16(_mm_sub_epi16(sums, Halves(top, topA, topB)), Halves(bottom, bottomA, bottomB)), 3);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o + c), _mm_packus_epi16(value, value));
    }
    return c;
}
#endif

// Weights 1 1 1/2 / 1 1 1 / 1/2 1 1, a half sample being the sample shifted right first: the
// full nine-sample sum less the rounded-up halves of the two corner samples.
template <class Rows>
void ReduceNormal(Rows& samples, std::uint8_t* out, int stride, int width, int height) {
    std::vector<std::uint16_t> columns(static_cast<size_t>(width) * 3);
#if ZL_REDUCE_SSSE3
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
#endif
    for (int r = 0; r < height; ++r) {
        const Row rows[3] = {samples.Get(r * 3, 0), samples.Get(r * 3 + 1, 1), samples.Get(r * 3 + 2, 2)};
        SumRows(rows, 3, width * 3, columns.data());
        std::uint8_t* o = out + static_cast<size_t>(r) * stride;
        int c = 0;
#if ZL_REDUCE_SSSE3
        if (ssse3) c = NormalRowSsse3(columns.data(), rows[0], rows[2], o, width);
#endif
        const std::uint16_t* v = columns.data() + 3 * c;
        Row top = rows[0] + 3 * c + 2, bottom = rows[2] + 3 * c;
        for (; c < width; ++c, v += 3, top += 3, bottom += 3) {
            const unsigned sum = v[0] + v[1] + v[2] - ((*top + 1u) >> 1) - ((*bottom + 1u) >> 1);
            o[c] = static_cast<std::uint8_t>(sum >> 3);
        }
    }
}

template <class Rows>
void ReduceLow(Rows& samples, std::uint8_t* out, int stride, int width, int height) {
    std::vector<std::uint16_t> columns(static_cast<size_t>(width) * 2);
    for (int r = 0; r < height; ++r) {
        const Row rows[2] = {samples.Get(r * 2, 0), samples.Get(r * 2 + 1, 1)};
        SumRows(rows, 2, width * 2, columns.data());
        const std::uint16_t* v = columns.data();
        std::uint8_t* o = out + static_cast<size_t>(r) * stride;
        for (int c = 0; c < width; ++c, v += 2) o[c] = static_cast<std::uint8_t>((v[0] + v[1]) >> 2);
    }
}

template <class Rows>
void ReduceNone(Rows& samples, std::uint8_t* out, int stride, int width, int height) {
    for (int r = 0; r < height; ++r) std::memcpy(out + static_cast<size_t>(r) * stride, samples.Get(r, 0), width);
}

template <class Rows>
void Reduce(Rows& samples, TSmoothQuality quality, std::uint8_t* out, int stride, int width, int height) {
    switch (quality) {
        case TSmoothQuality::aqHigh: ReduceHigh(samples, out, stride, width, height); break;
        case TSmoothQuality::aqNormal: ReduceNormal(samples, out, stride, width, height); break;
        case TSmoothQuality::aqLow: ReduceLow(samples, out, stride, width, height); break;
        case TSmoothQuality::aqNone: ReduceNone(samples, out, stride, width, height); break;
    }
}

// The Qt font of the last canvas font drawn: a font that has been used keeps its resolved font
// engine, and resolving one anew costs as much as drawing a short run.
const QFont& ScaledFont(const TFont& font, int scale) {
    struct Entry {
        std::string name;
        int height = 0;
        std::int64_t style = 0;
        int scale = 0;
        QFont qfont;
    };
    // Tagged texts switch between a few fonts line by line; making a QFont anew each time
    // costs Qt a font lookup, so the last few are kept, the most recent first.
    constexpr size_t kKept = 8;
    thread_local std::vector<Entry> kept;
    for (size_t i = 0; i < kept.size(); ++i) {
        const Entry& e = kept[i];
        if (e.scale == scale && e.height == font.Height() && e.style == font.Style() && e.name == font.Name()) {
            if (i > 0) std::rotate(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(i),
                                   kept.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            return kept.front().qfont;
        }
    }
    if (kept.size() == kKept) kept.pop_back();
    kept.insert(kept.begin(), Entry{font.Name(), font.Height(), font.Style(), scale, MakeQFont(font, scale)});
    return kept.front().qfont;
}

// Qt keeps glyph positions in 26.6 fixed point: a run whose enlarged advance could pass that
// range is not shaped, and refused when drawn.
constexpr std::int64_t kShapedLimit = std::int64_t{1} << 24;

// A run shaped once at the enlarged size: its measures and the glyphs that draw it.
struct RunMeasures {
    std::int64_t advance = 0;
    int height = 0;
    int ascent = 0;
    bool tooLong = false;
    QList<QGlyphRun> glyphs;  // positioned on the baseline at y = ascent
};

// Callers measure lines and draw them soon after (a scrolling text lays out a little ahead of
// what it draws), so the runs shaped last are remembered: shaping is most of a measure.
const RunMeasures& MeasureRun(const TFont& font, int scale, std::string_view text) {
    struct Entry {
        std::string key;
        RunMeasures measures;
    };
    struct Recent {
        std::list<Entry> entries;  // most recent first
        std::unordered_map<std::string_view, std::list<Entry>::iterator> byKey;
        size_t bytes = 0;
    };
    // Enough for the rows of a screen; long texts count by their length.
    constexpr size_t kKeptRuns = 128;
    constexpr size_t kKeptBytes = size_t{256} << 10;
    thread_local Recent recent;

    std::string key = font.Name();
    key.push_back('\0');
    for (const std::int64_t v : {std::int64_t{font.Height()}, font.Style(), std::int64_t{scale}})
        key.append(reinterpret_cast<const char*>(&v), sizeof v);
    key.append(text);
    if (const auto found = recent.byKey.find(key); found != recent.byKey.end()) {
        recent.entries.splice(recent.entries.begin(), recent.entries, found->second);
        return found->second->measures;
    }

    const QFont& qfont = ScaledFont(font, scale);
    const QFontMetrics metrics(qfont);
    RunMeasures measures{0, metrics.height(), metrics.ascent(), false, {}};
    const std::int64_t longest = static_cast<std::int64_t>(text.size()) * std::max(1, qfont.pixelSize());
    if (longest >= kShapedLimit) {
        measures.advance = longest;
        measures.tooLong = true;
    } else if (!text.empty()) {
        QTextLayout layout(Q(text), qfont);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        layout.endLayout();
        measures.advance = qRound64(line.horizontalAdvance());
        measures.glyphs = line.glyphRuns();
        for (QGlyphRun& run : measures.glyphs) {
            QList<QPointF> positions = run.positions();
            for (QPointF& p : positions) p.ry() += measures.ascent - line.ascent();
            run.setPositions(positions);
        }
    }
    recent.bytes += key.size();
    recent.entries.push_front({std::move(key), std::move(measures)});
    recent.byKey.emplace(recent.entries.front().key, recent.entries.begin());
    // The newest run always stays: its caller draws it next.
    while (recent.entries.size() > 1 && (recent.entries.size() > kKeptRuns || recent.bytes > kKeptBytes)) {
        recent.bytes -= recent.entries.back().key.size();
        recent.byKey.erase(recent.entries.back().key);
        recent.entries.pop_back();
    }
    return recent.entries.front().measures;
}

// Width of the text box without the slant room of italic glyphs.
std::int64_t UprightWidth(const RunMeasures& run, int scale) { return (run.advance + scale - 1) / scale; }

// Round-up division by the scale, then room for the slant of italic glyphs (the one use of
// floating point in a render).
std::int64_t MaskWidth(const RunMeasures& run, const TFont& font, int scale, size_t bytes) {
    std::int64_t result = UprightWidth(run, scale);
    if ((font.Style() & Bit(fsItalic)) && bytes > 0)
        result += static_cast<std::int64_t>(std::nearbyint(result / static_cast<double>(bytes) * 0.3));
    return result;
}

int MaskHeight(const RunMeasures& run, int scale) { return (run.height + scale - 1) / scale; }

int ClampToInt(std::int64_t v) { return static_cast<int>(std::min<std::int64_t>(v, std::numeric_limits<int>::max())); }

// One glyph to draw: its pen position in the enlarged grid in whole pixels and quarters.
struct Placement {
    std::int64_t x;
    std::int64_t y;
    std::uint32_t glyph;
    std::uint16_t font;
    std::uint8_t phaseX, phaseY;
};

// A horizontal band of full ink across the text: underline or strike-out.
struct Band {
    double top, bottom;
};

// The glyphs of a shaped run and its decorations, drawn into tiles of the enlarged grid.
class RunPainter {
public:
    RunPainter(const RunMeasures& run, const TFont& font, int scale, int block) {
        const bool bold = font.Style() & Bit(fsBold), italic = font.Style() & Bit(fsItalic);
        GlyphCache& cache = GlyphCache::Shared();
        for (const QGlyphRun& glyphs : run.glyphs) {
            GlyphFont glyphFont = cache.FontOf(glyphs.rawFont(), bold, italic);
            glyphFont.block = block;
            fonts_.push_back(glyphFont);
            // Ink lies within four em of the pen, synthetic styles included.
            margin_ = std::max<std::int64_t>(margin_, std::int64_t{4} * glyphFont.pixelSize + 8);
            largest_ = std::max(largest_, glyphFont.pixelSize);
            const QList<quint32> indexes = glyphs.glyphIndexes();
            const QList<QPointF> positions = glyphs.positions();
            for (qsizetype i = 0; i < indexes.size() && i < positions.size(); ++i) {
                const std::int64_t qx = std::llround(positions[i].x() * 4), qy = std::llround(positions[i].y() * 4);
                placements_.push_back({qx >> 2, qy >> 2, indexes[i], static_cast<std::uint16_t>(fonts_.size() - 1),
                                       static_cast<std::uint8_t>(qx & 3), static_cast<std::uint8_t>(qy & 3)});
            }
        }
        if (!std::is_sorted(placements_.begin(), placements_.end(), ByX))
            std::stable_sort(placements_.begin(), placements_.end(), ByX);

        // Lines as Qt draws them under its own text: the underline just below the baseline,
        // within the descent, the strike-out a third of the ascent above it, both a line
        // thickness wide and across the whole upright box.
        const QFontMetricsF metrics(ScaledFont(font, scale));
        const double thickness = std::max(1.0, metrics.lineWidth());
        const double baseline = run.ascent;
        if (font.Style() & Bit(fsUnderline)) {
            const double offset = metrics.underlinePos();
            double adjusted = std::ceil(offset) + 0.5;
            if (offset <= metrics.descent()) adjusted = std::min(adjusted, metrics.descent() - 0.5);
            bands_.push_back({baseline + adjusted - thickness / 2, baseline + adjusted + thickness / 2});
        }
        if (font.Style() & Bit(fsStrikeOut)) {
            const double centre = baseline - metrics.ascent() / 3;
            bands_.push_back({centre - thickness / 2, centre + thickness / 2});
        }
        bandWidth_ = UprightWidth(run, scale) * scale;
    }

    // Draws what falls into the tile at (x, y); false when nothing could.
    bool Paint(std::uint8_t* tile, int stride, std::int64_t x, std::int64_t y, int width, int height) const {
        bool inked = false;
        auto first = std::lower_bound(placements_.begin(), placements_.end(), x - margin_,
                                      [](const Placement& p, std::int64_t v) { return p.x < v; });
        GlyphCache& cache = GlyphCache::Shared();
        for (auto p = first; p != placements_.end() && p->x < x + width + margin_; ++p) {
            cache.Composite(fonts_[p->font], p->glyph, p->x, p->phaseX, p->y, p->phaseY, tile, stride, x, y, width,
                            height);
            inked = true;
        }
        const std::int64_t left = std::max<std::int64_t>(0, x), right = std::min(bandWidth_, x + width);
        for (const Band& band : bands_) {
            if (left >= right) break;
            const std::int64_t top = std::max<std::int64_t>(y, static_cast<std::int64_t>(std::floor(band.top)));
            const std::int64_t bottom = std::min<std::int64_t>(y + height, static_cast<std::int64_t>(std::ceil(band.bottom)));
            for (std::int64_t row = top; row < bottom; ++row) {
                const double share = std::min<double>(band.bottom, row + 1) - std::max<double>(band.top, row);
                const int coverage = static_cast<int>(std::lround(std::clamp(share, 0.0, 1.0) * 255));
                std::uint8_t* p = tile + (row - y) * stride + (left - x);
                for (std::int64_t i = 0; i < right - left; ++i)
                    p[i] = static_cast<std::uint8_t>(std::min(255, p[i] + coverage));
                inked = true;
            }
        }
        return inked;
    }

    // The largest enlarged pixel size of the run's faces.
    int Largest() const { return largest_; }

private:
    static bool ByX(const Placement& a, const Placement& b) { return a.x < b.x; }

    std::vector<GlyphFont> fonts_;
    std::vector<Placement> placements_;
    std::vector<Band> bands_;
    std::int64_t margin_ = 0;
    std::int64_t bandWidth_ = 0;
    int largest_ = 0;
};

// Columns of a tile: few enough that a tile of a normal line stays in the processor's cache, and
// at least two glyphs wide, so a glyph too large to cache is rendered for few tiles.
std::int64_t TileColumns(int largestGlyph) { return std::max<std::int64_t>(4096, std::int64_t{2} * largestGlyph); }

}  // namespace

void ReduceSupersampled(const QImage& work, TSmoothQuality quality, std::uint8_t* out, int stride,
                        int width, int height) {
    const int scale = ScaleOf(quality);
    const bool readable = work.format() == QImage::Format_Grayscale8 || work.depth() == 32;
    if (!readable || work.width() < width * scale ||
        work.height() < height * scale)
        return;
    ImageRows rows(work, scale);
    Reduce(rows, quality, out, stride, width, height);
}

ETextTooLarge::ETextTooLarge(std::int64_t width, std::int64_t height)
    : Error(Format("Text of %lld x %lld pixels is too large to draw (more than %lld MB).",
                   static_cast<long long>(width), static_cast<long long>(height),
                   static_cast<long long>(TSmoothMask::kMaskLimit >> 20))) {}

int ScaleOf(TSmoothQuality quality) {
    switch (quality) {
        case TSmoothQuality::aqHigh: return 4;
        case TSmoothQuality::aqNormal: return 3;
        case TSmoothQuality::aqLow: return 2;
        case TSmoothQuality::aqNone: return 1;
    }
    return 1;
}

void TSmoothMask::Assign(const TSmoothMask& source) {
    if (&source == this) return;
    // The data first, so a copy that cannot be made leaves this mask as it was.
    std::vector<std::uint8_t> data;
    try {
        data = source.data_;
    } catch (const std::bad_alloc&) {
        throw Error(Format("Not enough memory to copy a mask of %d x %d pixels.", source.width_, source.height_));
    }
    data_.swap(data);
    quality_ = source.quality_;
    scale_ = source.scale_;
    width_ = source.width_;
    height_ = source.height_;
    stride_ = source.stride_;
}

void TSmoothMask::SetQuality(TSmoothQuality quality) {
    quality_ = quality;
    scale_ = ScaleOf(quality);
}

int TSmoothMask::TextWidth(std::string_view text) const {
    const TCanvas* canvas = owner_ ? owner_->Canvas() : nullptr;
    if (!canvas) return 0;
    return ClampToInt(MaskWidth(MeasureRun(canvas->Font, scale_, text), canvas->Font, scale_, text.size()));
}

int TSmoothMask::TextHeight(std::string_view) const {
    const TCanvas* canvas = owner_ ? owner_->Canvas() : nullptr;
    if (!canvas) return 0;
    // A run is as high as its font, whatever its text, so nothing is shaped.
    RunMeasures run;
    run.height = QFontMetrics(ScaledFont(canvas->Font, scale_)).height();
    return MaskHeight(run, scale_);
}

void TSmoothMask::SetSize(int width, int height) {
    width = std::max(0, width);
    height = std::max(0, height);
    const std::int64_t stride = (static_cast<std::int64_t>(width) + 3) & ~std::int64_t{3};
    if (stride * height > kMaskLimit) throw ETextTooLarge(width, height);
    std::vector<std::uint8_t> data(static_cast<size_t>(stride * height), 0);
    data_.swap(data);
    width_ = width;
    height_ = height;
    stride_ = static_cast<int>(stride);
}

void TSmoothMask::DrawText(std::string_view text) {
    const TCanvas* canvas = owner_ ? owner_->Canvas() : nullptr;
    if (!canvas) return;
    const RunMeasures& run = MeasureRun(canvas->Font, scale_, text);
    const std::int64_t w = MaskWidth(run, canvas->Font, scale_, text.size());
    const std::int64_t h = MaskHeight(run, scale_);
    if (run.tooLong || ((w + 3) & ~3) * h > kMaskLimit) throw ETextTooLarge(w, h);
    try {
        SetSize(static_cast<int>(w), static_cast<int>(h));
        if (w == 0 || h == 0 || run.glyphs.isEmpty()) return;

        // The enlarged grid is drawn glyph by glyph into tiles no larger than the work limit, each
        // reduced into its part of the mask, so time grows with the length of the text and memory
        // does not.
        const std::int64_t s = scale_, gridWidth = w * s, gridHeight = h * s;
        // Half the limit for the tile, half for the part of a glyph too large to cache.
        const std::int64_t limit = std::max<std::int64_t>(static_cast<std::int64_t>(workLimit_ / 2), s * s);
        // High quality averages plain 4 x 4 blocks of the grid: its glyphs are rasterised at half
        // the grid, each value filling 2 x 2 (see GlyphFont::block), a quarter of the work. Not a
        // pixel per block: FreeType adds up contours that overlap (stroke joins, emboldening)
        // before it clips coverage, so joins would come out too bright.
        const int block = quality_ == TSmoothQuality::aqHigh ? 2 : 1;
        const RunPainter painter(run, canvas->Font, scale_, block);
        const int tileWidth = static_cast<int>(
            std::min({gridWidth, TileColumns(painter.Largest()) / s * s, std::max(s, limit / s / s * s)}));
        const int tileHeight = static_cast<int>(std::min(gridHeight, std::max(s, limit / tileWidth / s * s)));
        std::vector<std::uint8_t> tile(static_cast<size_t>(tileWidth) * tileHeight);
        for (std::int64_t y = 0; y < gridHeight; y += tileHeight) {
            const int height = static_cast<int>(std::min<std::int64_t>(tileHeight, gridHeight - y));
            for (std::int64_t x = 0; x < gridWidth; x += tileWidth) {
                const int width = static_cast<int>(std::min<std::int64_t>(tileWidth, gridWidth - x));
                std::fill(tile.begin(), tile.end(), 0);
                if (!painter.Paint(tile.data(), tileWidth, x, y, width, height)) continue;
                TileRows rows{tile.data(), tileWidth};
                Reduce(rows, quality_, data_.data() + static_cast<size_t>(y / s) * stride_ + x / s, stride_,
                       static_cast<int>(width / s), static_cast<int>(height / s));
            }
        }
    } catch (const std::bad_alloc&) {
        SetSize(0, 0);
        throw Error(Format("Not enough memory to draw text of %lld x %lld pixels.", static_cast<long long>(w),
                           static_cast<long long>(h)));
    }
}

std::uint8_t* TSmoothMask::ScanLine(int row) {
    if (row < 0 || row >= height_) throw EInvalidLine();
    return data_.data() + static_cast<size_t>(row) * stride_;
}

const std::uint8_t* TSmoothMask::ScanLine(int row) const {
    if (row < 0 || row >= height_) throw EInvalidLine();
    return data_.data() + static_cast<size_t>(row) * stride_;
}

QImage TSmoothMask::Image() const {
    if (width_ == 0 || height_ == 0) return QImage();
    return QImage(data_.data(), width_, height_, stride_, QImage::Format_Grayscale8);
}

void TSmoothMask::Outline() {
    if (width_ < 3 || height_ < 3) return;
    const std::vector<std::uint8_t> copy = data_;
    for (int y = 1; y < height_ - 1; ++y) {
        Row a = copy.data() + static_cast<size_t>(y - 1) * stride_;
        Row c = a + stride_;
        Row b = c + stride_;
        std::uint8_t* out = data_.data() + static_cast<size_t>(y) * stride_;
        int x = 1;
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        auto load = [](Row p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
        auto absDiff = [](__m128i u, __m128i v) { return _mm_or_si128(_mm_subs_epu8(u, v), _mm_subs_epu8(v, u)); };
        for (; x + 16 <= width_ - 1; x += 16) {
            const __m128i d[4] = {absDiff(load(b + x), load(a + x)), absDiff(load(c + x + 1), load(c + x - 1)),
                                  absDiff(load(b + x - 1), load(a + x + 1)), absDiff(load(b + x + 1), load(a + x - 1))};
            __m128i lo = zero, hi = zero;
            for (const __m128i& v : d) {
                lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(v, zero));
                hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(v, zero));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                             _mm_packus_epi16(_mm_srli_epi16(lo, 2), _mm_srli_epi16(hi, 2)));
        }
#endif
        for (; x < width_ - 1; ++x) {
            const int d1 = std::abs(b[x] - a[x]);
            const int d2 = std::abs(c[x + 1] - c[x - 1]);
            const int d3 = std::abs(b[x - 1] - a[x + 1]);
            const int d4 = std::abs(b[x + 1] - a[x - 1]);
            out[x] = static_cast<std::uint8_t>(std::min(255, (d1 + d2 + d3 + d4) >> 2));
        }
    }
}

void TSmoothMask::Blur(int amount) {
    amount = std::clamp(amount, 0, 100);
    const int k = static_cast<int>(std::nearbyint(amount * 255 / 100.0));
    if (k == 0 || width_ == 0 || height_ == 0) return;

    // Horizontal sums of five with the edge pixels repeated, then five rows of those.
    const int w = width_;
    std::vector<std::uint16_t> sums(static_cast<size_t>(w) * height_);
    for (int y = 0; y < height_; ++y) {
        Row row = data_.data() + static_cast<size_t>(y) * stride_;
        std::uint16_t* h = sums.data() + static_cast<size_t>(y) * w;
        if (w < 5) {
            for (int x = 0; x < w; ++x) {
                int s = 0;
                for (int dx = -2; dx <= 2; ++dx) s += row[std::clamp(x + dx, 0, w - 1)];
                h[x] = static_cast<std::uint16_t>(s);
            }
            continue;
        }
        h[0] = static_cast<std::uint16_t>(3 * row[0] + row[1] + row[2]);
        h[1] = static_cast<std::uint16_t>(2 * row[0] + row[1] + row[2] + row[3]);
        int x = 2;
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        for (; x + 16 <= w - 2; x += 16) {
            __m128i lo = zero, hi = zero;
            for (int dx = -2; dx <= 2; ++dx) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x + dx));
                lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(v, zero));
                hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(v, zero));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(h + x), lo);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(h + x + 8), hi);
        }
#endif
        for (; x < w - 2; ++x)
            h[x] = static_cast<std::uint16_t>(row[x - 2] + row[x - 1] + row[x] + row[x + 1] + row[x + 2]);
        h[w - 2] = static_cast<std::uint16_t>(row[w - 4] + row[w - 3] + row[w - 2] + 2 * row[w - 1]);
        h[w - 1] = static_cast<std::uint16_t>(row[w - 3] + row[w - 2] + 3 * row[w - 1]);
    }
    for (int y = 0; y < height_; ++y) {
        const std::uint16_t* r[5];
        for (int dy = -2; dy <= 2; ++dy)
            r[dy + 2] = sums.data() + static_cast<size_t>(std::clamp(y + dy, 0, height_ - 1)) * w;
        std::uint8_t* out = data_.data() + static_cast<size_t>(y) * stride_;
        int x = 0;
#if defined(__SSE2__)
        // b = (s + 12) / 25 as (s + 12) * 5243 shr 17, exact for these sums; the share k as in
        // blending: (b - old) * 128 times 2k, high half.
        const __m128i zero = _mm_setzero_si128();
        const __m128i twelve = _mm_set1_epi16(12), divisor = _mm_set1_epi16(5243);
        const __m128i k2 = _mm_set1_epi16(static_cast<short>(2 * k));
        for (; x + 8 <= w; x += 8) {
            __m128i sum = twelve;
            for (const std::uint16_t* row : r)
                sum = _mm_add_epi16(sum, _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x)));
            __m128i value = _mm_srli_epi16(_mm_mulhi_epu16(sum, divisor), 1);
            if (k != 255) {
                const __m128i old = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(out + x)), zero);
                value = _mm_add_epi16(old, _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(value, old), 7), k2));
            }
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(value, value));
        }
#endif
        for (; x < w; ++x) {
            const unsigned s = r[0][x] + r[1][x] + r[2][x] + r[3][x] + r[4][x];
            const int b = static_cast<int>((s + 12) / 25);  // s / 25 never ends in a half
            out[x] = static_cast<std::uint8_t>(k == 255 ? b : out[x] + (((b - out[x]) * k) >> 8));
        }
    }
}

void TSmoothMask::Spray(int amount, RandomSource& random) {
    amount = std::clamp(amount, 0, 100);
    for (int y = 0; y < height_; ++y) {
        std::uint8_t* out = data_.data() + static_cast<size_t>(y) * stride_;
        for (int x = 0; x < width_; ++x) {
            const int r = random.Below(amount + 1);
            const int sx = std::clamp(x + r - random.Below(2 * r), 0, width_ - 1);
            const int sy = std::clamp(y + r - random.Below(2 * r), 0, height_ - 1);
            out[x] = data_[static_cast<size_t>(sy) * stride_ + sx];
        }
    }
}

}  // namespace zl
