#pragma once
#include <filesystem>
#include <string>
#include <vector>

namespace zl {

// <home>/fleet.ini: how a sign or a publisher reaches the fleet's broker.
struct FleetConfig {
    std::string broker;  // as written: mqtt://host:port or mqtts://host:port
    std::string host;
    int port = 1883;
    bool tls = false;
    std::string sign;                 // empty for a publisher
    std::vector<std::string> groups;  // empty for a publisher
    // The site whose broker the sign uses when sites are bridged to a centre; its bridge says
    // whether it is up on zorled/site/<site>/bridge. Empty: none.
    std::string site;
    std::filesystem::path publisherKey;
    std::filesystem::path privateKey;
    std::string username;
    std::filesystem::path passwordFile;
    std::filesystem::path cafile;
    int keepalive = 30;
};

enum class FleetRole { Sign, Publisher };

// Reads and checks a fleet.ini; relative file names count from the file's folder. Fails with a
// message naming the file and the key.
FleetConfig ReadFleetConfig(const std::filesystem::path& file, FleetRole role);
// Writes one, replacing the old file whole.
void WriteFleetConfig(const std::filesystem::path& file, const FleetConfig& config);
// The password of password_file, refused when others may read the file; empty without one.
std::string ReadFleetPassword(const FleetConfig& config);
// Sign and group ids: [A-Za-z0-9_-]{1,64}.
bool IsFleetId(const std::string& id);

}  // namespace zl
