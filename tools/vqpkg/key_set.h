// A package key set in a directory: signing-key.pem (RSA 1024-bit, private, or only the public part),
// cipher-key.hex (16 bytes) and iv-constant.hex (12 bytes), each hex file one line.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <openssl/evp.h>

struct EvpKeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using EvpKey = std::unique_ptr<EVP_PKEY, EvpKeyFree>;

inline constexpr int kSigningKeyBits = 1024;

struct KeySet {
    std::array<std::uint8_t, 16> cipherKey{};
    std::array<std::uint8_t, 12> ivConstant{};
    std::vector<std::uint8_t> modulus;   // big-endian, 128 bytes
    std::vector<std::uint8_t> exponent;  // big-endian, no leading zeros
    EvpKey signingKey;
    bool hasPrivateKey = false;
};

inline const char kSigningKeyFile[] = "signing-key.pem";
inline const char kCipherKeyFile[] = "cipher-key.hex";
inline const char kIvConstantFile[] = "iv-constant.hex";

// Loads the key set in `dir`; on failure `error` says which file and why.
bool LoadKeySet(const std::string& dir, KeySet* keys, std::string* error);

// Writes a new key set into `dir` (created when missing); refuses to replace an existing one.
bool WriteNewKeySet(const std::string& dir, std::string* error);
