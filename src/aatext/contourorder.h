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
// it from the left for every cell a contour enters, so contours drawn right to left walk past
// fewer cells. Each contour's cells add up the same whatever the order, so the coverage stays
// the same to the byte. Copies `in` into `out` with its contours by falling left edge; false,
// leaving `out` alone, when they are in that order already. Either way `box` is the control box
// of `in`, as FT_Outline_Get_CBox gives it, found on the way.
bool OrderContoursRightToLeft(const FT_Outline& in, OwnedOutline& out, FT_BBox& box);

}  // namespace zl
