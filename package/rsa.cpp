#include "package/rsa.h"

#include <cstring>

namespace {

struct DigestInfo {
    std::size_t digestLength;
    std::size_t prefixLength;
    std::uint8_t prefix[18];
};

// DER prefixes of the DigestInfo for digest types 2 to 6.
constexpr DigestInfo kDigestInfos[] = {
    {16, 18, {0x30, 0x20, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x02, 0x02, 0x05, 0x00, 0x04, 0x10}},
    {16, 18, {0x30, 0x20, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x02, 0x05, 0x05, 0x00, 0x04, 0x10}},
    {20, 15, {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e, 0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x14}},
    {16, 15, {0x30, 0x1d, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x24, 0x03, 0x02, 0x02, 0x05, 0x00, 0x04, 0x10}},
    {20, 15, {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x24, 0x03, 0x02, 0x01, 0x05, 0x00, 0x04, 0x14}},
};

constexpr std::size_t kMinPaddingFF = 8;

bool Matches(const std::uint8_t* data, std::size_t length, const DigestInfo& info, const std::uint8_t* digest,
             std::size_t digestLength) {
    return digestLength == info.digestLength && length == info.prefixLength + info.digestLength &&
           std::memcmp(data, info.prefix, info.prefixLength) == 0 &&
           std::memcmp(data + info.prefixLength, digest, digestLength) == 0;
}

}  // namespace

int vexil_RsaPublic(const std::uint8_t* input, std::size_t inputLength, std::uint8_t* output,
                    std::size_t* outputLength, const RsaPublicKey* key) {
    BigNumber value;
    if (BnFromBytes(input, inputLength, &value) != 0) {
        return -1;
    }
    if (BnCompare(value, *key->modulus) >= 0) {
        return -1;
    }
    BigNumber result;
    if (BnModExp(value, *key->exponent, *key->modulus, &result) != 0) {
        return -1;
    }
    return BnToBytes(result, output, *outputLength);
}

int vexil_VerifySignature(std::uint8_t* digest, std::size_t* digestLength, const std::uint8_t* signature,
                          std::size_t signatureLength, const RsaPublicKey* key, int digestType) {
    const std::size_t k = key->modulusLength;
    if (k < 3 + kMinPaddingFF || k > 4 * BigNumber::kCapacity) {
        return -1;
    }
    // The block's leading 0x00 byte is not kept.
    std::uint8_t block[4 * BigNumber::kCapacity];
    std::size_t blockLength = k - 1;
    if (vexil_RsaPublic(signature, signatureLength, block, &blockLength, key) != 0) {
        return -1;
    }
    if (block[0] != 0x01) {
        return -1;
    }
    std::size_t pos = 1;
    for (; pos < 1 + kMinPaddingFF; ++pos) {
        if (block[pos] != 0xFF) {
            return -1;
        }
    }
    while (pos < k - 3 && block[pos] == 0xFF) {
        ++pos;
    }
    if (block[pos] != 0x00) {
        return -1;
    }
    const std::uint8_t* data = block + pos + 1;
    const std::size_t dataLength = blockLength - pos - 1;

    switch (digestType) {
    case kDigestReturnData:
        if (digest == nullptr) {
            *digestLength = dataLength;
            return 0;
        }
        if (*digestLength < dataLength) {
            *digestLength = dataLength;
            return -1;
        }
        std::memcpy(digest, data, dataLength);
        *digestLength = dataLength;
        return 0;
    case kDigestRaw:
        return dataLength == *digestLength && std::memcmp(data, digest, dataLength) == 0 ? 0 : -1;
    case kDigestMd2:
    case kDigestMd5:
    case kDigestSha1:
    case kDigestRipemd128:
    case kDigestRipemd160:
        return Matches(data, dataLength, kDigestInfos[digestType - kDigestMd2], digest, *digestLength) ? 0 : -1;
    default:
        return -1;
    }
}
