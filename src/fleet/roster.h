#pragma once
#include <QJsonObject>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zl {

// The signs as their retained state and presence messages tell it, each sign taken from the
// topic, never from the body. Not thread-safe: the caller serialises Take and the readers.
class FleetRoster {
public:
    // Takes a message of zorled/sign/<s>/state or zorled/sign/<s>/online; false for any other
    // topic. Empty messages (a retired sign cleared) remove what they stood for.
    bool Take(const std::string& topic, std::string_view payload);
    // One object per sign in id order (of one group when given): its last state with "sign" from
    // the topic and "online" from its presence, and "error" telling of a state refused because it
    // names another sign, or of two signs running with one id.
    std::vector<QJsonObject> Signs(const std::string& group = {}) const;
    std::optional<QJsonObject> Sign(const std::string& sign) const;

private:
    struct Entry {
        QJsonObject state;
        std::optional<bool> online;
        std::string refusal;
    };
    QJsonObject View(const std::string& sign, const Entry& e) const;
    std::map<std::string, Entry> signs_;
};

// Whether a state lists `group` among the sign's groups.
bool InGroup(const QJsonObject& state, const std::string& group);

}  // namespace zl
