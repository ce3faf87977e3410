// The phone's signature check: SHA-1, and recovery of the SHA-1 digest from an RSA PKCS#1 v1.5
// signature under the public half of the phone's key pair.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "sim/phone_parts.h"

namespace sim {

Bytes sha1(const std::uint8_t* data, std::size_t size);

class SignatureCheck {
public:
    explicit SignatureCheck(const std::string& pemPath);
    ~SignatureCheck();
    SignatureCheck(const SignatureCheck&) = delete;
    SignatureCheck& operator=(const SignatureCheck&) = delete;

    bool loaded() const;
    // The 20-byte digest inside a well-formed signature block, or nothing.
    std::optional<Bytes> recoverDigest(const Bytes& signature) const;

private:
    struct Key;
    std::unique_ptr<Key> key_;
};

}  // namespace sim
