#include "aatext/contourorder.h"

#include <algorithm>
#include <numeric>

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

bool OrderContoursRightToLeft(const FT_Outline& in, OwnedOutline& out, FT_BBox& box) {
    const int count = in.n_contours;
    bool valid = count > 0 && in.n_points > 0 && in.contours[count - 1] == in.n_points - 1;
    for (int c = 0; valid && c < count; ++c) valid = in.contours[c] >= (c == 0 ? 0 : in.contours[c - 1] + 1);
    if (!valid) {  // not ours to mend: FreeType says what is wrong when it renders
        FT_Outline_Get_CBox(&in, &box);
        return false;
    }
    thread_local std::vector<FT_Pos> left;
    thread_local std::vector<int> order;
    left.resize(static_cast<size_t>(count));
    bool sorted = true;
    box = {in.points[0].x, in.points[0].y, in.points[0].x, in.points[0].y};
    for (int c = 0, first = 0; c < count; first = in.contours[c] + 1, ++c) {
        FT_Pos x = in.points[first].x;
        for (int p = first; p <= in.contours[c]; ++p) {
            const FT_Vector v = in.points[p];
            x = std::min(x, v.x);
            box.xMax = std::max(box.xMax, v.x);
            box.yMin = std::min(box.yMin, v.y);
            box.yMax = std::max(box.yMax, v.y);
        }
        box.xMin = std::min(box.xMin, x);
        left[static_cast<size_t>(c)] = x;
        sorted = sorted && (c == 0 || left[static_cast<size_t>(c) - 1] >= x);
    }
    if (sorted) return false;
    order.resize(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [](int a, int b) { return left[a] > left[b]; });
    out.points.resize(static_cast<size_t>(in.n_points));
    out.tags.resize(static_cast<size_t>(in.n_points));
    out.contours.resize(static_cast<size_t>(count));
    int next = 0;
    for (int i = 0; i < count; ++i) {
        const int c = order[static_cast<size_t>(i)];
        const int first = c == 0 ? 0 : in.contours[c - 1] + 1, size = in.contours[c] - first + 1;
        std::copy_n(in.points + first, size, out.points.begin() + next);
        std::copy_n(in.tags + first, size, out.tags.begin() + next);
        next += size;
        out.contours[static_cast<size_t>(i)] = static_cast<short>(next - 1);
    }
    out.Attach(in.flags);
    return true;
}

}  // namespace zl
