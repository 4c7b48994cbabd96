#pragma once
#include <QHostAddress>
#include <filesystem>
#include <string>

namespace zl {

// The [desk] section of the publisher's fleet.ini.
struct DeskConfig {
    QHostAddress host = QHostAddress::LocalHost;
    std::string hostText = "127.0.0.1";
    int port = 8080;
    std::string passwordHash;
    std::filesystem::path certfile, keyfile;
    int sessionMinutes = 480;
    bool Tls() const { return !certfile.empty(); }
};

// Reads and checks the section; fails with a message naming the file and the key: no password
// hash, a listen address that is not loopback without certfile and keyfile.
DeskConfig ReadDeskConfig(const std::filesystem::path& file);

}  // namespace zl
