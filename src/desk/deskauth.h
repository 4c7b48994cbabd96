#pragma once
#include <QHostAddress>
#include <chrono>
#include <map>
#include <optional>
#include <string>

namespace zl {

// "scrypt$N$r$p$SALT$HASH" (base64), salted with 16 random bytes: what `desk --hash-password`
// prints and [desk] password_hash holds.
std::string HashDeskPassword(const std::string& password);
// Whether `password` matches `hash`; false for a hash that cannot be read.
bool CheckDeskPassword(const std::string& password, const std::string& hash);
// Whether `hash` is one HashDeskPassword could have made (for a clear message at start).
bool IsDeskPasswordHash(const std::string& hash);
// `bytes` random bytes from OpenSSL's generator as lower-case hex.
std::string RandomHex(int bytes);

// Logged-in browsers: a session id (the cookie) with its CSRF token, until it expires.
class DeskSessions {
public:
    using Clock = std::chrono::steady_clock;
    struct Session {
        std::string csrf;
        Clock::time_point expires;
    };
    explicit DeskSessions(int minutes) : length_(minutes) {}
    // A new session; returns its id.
    std::string Open(Clock::time_point now = Clock::now());
    // The live session of `id`, or nothing (an expired one is dropped).
    std::optional<Session> Find(const std::string& id, Clock::time_point now = Clock::now());
    void Close(const std::string& id) { sessions_.erase(id); }
    int Minutes() const { return static_cast<int>(length_.count()); }

private:
    std::chrono::minutes length_;
    std::map<std::string, Session> sessions_;
};

// At most five failed logins a minute from one address; the minute counts from the first
// failure of the run.
class LoginLimiter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kFailures = 5;
    bool Blocked(const QHostAddress& from, Clock::time_point now = Clock::now());
    void Failed(const QHostAddress& from, Clock::time_point now = Clock::now());
    void Succeeded(const QHostAddress& from) { failures_.erase(from.toString().toStdString()); }

private:
    struct Window {
        Clock::time_point start;
        int count = 0;
    };
    std::map<std::string, Window> failures_;
};

}  // namespace zl
