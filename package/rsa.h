// RSA public-key operation and PKCS#1 v1.5 signature check (block type 1 with a DigestInfo).
#pragma once

#include <cstddef>
#include <cstdint>

#include "package/bignum.h"

struct RsaPublicKey {
    std::uint32_t modulusLength;  // bytes
    const BigNumber* modulus;
    const BigNumber* exponent;
};

// How vexil_VerifySignature judges the signed data.
enum DigestType : int {
    kDigestReturnData = 0,  // hand the signed data out
    kDigestRaw = 1,         // signed data equals the given digest
    kDigestMd2 = 2,
    kDigestMd5 = 3,
    kDigestSha1 = 4,
    kDigestRipemd128 = 5,
    kDigestRipemd160 = 6,
};

// output = input ^ exponent mod modulus, big-endian in exactly *outputLength bytes.
int vexil_RsaPublic(const std::uint8_t* input, std::size_t inputLength, std::uint8_t* output,
                    std::size_t* outputLength, const RsaPublicKey* key);

// 0 when `signature` is a good signature over the digest. For kDigestReturnData, `digest` receives
// the signed data and *digestLength its length; a null digest only asks for the length.
int vexil_VerifySignature(std::uint8_t* digest, std::size_t* digestLength, const std::uint8_t* signature,
                          std::size_t signatureLength, const RsaPublicKey* key, int digestType);
