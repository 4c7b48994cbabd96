#include "fleet/publisher.h"

#include <unistd.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <algorithm>
#include <random>

#include "core/error.h"
#include "fleet/bundle.h"
#include "fleet/mqttlink.h"
#include "fleet/roster.h"
#include "fleet/signature.h"
#include "fleet/topics.h"

namespace zl {
namespace {

constexpr int kAnswerMs = 10000;

std::string RandomId(const char* role) {
    std::random_device random;
    return std::string("zorled-") + role + "-" + std::to_string(getpid()) + "-" + std::to_string(random() % 1000000) +
           std::to_string(random() % 1000000);
}

void CheckGroup(const std::string& group) {
    if (!IsFleetId(group)) throw Error("Group \"" + group + "\" is not valid: use 1 to 64 of A-Z a-z 0-9 _ -");
}

// What the broker holds retained: the signs, and the version of one content topic.
struct FleetWatch {
    std::mutex mutex;
    std::condition_variable changed;
    FleetRoster roster;
    std::string versionTopic;
    std::int64_t retainedVersion = 0;

    void Attach(MqttLink& link) {
        link.onMessage = [this](const std::string& topic, std::string_view payload) { Take(topic, payload); };
    }
    void Take(const std::string& topic, std::string_view payload) {
        std::lock_guard lock(mutex);
        if (!roster.Take(topic, payload, MqttLink::Received()) && topic == versionTopic && payload.size() > kSignatureSize) {
            const std::string_view body = payload.substr(kSignatureSize);
            retainedVersion = ParseTopic(topic).kind == TopicKind::Bundle
                                  ? BundleVersion(body)
                                  : QJsonDocument::fromJson(QByteArray(body.data(), static_cast<qsizetype>(body.size())))
                                        .object()
                                        .value("version")
                                        .toInteger(0);
        }
        changed.notify_all();
    }
    // This clock's milliseconds, or one past any later version the group has already seen.
    std::int64_t NextVersion(const std::string& group, bool withSigns, std::string& note) {
        std::lock_guard lock(mutex);
        const std::int64_t now = FleetNowMs();
        std::int64_t floor = retainedVersion + 1;
        std::string why = "the version retained for " + versionTopic;
        if (withSigns)
            for (const QJsonObject& s : roster.Signs(group))
                if (s.value("version").toInteger(0) + 1 > floor) {
                    floor = s.value("version").toInteger(0) + 1;
                    why = "the version sign \"" + s.value("sign").toString().toStdString() + "\" reports";
                }
        if (floor <= now) return now;
        note = Format("version %lld is %.1f s past this clock, after %s (%lld)", static_cast<long long>(floor),
                      static_cast<double>(floor - now) / 1000.0, why.c_str(), static_cast<long long>(floor - 1));
        return floor;
    }
};

// Subscribes to the signs' states and presence (and the topic whose version counts) and waits
// until the broker has sent what it holds retained.
void Survey(MqttLink& link, const std::string& versionTopic) {
    if (!versionTopic.empty()) link.Subscribe(versionTopic, 0);
    link.Subscribe("zorled/sign/+/online", 0);
    link.Subscribe("zorled/sign/+/state", 0);
    link.WaitRetained(kAnswerMs);
}

}  // namespace

void PublishRaw(const FleetConfig& config, const std::string& topic, const std::string& payload, bool retain) {
    MqttLink link(config, RandomId("publisher"));
    link.Connect(kAnswerMs);
    link.WaitAcknowledged(link.Publish(topic, payload, retain), 60000);
}

PublishResult PublishBundle(const FleetConfig& config, const std::string& group, const std::filesystem::path& pagedef,
                            int waitSeconds) {
    CheckGroup(group);
    const FleetKey key = FleetKey::LoadPrivate(config.privateKey);
    const std::string topic = BundleTopic(group);
    // The watch outlives the link: the link's thread hands it messages until the link is gone.
    FleetWatch watch;
    MqttLink link(config, RandomId("publisher"));
    watch.versionTopic = topic;
    watch.Attach(link);
    link.Connect(kAnswerMs);
    Survey(link, topic);

    PublishResult result;
    result.version = watch.NextVersion(group, true, result.versionNote);
    BuiltBundle built = BuildBundle(pagedef, group, result.version);
    if (built.body.size() > kMaxBundleBody)
        throw Error(Format("The bundle of %zu bytes is over the limit of %zu", built.body.size(), kMaxBundleBody));
    result.warnings = built.warnings;
    result.sha256 = Sha256Hex(built.body);
    link.WaitAcknowledged(link.Publish(topic, SignFleetMessage(key, topic, built.body), true), 60000);
    if (waitSeconds <= 0) return result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
    std::unique_lock lock(watch.mutex);
    // Applied means showing a page of it: unpacked alone, a sign may still play nothing.
    auto tally = [&] {
        result.applied.clear();
        result.missing.clear();
        for (const QJsonObject& s : watch.roster.Signs(group)) {
            const bool shows = s.value("bundle").toString().toStdString() == result.sha256 &&
                               s.value("page_bundle").toString().toStdString() == result.sha256;
            (shows ? result.applied : result.missing).push_back(s.value("sign").toString().toStdString());
        }
        return !result.applied.empty() && result.missing.empty();
    };
    while (!tally() && std::chrono::steady_clock::now() < deadline)
        watch.changed.wait_for(lock, std::chrono::milliseconds(100));
    for (const QJsonObject& s : watch.roster.Signs(group))
        if (!s.value("online").toBool() &&
            std::count(result.missing.begin(), result.missing.end(), s.value("sign").toString().toStdString()))
            result.offline.push_back(s.value("sign").toString().toStdString());
    return result;
}

std::string Announce(const FleetConfig& config, const std::string& group, const std::string& widget, double minutes,
                     const std::string& text) {
    CheckGroup(group);
    if (widget.empty() || widget.find_first_of("/+#") != std::string::npos)
        throw Error("Widget name \"" + widget + "\" is not valid");
    const FleetKey key = FleetKey::LoadPrivate(config.privateKey);
    const std::string topic = TextTopic(group, widget);
    // The watch outlives the link: the link's thread hands it messages until the link is gone.
    FleetWatch watch;
    MqttLink link(config, RandomId("publisher"));
    watch.versionTopic = topic;
    watch.Attach(link);
    link.Connect(kAnswerMs);
    link.Subscribe(topic, 0);
    link.WaitRetained(kAnswerMs);
    std::string note;
    const std::int64_t version = watch.NextVersion(group, false, note);
    const std::int64_t now = FleetNowMs();
    const QJsonObject body{{"version", static_cast<qint64>(version)},
                           {"text", QString::fromStdString(text)},
                           {"until", static_cast<qint64>(minutes > 0 ? now + static_cast<std::int64_t>(minutes * 60000) : 0)}};
    link.WaitAcknowledged(
        link.Publish(topic, SignFleetMessage(key, topic, QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString()),
                     true),
        60000);
    return note;
}

std::string PublishCommand(MqttLink& link, const FleetKey& key, const std::string& sign, const std::string& cmd,
                           int timeoutMs, const QJsonObject& fields) {
    if (!IsFleetId(sign)) throw Error("Sign \"" + sign + "\" is not valid: use 1 to 64 of A-Z a-z 0-9 _ -");
    std::string id = fields.value("id").toString().toStdString();
    if (fields.contains("id") && !IsFleetId(id)) throw Error("Command id \"" + id + "\" is not valid");
    std::random_device random;
    if (id.empty())
        for (int i = 0; i < 4; ++i) id += Format("%08x", static_cast<unsigned>(random()));
    QJsonObject body = fields;
    body["cmd"] = QString::fromStdString(cmd);
    body["id"] = QString::fromStdString(id);
    body["time"] = static_cast<qint64>(FleetNowMs());
    const std::string topic = CommandTopic(sign);
    link.WaitAcknowledged(
        link.Publish(topic, SignFleetMessage(key, topic, QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString()),
                     false),
        timeoutMs);
    return id;
}

std::vector<QJsonObject> ReadStates(const FleetConfig& config, const std::string& group) {
    FleetWatch watch;
    MqttLink link(config, RandomId("reader"));
    watch.Attach(link);
    link.Connect(kAnswerMs);
    Survey(link, {});
    link.Stop();
    std::lock_guard lock(watch.mutex);
    return watch.roster.Signs(group);
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
           (bundle == "-" ? bundle : bundle.substr(0, 12)) + "\t" + text("plan") + "\t" + (s.value("dark").toBool() ? "dark" : text("page")) + "\t" + when +
           "\t" + text("error");
}

std::string RequestShot(const FleetConfig& config, const std::string& sign, int timeoutMs) {
    if (!IsFleetId(sign)) throw Error("Sign \"" + sign + "\" is not valid: use 1 to 64 of A-Z a-z 0-9 _ -");
    const FleetKey key = FleetKey::LoadPrivate(config.privateKey);
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::string, std::string> answers;  // id -> PNG
    // Made after what its thread writes to, so it is stopped before they go.
    MqttLink link(config, RandomId("shot"));
    link.onMessage = [&](const std::string& topic, std::string_view payload) {
        const auto newline = payload.find('\n');
        if (topic != ShotTopic(sign) || newline == std::string::npos) return;
        std::lock_guard lock(mutex);
        answers[std::string(payload.substr(0, newline))] = std::string(payload.substr(newline + 1));
        changed.notify_all();
    };
    link.Connect(kAnswerMs);
    link.Subscribe(ShotTopic(sign));
    link.WaitRetained(kAnswerMs);
    const std::string id = PublishCommand(link, key, sign, "shot", kAnswerMs);
    std::unique_lock lock(mutex);
    if (!changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return answers.count(id) != 0; }))
        throw Error("Sign \"" + sign +
                    "\" sent no screenshot; it may be offline, or it took one less than a second ago");
    return answers[id];
}

}  // namespace zl
