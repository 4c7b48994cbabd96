#include "fleet/publisher.h"

#include <unistd.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "core/error.h"
#include "fleet/bundle.h"
#include "fleet/fleetsign.h"
#include "fleet/mqttlink.h"
#include "fleet/signature.h"

namespace zl {
namespace {

constexpr int kAnswerMs = 10000;

std::string ClientId(const char* role) {
    std::random_device random;
    return std::string("zorled-") + role + "-" + std::to_string(getpid()) + "-" + std::to_string(random() % 1000000);
}

// Retained states as they come, by sign id.
struct StateCollector {
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::string, QJsonObject> states;
    std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();

    void Take(const std::string& topic, std::string_view payload) {
        const QJsonObject state =
            QJsonDocument::fromJson(QByteArray(payload.data(), static_cast<qsizetype>(payload.size()))).object();
        const std::string sign = state.value("sign").toString().toStdString();
        std::lock_guard lock(mutex);
        last = std::chrono::steady_clock::now();
        if (payload.empty() || sign.empty() || topic != StateTopic(sign)) return;
        states[sign] = state;
        changed.notify_all();
    }
    // Retained messages have no end marker: they are done when none came for a while.
    void WaitQuiet() {
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            std::lock_guard lock(mutex);
            const auto now = std::chrono::steady_clock::now();
            if (now - last > std::chrono::milliseconds(400) || now - start > std::chrono::seconds(5)) return;
        }
    }
};

bool InGroup(const QJsonObject& state, const std::string& group) {
    for (const QJsonValue& g : state.value("groups").toArray())
        if (g.toString().toStdString() == group) return true;
    return false;
}

}  // namespace

void PublishRaw(const FleetConfig& config, const std::string& topic, const std::string& payload, bool retain) {
    MqttLink link(config, ClientId("publisher"));
    link.Connect(kAnswerMs);
    link.WaitAcknowledged(link.Publish(topic, payload, retain), 60000);
}

PublishResult PublishBundle(const FleetConfig& config, const std::string& group, const std::filesystem::path& pagedef,
                            int waitSeconds) {
    if (!IsFleetId(group)) throw Error("Group \"" + group + "\" is not valid: use 1 to 64 of A-Z a-z 0-9 _ -");
    const FleetKey key = FleetKey::LoadPrivate(config.privateKey);
    PublishResult result;
    result.version = FleetNowMs();
    BuiltBundle built = BuildBundle(pagedef, group, result.version);
    if (built.body.size() > kMaxBundleBody)
        throw Error(Format("The bundle of %zu bytes is over the limit of %zu", built.body.size(), kMaxBundleBody));
    result.warnings = built.warnings;
    result.sha256 = Sha256Hex(built.body);
    const std::string topic = BundleTopic(group);
    const std::string message = SignFleetMessage(key, topic, built.body);

    MqttLink link(config, ClientId("publisher"));
    StateCollector collector;
    link.onMessage = [&](const std::string& t, std::string_view p) { collector.Take(t, p); };
    link.Connect(kAnswerMs);
    link.WaitAcknowledged(link.Publish(topic, message, true), 60000);
    if (waitSeconds <= 0) return result;
    link.Subscribe("zorled/sign/+/state");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
    std::unique_lock lock(collector.mutex);
    auto tally = [&] {
        result.applied.clear();
        result.missing.clear();
        for (const auto& [sign, state] : collector.states) {
            if (!InGroup(state, group)) continue;
            (state.value("bundle").toString().toStdString() == result.sha256 ? result.applied : result.missing)
                .push_back(sign);
        }
        // The retained states must have come before "all applied" can mean anything.
        return std::chrono::steady_clock::now() - collector.last > std::chrono::milliseconds(400) &&
               !result.applied.empty() && result.missing.empty();
    };
    while (!tally() && std::chrono::steady_clock::now() < deadline)
        collector.changed.wait_for(lock, std::chrono::milliseconds(100));
    return result;
}

void Announce(const FleetConfig& config, const std::string& group, const std::string& widget, double minutes,
              const std::string& text) {
    if (!IsFleetId(group)) throw Error("Group \"" + group + "\" is not valid: use 1 to 64 of A-Z a-z 0-9 _ -");
    if (widget.empty() || widget.find_first_of("/+#") != std::string::npos)
        throw Error("Widget name \"" + widget + "\" is not valid");
    const FleetKey key = FleetKey::LoadPrivate(config.privateKey);
    const std::int64_t now = FleetNowMs();
    const QJsonObject body{{"version", static_cast<qint64>(now)},
                           {"text", QString::fromStdString(text)},
                           {"until", static_cast<qint64>(minutes > 0 ? now + static_cast<std::int64_t>(minutes * 60000) : 0)}};
    const std::string topic = TextTopic(group, widget);
    PublishRaw(config, topic,
               SignFleetMessage(key, topic, QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString()), true);
}

std::vector<QJsonObject> ReadStates(const FleetConfig& config, const std::string& group) {
    MqttLink link(config, ClientId("reader"));
    StateCollector collector;
    link.onMessage = [&](const std::string& t, std::string_view p) { collector.Take(t, p); };
    link.Connect(kAnswerMs);
    link.Subscribe("zorled/sign/+/state");
    {
        // The quiet spell counts from the subscription: connecting may have taken longer than it.
        std::lock_guard lock(collector.mutex);
        collector.last = std::chrono::steady_clock::now();
    }
    collector.WaitQuiet();
    link.Stop();
    std::vector<QJsonObject> out;
    std::lock_guard lock(collector.mutex);
    for (const auto& [sign, state] : collector.states)
        if (group.empty() || InGroup(state, group)) out.push_back(state);
    return out;
}

std::string FormatStateLine(const QJsonObject& s) {
    auto text = [&](const char* key) {
        const QJsonValue v = s.value(key);
        return v.isString() ? v.toString().toStdString() : std::string("-");
    };
    const std::int64_t since = s.value("since").toInteger(0);
    const std::string when =
        since > 0 ? QDateTime::fromMSecsSinceEpoch(since).toString("yyyy-MM-dd HH:mm:ss").toStdString() : "-";
    const std::string bundle = text("bundle");
    return text("sign") + "\t" + (s.value("online").toBool() ? "online" : "offline") + "\t" +
           (bundle == "-" ? bundle : bundle.substr(0, 12)) + "\t" + text("plan") + "\t" + text("page") + "\t" + when +
           "\t" + text("error");
}

std::string RequestShot(const FleetConfig& config, const std::string& sign, int timeoutMs) {
    if (!IsFleetId(sign)) throw Error("Sign \"" + sign + "\" is not valid: use 1 to 64 of A-Z a-z 0-9 _ -");
    MqttLink link(config, ClientId("shot"));
    std::mutex mutex;
    std::condition_variable changed;
    std::string png;
    bool got = false;
    const std::string id = ClientId("shot");
    link.onMessage = [&](const std::string& topic, std::string_view payload) {
        const auto newline = payload.find('\n');
        if (topic != ShotTopic(sign) || newline == std::string::npos || payload.substr(0, newline) != id) return;
        std::lock_guard lock(mutex);
        png = std::string(payload.substr(newline + 1));
        got = true;
        changed.notify_all();
    };
    link.Connect(kAnswerMs);
    link.Subscribe(ShotTopic(sign));
    const QJsonObject cmd{{"cmd", "shot"}, {"id", QString::fromStdString(id)}};
    link.WaitAcknowledged(link.Publish(CommandTopic(sign), QJsonDocument(cmd).toJson(QJsonDocument::Compact).toStdString(),
                                       false),
                          kAnswerMs);
    std::unique_lock lock(mutex);
    if (!changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return got; }))
        throw Error("Sign \"" + sign + "\" sent no screenshot; it may be offline");
    return png;
}

}  // namespace zl
