#include "aatext/contourorder.h"

#include <algorithm>

#include FT_OUTLINE_H

namespace zl {

void OwnedOutline::Attach(int flags) {
    outline.n_points = static_cast<short>(points.size());
    outline.n_contours = static_cast<short>(contours.size());
    outline.points = points.data();
    outline.tags = tags.data();
    outline.contours = contours.data();
    outline.flags = flags;
}

bool OrderContoursForRaster(const FT_Outline& in, OwnedOutline& out, FT_BBox& box) {
    const int count = in.n_contours;
    bool valid = count > 0 && in.n_points > 0 && in.contours[count - 1] == in.n_points - 1;
    for (int c = 0; valid && c < count; ++c) valid = in.contours[c] >= (c == 0 ? 0 : in.contours[c - 1] + 1);
    if (!valid) {
        FT_Outline_Get_CBox(&in, &box);
        return false;
    }
    struct Contour {
        FT_Pos left;
        int first, size, start;
    };
    thread_local std::vector<Contour> contours;
    contours.clear();
    box = {in.points[0].x, in.points[0].y, in.points[0].x, in.points[0].y};
    for (int c = 0, first = 0; c < count; first = in.contours[c] + 1, ++c) {
        const int last = in.contours[c];
        FT_Pos left = in.points[first].x, right = left, low = in.points[first].y, high = low;
        // Twice the signed area of the polygon of the points, y up.
        FT_Pos area = in.points[last].x * in.points[first].y - in.points[first].x * in.points[last].y;
        // The highest and the lowest point on the curve, the leftmost of a row.
        int top = -1, bottom = -1;
        FT_Vector topPoint{0, 0}, bottomPoint{0, 0};
        for (int p = first; p <= last; ++p) {
            const FT_Vector v = in.points[p];
            left = std::min(left, v.x);
            right = std::max(right, v.x);
            low = std::min(low, v.y);
            high = std::max(high, v.y);
            if (p < last) area += v.x * in.points[p + 1].y - in.points[p + 1].x * v.y;
            if (FT_CURVE_TAG(in.tags[p]) != FT_CURVE_TAG_ON) continue;
            if (top < 0 || v.y > topPoint.y || (v.y == topPoint.y && v.x < topPoint.x)) {
                top = p;
                topPoint = v;
            }
            if (bottom < 0 || v.y < bottomPoint.y || (v.y == bottomPoint.y && v.x < bottomPoint.x)) {
                bottom = p;
                bottomPoint = v;
            }
        }
        box = {std::min(box.xMin, left), std::min(box.yMin, low), std::max(box.xMax, right), std::max(box.yMax, high)};
        // A contour with no point on the curve keeps its start: FreeType finds one of its own.
        const int start = top < 0 ? first : area < 0 ? top : bottom;
        contours.push_back({left, first, last - first + 1, start});
    }
    std::sort(contours.begin(), contours.end(), [](const Contour& a, const Contour& b) {
        return a.left != b.left ? a.left > b.left : a.first < b.first;
    });
    out.points.resize(static_cast<size_t>(in.n_points));
    out.tags.resize(static_cast<size_t>(in.n_points));
    out.contours.resize(static_cast<size_t>(count));
    int next = 0;
    for (int i = 0; i < count; ++i) {
        const Contour& c = contours[static_cast<size_t>(i)];
        // The points from the start to the end, then those before the start.
        const int head = c.first + c.size - c.start;
        std::copy_n(in.points + c.start, head, out.points.begin() + next);
        std::copy_n(in.tags + c.start, head, out.tags.begin() + next);
        std::copy_n(in.points + c.first, c.size - head, out.points.begin() + next + head);
        std::copy_n(in.tags + c.first, c.size - head, out.tags.begin() + next + head);
        next += c.size;
        out.contours[static_cast<size_t>(i)] = static_cast<short>(next - 1);
    }
    out.Attach(in.flags);
    return true;
}

}  // namespace zl
