#pragma once
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

typedef struct evp_pkey_st EVP_PKEY;

namespace zl {

// An Ed25519 key, private or public, read from PEM.
class FleetKey {
public:
    static FleetKey LoadPrivate(const std::filesystem::path& pem);
    static FleetKey LoadPublic(const std::filesystem::path& pem);
    // A new key pair written as PEM (private file owner-only), for setting up a fleet.
    static void Generate(const std::filesystem::path& privatePem, const std::filesystem::path& publicPem);
    EVP_PKEY* get() const { return key_.get(); }

private:
    std::shared_ptr<EVP_PKEY> key_;
};

constexpr size_t kSignatureSize = 64;

// 64 bytes of signature over topic, one zero byte and body, followed by the body.
std::string SignFleetMessage(const FleetKey& privateKey, std::string_view topic, std::string_view body);
// The body when the signature holds for this topic, else nothing.
std::optional<std::string_view> VerifyFleetMessage(const FleetKey& publicKey, std::string_view topic,
                                                   std::string_view message);
// The same check without a second copy of a large body: the signed text is laid out over the
// signature bytes in `message` when the topic fits there, so they do not survive the call.
std::optional<std::string_view> VerifyFleetMessageInPlace(const FleetKey& publicKey, std::string_view topic,
                                                          char* message, size_t size);

// Lower-case hex SHA-256.
std::string Sha256Hex(std::string_view data);

}  // namespace zl
