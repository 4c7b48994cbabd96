#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "fleet/bundle.h"
#include "fleet/fleetconfig.h"
#include "fleet/signature.h"

namespace zl {

class MqttLink;

// Topics of the fleet.
std::string BundleTopic(const std::string& group);
std::string TextTopic(const std::string& group, const std::string& widget);
std::string StateTopic(const std::string& sign);
std::string CommandTopic(const std::string& sign);
std::string ShotTopic(const std::string& sign);
// Milliseconds since 1970 UTC: versions, "since" and "until".
std::int64_t FleetNowMs();

// An announcement as a sign received it.
struct Announcement {
    std::string widget;
    std::string text;         // UTF-8; empty clears
    std::int64_t until = 0;   // ms UTC, 0: until cleared
};

// One sign's side of the fleet: takes bundles and announcements its publisher signed, answers
// screenshot requests and keeps its retained state up to date. The handlers run on the
// network thread; play hands them to its own thread and never waits on the network.
class FleetSign {
public:
    FleetSign(std::filesystem::path home, FleetConfig config, std::string programVersion);
    ~FleetSign();

    // A bundle was applied: <home>/pagedef now holds the new selection.
    std::function<void()> onBundleApplied;
    std::function<void(const Announcement&)> onAnnouncement;
    std::function<void(const std::string& id)> onShotRequest;
    // The publisher asked the program to restart: it ends with kExitRestart for its unit.
    std::function<void()> onRestart;
    // Errors for the sign's error report (refused bundles, failed applies).
    std::function<void(const std::string& message)> onError;

    void Start();
    void Stop();
    // Play showed a page (UTF-8 names).
    void SetPage(const std::string& plan, const std::string& page);
    void SetError(const std::string& message);
    void SendShot(const std::string& id, const std::string& png);

    // Checks and applies a signed bundle message received on `topic`; throws the reason when it
    // is refused, leaving everything as it was. Public so that it can be exercised without a broker.
    void TakeBundle(const std::string& topic, std::string message) { TakeBundle(topic, message.data(), message.size()); }
    std::optional<Announcement> TakeAnnouncement(const std::string& topic, std::string_view message);
    std::string StateJson(bool online) const;
    // Publishes the state anew so its health figures (disk, memory, load, clock) stay fresh.
    void RefreshHealth() { PublishState(); }

private:
    void OnMessage(const std::string& topic, std::string_view payload);
    // The message's signature bytes are overwritten by the check, which spares a copy of the body.
    void TakeBundle(const std::string& topic, char* message, size_t size);
    void PublishState();

    std::filesystem::path home_;
    FleetConfig config_;
    std::string program_;
    FleetKey publisherKey_;
    AppliedVersions applied_;
    std::unique_ptr<MqttLink> link_;
    mutable std::mutex mutex_;
    // Orders state messages: the last one out of a stopping sign says offline.
    std::mutex publishMutex_;
    bool stopping_ = false;
    std::string plan_, page_, error_;
    std::string refusal_;
    std::map<std::string, Announcement> texts_;  // announcements taken, by widget, for the state
    std::set<std::string> shownTopics_;  // announcement topics taken since start  // the broker's last refusal, cleared from the error once connected
    std::int64_t since_ = 0;
    std::int64_t started_ = 0;
};

}  // namespace zl
