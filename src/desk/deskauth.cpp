#include "desk/deskauth.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <QByteArray>
#include <QList>

#include "core/error.h"

namespace zl {
namespace {

// 16 MB of memory and some tens of milliseconds a check: slow for a guesser, quick for a login.
constexpr uint64_t kN = 16384, kR = 8, kP = 1;
constexpr size_t kHashBytes = 32;

QByteArray Scrypt(const std::string& password, const QByteArray& salt, uint64_t n, uint64_t r, uint64_t p) {
    QByteArray out(kHashBytes, '\0');
    const uint64_t memory = 128 * n * r * p + (1u << 20);
    if (EVP_PBE_scrypt(password.data(), password.size(), reinterpret_cast<const unsigned char*>(salt.data()),
                       static_cast<size_t>(salt.size()), n, r, p, memory,
                       reinterpret_cast<unsigned char*>(out.data()), kHashBytes) != 1)
        return {};
    return out;
}

struct Parsed {
    uint64_t n = 0, r = 0, p = 0;
    QByteArray salt, hash;
};

std::optional<Parsed> Parse(const std::string& text) {
    const QList<QByteArray> parts = QByteArray::fromStdString(text).split('$');
    if (parts.size() != 6 || parts[0] != "scrypt") return std::nullopt;
    Parsed p;
    bool ok1, ok2, ok3;
    p.n = parts[1].toULongLong(&ok1);
    p.r = parts[2].toULongLong(&ok2);
    p.p = parts[3].toULongLong(&ok3);
    // Bounds keep a hand-edited hash from asking for gigabytes at every login.
    if (!ok1 || !ok2 || !ok3 || p.n < 2 || p.n > (1u << 20) || (p.n & (p.n - 1)) || p.r < 1 || p.r > 32 || p.p < 1 ||
        p.p > 16)
        return std::nullopt;
    const auto salt = QByteArray::fromBase64Encoding(parts[4], QByteArray::AbortOnBase64DecodingErrors);
    const auto hash = QByteArray::fromBase64Encoding(parts[5], QByteArray::AbortOnBase64DecodingErrors);
    if (!salt || !hash || salt.decoded.size() < 8 || hash.decoded.size() != static_cast<qsizetype>(kHashBytes)) return std::nullopt;
    p.salt = *salt;
    p.hash = *hash;
    return p;
}

}  // namespace

std::string RandomHex(int bytes) {
    QByteArray raw(bytes, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(raw.data()), bytes) != 1)
        throw Error("The system's random generator failed");
    return raw.toHex().toStdString();
}

std::string HashDeskPassword(const std::string& password) {
    QByteArray salt(16, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(salt.data()), 16) != 1)
        throw Error("The system's random generator failed");
    const QByteArray hash = Scrypt(password, salt, kN, kR, kP);
    if (hash.isEmpty()) throw Error("OpenSSL could not compute the scrypt hash");
    return Format("scrypt$%llu$%llu$%llu$", static_cast<unsigned long long>(kN), static_cast<unsigned long long>(kR),
                  static_cast<unsigned long long>(kP)) +
           salt.toBase64().toStdString() + "$" + hash.toBase64().toStdString();
}

bool IsDeskPasswordHash(const std::string& hash) { return Parse(hash).has_value(); }

bool CheckDeskPassword(const std::string& password, const std::string& hash) {
    const auto parsed = Parse(hash);
    if (!parsed) return false;
    const QByteArray computed = Scrypt(password, parsed->salt, parsed->n, parsed->r, parsed->p);
    return computed.size() == parsed->hash.size() &&
           CRYPTO_memcmp(computed.data(), parsed->hash.data(), static_cast<size_t>(computed.size())) == 0;
}

std::string DeskSessions::Open(Clock::time_point now) {
    for (auto it = sessions_.begin(); it != sessions_.end();) it = it->second.expires <= now ? sessions_.erase(it) : std::next(it);
    // 256 bits for the cookie, 128 for the token.
    const std::string id = RandomHex(32);
    sessions_[id] = {RandomHex(16), now + length_};
    return id;
}

std::optional<DeskSessions::Session> DeskSessions::Find(const std::string& id, Clock::time_point now) {
    const auto it = sessions_.find(id);
    if (it == sessions_.end()) return std::nullopt;
    if (it->second.expires <= now) {
        sessions_.erase(it);
        return std::nullopt;
    }
    return it->second;
}

bool LoginLimiter::Blocked(const QHostAddress& from, Clock::time_point now) {
    const auto it = failures_.find(from.toString().toStdString());
    if (it == failures_.end()) return false;
    if (now - it->second.start >= std::chrono::minutes(1)) {
        failures_.erase(it);
        return false;
    }
    return it->second.count >= kFailures;
}

void LoginLimiter::Failed(const QHostAddress& from, Clock::time_point now) {
    // Bounded: a flood of addresses cannot grow the table for ever.
    if (failures_.size() > 10000)
        for (auto it = failures_.begin(); it != failures_.end();)
            it = now - it->second.start >= std::chrono::minutes(1) ? failures_.erase(it) : std::next(it);
    Window& w = failures_[from.toString().toStdString()];
    if (w.count == 0 || now - w.start >= std::chrono::minutes(1)) w = {now, 0};
    ++w.count;
}

}  // namespace zl
