#include "aatext/contourorder.h"

#include <algorithm>
#include <numeric>

namespace zl {

void OwnedOutline::Attach(int flags) {
    outline.n_points = static_cast<short>(points.size());
    outline.n_contours = static_cast<short>(contours.size());
    outline.points = points.data();
    outline.tags = tags.data();
    outline.contours = contours.data();
    outline.flags = flags;
}

bool OrderContoursRightToLeft(const FT_Outline& in, OwnedOutline& out) {
    const int count = in.n_contours;
    if (count < 2 || in.n_points <= 0) return false;
    thread_local std::vector<FT_Pos> left;
    thread_local std::vector<int> order;
    left.resize(static_cast<size_t>(count));
    bool sorted = true;
    for (int c = 0, first = 0; c < count; first = in.contours[c] + 1, ++c) {
        const int last = in.contours[c];
        if (last < first || last >= in.n_points) return false;  // not ours to mend; FreeType says why
        FT_Pos x = in.points[first].x;
        for (int p = first + 1; p <= last; ++p) x = std::min(x, in.points[p].x);
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
