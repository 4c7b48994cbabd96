#include "core/playlog.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <vector>

namespace zl {

namespace {

std::string Clean(std::string_view field) {
    std::string text(field);
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return text;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t')) fields.push_back(field);
    return fields;
}

}  // namespace

std::string LocalDay(LocalMs when) {
    using namespace std::chrono;
    const year_month_day day{sys_days{days{when >= 0 ? when / kMsPerDay : (when - kMsPerDay + 1) / kMsPerDay}}};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(day.year()), static_cast<unsigned>(day.month()),
                  static_cast<unsigned>(day.day()));
    return text;
}

std::string LocalSecond(LocalMs when) {
    const std::int64_t ofDay = ((when % kMsPerDay) + kMsPerDay) % kMsPerDay / 1000;
    char text[16];
    std::snprintf(text, sizeof text, " %02d:%02d:%02d", static_cast<int>(ofDay / 3600), static_cast<int>(ofDay / 60 % 60),
                  static_cast<int>(ofDay % 60));
    return LocalDay(when) + text;
}

PlayLog::PlayLog(std::filesystem::path home) : home_(std::move(home)) {}

std::filesystem::path PlayLog::DayFile(const std::filesystem::path& home, LocalMs when) {
    return home / "log" / ("play-" + LocalDay(when) + ".log");
}

void PlayLog::Event(LocalMs when, std::string_view kind, std::initializer_list<std::string_view> fields) {
    try {
        std::string line = LocalSecond(when) + "\t" + std::string(kind);
        for (std::string_view f : fields) line += "\t" + Clean(f);
        line += "\n";
        std::error_code ec;
        std::filesystem::create_directories(home_ / "log", ec);
        // One write of a whole line in append mode, so lines of a crash stay whole.
        if (std::FILE* file = std::fopen(DayFile(home_, when).c_str(), "ae")) {
            std::fwrite(line.data(), 1, line.size(), file);
            std::fclose(file);
        }
    } catch (...) {
    }
}

void PlayLog::PageStarted(LocalMs when, std::string_view plan, std::string_view page) {
    PageEnded(when);
    pageOpen_ = true;
    dark_ = false;
    pageStart_ = when;
    plan_ = plan;
    page_ = page;
}

void PlayLog::PageEnded(LocalMs now) {
    if (!pageOpen_) return;
    pageOpen_ = false;
    const std::string seconds = std::to_string(std::max<LocalMs>(0, now - pageStart_) / 1000);
    if (dark_)
        Event(pageStart_, "dark-time", {seconds});
    else
        Event(pageStart_, "page", {plan_, page_, seconds});
}

void PlayLog::DarkStarted(LocalMs when, std::string_view until) {
    PageEnded(when);
    Event(when, "dark", {until});
    pageOpen_ = true;
    dark_ = true;
    pageStart_ = when;
}

void PlayLog::RemoveOld(LocalMs now, int days) {
    static const std::regex name(R"(play-(\d{4}-\d{2}-\d{2})\.log)");
    const std::string oldest = LocalDay(now - static_cast<LocalMs>(days) * kMsPerDay);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(home_ / "log", ec)) {
        std::smatch m;
        const std::string file = entry.path().filename().string();
        if (std::regex_match(file, m, name) && m[1].str() < oldest) std::filesystem::remove(entry.path(), ec);
    }
}

PlaySums SumPlayLog(const std::filesystem::path& home, const std::string& from, const std::string& to) {
    static const std::regex name(R"(play-(\d{4}-\d{2}-\d{2})\.log)");
    PlaySums sums;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(home / "log", ec)) {
        std::smatch m;
        const std::string file = entry.path().filename().string();
        if (!std::regex_match(file, m, name)) continue;
        std::ifstream in(entry.path());
        for (std::string line; std::getline(in, line);) {
            const auto f = SplitTabs(line);
            const bool page = f.size() == 5 && f[1] == "page";
            if ((!page && (f.size() != 3 || f[1] != "dark-time")) || f[0].size() < 10) continue;
            const std::string day = f[0].substr(0, 10);
            if ((!from.empty() && day < from) || (!to.empty() && day > to)) continue;
            const std::string& seconds = f.back();
            if (seconds.empty() || seconds.size() > 12 || seconds.find_first_not_of("0123456789") != std::string::npos)
                continue;
            sums[page ? std::tuple(day, f[2], f[3]) : std::tuple(day, std::string(), std::string())] += std::stoll(seconds);
        }
    }
    return sums;
}

}  // namespace zl
