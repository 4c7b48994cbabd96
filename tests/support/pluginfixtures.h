#pragma once
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <cstdlib>
#include <functional>
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

// Runs the event loop until `done` holds: module calls return from a real host process. The cap
// only stops a broken test from hanging; nothing is timed by it.
inline bool WaitUntil(const std::function<bool()>& done, int capMs = 30000) {
    QDeadlineTimer cap(capMs);
    while (!done()) {
        if (cap.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

}  // namespace zl::testing
