#pragma once
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <cstdlib>
#include <functional>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/scratchdir.h"

namespace zl::testing {

// Of each process in /proc: its id, state, parent and process group.
struct ProcessEntry {
    long pid = 0;
    char state = 0;
    long parent = 0, group = 0;
};
inline std::vector<ProcessEntry> Processes() {
    std::vector<ProcessEntry> out;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        const size_t name = line.rfind(')');
        if (name == std::string::npos) continue;
        std::istringstream rest(line.substr(name + 1));
        ProcessEntry p;
        p.pid = std::atol(entry.path().filename().c_str());
        rest >> p.state >> p.parent >> p.group;
        out.push_back(p);
    }
    return out;
}

// Processes of a process group that have not ended (zombies count as ended).
inline int LiveInGroup(long group) {
    int live = 0;
    for (const ProcessEntry& p : Processes())
        if (p.group == group && p.state != 'Z' && p.state != 'X') ++live;
    return live;
}

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
