#include "desk/deskconfig.h"

#include <map>

#include "core/atomicfile.h"
#include "core/error.h"
#include "core/inifile.h"
#include "desk/deskauth.h"

namespace zl {

DeskConfig ReadDeskConfig(const std::filesystem::path& file) {
    const std::string name = file.string();
    const IniText ini = ParseIni(ReadWholeFile(file));
    std::map<std::string, std::string> values;
    bool found = false;
    for (const IniSection& s : ini.sections)
        if (s.name == "desk") {
            found = true;
            for (const IniEntry& e : s.entries) values[e.key] = e.value;
        }
    auto bad = [&](const char* key, const std::string& why) {
        return Error(Format("Desk settings in \"%s\": %s %s", name.c_str(), key, why.c_str()));
    };
    if (!found)
        throw Error(Format("Fleet settings \"%s\" have no [desk] section (it needs at least password_hash=, made by "
                           "zorled-tool desk --hash-password)",
                           name.c_str()));
    auto path = [&](const char* key) -> std::filesystem::path {
        const auto it = values.find(key);
        if (it == values.end() || it->second.empty()) return {};
        const std::filesystem::path given(it->second);
        return given.is_absolute() ? given : file.parent_path() / given;
    };
    DeskConfig c;
    if (const auto it = values.find("listen"); it != values.end() && !it->second.empty()) {
        const std::string& listen = it->second;
        const auto colon = listen.rfind(':');
        const std::string port = colon == std::string::npos ? "" : listen.substr(colon + 1);
        std::string host = colon == std::string::npos ? "" : listen.substr(0, colon);
        if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(port) < 1 || std::stoi(port) > 65535)
            throw bad("listen", "must be host:port with a port from 1 to 65535, not \"" + listen + "\"");
        if (host == "localhost") host = "127.0.0.1";
        if (!c.host.setAddress(QString::fromStdString(host)))
            throw bad("listen", "must name an IP address (or localhost), not \"" + host + "\"");
        c.hostText = host;
        c.port = std::stoi(port);
    }
    c.passwordHash = values.count("password_hash") ? values["password_hash"] : "";
    if (c.passwordHash.empty())
        throw bad("password_hash", "is missing: make one with  zorled-tool desk --hash-password");
    if (!IsDeskPasswordHash(c.passwordHash))
        throw bad("password_hash", "is not a hash made by zorled-tool desk --hash-password");
    c.certfile = path("certfile");
    c.keyfile = path("keyfile");
    if (c.certfile.empty() != c.keyfile.empty())
        throw bad(c.certfile.empty() ? "certfile" : "keyfile", "is missing: HTTPS needs both certfile and keyfile");
    if (!c.host.isLoopback() && !c.Tls())
        throw bad("listen", "is " + c.hostText +
                                ", not a loopback address: the desk serves other machines only over HTTPS, so certfile "
                                "and keyfile are required");
    if (const auto it = values.find("session_minutes"); it != values.end() && !it->second.empty()) {
        const std::string& m = it->second;
        if (m.size() > 6 || m.find_first_not_of("0123456789") != std::string::npos || std::stoi(m) < 1 ||
            std::stoi(m) > 525600)
            throw bad("session_minutes", "must be a whole number of minutes from 1 to 525600, not \"" + m + "\"");
        c.sessionMinutes = std::stoi(m);
    }
    return c;
}

}  // namespace zl
