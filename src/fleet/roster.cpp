#include "fleet/roster.h"

#include <QJsonArray>
#include <QJsonDocument>

#include "core/clock.h"
#include "fleet/topics.h"

namespace zl {

bool InGroup(const QJsonObject& state, const std::string& group) {
    for (const QJsonValue& g : state.value("groups").toArray())
        if (g.toString().toStdString() == group) return true;
    return false;
}

bool FleetRoster::Online(const Entry& e, std::int64_t now) {
    // A sign of an older program has no presence topic: its state said whether it was online.
    if (!(e.online ? *e.online : e.state.value("online").toBool())) return false;
    const int keepalive = e.state.value("keepalive").toInt(0);
    // A sign that does not say it is alive (an older program): the broker's word alone.
    if (keepalive <= 0 && !e.expires) return true;
    if (e.expires && now <= *e.expires) return true;
    return keepalive > 0 && e.heard && now - *e.heard <= SilenceLimitMs(keepalive);
}

bool FleetRoster::Take(const std::string& topic, std::string_view payload, const MessageInfo& how) {
    const FleetTopic t = ParseTopic(topic);
    if (t.kind != TopicKind::State && t.kind != TopicKind::Online) return false;
    const std::int64_t now = MonotonicNow();
    Entry& e = signs_[t.sign];
    // Only what the sign sent while this reader listened tells that it lives now.
    if (!how.retained && !payload.empty()) e.heard = now;
    if (t.kind == TopicKind::Online) {
        if (payload.empty())
            e.online.reset();
        else
            e.online = payload == "1";
        if (e.online.value_or(false) && how.expirySeconds >= 0) {
            e.expires = now + how.expirySeconds * std::int64_t{1000};
        } else if (!e.online.value_or(false)) {
            // Nothing heard before a death speaks for the time after it.
            e.heard.reset();
            e.expires.reset();
        }
    } else if (payload.empty()) {
        e.state = {};
        e.refusal.clear();
    } else {
        QJsonParseError error{};
        const QJsonDocument doc =
            QJsonDocument::fromJson(QByteArray(payload.data(), static_cast<qsizetype>(payload.size())), &error);
        const QString named = doc.object().value("sign").toString();
        if (!doc.isObject()) {
            e.refusal = "State refused: it is not a JSON object";
        } else if (!named.isEmpty() && named.toStdString() != t.sign) {
            // A sign's credentials may write its own state topic only; what it claims there about
            // another sign is not taken.
            e.refusal = "State refused: it names sign \"" + named.toStdString() + "\"";
        } else {
            e.state = doc.object();
            e.refusal.clear();
        }
    }
    if (e.state.isEmpty() && !e.online && e.refusal.empty())
        signs_.erase(t.sign);
    else
        e.shown = Online(e, now);
    return true;
}

std::vector<std::string> FleetRoster::PresenceChanged() {
    const std::int64_t now = MonotonicNow();
    std::vector<std::string> changed;
    for (auto& [sign, e] : signs_)
        if (const bool online = Online(e, now); online != e.shown) {
            e.shown = online;
            changed.push_back(sign);
        }
    return changed;
}

QJsonObject FleetRoster::View(const std::string& sign, const Entry& e) const {
    QJsonObject v = e.state;
    v.insert("sign", QString::fromStdString(sign));
    v.insert("online", Online(e, MonotonicNow()));
    if (!e.refusal.empty()) {
        v.insert("error", QString::fromStdString(e.refusal));
        v.insert("refused", true);
    } else if (!e.state.value("duplicate").toString().isEmpty()) {
        v.insert("error", "Two signs run with id \"" + QString::fromStdString(sign) + "\"");
    }
    return v;
}

std::vector<QJsonObject> FleetRoster::Signs(const std::string& group) const {
    std::vector<QJsonObject> out;
    for (const auto& [sign, e] : signs_)
        if (group.empty() || InGroup(e.state, group)) out.push_back(View(sign, e));
    return out;
}

std::optional<QJsonObject> FleetRoster::Sign(const std::string& sign) const {
    auto it = signs_.find(sign);
    if (it == signs_.end()) return std::nullopt;
    return View(sign, it->second);
}

}  // namespace zl
