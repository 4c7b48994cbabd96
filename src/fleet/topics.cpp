#include "fleet/topics.h"

#include <chrono>
#include <vector>

#include "fleet/fleetconfig.h"

namespace zl {

std::string BundleTopic(const std::string& group) { return "zorled/group/" + group + "/bundle"; }
std::string TextTopic(const std::string& group, const std::string& widget) {
    return "zorled/group/" + group + "/text/" + widget;
}
std::string StateTopic(const std::string& sign) { return "zorled/sign/" + sign + "/state"; }
std::string OnlineTopic(const std::string& sign) { return "zorled/sign/" + sign + "/online"; }
std::string CommandTopic(const std::string& sign) { return "zorled/sign/" + sign + "/cmd"; }
std::string ShotTopic(const std::string& sign) { return "zorled/sign/" + sign + "/shot"; }

FleetTopic ParseTopic(const std::string& topic) {
    std::vector<std::string> levels;
    size_t start = 0;
    for (;;) {
        const size_t slash = topic.find('/', start);
        levels.push_back(topic.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    FleetTopic t;
    if (levels.size() < 4 || levels[0] != "zorled" || !IsFleetId(levels[2])) return t;
    if (levels[1] == "group") {
        if (levels.size() == 4 && levels[3] == "bundle") {
            t.kind = TopicKind::Bundle;
        } else if (levels.size() == 5 && levels[3] == "text" && !levels[4].empty()) {
            t.kind = TopicKind::Text;
            t.widget = levels[4];
        } else {
            return t;
        }
        t.group = levels[2];
    } else if (levels[1] == "sign" && levels.size() == 4) {
        const std::string& leaf = levels[3];
        t.kind = leaf == "state"    ? TopicKind::State
                 : leaf == "online" ? TopicKind::Online
                 : leaf == "cmd"    ? TopicKind::Command
                 : leaf == "shot"   ? TopicKind::Shot
                                    : TopicKind::Other;
        if (t.kind != TopicKind::Other) t.sign = levels[2];
    }
    return t;
}

std::int64_t FleetNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace zl
