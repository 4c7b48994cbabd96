#include "fleet/fleetsign.h"

#include <malloc.h>
#include <sys/timex.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <algorithm>
#include <random>

#include "core/error.h"
#include "core/atomicfile.h"
#include "core/playlog.h"
#include "fleet/mqttlink.h"
#include "fleet/proofofplay.h"

namespace zl {
namespace {
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


std::string RandomHex(int bytes) {
    std::random_device random;
    std::string out;
    static const char* digits = "0123456789abcdef";
    for (int i = 0; i < bytes; ++i) {
        const unsigned v = random() & 0xff;
        out += digits[v >> 4];
        out += digits[v & 15];
    }
    return out;
}

bool ValidCommandId(const std::string& id) { return IsFleetId(id); }

}  // namespace

FleetClock FleetClock::System() {
    FleetClock c;
    c.utcMs = FleetNowMs;
    c.steadyMs = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    // Reading the kernel's NTP status needs no privilege.
    c.synchronised = [] {
        timex tx{};
        const int state = adjtimex(&tx);
        return state != TIME_ERROR && !(tx.status & STA_UNSYNC);
    };
    return c;
}

FleetSign::FleetSign(std::filesystem::path home, FleetConfig config, std::string programVersion, FleetClock clock)
    : home_(std::move(home)),
      config_(std::move(config)),
      program_(std::move(programVersion)),
      clock_(std::move(clock)),
      instance_(RandomHex(8)),
      publisherKey_(FleetKey::LoadPublic(config_.publisherKey)),
      applied_(home_),
      started_(clock_.utcMs()) {
    // A kill during an apply may have left a step undone; play must find pagedef whole.
    try {
        RecoverFleetHome(home_);
    } catch (const std::exception&) {
    }
}

FleetSign::~FleetSign() { Stop(); }

void FleetSign::Start() {
    // Bundles pass through in blocks of megabytes: served straight from the system and handed back
    // when freed, they leave no heap behind that a sign's resident memory would keep for years.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    link_ = std::make_unique<MqttLink>(config_, "zorled-sign-" + config_.sign);
    // Presence lives apart from the state: the will clears only presence, never what the sign last said.
    link_->SetWill(OnlineTopic(config_.sign), "0");
    link_->onConnected = [this] {
        for (const std::string& group : config_.groups) {
            link_->Subscribe(BundleTopic(group));
            link_->Subscribe("zorled/group/" + group + "/text/+");
        }
        link_->Subscribe(CommandTopic(config_.sign));
        // A second copy with this id shows itself on the state topic.
        link_->Subscribe(StateTopic(config_.sign));
        ClearError("connection");
        {
            std::lock_guard lock(mutex_);
            if (!duplicate_.empty() && clock_.steadyMs() - duplicateSeen_ > kCommandWindowMs) duplicate_.clear();
        }
        if (duplicate_.empty()) ClearError("duplicate");
        SayAlive();
        PublishState();
    };
    link_->onTick = [this] {
        if (clock_.steadyMs() >= nextAlive_) SayAlive();
    };
    link_->onMessage = [this](const std::string& topic, std::string_view payload) { OnMessage(topic, payload); };
    // Retried with back-off; the operator hears of it once per reason.
    link_->onRefused = [this](const std::string& reason) { SetError("connection", reason); };
    link_->onTakenOver = [this] {
        {
            std::lock_guard lock(mutex_);
            duplicateSeen_ = clock_.steadyMs();
            if (duplicate_.empty()) duplicate_ = "?";
        }
        SetError("duplicate", "Another client keeps connecting to the broker as sign \"" + config_.sign +
                                  "\" (a second sign with id \"" + config_.sign +
                                  "\"?); this one waits longer before each new connection");
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
            mid = link_->Publish(OnlineTopic(config_.sign), "0", true);
        }
        link_->WaitAcknowledged(mid, 2000);
    } catch (const std::exception&) {
    }
    link_->Stop();
    link_.reset();
}

void FleetSign::SetPage(const std::string& plan, const std::string& page, const std::string& bundle) {
    {
        std::lock_guard lock(mutex_);
        plan_ = plan;
        page_ = page;
        pageBundle_ = bundle;
        since_ = clock_.utcMs();
    }
    PublishState();
}

void FleetSign::SetWindow(PlayWindow window) {
    std::lock_guard lock(mutex_);
    window_ = std::move(window);
}

void FleetSign::SetError(const std::string& kind, const std::string& message) {
    {
        std::lock_guard lock(mutex_);
        // The same refusal again (a flood, a retained message on every reconnect) is news once.
        if (!errors_.empty() && errors_.back() == std::make_pair(kind, message)) return;
        std::erase_if(errors_, [&](const auto& e) { return e.first == kind; });
        errors_.emplace_back(kind, message);
    }
    if (onError) onError(message);
    PublishState();
}

void FleetSign::ClearError(const std::string& kind) {
    {
        std::lock_guard lock(mutex_);
        if (std::erase_if(errors_, [&](const auto& e) { return e.first == kind; }) == 0) return;
    }
    PublishState();
}

void FleetSign::SendShot(const std::string& id, const std::string& png) {
    if (link_) link_->Publish(ShotTopic(config_.sign), id + "\n" + png, false);
}

std::string FleetSign::AppliedBundle() const {
    std::lock_guard lock(mutex_);
    return applied_.Bundle();
}

std::string FleetSign::StateJson() const {
    std::lock_guard lock(mutex_);
    QJsonArray groups;
    for (const std::string& g : config_.groups) groups.append(QString::fromStdString(g));
    auto orNull = [](const std::string& s) { return s.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(s)); };
    QJsonObject state{{"sign", QString::fromStdString(config_.sign)},
                      {"instance", QString::fromStdString(instance_)},
                      {"groups", groups},
                      {"program", QString::fromStdString(program_)},
                      {"bundle", orNull(applied_.Bundle())},
                      {"bundle_group", orNull(applied_.AppliedGroup())},
                      {"version", static_cast<qint64>(applied_.AppliedVersion())},
                      {"plan", orNull(plan_)},
                      {"page", orNull(page_)},
                      {"page_bundle", orNull(pageBundle_)},
                      {"since", static_cast<qint64>(since_)},
                      {"error", errors_.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(errors_.back().second))},
                      {"uptime", static_cast<qint64>((clock_.utcMs() - started_) / 1000)},
                      {"keepalive", config_.keepalive},
                      {"time", static_cast<qint64>(clock_.utcMs())}};
    QJsonArray plansOn;
    for (const std::string& p : window_.plansOn) plansOn.append(QString::fromStdString(p));
    state.insert("plans_on", plansOn);
    state.insert("dark", window_.dark);
    state.insert("window_until", window_.until ? QJsonValue(static_cast<qint64>(*window_.until)) : QJsonValue());
    if (skew_) state.insert("clock_skew_ms", static_cast<qint64>(*skew_));
    if (!duplicate_.empty()) state.insert("duplicate", QString::fromStdString(duplicate_));
    if (!config_.site.empty()) state.insert("site", QString::fromStdString(config_.site));
    QJsonArray texts;
    for (const auto& [widget, a] : texts_)
        texts.append(QJsonObject{{"widget", QString::fromStdString(widget)},
                                 {"text", QString::fromStdString(a.text)},
                                 {"until", static_cast<qint64>(a.until)}});
    state["texts"] = texts;
    AddHealth(state, home_);
    return QJsonDocument(state).toJson(QJsonDocument::Compact).toStdString();
}

void FleetSign::SayAlive() {
    // Twice per keepalive: one late or lost message does not make a living sign look silent.
    nextAlive_ = clock_.steadyMs() + config_.keepalive * 1000 / 2;
    std::lock_guard lock(publishMutex_);
    if (!link_ || stopping_) return;
    try {
        link_->Publish(OnlineTopic(config_.sign), "1", true, PresenceExpirySeconds(config_.keepalive));
    } catch (const std::exception&) {
        // Offline: presence goes out again on the next connect.
    }
}

void FleetSign::PublishState() {
    std::lock_guard lock(publishMutex_);
    if (!link_ || stopping_) return;
    try {
        link_->Publish(StateTopic(config_.sign), StateJson(), true);
    } catch (const std::exception&) {
        // Offline: the state goes out again on the next connect.
    }
}

bool FleetSign::TakeBundle(const std::string& topic, char* message, size_t size) {
    const FleetTopic where = ParseTopic(topic);
    if (where.kind != TopicKind::Bundle) throw Error("Bundle refused: \"" + topic + "\" is not a bundle topic");
    if (size > kSignatureSize + kMaxBundleBody)
        throw Error(Format("Bundle refused: its body of %zu bytes is over the limit of %zu", size - kSignatureSize,
                           kMaxBundleBody));
    const auto body = VerifyFleetMessageInPlace(publisherKey_, topic, message, size);
    if (!body) throw Error("Bundle refused: its signature does not match the publisher key");
    const CheckedBundle bundle = CheckBundle(*body, where.group);
    // The retained bundle comes again on every reconnect.
    const std::int64_t seen = applied_.Version(topic);
    if (bundle.version == seen) return false;
    if (bundle.version < seen)
        throw Error(Format("Bundle refused: version %lld is not newer than the applied %lld",
                           static_cast<long long>(bundle.version), static_cast<long long>(seen)));
    // The newest bundle among the sign's groups wins, whichever came first. A group the sign has
    // left no longer holds the others back.
    const std::string& from = applied_.AppliedGroup();
    const bool stillMine = std::find(config_.groups.begin(), config_.groups.end(), from) != config_.groups.end();
    if (stillMine && from != where.group && bundle.version <= applied_.AppliedVersion()) {
        std::lock_guard lock(mutex_);
        applied_.SetVersion(topic, bundle.version);
        return false;
    }
    const std::string sha = Sha256Hex(*body);
    ApplyBundle(home_, bundle, sha);
    {
        std::lock_guard lock(mutex_);
        applied_.SetApplied(topic, where.group, bundle.version, sha);
    }
    return true;
}

std::optional<Announcement> FleetSign::TakeAnnouncement(const std::string& topic, std::string_view message) {
    const FleetTopic where = ParseTopic(topic);
    if (where.kind != TopicKind::Text) throw Error("Announcement refused: \"" + topic + "\" is not a text topic");
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
    a.widget = where.widget;
    a.text = json.value("text").toString().toStdString();
    a.until = json.value("until").toInteger(0);
    if (a.text.empty())
        texts_.erase(a.widget);
    else
        texts_[a.widget] = a;
    return a;
}

std::string FleetSign::TakeCommand(const std::string& topic, std::string_view message, QJsonObject* command) {
    const auto body = VerifyFleetMessage(publisherKey_, topic, message);
    if (!body) throw Error("Command refused: it is not signed with the publisher key");
    const QJsonObject cmd =
        QJsonDocument::fromJson(QByteArray(body->data(), static_cast<qsizetype>(body->size()))).object();
    const std::string id = cmd.value("id").toString().toStdString();
    const std::string name = cmd.value("cmd").toString().toStdString();
    if (!ValidCommandId(id)) throw Error("Command refused: its id is missing or not valid");
    if (!cmd.value("time").isDouble()) throw Error("Command refused: it has no time");
    const std::int64_t time = cmd.value("time").toInteger(0);
    const std::int64_t steady = clock_.steadyMs();
    std::lock_guard lock(mutex_);
    std::erase_if(seenCommands_, [&](const auto& e) { return steady - e.second > kCommandWindowMs; });
    if (seenCommands_.count(id)) throw Error("Command refused: id \"" + id + "\" was taken in the last 10 minutes");
    const std::int64_t skew = time - clock_.utcMs();
    if (std::llabs(skew) > kCommandWindowMs) {
        if (clock_.synchronised())
            throw Error(Format("Command refused: its time is %lld s from the sign's clock",
                               static_cast<long long>(skew / 1000)));
        skew_ = skew;
    } else {
        skew_.reset();
    }
    seenCommands_[id] = steady;
    if (name != "shot" && name != "playlog" && name != "restart")
        throw Error("Command refused: \"" + name + "\" is not a command");
    if (name == "shot") {
        if (steady - lastShot_ < kShotIntervalMs) throw Error("Command refused: at most one screenshot a second");
        lastShot_ = steady;
    }
    if (command) *command = cmd;
    return id;
}

bool FleetSign::EverConnected() const { return link_ && link_->EverConnected(); }

void FleetSign::OnMessage(const std::string& topic, std::string_view payload) {
    // An empty retained message only removes the one before it.
    if (payload.empty()) return;
    const FleetTopic where = ParseTopic(topic);
    if (where.kind == TopicKind::State) {
        // What this sign's last run left is retained; a live state of another instance is a twin.
        if (MqttLink::MessageRetained()) return;
        const std::string other =
            QJsonDocument::fromJson(QByteArray(payload.data(), static_cast<qsizetype>(payload.size())))
                .object()
                .value("instance")
                .toString()
                .toStdString();
        if (other.empty() || other == instance_) return;
        {
            std::lock_guard lock(mutex_);
            duplicate_ = other;
            duplicateSeen_ = clock_.steadyMs();
        }
        SetError("duplicate", "Sign \"" + config_.sign + "\" also runs elsewhere (instance " + other + ")");
        return;
    }
    const char* kind = where.kind == TopicKind::Bundle ? "bundle"
                       : where.kind == TopicKind::Text ? "announcement"
                                                       : "command";
    try {
        if (where.kind == TopicKind::Command && where.sign == config_.sign) {
            QJsonObject cmd;
            const std::string id = TakeCommand(topic, payload, &cmd);
            const QString name = cmd.value("cmd").toString();
            if (name == "playlog") {
                const std::string from = cmd.value("from").toString().toStdString();
                const std::string to = cmd.value("to").toString().toStdString();
                if (!IsPlayLogDay(from) || !IsPlayLogDay(to))
                    throw Error("Command refused: playlog needs from and to as YYYY-MM-DD");
                if (link_) link_->Publish(PlayLogTopic(config_.sign), PlayLogAnswer(id, SumPlayLog(home_, from, to)), false);
            }
            ClearError(kind);
            if (name == "shot" && onShotRequest) onShotRequest(id);
            if (name == "restart" && onRestart) onRestart();
        } else if (where.kind == TopicKind::Bundle) {
            // The link's buffer is writable and ours during the call (see MqttLink::onMessage).
            if (!TakeBundle(topic, const_cast<char*>(payload.data()), payload.size())) return;
            ClearError(kind);
            PublishState();
            if (onBundleApplied) onBundleApplied();
        } else if (where.kind == TopicKind::Text) {
            const auto a = TakeAnnouncement(topic, payload);
            if (!a) return;
            ClearError(kind);
            // The state says which announcements the sign took.
            PublishState();
            if (onAnnouncement) onAnnouncement(*a);
        }
    } catch (const std::exception& e) {
        SetError(kind, e.what());
    }
}

}  // namespace zl
