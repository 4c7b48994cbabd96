#pragma once
#include <QJsonObject>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fleet/topics.h"

namespace zl {

// The signs as their retained state and presence messages tell it, each sign taken from the
// topic, never from the body. A sign whose state names its keepalive counts online while its
// presence is "1" and it was heard from within the last 1.5 keepalives (on the process clock's
// monotonic time): a live message of it, or its retained "1" for as long as that has left before
// it expires. A retained message without an expiry proves nothing of now, and the will "0" counts
// at once. Not thread-safe: the caller serialises Take and the readers.
class FleetRoster {
public:
    // Takes a message of zorled/sign/<s>/state or zorled/sign/<s>/online; false for any other
    // topic. Empty messages (a retired sign cleared) remove what they stood for. `how` says
    // whether the broker held it retained and its expiry (MqttLink::Received); live by default.
    bool Take(const std::string& topic, std::string_view payload, const MessageInfo& how = {});
    // One object per sign in id order (of one group when given): its last state with "sign" from
    // the topic and "online" from its presence, and "error" telling of a state refused because it
    // names another sign, or of two signs running with one id.
    std::vector<QJsonObject> Signs(const std::string& group = {}) const;
    std::optional<QJsonObject> Sign(const std::string& sign) const;
    // The signs whose "online" changed since Take or this last told of them: a reader calls it on
    // a timer, so a sign that falls silent turns offline without a message.
    std::vector<std::string> PresenceChanged();

private:
    struct Entry {
        QJsonObject state;
        std::optional<bool> online;
        std::string refusal;
        std::optional<std::int64_t> heard;    // monotonic ms of its last live message
        std::optional<std::int64_t> expires;  // monotonic ms its last "1" expires at
        bool shown = false;                   // "online" as last told
    };
    static bool Online(const Entry& e, std::int64_t now);
    QJsonObject View(const std::string& sign, const Entry& e) const;
    std::map<std::string, Entry> signs_;
};

// Whether a state lists `group` among the sign's groups.
bool InGroup(const QJsonObject& state, const std::string& group);

}  // namespace zl
