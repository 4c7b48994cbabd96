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
        FT_Pos left = in.points[first].x;
        double area = 0;  // twice the signed area of the polygon of the points, y up
        int top = -1, bottom = -1;
        for (int p = first; p <= last; ++p) {
            const FT_Vector v = in.points[p], next = in.points[p == last ? first : p + 1];
            left = std::min(left, v.x);
            box.xMax = std::max(box.xMax, v.x);
            box.yMin = std::min(box.yMin, v.y);
            box.yMax = std::max(box.yMax, v.y);
            area += static_cast<double>(v.x) * next.y - static_cast<double>(next.x) * v.y;
            if (FT_CURVE_TAG(in.tags[p]) != FT_CURVE_TAG_ON) continue;
            const FT_Vector* t = top < 0 ? nullptr : &in.points[top];
            const FT_Vector* b = bottom < 0 ? nullptr : &in.points[bottom];
            if (!t || v.y > t->y || (v.y == t->y && v.x < t->x)) top = p;
            if (!b || v.y < b->y || (v.y == b->y && v.x < b->x)) bottom = p;
        }
        box.xMin = std::min(box.xMin, left);
        // A contour with no point on the curve keeps its start: FreeType finds one of its own.
        const int start = top < 0 ? first : area < 0 ? top : bottom;
        contours.push_back({left, first, last - first + 1, start});
    }
    std::stable_sort(contours.begin(), contours.end(), [](const Contour& a, const Contour& b) { return a.left > b.left; });
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
