#pragma once
#include <QAbstractHttpServer>
#include <QHttpServerResponse>
#include <QJsonObject>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "desk/deskauth.h"
#include "desk/deskconfig.h"
#include "fleet/fleetconfig.h"

class QWebSocket;

namespace zl {

class DeskFleet;

// Refused before its body is read: nothing above this reaches the desk's memory.
constexpr qint64 kDeskMaxBody = 1024 * 1024;

// <home>/desk/audit.log: one tab-separated line for every change made from the desk.
class DeskAudit {
public:
    explicit DeskAudit(std::filesystem::path home);
    void Add(const QString& address, const QString& action, const QString& target, const QString& result);
    // The newest `count` entries, newest first.
    QJsonArray Recent(int count) const;

private:
    std::filesystem::path file_;
};

// The web desk: the page from the program's resources, a JSON API behind a login, and a
// WebSocket that carries every state change to the open pages.
class DeskServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    DeskServer(DeskConfig desk, FleetConfig fleet, std::filesystem::path home);
    ~DeskServer() override;
    // Connects to the broker and listens; fails with a message (certificate, address in use).
    void Start();
    // The address the page is served from, e.g. http://127.0.0.1:8080/.
    QString Url() const;

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct Reply;
    void Api(const QHttpServerRequest& request, QTcpSocket* socket, const std::string& path);
    void Login(const QHttpServerRequest& request, QTcpSocket* socket);
    void Send(const QHttpServerRequest& request, QTcpSocket* socket, QHttpServerResponse response);
    void TakeWebSocket();
    void Broadcast(const QJsonObject& message);
    void Finish(const QString& job, const QString& address, const QString& action, const QString& target,
                const QJsonObject& result);
    std::string SessionOf(const QHttpServerRequest& request) const;

    DeskConfig desk_;
    FleetConfig fleetConfig_;
    std::filesystem::path home_;
    DeskSessions sessions_;
    LoginLimiter limiter_;
    DeskAudit audit_;
    std::unique_ptr<DeskFleet> fleet_;
    struct Socket {
        QWebSocket* socket;
        std::string session;
    };
    std::vector<Socket> sockets_;
    std::map<QString, QJsonObject> jobs_;  // finished jobs' results, newest kept
    quint16 port_ = 0;
};

}  // namespace zl
