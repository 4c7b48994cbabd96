#pragma once
#include <filesystem>
#include <optional>
#include <string>

#include "core/textlist.h"

namespace zl {

// Where play was: the selected plans, the index of the page on screen in the page list they
// made, and that page's plan and name. Kept in "<home>/resume.txt" (the index, the plan and the
// page on the first line, tab-separated, then one plan a line, GBK as the lists are) so that a
// restart after a crash or a kill goes on at that page, even when the schedule has put other
// plans on since. Records of older versions hold only the index; plan and page are then empty.
struct ResumePoint {
    StringList selection;
    int pageIndex = 0;
    std::string plan;
    std::string page;
    bool operator==(const ResumePoint&) const = default;
};

std::filesystem::path ResumePointPath(const std::filesystem::path& home);
// Atomic: a kill during the write leaves the previous record. Fails like WriteFileAtomic.
void WriteResumePoint(const std::filesystem::path& home, const ResumePoint& point);
// Nothing when there is no record or it cannot be read.
std::optional<ResumePoint> ReadResumePoint(const std::filesystem::path& home);

}  // namespace zl
