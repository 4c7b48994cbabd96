#pragma once
#include <filesystem>
#include <optional>

#include "core/textlist.h"

namespace zl {

// Where play was: the selected plans and the index of the page on screen in the page list they
// make. Kept in "<home>/resume.txt" (the index on the first line, then one plan a line, GBK as the
// lists are) so that a restart after a crash or a kill goes on at that page.
struct ResumePoint {
    StringList selection;
    int pageIndex = 0;
    bool operator==(const ResumePoint&) const = default;
};

std::filesystem::path ResumePointPath(const std::filesystem::path& home);
// Atomic: a kill during the write leaves the previous record. Fails like WriteFileAtomic.
void WriteResumePoint(const std::filesystem::path& home, const ResumePoint& point);
// Nothing when there is no record or it cannot be read.
std::optional<ResumePoint> ReadResumePoint(const std::filesystem::path& home);

}  // namespace zl
