#include "fleet/fleetconfig.h"

#include <sys/stat.h>

#include <map>

#include "core/atomicfile.h"
#include "core/error.h"
#include "core/inifile.h"

namespace zl {
namespace {

std::filesystem::path Relative(const std::filesystem::path& file, const std::string& value) {
    if (value.empty()) return {};
    const std::filesystem::path given(value);
    return given.is_absolute() ? given : file.parent_path() / given;
}

std::vector<std::string> SplitGroups(const std::string& text) {
    std::vector<std::string> groups;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        std::string part = text.substr(start, end - start);
        const auto first = part.find_first_not_of(" \t");
        const auto last = part.find_last_not_of(" \t");
        part = first == std::string::npos ? "" : part.substr(first, last - first + 1);
        groups.push_back(part);
        start = end + 1;
    }
    return groups;
}

}  // namespace

bool IsFleetId(const std::string& id) {
    if (id.empty() || id.size() > 64) return false;
    for (char c : id)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-'))
            return false;
    return true;
}

FleetConfig ReadFleetConfig(const std::filesystem::path& file, FleetRole role) {
    const std::string name = file.string();
    const IniText ini = ParseIni(ReadWholeFile(file));
    if (!ini.badLines.empty())
        throw Error(Format("Fleet settings \"%s\": %s", name.c_str(), ini.badLines.front().c_str()));
    const IniSection* section = nullptr;
    for (const IniSection& s : ini.sections)
        if (s.name == "fleet") section = &s;
    if (!section) throw Error(Format("Fleet settings \"%s\" have no [fleet] section", name.c_str()));
    std::map<std::string, std::string> values;
    for (const IniEntry& e : section->entries) values[e.key] = e.value;
    auto bad = [&](const char* key, const std::string& why) {
        return Error(Format("Fleet settings \"%s\": %s %s", name.c_str(), key, why.c_str()));
    };
    auto get = [&](const char* key) {
        auto it = values.find(key);
        return it == values.end() ? std::string() : it->second;
    };
    FleetConfig c;
    c.broker = get("broker");
    std::string rest;
    if (c.broker.rfind("mqtt://", 0) == 0) {
        rest = c.broker.substr(7);
    } else if (c.broker.rfind("mqtts://", 0) == 0) {
        rest = c.broker.substr(8);
        c.tls = true;
        c.port = 8883;
    } else {
        throw bad("broker", "must be mqtt://host:port or mqtts://host:port, not \"" + c.broker + "\"");
    }
    const auto colon = rest.rfind(':');
    if (colon != std::string::npos) {
        const std::string port = rest.substr(colon + 1);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(port) < 1 || std::stoi(port) > 65535)
            throw bad("broker", "has no valid port: \"" + c.broker + "\"");
        c.port = std::stoi(port);
        rest = rest.substr(0, colon);
    }
    if (rest.empty() || rest.find('/') != std::string::npos) throw bad("broker", "has no host: \"" + c.broker + "\"");
    c.host = rest;
    c.username = get("username");
    c.passwordFile = Relative(file, get("password_file"));
    c.cafile = Relative(file, get("cafile"));
    if (c.tls && c.cafile.empty()) throw bad("cafile", "is required for an mqtts broker");
    const std::string keepalive = get("keepalive");
    if (!keepalive.empty()) {
        if (keepalive.size() > 3 || keepalive.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(keepalive) < 5 || std::stoi(keepalive) > 600)
            throw bad("keepalive", "must be a whole number of seconds from 5 to 600, not \"" + keepalive + "\"");
        c.keepalive = std::stoi(keepalive);
    }
    if (role == FleetRole::Sign) {
        c.sign = get("sign");
        if (!IsFleetId(c.sign)) throw bad("sign", "must be 1 to 64 of A-Z a-z 0-9 _ -, not \"" + c.sign + "\"");
        for (const std::string& g : SplitGroups(get("groups"))) {
            if (!IsFleetId(g)) throw bad("groups", "holds a group id that is not valid: \"" + g + "\"");
            c.groups.push_back(g);
        }
        c.site = get("site");
        if (!c.site.empty() && !IsFleetId(c.site))
            throw bad("site", "must be 1 to 64 of A-Z a-z 0-9 _ -, not \"" + c.site + "\"");
        c.publisherKey = Relative(file, get("publisher_key"));
        if (c.publisherKey.empty()) throw bad("publisher_key", "is missing");
    } else {
        c.privateKey = Relative(file, get("private_key"));
        if (c.privateKey.empty()) throw bad("private_key", "is missing");
    }
    return c;
}

void WriteFleetConfig(const std::filesystem::path& file, const FleetConfig& c) {
    std::string text = "[fleet]\nbroker=" + c.broker + "\n";
    if (!c.sign.empty()) text += "sign=" + c.sign + "\n";
    if (!c.groups.empty()) {
        text += "groups=";
        for (size_t i = 0; i < c.groups.size(); ++i) text += (i ? "," : "") + c.groups[i];
        text += "\n";
    }
    if (!c.site.empty()) text += "site=" + c.site + "\n";
    if (!c.publisherKey.empty()) text += "publisher_key=" + c.publisherKey.string() + "\n";
    if (!c.privateKey.empty()) text += "private_key=" + c.privateKey.string() + "\n";
    if (!c.username.empty()) text += "username=" + c.username + "\n";
    if (!c.passwordFile.empty()) text += "password_file=" + c.passwordFile.string() + "\n";
    if (!c.cafile.empty()) text += "cafile=" + c.cafile.string() + "\n";
    text += "keepalive=" + std::to_string(c.keepalive) + "\n";
    WriteFileAtomic(file, text);
}

std::string ReadFleetPassword(const FleetConfig& config) {
    if (config.passwordFile.empty()) return {};
    struct stat st {};
    const std::string name = config.passwordFile.string();
    if (stat(name.c_str(), &st) == 0 && (st.st_mode & (S_IRGRP | S_IROTH)))
        throw Error(Format("Password file \"%s\" may be read by others; allow only its owner (chmod 600)",
                           name.c_str()));
    std::string password = ReadWholeFile(config.passwordFile);
    while (!password.empty() && (password.back() == '\n' || password.back() == '\r')) password.pop_back();
    return password;
}

}  // namespace zl
