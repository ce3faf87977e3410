#include "sim/signature_check.h"

#include <cstdio>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>

namespace sim {

struct SignatureCheck::Key {
    EVP_PKEY* pkey = nullptr;
    ~Key() { EVP_PKEY_free(pkey); }
};

Bytes sha1(const std::uint8_t* data, std::size_t size) {
    Bytes digest(SHA_DIGEST_LENGTH);
    SHA1(data, size, digest.data());
    return digest;
}

SignatureCheck::SignatureCheck(const std::string& pemPath) : key_(std::make_unique<Key>()) {
    if (FILE* f = std::fopen(pemPath.c_str(), "r")) {
        key_->pkey = PEM_read_PrivateKey(f, nullptr, nullptr, nullptr);
        std::fclose(f);
    }
}

SignatureCheck::~SignatureCheck() = default;

bool SignatureCheck::loaded() const { return key_->pkey != nullptr; }

std::optional<Bytes> SignatureCheck::recoverDigest(const Bytes& signature) const {
    if (!loaded() || signature.empty()) return std::nullopt;
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(key_->pkey, nullptr),
                                                                   EVP_PKEY_CTX_free);
    if (!ctx || EVP_PKEY_verify_recover_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0 ||
        EVP_PKEY_CTX_set_signature_md(ctx.get(), EVP_sha1()) <= 0)
        return std::nullopt;
    std::size_t size = 0;
    if (EVP_PKEY_verify_recover(ctx.get(), nullptr, &size, signature.data(), signature.size()) <= 0)
        return std::nullopt;
    Bytes digest(size);
    if (EVP_PKEY_verify_recover(ctx.get(), digest.data(), &size, signature.data(), signature.size()) <= 0)
        return std::nullopt;
    digest.resize(size);
    if (digest.size() != SHA_DIGEST_LENGTH) return std::nullopt;
    return digest;
}

}  // namespace sim
