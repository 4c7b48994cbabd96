#include "desk/deskserver.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>
#include <QWebSocket>
#include <cstdio>

#include "core/atomicfile.h"
#include "core/error.h"
#include "core/home.h"
#include "desk/deskfleet.h"
#include "fleet/proofofplay.h"
#include "qtbase/lifetime.h"

namespace zl {
namespace {

const char* const kCookie = "zorled_desk";
constexpr int kJobsKept = 200;

// Reads a connection's requests as they come, only to refuse a body over the limit before it
// is buffered: the server reads the whole request before any handler runs.
class BodyGuard : public QObject {
public:
    explicit BodyGuard(QTcpSocket* socket) : QObject(socket), socket_(socket) {
        connect(socket, &QTcpSocket::readyRead, this, &BodyGuard::Read);
    }

private:
    // The answer goes out at once; the connection closes once the client has sent what it
    // announced (read and dropped) or after a few seconds, so the client reads the answer
    // rather than a reset.
    void Refuse(const char* status) {
        refused_ = true;
        socket_->write(QByteArray("HTTP/1.1 ") + status +
                       "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        QTimer::singleShot(5000, socket_, [socket = socket_] { socket->disconnectFromHost(); });
        Drain();
    }
    void Drain() {
        drained_ += socket_->readAll().size();
        if (drained_ >= drainLimit_) socket_->disconnectFromHost();
    }
    void Read() {
        if (refused_) return Drain();
        if (upgraded_) return;
        const QByteArray data = socket_->peek(socket_->bytesAvailable());
        qsizetype at = 0;
        while (at < data.size() && !upgraded_) {
            if (bodyLeft_ > 0) {
                const qint64 take = std::min<qint64>(bodyLeft_, data.size() - at);
                bodyLeft_ -= take;
                at += take;
                continue;
            }
            const qsizetype end = data.indexOf("\r\n\r\n", at);
            head_ += data.mid(at, end < 0 ? -1 : end + 4 - at);
            at = end < 0 ? data.size() : end + 4;
            if (end < 0) {
                if (head_.size() > 64 * 1024) return Refuse("431 Request Header Fields Too Large");
                return;
            }
            qint64 length = 0;
            for (const QByteArray& line : head_.split('\n')) {
                const qsizetype colon = line.indexOf(':');
                if (colon < 0) continue;
                const QByteArray name = line.left(colon).trimmed().toLower();
                const QByteArray value = line.mid(colon + 1).trimmed();
                if (name == "content-length") {
                    bool ok = false;
                    length = value.toLongLong(&ok);
                    if (!ok || length < 0) return Refuse("400 Bad Request");
                } else if (name == "transfer-encoding" && value.toLower() != "identity") {
                    return Refuse("411 Length Required");
                } else if (name == "upgrade") {
                    upgraded_ = true;
                }
            }
            head_.clear();
            if (length > kDeskMaxBody) {
                drainLimit_ = std::min<qint64>(length + data.size(), 64 * kDeskMaxBody);
                return Refuse("413 Payload Too Large");
            }
            bodyLeft_ = length;
        }
    }

    QTcpSocket* socket_;
    QByteArray head_;
    qint64 bodyLeft_ = 0;
    bool refused_ = false, upgraded_ = false;
    qint64 drained_ = 0, drainLimit_ = 0;
};

class GuardedServer : public QTcpServer {
public:
    using QTcpServer::QTcpServer;

protected:
    void incomingConnection(qintptr handle) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(handle)) {
            delete socket;
            return;
        }
        new BodyGuard(socket);
        addPendingConnection(socket);
    }
};

QByteArray Header(const QHttpServerRequest& request, const QByteArray& name) {
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    return {};
}

QByteArray CookieValue(const QByteArray& header) {
    for (const QByteArray& part : header.split(';')) {
        const QByteArray p = part.trimmed();
        if (p.startsWith(QByteArray(kCookie) + "=")) return p.mid(static_cast<qsizetype>(strlen(kCookie)) + 1);
    }
    return {};
}

QHttpServerResponse Json(const QJsonObject& body, QHttpServerResponse::StatusCode status = QHttpServerResponse::StatusCode::Ok) {
    return QHttpServerResponse(body, status);
}

QHttpServerResponse Problem(QHttpServerResponse::StatusCode status, const QString& message) {
    return Json({{"ok", false}, {"message", message}}, status);
}

QString Address(const QHostAddress& address) {
    bool v4 = false;
    const quint32 ip = address.toIPv4Address(&v4);
    return v4 ? QHostAddress(ip).toString() : address.toString();
}

}  // namespace

DeskAudit::DeskAudit(std::filesystem::path home) : file_(home / "desk" / "audit.log") {}

void DeskAudit::Add(const QString& address, const QString& action, const QString& target, const QString& result) {
    auto clean = [](QString s) { return s.replace('\t', ' ').replace('\n', ' ').replace('\r', ' '); };
    const QByteArray line = (QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss") + "\t" + clean(address) + "\t" +
                             clean(action) + "\t" + clean(target) + "\t" + clean(result) + "\n")
                                .toUtf8();
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    // Appended and synced line by line: the record of a change survives a power cut after it.
    const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::fprintf(stderr, "Cannot write the audit log %s: %s\n", file_.c_str(), std::strerror(errno));
        return;
    }
    if (::write(fd, line.data(), static_cast<size_t>(line.size())) != line.size())
        std::fprintf(stderr, "Cannot write the audit log %s: %s\n", file_.c_str(), std::strerror(errno));
    ::fsync(fd);
    ::close(fd);
}

QJsonArray DeskAudit::Recent(int count) const {
    QJsonArray out;
    QFile file(QString::fromStdString(file_.string()));
    if (!file.open(QIODevice::ReadOnly)) return out;
    // The tail is enough: the page shows the newest entries.
    const qint64 tail = 256 * 1024;
    if (file.size() > tail) file.seek(file.size() - tail);
    QList<QByteArray> lines = file.readAll().split('\n');
    if (file.size() > tail && !lines.isEmpty()) lines.removeFirst();
    for (auto it = lines.crbegin(); it != lines.crend() && out.size() < count; ++it) {
        const QList<QByteArray> f = it->split('\t');
        if (f.size() != 5) continue;
        out.append(QJsonObject{{"time", QString::fromUtf8(f[0])},
                               {"address", QString::fromUtf8(f[1])},
                               {"action", QString::fromUtf8(f[2])},
                               {"target", QString::fromUtf8(f[3])},
                               {"result", QString::fromUtf8(f[4])}});
    }
    return out;
}

DeskServer::DeskServer(DeskConfig desk, FleetConfig fleet, std::filesystem::path home)
    : desk_(std::move(desk)),
      fleetConfig_(std::move(fleet)),
      home_(std::move(home)),
      sessions_(desk_.sessionMinutes),
      audit_(home_),
      fleet_(std::make_unique<DeskFleet>(fleetConfig_, home_)) {
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this, &DeskServer::TakeWebSocket);
    connect(fleet_.get(), &DeskFleet::statesChanged, this,
            [this](const QJsonArray& states) { Broadcast({{"type", "states"}, {"signs", states}}); });
    connect(fleet_.get(), &DeskFleet::signRetired, this,
            [this](const QString& sign) { Broadcast({{"type", "retired"}, {"sign", sign}}); });
    // Pages of ended sessions lose their live feed.
    auto* sweep = new QTimer(this);
    connect(sweep, &QTimer::timeout, this, [this] {
        for (const Socket& s : sockets_)
            if (!sessions_.Find(s.session)) s.socket->close(QWebSocketProtocol::CloseCodePolicyViolated, "session ended");
    });
    sweep->start(10000);
}

DeskServer::~DeskServer() {
    for (const Socket& s : sockets_) s.socket->abort();
}

void DeskServer::Start() {
    QTcpServer* server = nullptr;
    if (desk_.Tls()) {
        QFile certFile(QString::fromStdString(desk_.certfile.string())), keyFile(QString::fromStdString(desk_.keyfile.string()));
        if (!certFile.open(QIODevice::ReadOnly))
            throw Error(Format("Cannot read the desk's certfile \"%s\"", desk_.certfile.c_str()));
        if (!keyFile.open(QIODevice::ReadOnly))
            throw Error(Format("Cannot read the desk's keyfile \"%s\"", desk_.keyfile.c_str()));
        const QList<QSslCertificate> chain = QSslCertificate::fromData(certFile.readAll(), QSsl::Pem);
        const QByteArray keyPem = keyFile.readAll();
        QSslKey key(keyPem, QSsl::Ec, QSsl::Pem);
        if (key.isNull()) key = QSslKey(keyPem, QSsl::Rsa, QSsl::Pem);
        if (chain.isEmpty()) throw Error(Format("The desk's certfile \"%s\" holds no PEM certificate", desk_.certfile.c_str()));
        if (key.isNull()) throw Error(Format("The desk's keyfile \"%s\" holds no PEM EC or RSA key", desk_.keyfile.c_str()));
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificateChain(chain);
        tls.setPrivateKey(key);
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
        auto* ssl = new QSslServer(this);
        ssl->setSslConfiguration(tls);
        connect(ssl, &QSslServer::startedEncryptionHandshake, this, [](QSslSocket* s) { new BodyGuard(s); });
        server = ssl;
    } else {
        server = new GuardedServer(this);
    }
    if (!server->listen(desk_.host, static_cast<quint16>(desk_.port)))
        throw Error(Format("The desk cannot listen on %s:%d: %s", desk_.hostText.c_str(), desk_.port,
                           server->errorString().toUtf8().constData()));
    port_ = server->serverPort();
    bind(server);
    fleet_->Start();
}

QString DeskServer::Url() const {
    const QString host = desk_.host.protocol() == QAbstractSocket::IPv6Protocol ? "[" + desk_.host.toString() + "]"
                                                                                 : desk_.host.toString();
    return QString("%1://%2:%3/").arg(desk_.Tls() ? "https" : "http", host).arg(port_);
}

void DeskServer::Send(const QHttpServerRequest& request, QTcpSocket* socket, QHttpServerResponse response) {
    response.setHeader("Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'self'");
    response.setHeader("X-Content-Type-Options", "nosniff");
    response.setHeader("X-Frame-Options", "DENY");
    response.setHeader("Referrer-Policy", "no-referrer");
    response.setHeader("Cache-Control", "no-store");
    response.write(makeResponder(request, socket));
}

std::string DeskServer::SessionOf(const QHttpServerRequest& request) const {
    return CookieValue(Header(request, "Cookie")).toStdString();
}

void DeskServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    Send(request, socket, Problem(QHttpServerResponse::StatusCode::NotFound, "没有这个地址"));
}

bool DeskServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    // The guard refuses these before they are read; a request that still gets here is refused too.
    if (Header(request, "Content-Length").toLongLong() > kDeskMaxBody || request.body().size() > kDeskMaxBody) {
        Send(request, socket, Problem(QHttpServerResponse::StatusCode::PayloadTooLarge, "请求太大"));
        return true;
    }
    const QString path = request.url().path();
    // Taken as handled, the server upgrades it; the socket is judged when it comes.
    if (Header(request, "Upgrade").compare("websocket", Qt::CaseInsensitive) == 0) return true;
    // The page's files come from the program's own resources, by fixed names only.
    static const std::map<QString, std::pair<QString, QByteArray>> kFiles = {
        {"/", {":/desk/index.html", "text/html; charset=utf-8"}},
        {"/desk.css", {":/desk/desk.css", "text/css; charset=utf-8"}},
        {"/desk.js", {":/desk/desk.js", "text/javascript; charset=utf-8"}},
        {"/favicon.ico", {":/desk/favicon.svg", "image/svg+xml"}},
    };
    if (path.startsWith("/api/")) {
        Api(request, socket, path.toStdString());
        return true;
    }
    const auto file = kFiles.find(path);
    if (file == kFiles.end() || (request.method() != QHttpServerRequest::Method::Get &&
                                 request.method() != QHttpServerRequest::Method::Head)) {
        missingHandler(request, socket);
        return true;
    }
    QFile resource(file->second.first);
    resource.open(QIODevice::ReadOnly);
    Send(request, socket, QHttpServerResponse(file->second.second, resource.readAll()));
    return true;
}

void DeskServer::Login(const QHttpServerRequest& request, QTcpSocket* socket) {
    const QHostAddress from = request.remoteAddress();
    if (limiter_.Blocked(from)) {
        Send(request, socket, Problem(QHttpServerResponse::StatusCode::TooManyRequests, "登录失败太多次，请一分钟后再试"));
        return;
    }
    const QJsonObject body = QJsonDocument::fromJson(request.body()).object();
    const std::string password = body.value("password").toString().toStdString();
    if (password.empty() || !CheckDeskPassword(password, desk_.passwordHash)) {
        limiter_.Failed(from);
        audit_.Add(Address(from), "登录", "", "密码错误");
        Send(request, socket, Problem(QHttpServerResponse::StatusCode::Unauthorized, "密码不对"));
        return;
    }
    limiter_.Succeeded(from);
    const std::string id = sessions_.Open();
    const auto session = sessions_.Find(id);
    audit_.Add(Address(from), "登录", "", "成功");
    QHttpServerResponse response = Json({{"ok", true}, {"csrf", QString::fromStdString(session->csrf)}});
    response.setHeader("Set-Cookie", QByteArray(kCookie) + "=" + QByteArray::fromStdString(id) +
                                         "; Path=/; HttpOnly; SameSite=Strict; Max-Age=" +
                                         QByteArray::number(desk_.sessionMinutes * 60) + (desk_.Tls() ? "; Secure" : ""));
    Send(request, socket, std::move(response));
}

void DeskServer::Api(const QHttpServerRequest& request, QTcpSocket* socket, const std::string& path) {
    using Status = QHttpServerResponse::StatusCode;
    const bool post = request.method() == QHttpServerRequest::Method::Post;
    const bool get = request.method() == QHttpServerRequest::Method::Get;
    if (path == "/api/login" && post) return Login(request, socket);
    const std::string id = SessionOf(request);
    const auto session = sessions_.Find(id);
    if (!session) return Send(request, socket, Problem(Status::Unauthorized, "请先登录"));
    if (!get && !post) return Send(request, socket, Problem(Status::MethodNotAllowed, "不支持这种请求"));
    if (post && Header(request, "X-CSRF-Token").toStdString() != session->csrf)
        return Send(request, socket, Problem(Status::Forbidden, "请求缺少有效的防伪令牌，请刷新页面"));
    const QString address = Address(request.remoteAddress());
    const QUrlQuery query = request.query();

    if (get && path == "/api/session")
        return Send(request, socket, Json({{"ok", true}, {"csrf", QString::fromStdString(session->csrf)},
                                           {"minutes", sessions_.Minutes()}}));
    if (get && path == "/api/signs") return Send(request, socket, Json({{"ok", true}, {"signs", fleet_->States()}}));
    if (get && path == "/api/audit") return Send(request, socket, Json({{"ok", true}, {"entries", audit_.Recent(200)}}));
    if (get && path == "/api/job") {
        const auto job = jobs_.find(query.queryItemValue("id"));
        return Send(request, socket, job == jobs_.end() ? Json({{"ok", true}, {"done", false}}) : Json(job->second));
    }
    if (get && path == "/api/shot.png") {
        const QByteArray png = fleet_->ShotPng(query.queryItemValue("sign").toStdString());
        if (png.isEmpty()) return Send(request, socket, Problem(Status::NotFound, "还没有这块屏的截图"));
        return Send(request, socket, QHttpServerResponse("image/png", png));
    }
    if (get && path == "/api/playlog.csv") {
        const auto job = jobs_.find(query.queryItemValue("job"));
        if (job == jobs_.end() || !job->second.contains("rows"))
            return Send(request, socket, Problem(Status::NotFound, "没有这份播放证明"));
        std::vector<PlayRow> rows;
        for (const QJsonValue& v : job->second.value("rows").toArray()) {
            const QJsonObject r = v.toObject();
            rows.push_back({r.value("sign").toString().toStdString(), r.value("day").toString().toStdString(),
                            r.value("plan").toString().toStdString(), r.value("page").toString().toStdString(),
                            r.value("seconds").toInteger()});
        }
        QHttpServerResponse response("text/csv; charset=utf-8", QByteArray::fromStdString(PlayRowsCsv(rows)));
        response.setHeader("Content-Disposition", "attachment; filename=\"playlog.csv\"");
        return Send(request, socket, std::move(response));
    }
    if (post && path == "/api/logout") {
        sessions_.Close(id);
        for (const Socket& s : sockets_)
            if (s.session == id) s.socket->close(QWebSocketProtocol::CloseCodePolicyViolated, "logged out");
        audit_.Add(address, "退出", "", "成功");
        QHttpServerResponse response = Json({{"ok", true}});
        response.setHeader("Set-Cookie", QByteArray(kCookie) + "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0" +
                                             (desk_.Tls() ? "; Secure" : ""));
        return Send(request, socket, std::move(response));
    }
    if (!post) return Send(request, socket, Problem(Status::NotFound, "没有这个地址"));

    // The changes: each is a job whose result comes over the WebSocket and from /api/job.
    using Action = void (DeskFleet::*)(const QJsonObject&, DeskFleet::Done);
    static const std::map<std::string, std::tuple<Action, QString, const char*>> kActions = {
        {"/api/announce", {&DeskFleet::Announce, "公告", "group"}},
        {"/api/publish", {&DeskFleet::Publish, "发布节目", "group"}},
        {"/api/rollback", {&DeskFleet::Rollback, "回退节目", "group"}},
        {"/api/shot", {&DeskFleet::Shot, "截图", "sign"}},
        {"/api/playlog", {&DeskFleet::PlayLog, "播放证明", "group"}},
        {"/api/restart", {&DeskFleet::Restart, "重启程序", "sign"}},
        {"/api/retire", {&DeskFleet::Retire, "退役", "sign"}},
    };
    const auto action = kActions.find(path);
    if (action == kActions.end()) return Send(request, socket, Problem(Status::NotFound, "没有这个地址"));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(request.body(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return Send(request, socket, Problem(Status::BadRequest, "请求内容不是 JSON 对象"));
    const QJsonObject args = doc.object();
    const QString job = QString::fromStdString(RandomHex(8));
    const auto& [method, name, targetKey] = action->second;
    QString target = args.value(targetKey).toString();
    if (path == "/api/announce") target += " / " + args.value("widget").toString();
    if (path == "/api/playlog") target += " " + args.value("from").toString() + "~" + args.value("to").toString();
    // Reads are not changes: only changes go to the audit log.
    const bool change = path != "/api/shot" && path != "/api/playlog";
    (fleet_.get()->*method)(args, [this, job, address, name = name, target, change](const QJsonObject& result) {
        Finish(job, change ? address : QString(), name, target, result);
    });
    Send(request, socket, Json({{"ok", true}, {"job", job}}, Status::Accepted));
}

void DeskServer::Finish(const QString& job, const QString& address, const QString& action, const QString& target,
                        const QJsonObject& result) {
    QJsonObject done = result;
    done["done"] = true;
    done["job"] = job;
    done["action"] = action;
    if (!address.isEmpty())
        audit_.Add(address, action, target, (result.value("ok").toBool() ? "成功：" : "失败：") + result.value("message").toString());
    if (jobs_.size() >= kJobsKept) jobs_.erase(jobs_.begin());
    jobs_[job] = done;
    QJsonObject message = done;
    message.remove("rows");  // the page fetches a proof of play by its job
    message["type"] = "job";
    message["rows"] = done.value("rows").toArray().size() > 2000 ? QJsonArray() : done.value("rows").toArray();
    Broadcast(message);
    if (!address.isEmpty()) Broadcast({{"type", "audit"}});
}

void DeskServer::TakeWebSocket() {
    while (hasPendingWebSocketConnections()) {
        QWebSocket* socket = nextPendingWebSocketConnection().release();
        socket->setParent(this);
        socket->setMaxAllowedIncomingMessageSize(64 * 1024);
        const QNetworkRequest handshake = socket->request();
        const std::string session = CookieValue(handshake.rawHeader("Cookie")).toStdString();
        // The desk's own origin: the scheme it serves and the host the browser asked for.
        const QString own = QString(desk_.Tls() ? "https://" : "http://") + QString::fromUtf8(handshake.rawHeader("Host"));
        if (!sessions_.Find(session) || socket->origin() != own || handshake.rawHeader("Host").isEmpty()) {
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, "login and the desk's own page required");
            connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
            QTimer::singleShot(2000, socket, [socket] { socket->abort(); });
            continue;
        }
        sockets_.push_back({socket, session});
        connect(socket, &QWebSocket::disconnected, this, [this, socket] {
            std::erase_if(sockets_, [socket](const Socket& s) { return s.socket == socket; });
            socket->deleteLater();
        });
        socket->sendTextMessage(QJsonDocument(QJsonObject{{"type", "all"}, {"signs", fleet_->States()}}).toJson(QJsonDocument::Compact));
    }
}

void DeskServer::Broadcast(const QJsonObject& message) {
    if (sockets_.empty()) return;
    const QString text = QJsonDocument(message).toJson(QJsonDocument::Compact);
    for (const Socket& s : sockets_) s.socket->sendTextMessage(text);
}

}  // namespace zl
