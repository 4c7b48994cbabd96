#pragma once
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QThreadPool>
#include <QTimer>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "core/clock.h"
#include "fleet/fleetconfig.h"
#include "fleet/roster.h"
#include "fleet/signature.h"

namespace zl {

class MqttLink;

// The desk's side of the fleet: one link to the broker holding every sign's state, and the
// changes the browser asks for, each run as a job whose result comes back on the GUI thread.
// The private key stays here; messages are signed before they leave.
class DeskFleet : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(const QJsonObject& result)>;

    DeskFleet(FleetConfig config, std::filesystem::path home);
    ~DeskFleet() override;
    void Start();

    // Every known sign's state with the desk's own view added ("online" from presence, and
    // "clock_offset" in seconds where a live state told the sign's time), ordered by id.
    QJsonArray States() const;
    QJsonObject State(const std::string& sign) const;

    // Each takes its arguments as the browser sent them, checks them, and calls `done` once with
    // {"ok": bool, "message": text, ...}.
    void Announce(const QJsonObject& args, Done done);
    void Publish(const QJsonObject& args, Done done);
    void Rollback(const QJsonObject& args, Done done);
    void Shot(const QJsonObject& args, Done done);
    void PlayLog(const QJsonObject& args, Done done);
    void Restart(const QJsonObject& args, Done done);
    void Retire(const QJsonObject& args, Done done);

    // The newest screenshot of a sign (PNG), empty without one.
    QByteArray ShotPng(const std::string& sign) const;

signals:
    // Signs whose state changed since the last signal (at most a few a second, batched).
    void statesChanged(const QJsonArray& states);
    void signRetired(const QString& sign);

private:
    void OnMessage(const std::string& topic, std::string_view payload);
    void TakeSignMessage(const std::string& topic, const std::string& sign, bool state, const QByteArray& payload,
                         std::int64_t receivedMs, const MessageInfo& how);
    void TakeBundle(const std::string& group, std::string_view message);
    // Signs and sends a command off the GUI thread; `failed` hears of a refusal there.
    void SendCommand(const std::string& sign, const std::string& cmd, QJsonObject fields, Done failed);
    // Runs blocking work off the GUI thread; its result comes back to `done` there.
    void Background(std::function<QJsonObject()> work, Done done);
    void SendBundle(const QJsonObject& args, std::function<QJsonObject(const std::string& group)> work, Done done);
    // Calls `done` when every online sign of `group` passes `applied`, or after `seconds`.
    void WatchApplied(const std::string& group, std::function<bool(const QJsonObject&)> applied, int seconds,
                      QJsonObject result, Done done);
    std::vector<std::string> GroupSigns(const std::string& group) const;
    void Flush();

    FleetConfig config_;
    std::filesystem::path home_;
    FleetKey key_;
    std::unique_ptr<MqttLink> link_;
    QThreadPool pool_;
    FleetRoster roster_;
    struct Sign {
        std::int64_t receivedMs = 0;
        bool live = false;  // a message after the retained one came
        double clockOffset = 0;
        bool offsetKnown = false;
    };
    std::map<std::string, Sign> signs_;
    std::set<std::string> changed_;
    QTimer flush_;
    // Looks at presence again a few times a second: a silent sign turns offline without a message.
    std::unique_ptr<Timer> presence_;
    std::map<std::string, bool> sites_;  // bridge up, by site, from zorled/site/<site>/bridge
    std::map<std::string, QByteArray> shots_;  // newest per sign, a few signs
    std::map<std::string, std::function<void(const QByteArray&)>> shotWaits_;  // by request id
    std::map<std::string, std::function<void(const std::string& sign, const QJsonArray& rows)>> playlogWaits_;
};

}  // namespace zl
