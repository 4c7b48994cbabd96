#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/playlog.h"
#include "fleet/fleetconfig.h"

namespace zl {

// Proof of play over the fleet: the "playlog" command asks a sign for the sums of its play log,
// the answer comes on zorled/sign/<s>/playlog as the id, a line feed and a JSON array of
// {"day", "plan", "page", "seconds"}.
std::string PlayLogTopic(const std::string& sign);
// "YYYY-MM-DD" of a real day.
bool IsPlayLogDay(const std::string& day);
std::string PlayLogAnswer(const std::string& id, const PlaySums& sums);

struct PlayRow {
    std::string sign, day, plan, page;
    long long seconds = 0;
};
// The rows of an answer to request `id`, or nothing when the payload is not that answer.
std::optional<std::vector<PlayRow>> ReadPlayLogAnswer(const std::string& sign, const std::string& id,
                                                      std::string_view payload);
// "sign,day,plan,page,seconds" and one line a row, fields quoted where they need it.
std::string PlayRowsCsv(const std::vector<PlayRow>& rows);

struct FleetPlayLog {
    std::vector<PlayRow> rows;
    std::vector<std::string> missing;  // signs that did not answer in time
};
// Asks every sign of `group` (all signs when empty) known from the retained states, and waits
// up to `timeoutMs` for the answers.
FleetPlayLog CollectPlayLogs(const FleetConfig& config, const std::string& group, const std::string& from,
                             const std::string& to, int timeoutMs);

}  // namespace zl
