#pragma once
#include <cstdint>
#include <string>

namespace zl {

// The fleet's topics. Group content: zorled/group/<g>/bundle and zorled/group/<g>/text/<widget>.
// Per sign: zorled/sign/<s>/state (retained JSON), /online (retained "1" renewed while the sign
// lives, will "0"), /cmd (signed
// commands) and /shot (screenshots).
std::string BundleTopic(const std::string& group);
std::string TextTopic(const std::string& group, const std::string& widget);
std::string StateTopic(const std::string& sign);
std::string OnlineTopic(const std::string& sign);
std::string CommandTopic(const std::string& sign);
std::string ShotTopic(const std::string& sign);

enum class TopicKind { Other, Bundle, Text, State, Online, Command, Shot };

struct FleetTopic {
    TopicKind kind = TopicKind::Other;
    std::string group, sign, widget;
};

// Reads a topic by its levels, exactly: anything that is not one of the fleet's topics with valid
// ids (a widget name is any one non-empty level) is Other.
FleetTopic ParseTopic(const std::string& topic);

// How a message came: retained (held by the broker from before the subscription) or live, and
// the seconds left of its expiry when it has one (-1: none).
struct MessageInfo {
    bool retained = false;
    int expirySeconds = -1;
};

// A sign says it is alive at least twice per keepalive with a retained "1" on its online topic
// that expires after this many seconds; a reader takes silence longer than 1.5 keepalives (when
// Mosquitto too gives up on a client) as offline, without waiting for the broker's coarse check.
constexpr int PresenceExpirySeconds(int keepalive) { return keepalive * 3 / 2; }
constexpr std::int64_t SilenceLimitMs(int keepalive) { return keepalive * std::int64_t{1500}; }

// Milliseconds since 1970 UTC: versions, "since", "until" and command times.
std::int64_t FleetNowMs();

}  // namespace zl
