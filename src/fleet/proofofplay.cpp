#include "fleet/proofofplay.h"

#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <random>

#include "core/error.h"
#include "fleet/fleetsign.h"
#include "fleet/mqttlink.h"
#include "fleet/publisher.h"
#include "fleet/signature.h"

namespace zl {

std::string PlayLogTopic(const std::string& sign) { return "zorled/sign/" + sign + "/playlog"; }


bool IsPlayLogDay(const std::string& day) {
    int y, m, d;
    char tail;
    if (day.size() != 10 || day[4] != '-' || day[7] != '-' || std::sscanf(day.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3)
        return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (day[i] < '0' || day[i] > '9') return false;
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return y >= 1 && m >= 1 && m <= 12 && d >= 1 && d <= kDays[m - 1] && !(m == 2 && d == 29 && !leap);
}

std::string PlayLogAnswer(const std::string& id, const PlaySums& sums) {
    QJsonArray rows;
    for (const auto& [key, seconds] : sums)
        rows.append(QJsonObject{{"day", QString::fromStdString(std::get<0>(key))},
                                {"plan", QString::fromStdString(std::get<1>(key))},
                                {"page", QString::fromStdString(std::get<2>(key))},
                                {"seconds", static_cast<qint64>(seconds)}});
    return id + "\n" + QJsonDocument(rows).toJson(QJsonDocument::Compact).toStdString();
}

std::optional<std::vector<PlayRow>> ReadPlayLogAnswer(const std::string& sign, const std::string& id,
                                                      std::string_view payload) {
    const auto newline = payload.find('\n');
    if (newline == std::string_view::npos || payload.substr(0, newline) != id) return std::nullopt;
    const QByteArray json(payload.data() + newline + 1, static_cast<qsizetype>(payload.size() - newline - 1));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray()) return std::nullopt;
    std::vector<PlayRow> rows;
    for (const QJsonValue& v : doc.array()) {
        const QJsonObject o = v.toObject();
        rows.push_back({sign, o.value("day").toString().toStdString(), o.value("plan").toString().toStdString(),
                        o.value("page").toString().toStdString(), o.value("seconds").toInteger(0)});
    }
    return rows;
}

std::string PlayRowsCsv(const std::vector<PlayRow>& rows) {
    auto field = [](const std::string& s) {
        if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
        std::string quoted = "\"";
        for (char c : s) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        return quoted + "\"";
    };
    std::string csv = "sign,day,plan,page,seconds\n";
    for (const PlayRow& r : rows)
        csv += field(r.sign) + "," + field(r.day) + "," + field(r.plan) + "," + field(r.page) + "," +
               std::to_string(r.seconds) + "\n";
    return csv;
}

FleetPlayLog CollectPlayLogs(const FleetConfig& config, const std::string& group, const std::string& from,
                             const std::string& to, int timeoutMs) {
    if (!group.empty() && !IsFleetId(group))
        throw Error("Group \"" + group + "\" is not valid: use 1 to 64 of A-Z a-z 0-9 _ -");
    for (const std::string& day : {from, to})
        if (!IsPlayLogDay(day)) throw Error("Date \"" + day + "\" is not valid: give YYYY-MM-DD");
    if (from > to) throw Error("The first day " + from + " is after the last day " + to);
    std::vector<std::string> signs;
    for (const QJsonObject& state : ReadStates(config, group)) signs.push_back(state.value("sign").toString().toStdString());
    FleetPlayLog result;
    if (signs.empty()) return result;

    std::random_device random;
    const std::string base = Format("playlog-%08x%08x", static_cast<unsigned>(random()), static_cast<unsigned>(random()));
    std::map<std::string, std::string> ids;  // sign -> the id of the request it got
    for (size_t i = 0; i < signs.size(); ++i) ids[signs[i]] = base + "-" + std::to_string(i);
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::string, std::vector<PlayRow>> answers;
    MqttLink link(config, base);
    link.onMessage = [&](const std::string& topic, std::string_view payload) {
        // zorled/sign/<s>/playlog
        const std::string prefix = "zorled/sign/";
        if (topic.rfind(prefix, 0) != 0 || topic.size() < prefix.size() + 9) return;
        const std::string sign = topic.substr(prefix.size(), topic.size() - prefix.size() - 8);
        const auto id = ids.find(sign);
        if (topic != PlayLogTopic(sign) || id == ids.end()) return;
        auto rows = ReadPlayLogAnswer(sign, id->second, payload);
        if (!rows) return;
        std::lock_guard lock(mutex);
        answers[sign] = std::move(*rows);
        changed.notify_all();
    };
    link.Connect(timeoutMs);
    link.Subscribe("zorled/sign/+/playlog");
    const FleetKey key = FleetKey::LoadPrivate(config.privateKey);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (const std::string& sign : signs)
        PublishCommand(link, key, sign, "playlog", timeoutMs,
                       {{"id", QString::fromStdString(ids[sign])},
                        {"from", QString::fromStdString(from)},
                        {"to", QString::fromStdString(to)}});
    std::unique_lock lock(mutex);
    changed.wait_until(lock, deadline, [&] { return answers.size() >= signs.size(); });
    for (const std::string& sign : signs) {
        const auto it = answers.find(sign);
        if (it == answers.end())
            result.missing.push_back(sign);
        else
            result.rows.insert(result.rows.end(), it->second.begin(), it->second.end());
    }
    return result;
}

}  // namespace zl
