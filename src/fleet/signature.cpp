#include "fleet/signature.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "core/atomicfile.h"
#include "core/error.h"

namespace zl {
namespace {

std::shared_ptr<EVP_PKEY> Own(EVP_PKEY* key) { return std::shared_ptr<EVP_PKEY>(key, EVP_PKEY_free); }

std::shared_ptr<EVP_PKEY> ReadKey(const std::filesystem::path& pem, bool isPrivate) {
    const std::string text = ReadWholeFile(pem);
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())), BIO_free);
    EVP_PKEY* key = isPrivate ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr)
                              : PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr);
    if (!key || EVP_PKEY_get_id(key) != EVP_PKEY_ED25519) {
        if (key) EVP_PKEY_free(key);
        throw Error(Format("Key file \"%s\" holds no Ed25519 %s key in PEM", pem.string().c_str(),
                           isPrivate ? "private" : "public"));
    }
    return Own(key);
}

std::string SignedText(std::string_view topic, std::string_view body) {
    std::string text;
    text.reserve(topic.size() + 1 + body.size());
    text.append(topic);
    text.push_back('\0');
    text.append(body);
    return text;
}

std::string MemoryOf(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<size_t>(size));
}

}  // namespace

FleetKey FleetKey::LoadPrivate(const std::filesystem::path& pem) {
    FleetKey k;
    k.key_ = ReadKey(pem, true);
    return k;
}

FleetKey FleetKey::LoadPublic(const std::filesystem::path& pem) {
    FleetKey k;
    k.key_ = ReadKey(pem, false);
    return k;
}

void FleetKey::Generate(const std::filesystem::path& privatePem, const std::filesystem::path& publicPem) {
    EVP_PKEY* raw = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
    if (!raw) throw Error("Cannot make an Ed25519 key pair");
    auto key = Own(raw);
    std::unique_ptr<BIO, decltype(&BIO_free)> priv(BIO_new(BIO_s_mem()), BIO_free), pub(BIO_new(BIO_s_mem()), BIO_free);
    PEM_write_bio_PrivateKey(priv.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    PEM_write_bio_PUBKEY(pub.get(), key.get());
    WriteFileAtomic(privatePem, MemoryOf(priv.get()));
    chmod(privatePem.c_str(), 0600);
    WriteFileAtomic(publicPem, MemoryOf(pub.get()));
}

std::string SignFleetMessage(const FleetKey& privateKey, std::string_view topic, std::string_view body) {
    const std::string text = SignedText(topic, body);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    std::string out(kSignatureSize, '\0');
    size_t length = kSignatureSize;
    // Ed25519 signs in one shot, with no separate digest.
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, privateKey.get()) != 1 ||
        EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &length,
                       reinterpret_cast<const unsigned char*>(text.data()), text.size()) != 1 ||
        length != kSignatureSize)
        throw Error("Cannot sign the message");
    out.append(body);
    return out;
}

namespace {

bool Verify(const FleetKey& publicKey, const char* signature, std::string_view text) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    return ctx && EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, publicKey.get()) == 1 &&
           EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature), kSignatureSize,
                            reinterpret_cast<const unsigned char*>(text.data()), text.size()) == 1;
}

}  // namespace

std::optional<std::string_view> VerifyFleetMessage(const FleetKey& publicKey, std::string_view topic,
                                                   std::string_view message) {
    if (message.size() < kSignatureSize) return std::nullopt;
    const std::string_view body = message.substr(kSignatureSize);
    if (!Verify(publicKey, message.data(), SignedText(topic, body))) return std::nullopt;
    return body;
}

std::optional<std::string_view> VerifyFleetMessageInPlace(const FleetKey& publicKey, std::string_view topic,
                                                          char* message, size_t size) {
    if (size < kSignatureSize || topic.size() + 1 > kSignatureSize)
        return VerifyFleetMessage(publicKey, topic, std::string_view(message, size));
    char signature[kSignatureSize];
    std::memcpy(signature, message, kSignatureSize);
    char* text = message + kSignatureSize - (topic.size() + 1);
    std::memcpy(text, topic.data(), topic.size());
    text[topic.size()] = '\0';
    if (!Verify(publicKey, signature, std::string_view(text, size - kSignatureSize + topic.size() + 1)))
        return std::nullopt;
    return std::string_view(message + kSignatureSize, size - kSignatureSize);
}

std::string Sha256Hex(std::string_view data) {
    unsigned char digest[32];
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned i = 0; i < length; ++i) {
        out.push_back(hex[digest[i] >> 4]);
        out.push_back(hex[digest[i] & 15]);
    }
    return out;
}

}  // namespace zl
