#include "aatext/glyphcache.h"

#include "aatext/contourorder.h"
#include "aatext/fontfile.h"

#include <QPainterPath>
#include <QRawFont>
#include <algorithm>
#include <cstring>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

namespace zl {
namespace {

// Qt draws glyphs of 64 pixels and more as unhinted outlines; below that it hints as fontconfig
// says for the face. Keeping both keeps the look text had before.
constexpr int kHintedBelow = 64;
// Glyphs whose coverage would take more than this share of the cache, or whose side is longer
// than this, are drawn straight into the tile.
constexpr std::size_t kLargestShare = 16;
constexpr int kLargestSide = 16384;
// Rows of a glyph FreeType renders at a time.
constexpr int kSliceRows = 128;
constexpr std::size_t kEntryOverhead = 96;

struct Face {
    std::string family, style;
    FT_Face ft = nullptr;
    QRawFont raw;  // outlines from Qt when FreeType cannot open the face
    bool bold = false, italic = false;
    FT_Int32 hintFlags = FT_LOAD_TARGET_LIGHT;
    int pixelSize = 0;  // the size last set on `ft`
};

struct Key {
    int face, pixelSize;
    std::uint32_t glyph;
    std::uint32_t flags;  // embolden, oblique, phases
    bool operator==(const Key&) const = default;
};

struct KeyHash {
    std::size_t operator()(const Key& k) const {
        std::uint64_t h = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(k.face)) << 32) ^ k.glyph;
        h ^= (static_cast<std::uint64_t>(k.pixelSize) << 40) ^ (static_cast<std::uint64_t>(k.flags) << 20);
        h *= 0x9E3779B97F4A7C15ull;
        return static_cast<std::size_t>(h ^ (h >> 29));
    }
};

struct Entry {
    Key key;
    std::shared_ptr<const GlyphBitmap> bitmap;
    std::size_t bytes;
};

// An outline to rasterise: FreeType's glyph slot, or points taken from a Qt path; the buffers
// are kept from glyph to glyph.
struct Outline {
    FT_Outline* outline = nullptr;
    OwnedOutline own, ordered;
    FT_BBox box{};  // control box
};

void AddRow(std::uint8_t* out, const std::uint8_t* in, int count) {
    int i = 0;
#if defined(__SSE2__)
    if (count >= 16) {
        // The last 16 bytes are summed before the loop changes any of them and stored after it:
        // where they overlap its last block they hold the same sums, and no byte is left over.
        auto load = [](const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
        const __m128i last = _mm_adds_epu8(load(out + count - 16), load(in + count - 16));
        for (; i + 16 <= count; i += 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_adds_epu8(load(out + i), load(in + i)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + count - 16), last);
        return;
    }
#endif
    for (; i < count; ++i) out[i] = static_cast<std::uint8_t>(std::min(255, out[i] + in[i]));
}

std::string Utf8(const QString& s) { return s.toUtf8().toStdString(); }

// Hinting of a face as fontconfig configures it, read the way Qt reads it.
FT_Int32 HintFlagsOf(const std::string& family, const FcChar8* file, int index) {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddString(pattern, FC_FILE, file);
    FcPatternAddInteger(pattern, FC_INDEX, index);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    FT_Int32 flags = FT_LOAD_TARGET_NORMAL;
    if (!match) return flags;
    FcBool hinting = FcTrue, autohint = FcFalse;
    int style = FC_HINT_FULL;
    FcPatternGetBool(match, FC_HINTING, 0, &hinting);
    FcPatternGetBool(match, FC_AUTOHINT, 0, &autohint);
    FcPatternGetInteger(match, FC_HINT_STYLE, 0, &style);
    FcPatternDestroy(match);
    if (!hinting || style == FC_HINT_NONE) return FT_LOAD_NO_HINTING;
    flags = style == FC_HINT_SLIGHT ? FT_LOAD_TARGET_LIGHT : FT_LOAD_TARGET_NORMAL;
    return autohint ? flags | FT_LOAD_FORCE_AUTOHINT : flags;
}

// The file of the face Qt registered as family and style: the face whose first family and style
// names are these, else any that lists them.
bool FindFaceFile(const std::string& family, const std::string& style, std::string& file, int& index) {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    if (!style.empty()) FcPatternAddString(pattern, FC_STYLE, reinterpret_cast<const FcChar8*>(style.c_str()));
    FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_INDEX, FC_FAMILY, FC_STYLE, nullptr);
    FcFontSet* set = FcFontList(nullptr, pattern, objects);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    bool found = false;
    if (set) {
        for (int i = 0; i < set->nfont; ++i) {
            FcChar8 *path = nullptr, *firstFamily = nullptr, *firstStyle = nullptr;
            int faceIndex = 0;
            if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &path) != FcResultMatch) continue;
            FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &faceIndex);
            FcPatternGetString(set->fonts[i], FC_FAMILY, 0, &firstFamily);
            FcPatternGetString(set->fonts[i], FC_STYLE, 0, &firstStyle);
            const bool exact = firstFamily && family == reinterpret_cast<const char*>(firstFamily) &&
                               (style.empty() || (firstStyle && style == reinterpret_cast<const char*>(firstStyle)));
            if (!found || exact) {
                file = reinterpret_cast<const char*>(path);
                index = faceIndex;
                found = true;
                if (exact) break;
            }
        }
        FcFontSetDestroy(set);
    }
    return found;
}

void PathToOutline(const QPainterPath& path, Outline& out) {
    OwnedOutline& own = out.own;
    own.points.clear();
    own.tags.clear();
    own.contours.clear();
    auto point = [&own](double x, double y, char tag) {
        own.points.push_back({static_cast<FT_Pos>(std::lround(x * 64)), static_cast<FT_Pos>(std::lround(-y * 64))});
        own.tags.push_back(tag);
    };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.type == QPainterPath::MoveToElement && !own.points.empty())
            own.contours.push_back(static_cast<short>(own.points.size() - 1));
        const bool control = e.type == QPainterPath::CurveToElement ||
                             (e.type == QPainterPath::CurveToDataElement && i + 1 < path.elementCount() &&
                              path.elementAt(i + 1).type == QPainterPath::CurveToDataElement);
        point(e.x, e.y, control ? FT_CURVE_TAG_CUBIC : FT_CURVE_TAG_ON);
    }
    if (!own.points.empty()) own.contours.push_back(static_cast<short>(own.points.size() - 1));
    if (own.points.size() > 32767) {  // FreeType's outline counts are 16-bit
        own.points.clear();
        own.tags.clear();
        own.contours.clear();
    }
    own.Attach(FT_OUTLINE_NONE);
    out.outline = &own.outline;
}

}  // namespace

struct GlyphCache::State {
    std::mutex mutex;
    FT_Library library = nullptr;
    std::vector<Face> faces;
    std::map<std::pair<std::string, std::string>, int> faceIds;
    std::list<Entry> lru;  // most recent first
    std::unordered_map<Key, std::list<Entry>::iterator, KeyHash> index;
    std::size_t limit = kDefaultByteLimit;
    std::size_t bytes = 0;
    std::size_t peak = 0;
    Outline scratch;  // the glyph being rasterised

    void Evict() {
        while (bytes > limit && !lru.empty()) {
            bytes -= lru.back().bytes;
            index.erase(lru.back().key);
            lru.pop_back();
        }
    }

    int FaceOf(const QRawFont& raw) {
        const std::string family = Utf8(raw.familyName()), style = Utf8(raw.styleName());
        const auto found = faceIds.find({family, style});
        if (found != faceIds.end()) return found->second;
        Face face{family, style};
        std::string file;
        int faceIndex = 0;
        if (library && FindFaceFile(family, style, file, faceIndex) &&
            OpenFontFace(library, file.c_str(), faceIndex, &face.ft) == 0 && FT_IS_SCALABLE(face.ft)) {
            const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face.ft, FT_SFNT_OS2));
            face.bold = (face.ft->style_flags & FT_STYLE_FLAG_BOLD) || (os2 && os2->usWeightClass >= 700);
            face.italic = face.ft->style_flags & FT_STYLE_FLAG_ITALIC;
            face.hintFlags = HintFlagsOf(family, reinterpret_cast<const FcChar8*>(file.c_str()), faceIndex);
        } else {
            if (face.ft) FT_Done_Face(face.ft);
            face.ft = nullptr;
            face.raw = raw;
        }
        faces.push_back(std::move(face));
        const int id = static_cast<int>(faces.size() - 1);
        faceIds[{family, style}] = id;
        return id;
    }

    // The glyph's outline at the enlarged size with its synthetic styles and phase applied;
    // false when it has none (a space, a bitmap-only glyph).
    bool LoadOutline(const GlyphFont& font, std::uint32_t glyph, int phaseX, int phaseY, int alignX, int alignY,
                     Outline& out) {
        Face& face = faces[font.face];
        FT_Pos strength = static_cast<FT_Pos>(font.pixelSize) * 64 / 24;
        if (face.ft) {
            if (face.pixelSize != font.pixelSize) {
                if (FT_Set_Pixel_Sizes(face.ft, 0, static_cast<FT_UInt>(font.pixelSize)) != 0) return false;
                face.pixelSize = font.pixelSize;
            }
            const FT_Int32 hinting = font.pixelSize < kHintedBelow ? face.hintFlags : FT_LOAD_NO_HINTING;
            if (FT_Load_Glyph(face.ft, glyph, FT_LOAD_NO_BITMAP | hinting) != 0 ||
                face.ft->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
                return false;
            out.outline = &face.ft->glyph->outline;
            strength = FT_MulFix(face.ft->units_per_EM, face.ft->size->metrics.y_scale) / 24;
        } else {
            QRawFont raw = face.raw;
            raw.setPixelSize(font.pixelSize);
            PathToOutline(raw.pathForGlyph(glyph), out);
        }
        if (out.outline->n_points == 0) return false;
        // Synthetic styles as Qt makes them: widened by 1/24 em, slanted by about 12 degrees.
        if (font.embolden) FT_Outline_EmboldenXY(out.outline, strength, strength);
        if (font.oblique) {
            FT_Matrix shear = {0x10000, 0x0366A, 0, 0x10000};
            FT_Outline_Transform(out.outline, &shear);
        }
        if (alignX | alignY | phaseX | phaseY)
            FT_Outline_Translate(out.outline, alignX * 64 + phaseX * 16, -(alignY * 64 + phaseY * 16));
        if (font.block > 1) {
            // From the block's corner, one block to a pixel.
            const FT_Fixed f = 0x10000 / font.block;
            FT_Matrix scale = {f, 0, 0, f};
            FT_Outline_Transform(out.outline, &scale);
        }
        if (OrderContoursForRaster(*out.outline, out.ordered, out.box)) out.outline = &out.ordered.outline;
        return true;
    }

    // Pixel box of an outline's control box: x from left, rows from bottom (inclusive) to top
    // (exclusive).
    static FT_BBox PixelBox(const FT_BBox& box) {
        return {box.xMin >> 6, box.yMin >> 6, (box.xMax + 63) >> 6, (box.yMax + 63) >> 6};
    }

    // Rows [first, first + rows) of the coverage of an outline with pixel box `box`, row 0 at the
    // top, into a zeroed buffer of the box's width. FreeType's coverage near a clipped edge
    // depends on where the clip lies, so glyphs are always rendered in the same slices of their
    // own box: the pixels then do not depend on how a text is cut into tiles, nor on whether a
    // glyph was cached. `shift` is how far the outline has been moved so far.
    void RenderRows(FT_Outline* outline, const FT_BBox& box, FT_Vector& shift, std::int64_t first, int rows,
                    std::uint8_t* buffer) {
        const FT_Vector to{-box.xMin * 64, (-box.yMin - (box.yMax - box.yMin - first - rows)) * 64};
        FT_Outline_Translate(outline, to.x - shift.x, to.y - shift.y);
        shift = to;
        FT_Bitmap target{};
        target.rows = static_cast<unsigned>(rows);
        target.width = static_cast<unsigned>(box.xMax - box.xMin);
        target.pitch = static_cast<int>(target.width);
        target.buffer = buffer;
        target.num_grays = 256;
        target.pixel_mode = FT_PIXEL_MODE_GRAY;
        if (rows > 0 && target.width > 0) FT_Outline_Get_Bitmap(library, outline, &target);
    }

    std::shared_ptr<const GlyphBitmap> Rasterise(FT_Outline* outline, const FT_BBox& box) {
        auto bitmap = std::make_shared<GlyphBitmap>();
        bitmap->left = static_cast<int>(box.xMin);
        bitmap->top = static_cast<int>(box.yMax);
        bitmap->width = static_cast<int>(box.xMax - box.xMin);
        bitmap->height = static_cast<int>(box.yMax - box.yMin);
        bitmap->coverage.assign(static_cast<std::size_t>(bitmap->width) * bitmap->height, 0);
        FT_Vector shift{0, 0};
        for (int first = 0; first < bitmap->height; first += kSliceRows)
            RenderRows(outline, box, shift, first, std::min(kSliceRows, bitmap->height - first),
                       bitmap->coverage.data() + static_cast<std::size_t>(first) * bitmap->width);
        return bitmap;
    }
};

namespace {

// A glyph rasterised a pixel per block, grown to the grid: each value fills its block, placed
// relative to the pen, which lies (alignX, alignY) into its block.
// A rasterised row grown to the grid: each value `block` times.
void WidenRow(const std::uint8_t* source, std::size_t width, int block, std::uint8_t* out) {
    if (block == 2) {
        for (std::size_t c = 0; c < width; ++c) out[2 * c] = out[2 * c + 1] = source[c];
    } else {
        for (std::size_t c = 0; c < width; ++c)
            for (int k = 0; k < block; ++k) out[c * block + k] = source[c];
    }
}

std::shared_ptr<const GlyphBitmap> Blocks(const GlyphBitmap& pixels, int block, int alignX, int alignY) {
    auto bitmap = std::make_shared<GlyphBitmap>();
    bitmap->left = pixels.left * block - alignX;
    bitmap->top = pixels.top * block + alignY;
    bitmap->width = pixels.width * block;
    bitmap->height = pixels.height * block;
    bitmap->coverage.resize(static_cast<std::size_t>(bitmap->width) * bitmap->height);
    for (int r = 0; r < pixels.height; ++r) {
        std::uint8_t* row = bitmap->coverage.data() + static_cast<std::size_t>(r) * block * bitmap->width;
        const std::uint8_t* source = pixels.coverage.data() + static_cast<std::size_t>(r) * pixels.width;
        WidenRow(source, static_cast<std::size_t>(pixels.width), block, row);
        for (int k = 1; k < block; ++k) std::memcpy(row + k * bitmap->width, row, static_cast<std::size_t>(bitmap->width));
    }
    return bitmap;
}

}  // namespace

GlyphCache::GlyphCache() : state_(std::make_unique<State>()) {
    if (FT_Init_FreeType(&state_->library) != 0) state_->library = nullptr;
}

GlyphCache::~GlyphCache() {
    state_->lru.clear();
    state_->index.clear();
    for (Face& face : state_->faces)
        if (face.ft) FT_Done_Face(face.ft);
    if (state_->library) FT_Done_FreeType(state_->library);
}

GlyphCache& GlyphCache::Shared() {
    // Never destroyed: faces may hold Qt fonts, which must not outlive the application object.
    static GlyphCache* cache = new GlyphCache;
    return *cache;
}

GlyphFont GlyphCache::FontOf(const QRawFont& raw, bool bold, bool italic) {
    std::lock_guard lock(state_->mutex);
    GlyphFont font;
    font.face = state_->FaceOf(raw);
    font.pixelSize = std::max(1, static_cast<int>(std::lround(raw.pixelSize())));
    const Face& face = state_->faces[font.face];
    font.embolden = bold && !face.bold;
    font.oblique = italic && !face.italic;
    return font;
}

void GlyphCache::Composite(const GlyphFont& font, std::uint32_t glyph, std::int64_t penX, int phaseX,
                           std::int64_t penY, int phaseY, std::uint8_t* tile, int stride, std::int64_t tileX,
                           std::int64_t tileY, int tileWidth, int tileHeight) {
    if (font.face < 0) return;
    // Where the pen lies within its block; the glyph is rasterised from the block's corner.
    const int block = std::max(1, font.block);
    const int alignX = static_cast<int>(((penX % block) + block) % block);
    const int alignY = static_cast<int>(((penY % block) + block) % block);
    const Key key{font.face, font.pixelSize, glyph,
                  static_cast<std::uint32_t>(font.embolden | font.oblique << 1 | phaseX << 2 | phaseY << 4 |
                                             alignX << 6 | alignY << 9 | block << 12)};
    std::shared_ptr<const GlyphBitmap> bitmap;
    {
        State& s = *state_;
        std::lock_guard lock(s.mutex);
        const auto found = s.index.find(key);
        if (found != s.index.end()) {
            s.lru.splice(s.lru.begin(), s.lru, found->second);
            bitmap = found->second->bitmap;
        } else {
            Outline& outline = s.scratch;
            if (!s.LoadOutline(font, glyph, phaseX, phaseY, alignX, alignY, outline)) {
                bitmap = std::make_shared<GlyphBitmap>();
            } else {
                const FT_BBox box = State::PixelBox(outline.box);
                const std::int64_t w = box.xMax - box.xMin, h = box.yMax - box.yMin;
                if (w * block <= kLargestSide && h * block <= kLargestSide &&
                    static_cast<std::size_t>(w * h * block * block) <= s.limit / kLargestShare) {
                    bitmap = s.Rasterise(outline.outline, box);
                    if (block > 1) bitmap = Blocks(*bitmap, block, alignX, alignY);
                } else {
                    // Too large to keep: the slices that reach into this tile, straight from
                    // the outline. Rows and columns here are the rasterised ones; each fills a
                    // block of the grid.
                    const std::int64_t left = penX - tileX + box.xMin * block - alignX;
                    const std::int64_t top = penY - tileY - box.yMax * block + alignY;
                    const std::int64_t c0 = std::max<std::int64_t>(0, left), c1 = std::min<std::int64_t>(tileWidth, left + w * block);
                    const std::int64_t r0 = std::max<std::int64_t>(0, top), r1 = std::min<std::int64_t>(tileHeight, top + h * block);
                    if (c0 >= c1 || r0 >= r1) return;
                    std::vector<std::uint8_t> part(static_cast<std::size_t>(w) * kSliceRows);
                    std::vector<std::uint8_t> wide(block > 1 ? static_cast<std::size_t>(w * block) : 0);
                    FT_Vector shift{0, 0};
                    for (std::int64_t first = (r0 - top) / block / kSliceRows * kSliceRows; top + first * block < r1;
                         first += kSliceRows) {
                        const int rows = static_cast<int>(std::min<std::int64_t>(kSliceRows, h - first));
                        std::fill(part.begin(), part.end(), 0);
                        s.RenderRows(outline.outline, box, shift, first, rows, part.data());
                        const std::int64_t end = std::min(r1, top + (first + rows) * block);
                        for (std::int64_t row = std::max(r0, top + first * block); row < end; ++row) {
                            const std::uint8_t* source = part.data() + ((row - top) / block - first) * w;
                            if (block > 1) {
                                WidenRow(source, static_cast<std::size_t>(w), block, wide.data());
                                source = wide.data();
                            }
                            AddRow(tile + row * stride + c0, source + (c0 - left), static_cast<int>(c1 - c0));
                        }
                    }
                    return;
                }
            }
            const std::size_t bytes = bitmap->coverage.size() + kEntryOverhead;
            if (bytes <= s.limit) {
                s.lru.push_front({key, bitmap, bytes});
                s.index[key] = s.lru.begin();
                s.bytes += bytes;
                s.Evict();
                s.peak = std::max(s.peak, s.bytes);
            }
        }
    }
    if (bitmap->width == 0 || bitmap->height == 0) return;
    const std::int64_t left = penX - tileX + bitmap->left, top = penY - tileY - bitmap->top;
    const std::int64_t x0 = std::max<std::int64_t>(0, left), x1 = std::min<std::int64_t>(tileWidth, left + bitmap->width);
    const std::int64_t y0 = std::max<std::int64_t>(0, top), y1 = std::min<std::int64_t>(tileHeight, top + bitmap->height);
    if (x0 >= x1 || y0 >= y1) return;
    for (std::int64_t y = y0; y < y1; ++y)
        AddRow(tile + y * stride + x0, bitmap->coverage.data() + (y - top) * bitmap->width + (x0 - left),
               static_cast<int>(x1 - x0));
}

void GlyphCache::SetByteLimit(std::size_t bytes) {
    std::lock_guard lock(state_->mutex);
    state_->limit = bytes;
    state_->Evict();
}

std::size_t GlyphCache::ByteLimit() const {
    std::lock_guard lock(state_->mutex);
    return state_->limit;
}

std::size_t GlyphCache::Bytes() const {
    std::lock_guard lock(state_->mutex);
    return state_->bytes;
}

std::size_t GlyphCache::PeakBytes() const {
    std::lock_guard lock(state_->mutex);
    return state_->peak;
}

void GlyphCache::ResetPeak() {
    std::lock_guard lock(state_->mutex);
    state_->peak = state_->bytes;
}

std::size_t GlyphCache::Count() const {
    std::lock_guard lock(state_->mutex);
    return state_->lru.size();
}

void GlyphCache::Clear() {
    std::lock_guard lock(state_->mutex);
    state_->lru.clear();
    state_->index.clear();
    state_->bytes = 0;
}

}  // namespace zl
