#include "fleet/fleetsign.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <malloc.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>

#include "core/error.h"
#include "core/atomicfile.h"
#include "core/playlog.h"
#include "fleet/mqttlink.h"
#include "fleet/proofofplay.h"

namespace zl {
namespace {
struct AlreadyApplied {};

// What the desk shows of a sign's health; a figure the system does not give is left out.
void AddHealth(QJsonObject& state, const std::filesystem::path& home) {
    struct statvfs disk {};
    if (statvfs(home.c_str(), &disk) == 0)
        state["disk_free_mb"] = static_cast<qint64>(static_cast<unsigned long long>(disk.f_bavail) * disk.f_frsize >> 20);
    try {
        const std::string meminfo = ReadWholeFile("/proc/meminfo");
        const auto at = meminfo.find("MemAvailable:");
        if (at != std::string::npos) state["memory_free_mb"] = std::atoll(meminfo.c_str() + at + 13) / 1024;
    } catch (const std::exception&) {
    }
    double load[1];
    if (getloadavg(load, 1) == 1) state["load"] = load[0];
    std::error_code ec;
    for (const auto& zone : std::filesystem::directory_iterator("/sys/class/thermal", ec)) {
        if (zone.path().filename().string().rfind("thermal_zone", 0) != 0) continue;
        try {
            const std::string temp = ReadWholeFile(zone.path() / "temp");
            if (!temp.empty()) {
                state["temperature"] = std::atof(temp.c_str()) / 1000.0;
                break;
            }
        } catch (const std::exception&) {
        }
    }
}

}  // namespace

std::string BundleTopic(const std::string& group) { return "zorled/group/" + group + "/bundle"; }
std::string TextTopic(const std::string& group, const std::string& widget) {
    return "zorled/group/" + group + "/text/" + widget;
}
std::string StateTopic(const std::string& sign) { return "zorled/sign/" + sign + "/state"; }
std::string CommandTopic(const std::string& sign) { return "zorled/sign/" + sign + "/cmd"; }
std::string ShotTopic(const std::string& sign) { return "zorled/sign/" + sign + "/shot"; }

std::int64_t FleetNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

FleetSign::FleetSign(std::filesystem::path home, FleetConfig config, std::string programVersion)
    : home_(std::move(home)),
      config_(std::move(config)),
      program_(std::move(programVersion)),
      publisherKey_(FleetKey::LoadPublic(config_.publisherKey)),
      applied_(home_),
      started_(FleetNowMs()) {}

FleetSign::~FleetSign() { Stop(); }

void FleetSign::Start() {
    // Bundles pass through in blocks of megabytes: served straight from the system and handed back
    // when freed, they leave no heap behind that a sign's resident memory would keep for years.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    link_ = std::make_unique<MqttLink>(config_, "zorled-sign-" + config_.sign);
    link_->SetWill(StateTopic(config_.sign), StateJson(false));
    link_->onConnected = [this] {
        for (const std::string& group : config_.groups) {
            link_->Subscribe(BundleTopic(group));
            link_->Subscribe("zorled/group/" + group + "/text/+");
        }
        link_->Subscribe(CommandTopic(config_.sign));
        {
            std::lock_guard lock(mutex_);
            if (error_ == refusal_) error_.clear();
        }
        PublishState();
    };
    // The will goes out with the next connect, so it is brought up to date before each one.
    link_->onDisconnected = [this] { link_->SetWill(StateTopic(config_.sign), StateJson(false)); };
    link_->onMessage = [this](const std::string& topic, std::string_view payload) { OnMessage(topic, payload); };
    // Retried with back-off; the operator hears of it once per reason.
    link_->onRefused = [this](const std::string& reason) {
        bool fresh;
        {
            std::lock_guard lock(mutex_);
            fresh = error_ != reason;
            error_ = refusal_ = reason;
        }
        if (fresh && onError) onError(reason);
    };
    link_->Start();
}

void FleetSign::Stop() {
    if (!link_) return;
    // A sign that stops on purpose says so itself; the will covers the rest. Nothing online may
    // follow it, also not from an apply the network thread is finishing.
    try {
        int mid;
        {
            std::lock_guard lock(publishMutex_);
            stopping_ = true;
            mid = link_->Publish(StateTopic(config_.sign), StateJson(false), true);
        }
        link_->WaitAcknowledged(mid, 2000);
    } catch (const std::exception&) {
    }
    link_->Stop();
    link_.reset();
}

void FleetSign::SetPage(const std::string& plan, const std::string& page) {
    {
        std::lock_guard lock(mutex_);
        plan_ = plan;
        page_ = page;
        since_ = FleetNowMs();
    }
    PublishState();
}

void FleetSign::SetError(const std::string& message) {
    {
        std::lock_guard lock(mutex_);
        error_ = message;
    }
    if (onError) onError(message);
    PublishState();
}

void FleetSign::SendShot(const std::string& id, const std::string& png) {
    if (link_) link_->Publish(ShotTopic(config_.sign), id + "\n" + png, false);
}

std::string FleetSign::StateJson(bool online) const {
    std::lock_guard lock(mutex_);
    QJsonArray groups;
    for (const std::string& g : config_.groups) groups.append(QString::fromStdString(g));
    auto orNull = [](const std::string& s) { return s.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(s)); };
    QJsonObject state{{"online", online},
                            {"sign", QString::fromStdString(config_.sign)},
                            {"groups", groups},
                            {"program", QString::fromStdString(program_)},
                            {"bundle", orNull(applied_.Bundle())},
                            {"plan", orNull(plan_)},
                            {"page", orNull(page_)},
                            {"since", static_cast<qint64>(since_)},
                            {"error", orNull(error_)},
                            {"uptime", static_cast<qint64>((FleetNowMs() - started_) / 1000)},
                            {"time", static_cast<qint64>(FleetNowMs())}};
    QJsonArray texts;
    for (const auto& [widget, a] : texts_)
        texts.append(QJsonObject{{"widget", QString::fromStdString(widget)},
                                 {"text", QString::fromStdString(a.text)},
                                 {"until", static_cast<qint64>(a.until)}});
    state["texts"] = texts;
    AddHealth(state, home_);
    return QJsonDocument(state).toJson(QJsonDocument::Compact).toStdString();
}

void FleetSign::PublishState() {
    std::lock_guard lock(publishMutex_);
    if (!link_ || stopping_) return;
    try {
        link_->Publish(StateTopic(config_.sign), StateJson(true), true);
    } catch (const std::exception&) {
        // Offline: the state goes out again on the next connect.
    }
}

void FleetSign::TakeBundle(const std::string& topic, char* message, size_t size) {
    if (size > kSignatureSize + kMaxBundleBody)
        throw Error(Format("Bundle refused: its body of %zu bytes is over the limit of %zu", size - kSignatureSize,
                           kMaxBundleBody));
    const auto body = VerifyFleetMessageInPlace(publisherKey_, topic, message, size);
    if (!body) throw Error("Bundle refused: its signature does not match the publisher key");
    const std::string group = topic.substr(13, topic.size() - 13 - 7);
    const CheckedBundle bundle = CheckBundle(*body, group);
    // The retained bundle comes again on every reconnect.
    if (bundle.version == applied_.Version(topic)) throw AlreadyApplied();
    if (bundle.version < applied_.Version(topic))
        throw Error(Format("Bundle refused: version %lld is not newer than the applied %lld",
                           static_cast<long long>(bundle.version), static_cast<long long>(applied_.Version(topic))));
    const std::string sha = Sha256Hex(*body);
    ApplyBundle(home_, bundle, sha);
    {
        std::lock_guard lock(mutex_);
        applied_.SetVersion(topic, bundle.version);
        applied_.SetBundle(sha);
        error_.clear();
    }
}

std::optional<Announcement> FleetSign::TakeAnnouncement(const std::string& topic, std::string_view message) {
    const auto body = VerifyFleetMessage(publisherKey_, topic, message);
    if (!body) throw Error("Announcement refused: its signature does not match the publisher key");
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(std::string(*body))).object();
    const std::int64_t version = json.value("version").toInteger(0);
    // After a restart the retained announcement comes again with the version already recorded:
    // it is the one to show, not a replay.
    const std::int64_t last = applied_.Version(topic);
    if (version < last || (version == last && shownTopics_.count(topic))) return std::nullopt;
    shownTopics_.insert(topic);
    std::lock_guard lock(mutex_);
    applied_.SetVersion(topic, version);
    Announcement a;
    a.widget = topic.substr(topic.rfind('/') + 1);
    a.text = json.value("text").toString().toStdString();
    a.until = json.value("until").toInteger(0);
    if (a.text.empty())
        texts_.erase(a.widget);
    else
        texts_[a.widget] = a;
    return a;
}

void FleetSign::OnMessage(const std::string& topic, std::string_view payload) {
    const std::string prefix = "zorled/group/";
    // An empty retained message only removes the one before it.
    if (payload.empty()) return;
    try {
        if (topic == CommandTopic(config_.sign)) {
            const QJsonObject cmd =
                QJsonDocument::fromJson(QByteArray(payload.data(), static_cast<qsizetype>(payload.size()))).object();
            const std::string id = cmd.value("id").toString().toStdString();
            const QString kind = cmd.value("cmd").toString();
            if (id.empty() || id.size() > 64 || id.find('\n') != std::string::npos) return;
            if (kind == "shot" && onShotRequest) {
                onShotRequest(id);
            } else if (kind == "playlog") {
                const std::string from = cmd.value("from").toString().toStdString();
                const std::string to = cmd.value("to").toString().toStdString();
                if (!IsPlayLogDay(from) || !IsPlayLogDay(to)) return;
                if (link_) link_->Publish(PlayLogTopic(config_.sign), PlayLogAnswer(id, SumPlayLog(home_, from, to)), false);
            } else if (kind == "restart" && onRestart) {
                onRestart();
            }
        } else if (topic.rfind(prefix, 0) == 0 && topic.size() > 7 && topic.compare(topic.size() - 7, 7, "/bundle") == 0) {
            try {
                // The link's buffer is writable and ours during the call (see MqttLink::onMessage).
                TakeBundle(topic, const_cast<char*>(payload.data()), payload.size());
            } catch (const AlreadyApplied&) {
                return;
            }
            PublishState();
            if (onBundleApplied) onBundleApplied();
        } else if (topic.rfind(prefix, 0) == 0 && topic.find("/text/") != std::string::npos) {
            if (auto a = TakeAnnouncement(topic, payload)) {
                PublishState();
                if (onAnnouncement) onAnnouncement(*a);
            }
        }
    } catch (const std::exception& e) {
        SetError(e.what());
    }
}

}  // namespace zl
