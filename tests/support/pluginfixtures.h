#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/scratchdir.h"

namespace zl::testing {

inline std::filesystem::path FixtureFolder(const char* folder) {
    return std::filesystem::path(ZORLED_PLUGIN_FIXTURES) / folder;
}

// The calls the fixture libraries log, "<library file> <event>" per line, for one test.
class FixtureCalls {
public:
    explicit FixtureCalls(const ScratchDir& scratch) : path_(scratch / "calls.log") {
        ::setenv("ZORLED_FIXTURE_LOG", path_.c_str(), 1);
    }
    ~FixtureCalls() { ::unsetenv("ZORLED_FIXTURE_LOG"); }
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::ifstream in(path_);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    void Clear() const { std::filesystem::remove(path_); }

private:
    std::filesystem::path path_;
};

}  // namespace zl::testing
