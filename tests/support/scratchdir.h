#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace zl::testing {

// A fresh folder per test, named after it, removed afterwards (also when made read-only).
class ScratchDir {
public:
    explicit ScratchDir(const std::string& prefix) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                (prefix + "-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" + info->name());
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// The first line where two texts differ, both versions, so a mismatch reads at a glance.
inline std::string FirstDifference(const std::string& expected, const std::string& actual) {
    size_t start = 0;
    for (int line = 1;; ++line) {
        const size_t ea = expected.find('\n', start), eb = actual.find('\n', start);
        const std::string la = expected.substr(start, ea == std::string::npos ? std::string::npos : ea - start);
        const std::string lb = actual.substr(start, eb == std::string::npos ? std::string::npos : eb - start);
        if (la != lb) return "line " + std::to_string(line) + "\n  expected: " + la + "\n  actual:   " + lb;
        if (ea == std::string::npos || eb == std::string::npos) return {};
        start = ea + 1;
    }
}

}  // namespace zl::testing
