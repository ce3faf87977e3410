#include "crypto_helpers.h"

#include <random>

Bytes FromHex(const std::string& hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::string ToHex(const Bytes& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (std::uint8_t b : bytes) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

Bytes RandomBytes(std::size_t length, std::uint32_t seed) {
    std::mt19937 random(seed);
    Bytes bytes(length);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

AesCbc::AesCbc(bool padBytes) {
    descriptor = kAesCipher;
    descriptor.held = held;
    descriptor.chaining = chaining;
    descriptor.cipherContext = &context;
    descriptor.mode = CbcMode;
    descriptor.flags |= kCipherLoadIv | (padBytes ? kCipherPadBytes : 0);
}

int AesCbc::Start(const Bytes& key, const Bytes& iv) {
    const std::uint32_t blockSize = 16;
    return vexil_CryptStart(key.data(), key.size() * 8, iv.data(), &descriptor, &blockSize);
}

Sha1::Sha1() {
    descriptor = kSha1Hash;
    descriptor.held = held;
    descriptor.hashContext = &context;
}

int CryptAll(AesCbc& aes, const Bytes& source, std::size_t sourceBits, bool decipher, bool final, Bytes* out) {
    std::size_t length = 0;
    if (vexil_Crypt(source.data(), sourceBits, nullptr, &length, decipher, &aes.descriptor, final) != 0) {
        return -1;
    }
    // A null destination only asks for the length, so there is always room for one byte.
    out->assign(length + 1, 0);
    int result = vexil_Crypt(source.data(), sourceBits, out->data(), &length, decipher, &aes.descriptor, final);
    out->resize(length);
    return result;
}

Bytes EngineSha1(const Bytes& message) {
    Sha1 sha;
    Bytes digest(20);
    vexil_HashStart(&sha.descriptor, nullptr);
    vexil_Hash(message.data(), message.size() * 8, digest.data(), &sha.descriptor, 1);
    return digest;
}
