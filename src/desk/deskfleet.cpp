#include "desk/deskfleet.h"

#include <unistd.h>

#include <QJsonDocument>
#include <QPointer>
#include <random>
#include <algorithm>

#include "core/atomicfile.h"
#include "core/error.h"
#include "desk/deskauth.h"
#include "fleet/bundle.h"
#include "fleet/fleetsign.h"
#include "fleet/mqttlink.h"
#include "fleet/proofofplay.h"
#include "fleet/publisher.h"
#include "fleet/topics.h"

namespace zl {
namespace {

constexpr int kShotMs = 15000;
constexpr int kPlayLogMs = 10000;
constexpr size_t kShotsKept = 20;

QJsonObject Failed(const std::string& message) { return {{"ok", false}, {"message", QString::fromStdString(message)}}; }

std::string Text(const QJsonObject& args, const char* key) { return args.value(key).toString().toStdString(); }

std::string CheckedGroup(const QJsonObject& args) {
    const std::string group = Text(args, "group");
    if (!IsFleetId(group)) throw Error("组名无效：用 1 到 64 个 A-Z a-z 0-9 _ - 字符");
    return group;
}

// The sign id from "zorled/sign/<s>/<last>", empty when the topic is not that.
std::string SignOf(const std::string& topic, const std::string& last) {
    const std::string prefix = "zorled/sign/";
    if (topic.rfind(prefix, 0) != 0 || topic.size() <= prefix.size() + last.size() + 1) return {};
    const std::string sign = topic.substr(prefix.size(), topic.size() - prefix.size() - last.size() - 1);
    return topic == prefix + sign + "/" + last && IsFleetId(sign) ? sign : std::string();
}

QJsonArray Strings(const std::vector<std::string>& list) {
    QJsonArray out;
    for (const std::string& s : list) out.append(QString::fromStdString(s));
    return out;
}

}  // namespace

DeskFleet::DeskFleet(FleetConfig config, std::filesystem::path home)
    : config_(std::move(config)), home_(std::move(home)), key_(FleetKey::LoadPrivate(config_.privateKey)) {
    pool_.setMaxThreadCount(4);
    flush_.setInterval(200);
    flush_.setSingleShot(true);
    connect(&flush_, &QTimer::timeout, this, &DeskFleet::Flush);
    presence_ = CreateTimer();
    presence_->SetInterval(250);
    presence_->SetOnTimer([this] {
        for (const std::string& sign : roster_.PresenceChanged()) changed_.insert(sign);
        if (!changed_.empty() && !flush_.isActive()) flush_.start();
    });
    presence_->SetEnabled(true);
}

DeskFleet::~DeskFleet() {
    if (link_) link_->Stop();
    pool_.waitForDone();
}

void DeskFleet::Start() {
    std::random_device random;
    link_ = std::make_unique<MqttLink>(config_, "zorled-desk-" + std::to_string(getpid()) + "-" +
                                                    std::to_string(random() % 1000000));
    link_->onConnected = [this] {
        link_->Subscribe("zorled/sign/+/state");
        link_->Subscribe("zorled/sign/+/online");
        link_->Subscribe("zorled/sign/+/shot");
        link_->Subscribe("zorled/sign/+/playlog");
        link_->Subscribe("zorled/group/+/bundle");
        link_->Subscribe("zorled/site/+/bridge");
        // The retained states come again first: none of them tells the sign's clock now.
        QMetaObject::invokeMethod(this, [this] {
            for (auto& [id, sign] : signs_) sign.live = false;
        }, Qt::QueuedConnection);
    };
    link_->onMessage = [this](const std::string& topic, std::string_view payload) { OnMessage(topic, payload); };
    link_->Start();
}

void DeskFleet::OnMessage(const std::string& topic, std::string_view payload) {
    const std::int64_t now = FleetNowMs();
    if (topic.rfind("zorled/group/", 0) == 0) {
        const std::string group = topic.substr(13, topic.size() > 20 ? topic.size() - 20 : 0);
        if (topic == BundleTopic(group) && IsFleetId(group)) TakeBundle(group, payload);
        return;
    }
    const QByteArray bytes(payload.data(), static_cast<qsizetype>(payload.size()));
    if (topic.rfind("zorled/site/", 0) == 0 && topic.size() > 19 && topic.compare(topic.size() - 7, 7, "/bridge") == 0) {
        const std::string site = topic.substr(12, topic.size() - 19);
        if (!IsFleetId(site)) return;
        QMetaObject::invokeMethod(this, [this, site, bytes] {
            if (bytes.isEmpty())
                sites_.erase(site);
            else
                sites_[site] = bytes.trimmed() == "1";
            for (const QJsonObject& s : roster_.Signs())
                if (s.value("site").toString().toStdString() == site) changed_.insert(s.value("sign").toString().toStdString());
            if (!flush_.isActive()) flush_.start();
        }, Qt::QueuedConnection);
        return;
    }
    const FleetTopic where = ParseTopic(topic);
    if (where.kind == TopicKind::State || where.kind == TopicKind::Online) {
        const bool state = where.kind == TopicKind::State;
        QMetaObject::invokeMethod(this, [this, topic, sign = where.sign, state, bytes, now, how = MqttLink::Received()] {
            TakeSignMessage(topic, sign, state, bytes, now, how);
        }, Qt::QueuedConnection);
    } else if (const std::string sign = SignOf(topic, "shot"); !sign.empty()) {
        const auto newline = bytes.indexOf('\n');
        if (newline <= 0) return;
        const std::string id = bytes.left(newline).toStdString();
        QMetaObject::invokeMethod(this, [this, sign, id, png = bytes.mid(newline + 1)] {
            const auto wait = shotWaits_.find(id);
            if (wait == shotWaits_.end()) return;
            auto done = std::move(wait->second);
            shotWaits_.erase(wait);
            shots_.erase(sign);
            if (shots_.size() >= kShotsKept) shots_.erase(shots_.begin());
            shots_[sign] = png;
            done(png);
        }, Qt::QueuedConnection);
    } else if (const std::string sign = SignOf(topic, "playlog"); !sign.empty()) {
        QMetaObject::invokeMethod(this, [this, sign, bytes] {
            const auto newline = bytes.indexOf('\n');
            const auto wait = playlogWaits_.find(bytes.left(std::max<qsizetype>(newline, 0)).toStdString());
            if (newline <= 0 || wait == playlogWaits_.end()) return;
            const auto rows = ReadPlayLogAnswer(sign, wait->first, std::string_view(bytes.data(), bytes.size()));
            if (!rows) return;
            QJsonArray out;
            for (const PlayRow& r : *rows)
                out.append(QJsonObject{{"sign", QString::fromStdString(r.sign)},
                                       {"day", QString::fromStdString(r.day)},
                                       {"plan", QString::fromStdString(r.plan)},
                                       {"page", QString::fromStdString(r.page)},
                                       {"seconds", static_cast<qint64>(r.seconds)}});
            // A copy: the last answer ends the wait, which removes the entry being called.
            const auto take = wait->second;
            take(sign, out);
        }, Qt::QueuedConnection);
    }
}

void DeskFleet::TakeSignMessage(const std::string& topic, const std::string& id, bool state, const QByteArray& payload,
                                std::int64_t receivedMs, const MessageInfo& how) {
    const bool known = roster_.Sign(id).has_value();
    if (!roster_.Take(topic, std::string_view(payload.data(), static_cast<size_t>(payload.size())), how)) return;
    if (known && !roster_.Sign(id)) {
        // Its retained messages were cleared: the sign was retired.
        signs_.erase(id);
        changed_.erase(id);
        emit signRetired(QString::fromStdString(id));
        return;
    }
    Sign& sign = signs_[id];
    if (state && !payload.isEmpty()) {
        const QJsonObject body = QJsonDocument::fromJson(payload).object();
        sign.receivedMs = receivedMs;
        if (sign.live && body.contains("time")) {
            sign.clockOffset = static_cast<double>(body.value("time").toInteger() - receivedMs) / 1000.0;
            sign.offsetKnown = true;
        }
        sign.live = true;
    }
    changed_.insert(id);
    if (!flush_.isActive()) flush_.start();
}

QJsonObject DeskFleet::State(const std::string& id) const {
    const auto state = roster_.Sign(id);
    if (!state) return {};
    QJsonObject view = *state;
    // Behind a site whose bridge is down the centre holds the last word from before: unknown.
    const auto site = sites_.find(view.value("site").toString().toStdString());
    if (site != sites_.end() && !site->second) {
        view["online"] = false;
        view["presence"] = "unknown";
    }
    const auto it = signs_.find(id);
    if (it != signs_.end()) {
        view["received"] = static_cast<qint64>(it->second.receivedMs);
        if (it->second.offsetKnown) view["clock_offset"] = it->second.clockOffset;
    }
    return view;
}

QJsonArray DeskFleet::States() const {
    QJsonArray out;
    for (const QJsonObject& s : roster_.Signs()) out.append(State(s.value("sign").toString().toStdString()));
    return out;
}

void DeskFleet::Flush() {
    QJsonArray out;
    for (const std::string& id : changed_)
        if (roster_.Sign(id)) out.append(State(id));
    changed_.clear();
    if (!out.isEmpty()) emit statesChanged(out);
}

std::vector<std::string> DeskFleet::GroupSigns(const std::string& group) const {
    std::vector<std::string> out;
    for (const QJsonObject& s : roster_.Signs(group)) out.push_back(s.value("sign").toString().toStdString());
    return out;
}

void DeskFleet::TakeBundle(const std::string& group, std::string_view message) {
    // Every bundle the group gets is kept with the one before it, so the desk can go back.
    const std::string topic = BundleTopic(group);
    const auto body = VerifyFleetMessage(key_, topic, message);
    if (!body) return;
    try {
        const std::filesystem::path dir = home_ / "desk" / "bundles" / group;
        std::filesystem::create_directories(dir);
        const std::string sha = Sha256Hex(*body);
        std::error_code ec;
        if (std::filesystem::exists(dir / "current.sha256", ec) && ReadWholeFile(dir / "current.sha256") == sha) return;
        if (std::filesystem::exists(dir / "current.bundle", ec)) {
            std::filesystem::rename(dir / "current.bundle", dir / "previous.bundle");
            std::filesystem::rename(dir / "current.sha256", dir / "previous.sha256", ec);
        }
        WriteFileAtomic(dir / "current.bundle", *body);
        WriteFileAtomic(dir / "current.sha256", sha);
    } catch (const std::exception&) {
        // Without the history only going back is lost; the fleet runs on.
    }
}

void DeskFleet::Background(std::function<QJsonObject()> work, Done done) {
    QPointer<DeskFleet> self(this);
    pool_.start([self, work = std::move(work), done = std::move(done)] {
        QJsonObject result;
        try {
            result = work();
        } catch (const std::exception& e) {
            result = Failed(e.what());
        }
        if (self) QMetaObject::invokeMethod(self, [done, result] { done(result); }, Qt::QueuedConnection);
    });
}

void DeskFleet::WatchApplied(const std::string& group, std::function<bool(const QJsonObject&)> applied, int seconds,
                             QJsonObject result, Done done) {
    auto* timer = new QTimer(this);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    auto check = [this, timer, group, applied, result, done, deadline]() mutable {
        std::vector<std::string> yes, no;
        bool waiting = false;
        for (const std::string& id : GroupSigns(group)) {
            const QJsonObject state = State(id);
            const bool ok = applied(state);
            (ok ? yes : no).push_back(id);
            waiting |= !ok && state.value("online").toBool();
        }
        if (waiting && std::chrono::steady_clock::now() < deadline) return;
        timer->deleteLater();
        timer->stop();
        result["applied"] = Strings(yes);
        result["missing"] = Strings(no);
        result["message"] = result.value("message").toString() +
                            QString("；%1 块屏（共 %2 块）已应用").arg(yes.size()).arg(yes.size() + no.size());
        done(result);
    };
    connect(timer, &QTimer::timeout, this, check);
    timer->start(300);
}

void DeskFleet::Announce(const QJsonObject& args, Done done) {
    std::string group, widget, text;
    double minutes = 0;
    try {
        group = CheckedGroup(args);
        widget = Text(args, "widget");
        if (widget.empty() || widget.size() > 64 || widget.find_first_of("/+#") != std::string::npos)
            throw Error("控件名无效：1 到 64 个字符，不含 / + #");
        const bool clear = args.value("clear").toBool();
        text = clear ? std::string() : Text(args, "text");
        if (!clear && text.empty()) throw Error("请填写公告内容，或选“清除”");
        if (text.size() > 4096) throw Error("公告内容太长（最多 4096 字节）");
        minutes = args.value("minutes").toDouble(0);
        if (!(minutes >= 0) || minutes > 525600) throw Error("分钟数无效：0（直到清除）到 525600");
    } catch (const std::exception& e) {
        return done(Failed(e.what()));
    }
    Background([this, group, widget, minutes, text] {
        zl::Announce(config_, group, widget, minutes, text);
        return QJsonObject{{"ok", true}, {"message", text.empty() ? "公告已清除" : "公告已发布"}};
    }, [this, group, widget, text, done](const QJsonObject& result) {
        if (!result.value("ok").toBool()) return done(result);
        const QString w = QString::fromStdString(widget), t = QString::fromStdString(text);
        WatchApplied(group, [w, t](const QJsonObject& state) {
            for (const QJsonValue& v : state.value("texts").toArray())
                if (v.toObject().value("widget").toString() == w) return v.toObject().value("text").toString() == t;
            return t.isEmpty();
        }, 15, result, done);
    });
}

// Publish and rollback both answer once the group's signs show the bundle they sent.
void DeskFleet::SendBundle(const QJsonObject& args, std::function<QJsonObject(const std::string& group)> work,
                           Done done) {
    std::string group;
    try {
        group = CheckedGroup(args);
    } catch (const std::exception& e) {
        return done(Failed(e.what()));
    }
    Background([work, group] { return work(group); }, [this, group, done](const QJsonObject& result) {
        if (!result.value("ok").toBool()) return done(result);
        const QString sha = result.value("bundle").toString();
        WatchApplied(group, [sha](const QJsonObject& s) { return s.value("bundle").toString() == sha; }, 30, result, done);
    });
}

void DeskFleet::Publish(const QJsonObject& args, Done done) {
    SendBundle(args, [this](const std::string& group) {
        const PublishResult r = PublishBundle(config_, group, home_ / "pagedef", 0);
        QString warnings;
        for (const std::string& w : r.warnings) warnings += "；" + QString::fromStdString(w);
        return QJsonObject{{"ok", true},
                           {"bundle", QString::fromStdString(r.sha256)},
                           {"message", QString("已发布节目包 %1").arg(QString::fromStdString(r.sha256.substr(0, 12))) + warnings}};
    }, done);
}

void DeskFleet::Rollback(const QJsonObject& args, Done done) {
    SendBundle(args, [this](const std::string& group) {
        const std::filesystem::path previous = home_ / "desk" / "bundles" / group / "previous.bundle";
        std::error_code ec;
        if (!std::filesystem::exists(previous, ec)) throw Error("这个组没有上一个节目包可以回退");
        const std::string old = ReadWholeFile(previous);
        const CheckedBundle checked = CheckBundle(old, group);
        std::vector<BundleFile> files;
        for (const CheckedFile& f : checked.files) files.push_back({f.name, std::string(f.data)});
        // A newer version, so signs take it as they take any new bundle.
        const std::string body = MakeBundleBody(group, std::max(FleetNowMs(), checked.version + 1), files);
        const std::string topic = BundleTopic(group);
        PublishRaw(config_, topic, SignFleetMessage(key_, topic, body), true);
        const std::string sha = Sha256Hex(body);
        return QJsonObject{{"ok", true},
                           {"bundle", QString::fromStdString(sha)},
                           {"message", QString("已回退到上一个节目包，重新发布为 %1").arg(QString::fromStdString(sha.substr(0, 12)))}};
    }, done);
}

void DeskFleet::SendCommand(const std::string& sign, const std::string& cmd, QJsonObject fields, Done failed) {
    Background([this, sign, cmd, fields] {
        if (!link_) throw Error("没有连上消息服务器");
        PublishCommand(*link_, key_, sign, cmd, 10000, fields);
        return QJsonObject{{"ok", true}};
    }, [failed](const QJsonObject& result) {
        if (!result.value("ok").toBool() && failed) failed(result);
    });
}

void DeskFleet::Shot(const QJsonObject& args, Done done) {
    const std::string sign = Text(args, "sign");
    if (!roster_.Sign(sign)) return done(Failed("没有这块屏"));
    const std::string id = "shot-" + RandomHex(8);
    shotWaits_[id] = [done, sign](const QByteArray& png) {
        done({{"ok", true}, {"sign", QString::fromStdString(sign)}, {"bytes", png.size()}, {"message", "截图已更新"}});
    };
    SendCommand(sign, "shot", {{"id", QString::fromStdString(id)}}, [this, id, done](const QJsonObject& failed) {
        if (shotWaits_.erase(id)) done(failed);
    });
    QTimer::singleShot(kShotMs, this, [this, id, done] {
        if (shotWaits_.erase(id)) done(Failed("这块屏没有送来截图，可能不在线"));
    });
}

QByteArray DeskFleet::ShotPng(const std::string& sign) const {
    const auto it = shots_.find(sign);
    return it == shots_.end() ? QByteArray() : it->second;
}

void DeskFleet::PlayLog(const QJsonObject& args, Done done) {
    const std::string group = Text(args, "group"), from = Text(args, "from"), to = Text(args, "to");
    if (!group.empty() && !IsFleetId(group)) return done(Failed("组名无效"));
    if (!IsPlayLogDay(from) || !IsPlayLogDay(to)) return done(Failed("日期无效：用 YYYY-MM-DD"));
    if (from > to) return done(Failed("开始日期在结束日期之后"));
    const std::vector<std::string> signs = GroupSigns(group);
    if (signs.empty()) return done(Failed("这个组没有屏"));
    const std::string id = "playlog-" + RandomHex(8);
    struct Collected {
        QJsonArray rows;
        std::set<std::string> answered;
        bool finished = false;
    };
    auto collected = std::make_shared<Collected>();
    auto finish = [this, id, signs, collected, done] {
        if (collected->finished) return;
        collected->finished = true;
        playlogWaits_.erase(id);
        std::vector<std::string> missing;
        for (const std::string& s : signs)
            if (!collected->answered.count(s)) missing.push_back(s);
        done({{"ok", true},
              {"rows", collected->rows},
              {"missing", Strings(missing)},
              {"message", QString("%1 块屏回答了").arg(collected->answered.size()) +
                              (missing.empty() ? QString() : QString("，%1 块屏 10 秒内没有回答").arg(missing.size()))}});
    };
    playlogWaits_[id] = [collected, signs, finish](const std::string& sign, const QJsonArray& rows) {
        if (!collected->answered.insert(sign).second) return;
        for (const QJsonValue& r : rows) collected->rows.append(r);
        if (collected->answered.size() == signs.size()) finish();
    };
    // One request for them all, sent off the GUI thread; a sign that cannot be asked is one that
    // does not answer.
    Background([this, signs, id, from, to] {
        if (!link_) throw Error("没有连上消息服务器");
        for (const std::string& s : signs) {
            try {
                PublishCommand(*link_, key_, s, "playlog", 10000,
                               {{"id", QString::fromStdString(id)},
                                {"from", QString::fromStdString(from)},
                                {"to", QString::fromStdString(to)}});
            } catch (const std::exception&) {
            }
        }
        return QJsonObject{{"ok", true}};
    }, [](const QJsonObject&) {});
    QTimer::singleShot(kPlayLogMs, this, finish);
}

void DeskFleet::Restart(const QJsonObject& args, Done done) {
    const std::string sign = Text(args, "sign");
    if (!roster_.Sign(sign)) return done(Failed("没有这块屏"));
    Background([this, sign] {
        if (!link_) throw Error("没有连上消息服务器");
        PublishCommand(*link_, key_, sign, "restart", 10000);
        return QJsonObject{{"ok", true}, {"message", "已请这块屏重启程序"}};
    }, done);
}

void DeskFleet::Retire(const QJsonObject& args, Done done) {
    const std::string sign = Text(args, "sign");
    if (!roster_.Sign(sign)) return done(Failed("没有这块屏"));
    Background([this, sign] {
        // An empty retained message removes the one the broker holds.
        for (const std::string& topic : {StateTopic(sign), OnlineTopic(sign)}) PublishRaw(config_, topic, "", true);
        return QJsonObject{{"ok", true}, {"message", "已退役：它在服务器上保留的消息已清除"}};
    }, [this, sign, done](const QJsonObject& result) {
        done(result);
    });
}

}  // namespace zl
