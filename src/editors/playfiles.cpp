#include "editors/playfiles.h"

#include "core/home.h"

namespace zl {

std::filesystem::path ResolveCase(const std::filesystem::path& path) {
    return FindFileCaseInsensitive(path).value_or(path);
}

std::filesystem::path PlayListPath() { return PageDefDir() / "PlayList.PLN"; }
std::filesystem::path SelectListPath() { return PageDefDir() / "SelectList.PLN"; }

std::filesystem::path PlanFilePath(const std::string& plan) { return PageDefDir() / StoredPath(plan + ".LED"); }
std::filesystem::path PageFilePath(const std::string& page) { return PageDefDir() / StoredPath(page + ".DFM"); }

}  // namespace zl
