#include "core/playlog.h"

#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
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
    std::string line = LocalSecond(when) + "\t" + std::string(kind);
    for (std::string_view f : fields) line += "\t" + Clean(f);
    line += "\n";
    Append(when, line);
}

bool PlayLog::Append(LocalMs when, const std::string& line) {
    std::string why;
    try {
        const std::filesystem::path file = DayFile(home_, when);
        std::error_code ec;
        std::filesystem::create_directories(home_ / "log", ec);
        // One write of a whole line in append mode, so lines of a crash stay whole.
        std::FILE* out = std::fopen(file.c_str(), "ae");
        bool written = out && std::fwrite(line.data(), 1, line.size(), out) == line.size();
        if (!written) why = file.string() + ": " + std::strerror(errno);
        if (out && std::fclose(out) != 0 && written) {
            written = false;
            why = file.string() + ": " + std::strerror(errno);
        }
        if (written) {
            failing_ = false;
            return true;
        }
    } catch (const std::exception& e) {
        why = e.what();
    }
    if (!failing_ && writeFailed_) writeFailed_(why);
    failing_ = true;
    return false;
}

void PlayLog::PageStarted(LocalMs when, std::string_view plan, std::string_view page) {
    PageEnded(when);
    pageOpen_ = true;
    dark_ = false;
    pageStart_ = when;
    plan_ = plan;
    page_ = page;
    Event(pageStart_, "showing", {plan_, page_});
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

void PlayLog::Heartbeat(LocalMs now) {
    if (!pageOpen_ || dark_) return;
    const std::string seconds = std::to_string(std::max<LocalMs>(0, now - pageStart_) / 1000);
    Event(pageStart_, "on", {plan_, page_, seconds});
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

bool ValidDay(const std::string& day) {
    static const std::regex form(R"(\d{4}-\d{2}-\d{2})");
    if (!std::regex_match(day, form)) return false;
    using namespace std::chrono;
    const year_month_day date{year{std::stoi(day.substr(0, 4))}, month{static_cast<unsigned>(std::stoi(day.substr(5, 2)))},
                              std::chrono::day{static_cast<unsigned>(std::stoi(day.substr(8, 2)))}};
    return date.ok();
}

PlaySums SumPlayLog(const std::filesystem::path& home, const std::string& from, const std::string& to) {
    static const std::regex name(R"(play-(\d{4}-\d{2}-\d{2})\.log)");
    // One showing of a page: its seconds so far, and whether its end was written.
    struct Showing {
        long long seconds = 0;
        bool ended = false;
    };
    PlaySums sums;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(home / "log", ec)) {
        std::smatch m;
        const std::string file = entry.path().filename().string();
        if (!std::regex_match(file, m, name)) continue;
        std::ifstream in(entry.path());
        // Keyed by the time the page came on screen, which all three of its lines carry.
        std::map<std::tuple<std::string, std::string, std::string>, std::vector<Showing>> showings;
        for (std::string line; std::getline(in, line);) {
            const auto f = SplitTabs(line);
            const bool page = f.size() == 5 && f[1] == "page", on = f.size() == 5 && f[1] == "on";
            const bool showing = f.size() == 4 && f[1] == "showing", dark = f.size() == 3 && f[1] == "dark-time";
            if ((!page && !on && !showing && !dark) || f[0].size() < 10) continue;
            const std::string day = f[0].substr(0, 10);
            if ((!from.empty() && day < from) || (!to.empty() && day > to)) continue;
            long long seconds = 0;
            if (!showing) {
                const std::string& n = f.back();
                if (n.empty() || n.size() > 12 || n.find_first_not_of("0123456789") != std::string::npos) continue;
                seconds = std::stoll(n);
            }
            if (dark) {
                sums[{day, std::string(), std::string()}] += seconds;
                continue;
            }
            auto& list = showings[{f[0], f[2], f[3]}];
            // A line of a page already ended opens another showing (a log without showing lines).
            if (showing || list.empty() || list.back().ended) list.push_back({});
            Showing& s = list.back();
            if (page) s = {seconds, true};
            if (on) s.seconds = std::max(s.seconds, seconds);
        }
        for (const auto& [key, list] : showings)
            for (const Showing& s : list) sums[{std::get<0>(key).substr(0, 10), std::get<1>(key), std::get<2>(key)}] += s.seconds;
    }
    return sums;
}

}  // namespace zl
