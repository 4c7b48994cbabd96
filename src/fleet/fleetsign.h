#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fleet/bundle.h"
#include "fleet/fleetconfig.h"
#include "fleet/signature.h"
#include "fleet/topics.h"

class QJsonObject;

namespace zl {

class MqttLink;

// An announcement as a sign received it.
struct Announcement {
    std::string widget;
    std::string text;         // UTF-8; empty clears
    std::int64_t until = 0;   // ms UTC, 0: until cleared
};

// The times a sign goes by: the wall clock (UTC), a monotonic one, and whether the wall clock is
// synchronised (commands far from an unsynchronised clock are taken, with the skew noted).
struct FleetClock {
    std::function<std::int64_t()> utcMs;
    std::function<std::int64_t()> steadyMs;
    std::function<bool()> synchronised;
    static FleetClock System();
};

// How long a command's id is remembered, and how far its time may be from the sign's clock.
constexpr std::int64_t kCommandWindowMs = 10 * 60 * 1000;
constexpr std::int64_t kShotIntervalMs = 1000;

// One sign's side of the fleet: takes bundles and announcements its publisher signed, answers
// signed screenshot requests and keeps its retained state and presence up to date. The handlers
// run on the network thread; play hands them to its own thread and never waits on the network.
class FleetSign {
public:
    FleetSign(std::filesystem::path home, FleetConfig config, std::string programVersion,
              FleetClock clock = FleetClock::System());
    ~FleetSign();

    // A bundle was applied: <home>/pagedef now holds the new selection.
    std::function<void()> onBundleApplied;
    std::function<void(const Announcement&)> onAnnouncement;
    std::function<void(const std::string& id)> onShotRequest;
    // The publisher asked the program to restart: it ends with kExitRestart for its unit.
    std::function<void()> onRestart;
    // Errors for the sign's log (refused messages, failed applies, connection failures); never a box.
    std::function<void(const std::string& message)> onError;

    void Start();
    void Stop();
    // Play showed a page (UTF-8 names) of the bundle `bundle` (its SHA-256; empty: local pages).
    void SetPage(const std::string& plan, const std::string& page, const std::string& bundle = {});
    // What the schedule says (UTF-8 plan names): published with the next SetPage.
    struct PlayWindow {
        std::vector<std::string> plansOn;
        bool dark = false;
        std::optional<std::int64_t> until;  // ms UTC the plans on or the darkness end; none: not foreseen
    };
    void SetWindow(PlayWindow window);
    // Errors by kind ("bundle", "announcement", "command", "connection", ...): a success of one
    // kind clears that kind's error only; the state shows the latest one standing.
    void SetError(const std::string& kind, const std::string& message);
    void ClearError(const std::string& kind);
    void SendShot(const std::string& id, const std::string& png);
    // The applied bundle's SHA-256, empty before the first.
    std::string AppliedBundle() const;

    // Checks and applies a signed bundle message received on `topic`; throws the reason when it
    // is refused, leaving everything as it was. Returns false when nothing was to be done (seen
    // before, or older than the bundle of another of the sign's groups). Public so that it can
    // be exercised without a broker.
    bool TakeBundle(const std::string& topic, std::string message) {
        return TakeBundle(topic, message.data(), message.size());
    }
    std::optional<Announcement> TakeAnnouncement(const std::string& topic, std::string_view message);
    // Checks a signed command ("shot", "playlog" or "restart"); returns its id, or throws the
    // refusal. The command's JSON goes to `command` when given.
    std::string TakeCommand(const std::string& topic, std::string_view message, QJsonObject* command = nullptr);
    std::string StateJson() const;
    const std::string& Instance() const { return instance_; }
    // Whether the broker ever accepted the sign's connection since Start.
    bool EverConnected() const;
    // Publishes the state anew so its health figures (disk, memory, load, clock) stay fresh.
    void RefreshHealth() { PublishState(); }

private:
    void OnMessage(const std::string& topic, std::string_view payload);
    // The message's signature bytes are overwritten by the check, which spares a copy of the body.
    bool TakeBundle(const std::string& topic, char* message, size_t size);
    void PublishState();
    // The retained "1" that tells readers the sign still lives (see PresenceExpirySeconds).
    void SayAlive();

    std::filesystem::path home_;
    FleetConfig config_;
    std::string program_;
    FleetClock clock_;
    std::string instance_;  // new at every start: tells two homes with the same sign id apart
    FleetKey publisherKey_;
    AppliedVersions applied_;
    std::unique_ptr<MqttLink> link_;
    mutable std::mutex mutex_;
    // Orders state messages: nothing follows the goodbye of a stopping sign.
    std::mutex publishMutex_;
    bool stopping_ = false;
    std::string plan_, page_, pageBundle_;
    PlayWindow window_;
    std::vector<std::pair<std::string, std::string>> errors_;  // (kind, message), oldest first
    std::map<std::string, Announcement> texts_;            // announcements taken, by widget, for the state
    std::set<std::string> shownTopics_;                        // announcement topics taken since start
    std::map<std::string, std::int64_t> seenCommands_;         // id -> steady ms when taken
    std::int64_t lastShot_ = -kShotIntervalMs;
    std::optional<std::int64_t> skew_;
    std::string duplicate_;             // another instance seen with this sign's id
    std::int64_t duplicateSeen_ = 0;    // steady ms  // of the last command, when the clock is not synchronised
    std::int64_t nextAlive_ = 0;  // steady ms when SayAlive is next due (network thread only)
    std::int64_t since_ = 0;
    std::int64_t started_ = 0;
};

}  // namespace zl
