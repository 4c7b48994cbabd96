#pragma once
#include <QJsonObject>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "fleet/fleetconfig.h"

namespace zl {

struct PublishResult {
    std::string sha256;  // of the bundle body
    std::int64_t version = 0;
    std::vector<std::string> warnings;
    // With a wait: the signs of the group that report the bundle applied, and those that do not.
    std::vector<std::string> applied, missing;
};

// Builds the bundle of `pagedef`'s selection for `group`, signs it and publishes it retained;
// fails (never a false success) unless the broker acknowledged it. With waitSeconds > 0, waits
// until every sign of the group known from the retained states reports it, or the time is up.
PublishResult PublishBundle(const FleetConfig& config, const std::string& group, const std::filesystem::path& pagedef,
                            int waitSeconds);
// Publishes a raw, already signed message (retained, QoS 1) and waits for the acknowledgement.
void PublishRaw(const FleetConfig& config, const std::string& topic, const std::string& payload, bool retain);
// Signs and publishes an announcement; an empty text clears it. minutes <= 0: until cleared.
void Announce(const FleetConfig& config, const std::string& group, const std::string& widget, double minutes,
              const std::string& text);
// The retained states of the fleet (of one group when given), ordered by sign id.
std::vector<QJsonObject> ReadStates(const FleetConfig& config, const std::string& group);
// One line per sign: id, online, bundle (short), plan, page, since, error.
std::string FormatStateLine(const QJsonObject& state);
// Asks a sign for a screenshot of its page; the PNG bytes.
std::string RequestShot(const FleetConfig& config, const std::string& sign, int timeoutMs);

}  // namespace zl
