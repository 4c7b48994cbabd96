#pragma once
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

namespace zl {

// An outline whose points this object owns.
struct OwnedOutline {
    std::vector<FT_Vector> points;
    std::vector<char> tags;
    std::vector<short> contours;
    FT_Outline outline{};

    // Points `outline` at the vectors after they have been filled.
    void Attach(int flags);
};

// FreeType's anti-aliasing rasteriser keeps the cells of each row in a list sorted by x and walks
// it from the left for every cell a contour enters, so cells entered right to left walk past few.
// Copies `in` into `out` with its contours by falling left edge, each starting where its right
// side comes first: a clockwise contour at its highest point on the curve, an anticlockwise one
// at its lowest. The segments stay the same and each cell's sums do not depend on their order,
// so the coverage stays the same to the byte. `box` is the control box of `in`, as
// FT_Outline_Get_CBox gives it, found on the way; false, leaving `out` alone, for an outline
// whose contours do not add up (FreeType says what is wrong when it renders it).
bool OrderContoursForRaster(const FT_Outline& in, OwnedOutline& out, FT_BBox& box);

}  // namespace zl
