#include "core/schedule.h"

#include <algorithm>
#include <cstdio>

#include "core/atomicfile.h"
#include "core/home.h"
#include "core/playlog.h"

namespace zl {

namespace {

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

bool Digits(const std::string& text, size_t from, size_t count) {
    if (from + count > text.size()) return false;
    for (size_t i = from; i < from + count; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

int Number(const std::string& text, size_t from, size_t count) { return std::stoi(text.substr(from, count)); }

// "HH:MM" as minutes; 24:00 only where `allowMidnightEnd`.
std::optional<int> ParseTime(const std::string& text, bool allowMidnightEnd) {
    if (text.size() != 5 || !Digits(text, 0, 2) || text[2] != ':' || !Digits(text, 3, 2)) return std::nullopt;
    const int hour = Number(text, 0, 2);
    const int minute = Number(text, 3, 2);
    if (hour == 24 && minute == 0 && allowMidnightEnd) return 1440;
    if (hour > 23 || minute > 59) return std::nullopt;
    return hour * 60 + minute;
}

std::optional<std::int64_t> ParseDate(const std::string& text) {
    if (text.size() != 10 || !Digits(text, 0, 4) || text[4] != '-' || !Digits(text, 5, 2) || text[7] != '-' ||
        !Digits(text, 8, 2))
        return std::nullopt;
    const int year = Number(text, 0, 4), month = Number(text, 5, 2), day = Number(text, 8, 2);
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1] || (month == 2 && day == 29 && !leap))
        return std::nullopt;
    return MakeLocalMs(year, month, day) / kMsPerDay;
}

std::optional<std::uint8_t> ParseDays(const std::string& text) {
    if (text == "*") return std::uint8_t{0x7F};
    std::uint8_t days = 0;
    size_t i = 0;
    while (true) {
        const size_t comma = text.find(',', i);
        const std::string item = text.substr(i, comma == std::string::npos ? std::string::npos : comma - i);
        int first, last;
        if (item.size() == 1 && Digits(item, 0, 1)) {
            first = last = item[0] - '0';
        } else if (item.size() == 3 && Digits(item, 0, 1) && item[1] == '-' && Digits(item, 2, 1)) {
            first = item[0] - '0';
            last = item[2] - '0';
        } else {
            return std::nullopt;
        }
        if (first < 1 || last > 7 || first > last) return std::nullopt;
        for (int d = first; d <= last; ++d) days |= static_cast<std::uint8_t>(1u << (d - 1));
        if (comma == std::string::npos) return days;
        i = comma + 1;
    }
}

std::string DateText(std::int64_t day) { return LocalDay(day * kMsPerDay); }

// 1 Monday … 7 Sunday of a day since 1970-01-01 (a Thursday).
int IsoWeekday(std::int64_t day) { return static_cast<int>(((day % 7) + 7 + 3) % 7) + 1; }

}  // namespace

std::int64_t LocalDayOf(LocalMs local) { return local >= 0 ? local / kMsPerDay : (local - kMsPerDay + 1) / kMsPerDay; }

bool IsScheduleComment(const std::string& line) {
    const size_t first = line.find_first_not_of(" \t");
    return first == std::string::npos || line[first] == ';';
}

std::optional<ScheduleWindow> ParseScheduleLine(const std::string& line, std::string& why) {
    const std::vector<std::string> words = Words(line);
    ScheduleWindow window;
    if (words.size() < 2) {
        why = "a window needs days and times, as in \"1-5 07:00-11:00\"";
        return std::nullopt;
    }
    const auto days = ParseDays(words[0]);
    if (!days) {
        why = "days \"" + words[0] + "\" are not * or weekdays 1 (Monday) to 7 (Sunday), as in 1-5 or 6,7";
        return std::nullopt;
    }
    window.days = *days;
    const std::string& times = words[1];
    const size_t dash = times.find('-');
    const auto start = dash == 5 ? ParseTime(times.substr(0, 5), false) : std::nullopt;
    const auto end = dash == 5 ? ParseTime(times.substr(6), true) : std::nullopt;
    if (!start || !end) {
        why = "times \"" + times + "\" are not HH:MM-HH:MM (00:00 to 23:59, an end may be 24:00)";
        return std::nullopt;
    }
    window.start = *start;
    window.end = *end;
    size_t i = 2;
    if (i < words.size() && words[i].find("..") != std::string::npos) {
        const std::string& range = words[i];
        const size_t dots = range.find("..");
        const auto first = ParseDate(range.substr(0, dots));
        const auto last = ParseDate(range.substr(dots + 2));
        if (!first || !last) {
            why = "dates \"" + range + "\" are not YYYY-MM-DD..YYYY-MM-DD";
            return std::nullopt;
        }
        if (*first > *last) {
            why = "dates \"" + range + "\" end before they begin";
            return std::nullopt;
        }
        window.firstDay = *first;
        window.lastDay = *last;
        ++i;
    }
    if (i < words.size() && words[i] == "priority") {
        const bool given = i + 1 < words.size();
        const std::string& value = given ? words[i + 1] : words[i];
        if (!given || value.size() > 2 || !Digits(value, 0, value.size())) {
            why = "priority needs a whole number from 0 to 99";
            return std::nullopt;
        }
        window.priority = std::stoi(value);
        i += 2;
    }
    if (i < words.size()) {
        why = "\"" + words[i] + "\" is not understood here";
        return std::nullopt;
    }
    return window;
}

Schedule ParseSchedule(const StringList& lines) {
    Schedule schedule;
    for (size_t n = 0; n < lines.size(); ++n) {
        if (IsScheduleComment(lines[n])) continue;
        std::string why;
        if (auto window = ParseScheduleLine(lines[n], why))
            schedule.windows.push_back(*window);
        else
            schedule.problems.push_back({static_cast<int>(n + 1), why, lines[n]});
    }
    return schedule;
}

std::string FormatScheduleWindow(const ScheduleWindow& window) {
    std::string days;
    if (window.days == 0x7F) {
        days = "*";
    } else {
        for (int d = 1; d <= 7;) {
            if (!(window.days & (1u << (d - 1)))) {
                ++d;
                continue;
            }
            int last = d;
            while (last < 7 && (window.days & (1u << last))) ++last;
            if (!days.empty()) days += ",";
            days += std::to_string(d);
            if (last > d) days += (last == d + 1 ? "," : "-") + std::to_string(last);
            d = last + 1;
        }
    }
    char times[48];
    std::snprintf(times, sizeof times, "%02d:%02d-%02d:%02d", window.start / 60, window.start % 60, window.end / 60,
                  window.end % 60);
    std::string line = days + " " + times;
    if (window.firstDay != INT64_MIN) line += " " + DateText(window.firstDay) + ".." + DateText(window.lastDay);
    if (window.priority != 1) line += " priority " + std::to_string(window.priority);
    return line;
}

void Occurrences(const ScheduleWindow& window, std::int64_t fromDay, std::int64_t toDay,
                 std::vector<Occurrence>& out) {
    for (std::int64_t day = std::max(fromDay, window.firstDay); day <= std::min(toDay, window.lastDay); ++day) {
        if (!(window.days & (1u << (IsoWeekday(day) - 1)))) continue;
        const std::int64_t endDay = window.end <= window.start ? day + 1 : day;
        const UtcMs start = UtcFromLocal(day * kMsPerDay + window.start * 60'000LL);
        const UtcMs end = UtcFromLocal(endDay * kMsPerDay + window.end * 60'000LL);
        // A window that lies wholly in a skipped hour does not happen.
        if (end > start) out.push_back({start, end, window.priority});
    }
}

std::optional<int> PriorityAt(const Schedule& schedule, UtcMs when) {
    const std::int64_t today = LocalDayOf(LocalFromUtc(when));
    std::vector<Occurrence> occurrences;
    std::optional<int> priority;
    for (const ScheduleWindow& window : schedule.windows) {
        occurrences.clear();
        // A window reaches at most into the day after it starts; a zone change a day more.
        Occurrences(window, today - 2, today, occurrences);
        for (const Occurrence& o : occurrences)
            if (o.start <= when && when < o.end && (!priority || o.priority > *priority)) priority = o.priority;
    }
    return priority;
}

bool PlaySchedule::Active() const {
    if (darkHours) return true;
    return std::any_of(plans.begin(), plans.end(), [](const ScheduledPlan& p) { return p.schedule.has_value(); });
}

ScheduleState PlaySchedule::StateAt(UtcMs when, bool awake) const {
    ScheduleState state;
    if (!awake && darkHours && PriorityAt(*darkHours, when)) {
        state.dark = true;
        return state;
    }
    std::vector<std::optional<int>> priorities;
    int best = -1;
    for (const ScheduledPlan& plan : plans) {
        priorities.push_back(plan.schedule ? PriorityAt(*plan.schedule, when) : std::optional<int>(0));
        if (priorities.back()) best = std::max(best, *priorities.back());
    }
    for (size_t i = 0; i < plans.size(); ++i)
        if (priorities[i] && *priorities[i] == best) state.plans.push_back(plans[i].name);
    if (awake && state.plans.empty())
        for (const ScheduledPlan& plan : plans) state.plans.push_back(plan.name);
    state.dark = state.plans.empty();
    return state;
}

namespace {

// Every instant from `from` to `to` at which a window opens or closes.
std::vector<UtcMs> Boundaries(const PlaySchedule& schedule, UtcMs from, UtcMs to) {
    const std::int64_t firstDay = LocalDayOf(LocalFromUtc(from)) - 2;
    const std::int64_t lastDay = LocalDayOf(LocalFromUtc(to)) + 1;
    std::vector<Occurrence> occurrences;
    const auto collect = [&](const Schedule& s) {
        for (const ScheduleWindow& w : s.windows) Occurrences(w, firstDay, lastDay, occurrences);
    };
    if (schedule.darkHours) collect(*schedule.darkHours);
    for (const ScheduledPlan& plan : schedule.plans)
        if (plan.schedule) collect(*plan.schedule);
    std::vector<UtcMs> out;
    for (const Occurrence& o : occurrences)
        for (UtcMs t : {o.start, o.end})
            if (t > from && t < to) out.push_back(t);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

}  // namespace

std::optional<UtcMs> PlaySchedule::NextChange(UtcMs when, int horizonDays) const {
    const ScheduleState now = StateAt(when);
    for (UtcMs t : Boundaries(*this, when, when + horizonDays * kMsPerDay))
        if (!(StateAt(t) == now)) return t;
    return std::nullopt;
}

std::vector<TimelineEntry> Timeline(const PlaySchedule& schedule, UtcMs from, UtcMs to) {
    std::vector<TimelineEntry> out;
    if (to <= from) return out;
    std::vector<UtcMs> cuts{from};
    for (UtcMs t : Boundaries(schedule, from, to)) cuts.push_back(t);
    cuts.push_back(to);
    for (size_t i = 0; i + 1 < cuts.size(); ++i) {
        ScheduleState state = schedule.StateAt(cuts[i]);
        if (!out.empty() && out.back().state == state)
            out.back().end = cuts[i + 1];
        else
            out.push_back({cuts[i], cuts[i + 1], std::move(state)});
    }
    return out;
}

std::filesystem::path ScheduleFilePath(const std::filesystem::path& pagedef, const std::string& plan) {
    return pagedef / StoredPath(plan + ".SCH");
}

std::filesystem::path DarkHoursPath(const std::filesystem::path& pagedef) { return pagedef / "DarkHours.PLN"; }

std::string DescribeProblem(const std::filesystem::path& file, const ScheduleProblem& problem) {
    return file.string() + ", line " + std::to_string(problem.line) + ": " + problem.why + ": " + problem.text;
}

PlaySchedule LoadPlaySchedule(const std::filesystem::path& pagedef, const StringList& selection,
                              const std::function<void(const std::string&)>& report) {
    const auto load = [&](const std::filesystem::path& path) -> std::optional<Schedule> {
        const auto file = FindFileCaseInsensitive(path);
        std::error_code ec;
        if (!file || std::filesystem::is_directory(*file, ec)) return std::nullopt;
        StringList lines;
        try {
            lines = ReadTextList(*file);
        } catch (const std::exception& e) {
            if (report) report(e.what());
            return std::nullopt;
        }
        Schedule schedule = ParseSchedule(lines);
        if (report)
            for (const ScheduleProblem& p : schedule.problems) report(DescribeProblem(*file, p));
        return schedule;
    };
    PlaySchedule out;
    out.darkHours = load(DarkHoursPath(pagedef));
    for (const std::string& plan : selection) out.plans.push_back({plan, load(ScheduleFilePath(pagedef, plan))});
    return out;
}

}  // namespace zl
