#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/textlist.h"

// When plans play and when the sign is dark: windows of local wall time read from "<plan>.SCH"
// and "DarkHours.PLN", one a line: DAYS HH:MM-HH:MM [YYYY-MM-DD..YYYY-MM-DD] [priority N].
// All of it is arithmetic on instants; local time comes from the system's time zone.
namespace zl {

struct ScheduleWindow {
    std::uint8_t days = 0x7F;  // bit 0 Monday … bit 6 Sunday
    int start = 0;             // minutes after midnight
    int end = 0;               // minutes after midnight, 1440 for 24:00; at or before start: next day
    std::int64_t firstDay = INT64_MIN;  // the days a window may start on, days since 1970-01-01
    std::int64_t lastDay = INT64_MAX;
    int priority = 1;
};

struct ScheduleProblem {
    int line = 0;  // from 1
    std::string why;
    std::string text;  // the line as stored
};

struct Schedule {
    std::vector<ScheduleWindow> windows;
    std::vector<ScheduleProblem> problems;
};

// One window of a line, or why it cannot be read.
std::optional<ScheduleWindow> ParseScheduleLine(const std::string& line, std::string& why);
// Whether a line is a comment or empty (no window, no problem).
bool IsScheduleComment(const std::string& line);
Schedule ParseSchedule(const StringList& lines);
// The line of a window as the file stores it.
std::string FormatScheduleWindow(const ScheduleWindow& window);

// One stretch of a window, as instants.
struct Occurrence {
    UtcMs start;
    UtcMs end;
    int priority;
};
// The stretches of a window that start on local days from..to (days since 1970-01-01).
void Occurrences(const ScheduleWindow& window, std::int64_t fromDay, std::int64_t toDay,
                 std::vector<Occurrence>& out);
// The priority a schedule has at `when`: the highest of its windows that are open, or nothing.
std::optional<int> PriorityAt(const Schedule& schedule, UtcMs when);

// A selected plan and its schedule; no schedule is always on at priority 0.
struct ScheduledPlan {
    std::string name;
    std::optional<Schedule> schedule;
};

// What the sign does over a stretch of time: the plans on (in selection order) or dark.
struct ScheduleState {
    bool dark = false;
    std::vector<std::string> plans;
    bool operator==(const ScheduleState&) const = default;
};

struct PlaySchedule {
    std::vector<ScheduledPlan> plans;  // in selection order
    std::optional<Schedule> darkHours;
    // Whether anything here is scheduled at all: without it play is what it always was.
    bool Active() const;
    // The plans on at `when`: of those that are, only the ones of the highest priority; dark
    // when none is or dark hours hold. An awake sign (an announcement shows) is never dark: dark
    // hours give way, and with no plan on every plan plays.
    ScheduleState StateAt(UtcMs when, bool awake = false) const;
    // The first instant after `when` at which the state may change, looking up to `horizonDays`
    // ahead; nothing when none comes.
    std::optional<UtcMs> NextChange(UtcMs when, int horizonDays = 8) const;
};

struct TimelineEntry {
    UtcMs start;
    UtcMs end;
    ScheduleState state;
};
// The states from `from` to `to`, neighbours of the same state joined.
std::vector<TimelineEntry> Timeline(const PlaySchedule& schedule, UtcMs from, UtcMs to);

// The schedule files of a home: "<plan>.SCH" beside each plan file and "DarkHours.PLN".
std::filesystem::path ScheduleFilePath(const std::filesystem::path& pagedef, const std::string& plan);
std::filesystem::path DarkHoursPath(const std::filesystem::path& pagedef);
// A problem of a file as a report: "FILE, line N: WHY: TEXT".
std::string DescribeProblem(const std::filesystem::path& file, const ScheduleProblem& problem);
// Reads the schedules of `selection` from `pagedef`, finding files as plan files are found
// (case-insensitively); a file that cannot be read counts as missing. Each problem goes to
// `report`.
PlaySchedule LoadPlaySchedule(const std::filesystem::path& pagedef, const StringList& selection,
                              const std::function<void(const std::string&)>& report);

// The local day of a local time, as days since 1970-01-01.
std::int64_t LocalDayOf(LocalMs local);

}  // namespace zl
