// Contours handed to FreeType right to left, each from another start: the coverage of every
// glyph must stay FreeType's own to the byte, synthetic bold and slant included, where contours
// overlap; the box found on the way is FreeType's control box.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "aatext/contourorder.h"
#include "testsupport.h"
#include FT_OUTLINE_H

namespace zl {
namespace {

std::vector<unsigned char> Coverage(FT_Library library, FT_Outline& outline, const FT_BBox& box) {
    const int width = static_cast<int>(box.xMax - box.xMin), rows = static_cast<int>(box.yMax - box.yMin);
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * rows);
    FT_Bitmap target{};
    target.rows = static_cast<unsigned>(rows);
    target.width = static_cast<unsigned>(width);
    target.pitch = width;
    target.buffer = pixels.data();
    target.num_grays = 256;
    target.pixel_mode = FT_PIXEL_MODE_GRAY;
    FT_Outline_Translate(&outline, -box.xMin * 64, -box.yMin * 64);
    EXPECT_EQ(FT_Outline_Get_Bitmap(library, &outline, &target), 0);
    FT_Outline_Translate(&outline, box.xMin * 64, box.yMin * 64);
    return pixels;
}

TEST(ContourOrder, CoverageStaysFreeTypesOwnToTheByte) {
    FT_Library library;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    const struct {
        const char* family;
        int pixelSize;
        bool embolden, oblique;
    } cases[] = {{"AR PL UMing CN", 72, false, false}, {"AR PL UMing CN", 66, true, true},
                 {"WenQuanYi Zen Hei", 96, false, false}, {"WenQuanYi Zen Hei", 48, true, false},
                 {"AR PL UKai CN", 72, false, true}, {"DejaVu Sans", 88, true, true}};
    int reordered = 0;
    for (const auto& c : cases) {
        int index = 0;
        const std::string file = test::FontFileOf(c.family, &index);
        FT_Face face = nullptr;
        ASSERT_EQ(FT_New_Face(library, file.c_str(), index, &face), 0) << c.family;
        ASSERT_EQ(FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(c.pixelSize)), 0);
        OwnedOutline ordered;
        for (FT_UInt glyph = 1; glyph < static_cast<FT_UInt>(face->num_glyphs); glyph += 97) {
            if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_BITMAP | FT_LOAD_NO_HINTING) != 0 ||
                face->glyph->format != FT_GLYPH_FORMAT_OUTLINE || face->glyph->outline.n_points == 0)
                continue;
            FT_Outline& outline = face->glyph->outline;
            if (c.embolden) FT_Outline_EmboldenXY(&outline, c.pixelSize * 64 / 24, c.pixelSize * 64 / 24);
            if (c.oblique) {
                FT_Matrix shear = {0x10000, 0x0366A, 0, 0x10000};
                FT_Outline_Transform(&outline, &shear);
            }
            FT_BBox box, expected;
            FT_Outline_Get_CBox(&outline, &expected);
            SCOPED_TRACE(testing::Message() << c.family << " " << c.pixelSize << " px, glyph " << glyph);
            ASSERT_TRUE(OrderContoursForRaster(outline, ordered, box));
            ASSERT_TRUE(box.xMin == expected.xMin && box.yMin == expected.yMin && box.xMax == expected.xMax &&
                        box.yMax == expected.yMax);
            reordered += !std::equal(outline.points, outline.points + outline.n_points, ordered.outline.points,
                                     [](const FT_Vector& a, const FT_Vector& b) { return a.x == b.x && a.y == b.y; });
            box = {box.xMin >> 6, box.yMin >> 6, (box.xMax + 63) >> 6, (box.yMax + 63) >> 6};
            ASSERT_EQ(ordered.outline.n_points, outline.n_points);
            ASSERT_EQ(ordered.outline.n_contours, outline.n_contours);
            FT_Pos previous = 0;
            for (int k = 0, first = 0; k < ordered.outline.n_contours; first = ordered.outline.contours[k++] + 1) {
                FT_Pos left = ordered.outline.points[first].x;
                for (int p = first; p <= ordered.outline.contours[k]; ++p) left = std::min(left, ordered.outline.points[p].x);
                if (k > 0) {
                    ASSERT_LE(left, previous) << "contour " << k;
                }
                previous = left;
            }
            const std::vector<unsigned char> mine = Coverage(library, ordered.outline, box);
            const std::vector<unsigned char> own = Coverage(library, outline, box);
            ASSERT_EQ(std::mismatch(mine.begin(), mine.end(), own.begin()).first - mine.begin(),
                      static_cast<std::ptrdiff_t>(mine.size()))
                << "first byte that differs";
        }
        FT_Done_Face(face);
    }
    EXPECT_GT(reordered, 1000);
    FT_Done_FreeType(library);
}

}  // namespace
}  // namespace zl
