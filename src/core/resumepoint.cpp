#include "core/resumepoint.h"

#include <charconv>

#include "core/atomicfile.h"

namespace zl {

std::filesystem::path ResumePointPath(const std::filesystem::path& home) { return home / "resume.txt"; }

void WriteResumePoint(const std::filesystem::path& home, const ResumePoint& point) {
    std::string first = std::to_string(point.pageIndex);
    if (!point.plan.empty() || !point.page.empty()) first += '\t' + point.plan + '\t' + point.page;
    StringList lines{first};
    lines.insert(lines.end(), point.selection.begin(), point.selection.end());
    WriteFileAtomic(ResumePointPath(home), FormatTextList(lines));
}

std::optional<ResumePoint> ReadResumePoint(const std::filesystem::path& home) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(ResumePointPath(home), ec)) return std::nullopt;
    try {
        StringList lines = ParseTextList(ReadWholeFile(ResumePointPath(home)));
        if (lines.empty()) return std::nullopt;
        ResumePoint point;
        std::string first = lines.front();
        if (const size_t tab = first.find('\t'); tab != std::string::npos) {
            // Index, plan, page: a tab typed into a plan name stays in the plan.
            const size_t last = first.rfind('\t');
            if (last == tab) return std::nullopt;
            point.plan = first.substr(tab + 1, last - tab - 1);
            point.page = first.substr(last + 1);
            first.erase(tab);
        }
        const auto [end, error] = std::from_chars(first.data(), first.data() + first.size(), point.pageIndex);
        if (error != std::errc() || end != first.data() + first.size() || point.pageIndex < 0) return std::nullopt;
        point.selection.assign(lines.begin() + 1, lines.end());
        return point;
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace zl
