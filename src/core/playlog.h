#pragma once
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <tuple>

#include "core/clock.h"

namespace zl {

// The play log, proof of what a sign showed: one file a day, "<home>/log/play-YYYY-MM-DD.log",
// UTF-8, one line an event, fields separated by tabs, local time to the second first:
//   2026-12-10 08:00:00  showing  PLAN  PAGE           (the page came on screen)
//   2026-12-10 08:00:00  on       PLAN  PAGE  SECONDS  (every 10 s while it is on screen)
//   2026-12-10 08:00:00  page     PLAN  PAGE  SECONDS  (written when the page leaves the screen)
//   2026-12-10 08:00:00  start | stop
//   2026-12-10 23:00:00  dark     UNTIL               (the sign goes dark until that minute)
//   2026-12-10 23:00:00  dark-time SECONDS            (written when it lights again)
//   2026-12-10 08:00:00  resume   PLAN  PAGE
//   2026-12-10 08:00:00  error    TEXT
//   2026-12-10 08:00:00  timeout  MODULE              (a data-module call not returned in time)
//   2026-12-10 08:00:00  ended    MODULE  HOW         (its host died)
//   2026-12-10 08:00:00  recycled MODULE  MB          (its host grew above the memory limit)
// The three page lines carry the time the page came on screen and go to that day's file, so a
// page cut short by a kill or a power cut still counts up to its last `on` line.
// Writing never fails for the caller: a sign plays on when its log cannot be written.
class PlayLog {
public:
    explicit PlayLog(std::filesystem::path home);
    // Any event; fields are UTF-8, tabs and line breaks in them become spaces.
    void Event(LocalMs when, std::string_view kind, std::initializer_list<std::string_view> fields = {});
    // A page came on screen; the one before it gets its line, with the seconds it was shown.
    void PageStarted(LocalMs when, std::string_view plan, std::string_view page);
    // The page on screen leaves it (play stops), or the dark time ends.
    void PageEnded(LocalMs now);
    // The page on screen is still there: its seconds so far, appended.
    void Heartbeat(LocalMs now);
    // Told once when writing starts failing (again after a line was written), with the reason.
    void SetWriteFailureListener(std::function<void(const std::string& why)> listener) {
        writeFailed_ = std::move(listener);
    }
    // The sign goes dark until `until` ("YYYY-MM-DD HH:MM", empty: not foreseen); its time is
    // counted when a page comes or play stops.
    void DarkStarted(LocalMs when, std::string_view until);
    // Removes the day files older than `days` days before `now`.
    void RemoveOld(LocalMs now, int days = 90);
    static std::filesystem::path DayFile(const std::filesystem::path& home, LocalMs when);

private:
    std::filesystem::path home_;
    bool Append(LocalMs when, const std::string& line);
    std::function<void(const std::string&)> writeFailed_;
    bool failing_ = false;
    bool pageOpen_ = false;
    bool dark_ = false;
    LocalMs pageStart_ = 0;
    std::string plan_, page_;
};

// Seconds shown per day, plan and page, from the page lines of the logs of days `from` to `to`
// ("YYYY-MM-DD", both included; empty for no bound). A page without its `page` line counts up
// to its last `on` line. A line that cannot be read is skipped. Dark time counts under an empty
// plan and page.
using PlaySums = std::map<std::tuple<std::string, std::string, std::string>, long long>;
PlaySums SumPlayLog(const std::filesystem::path& home, const std::string& from, const std::string& to);

// True for a date of the calendar written "YYYY-MM-DD" (2026-02-30 is not).
bool ValidDay(const std::string& day);

// "YYYY-MM-DD" and "YYYY-MM-DD HH:MM:SS" of a local time.
std::string LocalDay(LocalMs when);
std::string LocalSecond(LocalMs when);

}  // namespace zl
