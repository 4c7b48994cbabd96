#pragma once
#include <QJsonObject>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "fleet/fleetconfig.h"

namespace zl {

class FleetKey;
class MqttLink;

struct PublishResult {
    std::string sha256;  // of the bundle body
    std::int64_t version = 0;
    std::vector<std::string> warnings;
    // Set when the version had to go past this machine's clock (a bundle or sign of the group
    // already had a later one), saying so.
    std::string versionNote;
    // With a wait: the signs of the group that show a page of the bundle, and those that do not.
    std::vector<std::string> applied, missing;
    std::vector<std::string> offline;  // those of `missing` offline when the wait ended
};

// Builds the bundle of `pagedef`'s selection for `group`, signs it and publishes it retained;
// fails (never a false success) unless the broker acknowledged it. Its version is this clock's
// milliseconds, or one past the highest version retained for the group or reported by its signs
// when that is later. With waitSeconds > 0, waits until every sign of the group known from the
// retained states shows a page of it, or the time is up.
PublishResult PublishBundle(const FleetConfig& config, const std::string& group, const std::filesystem::path& pagedef,
                            int waitSeconds);
// Publishes a raw, already signed message (QoS 1) and waits for the acknowledgement.
void PublishRaw(const FleetConfig& config, const std::string& topic, const std::string& payload, bool retain);
// Signs and publishes an announcement; an empty text clears it. minutes <= 0: until cleared.
// Returns a note when its version had to go past this clock (empty otherwise).
std::string Announce(const FleetConfig& config, const std::string& group, const std::string& widget, double minutes,
                     const std::string& text);

// Signs a command for `sign` and publishes it on `link` (connected; QoS 1, not retained), waiting
// up to timeoutMs for the broker's acknowledgement; returns the command's id. The body is JSON
// {"cmd": cmd, "id": <random>, "time": <ms UTC>}, signed as bundles are (Ed25519 over the topic,
// a zero byte and the body). A sign takes each id once and only with a time within 10 minutes of
// its clock; "shot" is answered on zorled/sign/<s>/shot with "<id>\n<PNG>", at most once a second.
// `fields` go into the body as well ("from" and "to" of "playlog"); an "id" among them (1 to 64 of
// A-Z a-z 0-9 _ -) is used in place of a random one, for a caller that must know it beforehand.
std::string PublishCommand(MqttLink& link, const FleetKey& key, const std::string& sign, const std::string& cmd,
                           int timeoutMs, const QJsonObject& fields = {});

// The fleet as its retained states and presence say (of one group when given), ordered by sign id.
std::vector<QJsonObject> ReadStates(const FleetConfig& config, const std::string& group);
// One line per sign: id, online, bundle (short), plan, page, since, error.
std::string FormatStateLine(const QJsonObject& state);
// Asks a sign for a screenshot of its page; the PNG bytes.
std::string RequestShot(const FleetConfig& config, const std::string& sign, int timeoutMs);

}  // namespace zl
