// Descriptors of the engine set up as the package reader uses them, and byte helpers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/aes.h"
#include "package/cbc.h"
#include "package/crypt.h"
#include "package/sha1.h"

using Bytes = std::vector<std::uint8_t>;

Bytes FromHex(const std::string& hex);
std::string ToHex(const Bytes& bytes);
Bytes RandomBytes(std::size_t length, std::uint32_t seed);

// AES in CBC mode with buffers of its own.
struct AesCbc {
    AesContext context{};
    std::uint8_t held[16] = {};
    std::uint8_t chaining[16] = {};
    CipherDescriptor descriptor{};

    explicit AesCbc(bool padBytes = true);
    // vexil_CryptStart with the key and IV; returns its result.
    int Start(const Bytes& key, const Bytes& iv);
};

struct Sha1 {
    Sha1Context context{};
    std::uint8_t held[64] = {};
    HashDescriptor descriptor{};

    Sha1();
};

// Runs vexil_Crypt once with a destination of exactly the announced size.
int CryptAll(AesCbc& aes, const Bytes& source, std::size_t sourceBits, bool decipher, bool final, Bytes* out);
// SHA-1 of whole bytes in one final call through the engine.
Bytes EngineSha1(const Bytes& message);
