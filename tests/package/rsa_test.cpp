// RSA public operation and PKCS#1 v1.5 signature blocks, with keys and signatures made by OpenSSL.
#include <gtest/gtest.h>

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <random>

#include "crypto_helpers.h"
#include "package/rsa.h"

namespace {

constexpr std::size_t kK = 128;  // modulus bytes

const Bytes kSha1Prefix = FromHex("3021300906052b0e03021a05000414");
const Bytes kMd2Prefix = FromHex("3020300c06082a864886f70d020205000410");
const Bytes kMd5Prefix = FromHex("3020300c06082a864886f70d020505000410");
const Bytes kRipemd128Prefix = FromHex("301d300906052b2403020205000410");
const Bytes kRipemd160Prefix = FromHex("3021300906052b2403020105000414");

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

class RsaSignature : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        key_ = EVP_RSA_gen(1024);
        ASSERT_NE(key_, nullptr);
        BIGNUM* n = nullptr;
        BIGNUM* e = nullptr;
        EVP_PKEY_get_bn_param(key_, OSSL_PKEY_PARAM_RSA_N, &n);
        EVP_PKEY_get_bn_param(key_, OSSL_PKEY_PARAM_RSA_E, &e);
        modulusBytes_.resize(kK);
        BN_bn2binpad(n, modulusBytes_.data(), kK);
        Bytes exponent(static_cast<std::size_t>(BN_num_bytes(e)));
        BN_bn2bin(e, exponent.data());
        BN_free(n);
        BN_free(e);
        BnFromBytes(modulusBytes_.data(), kK, &modulus_);
        BnFromBytes(exponent.data(), exponent.size(), &exponent_);
        publicKey_ = {kK, &modulus_, &exponent_};
    }
    static void TearDownTestSuite() { EVP_PKEY_free(key_); }

    // The private-key operation on a whole block, without padding.
    static Bytes RawPrivate(const Bytes& block) {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key_, nullptr);
        Bytes out(kK);
        std::size_t length = out.size();
        bool ok = EVP_PKEY_sign_init(ctx) == 1 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_NO_PADDING) == 1 &&
                  EVP_PKEY_sign(ctx, out.data(), &length, block.data(), block.size()) == 1;
        EVP_PKEY_CTX_free(ctx);
        EXPECT_TRUE(ok);
        return out;
    }

    static Bytes OpenSslSignSha1(const Bytes& message) {
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        Bytes signature(kK);
        std::size_t length = signature.size();
        EVP_DigestSignInit(ctx, nullptr, EVP_sha1(), nullptr, key_);
        EVP_DigestSign(ctx, signature.data(), &length, message.data(), message.size());
        EVP_MD_CTX_free(ctx);
        return signature;
    }

    // 00 01, `ffCount` bytes 0xFF, the separator, then the signed data: exactly k bytes.
    static Bytes Block(std::size_t ffCount, std::uint8_t separator, const Bytes& data, std::uint8_t type = 0x01) {
        Bytes block = {0x00, type};
        block.insert(block.end(), ffCount, 0xFF);
        block.push_back(separator);
        block.insert(block.end(), data.begin(), data.end());
        EXPECT_EQ(block.size(), kK);
        return block;
    }
    static Bytes StandardBlock(const Bytes& data) { return Block(kK - 3 - data.size(), 0x00, data); }

    static int Verify(const Bytes& signature, Bytes digest, int type) {
        std::size_t length = digest.size();
        return vexil_VerifySignature(digest.data(), &length, signature.data(), signature.size(), &publicKey_, type);
    }

    static inline EVP_PKEY* key_ = nullptr;
    static inline Bytes modulusBytes_;
    static inline BigNumber modulus_;
    static inline BigNumber exponent_;
    static inline RsaPublicKey publicKey_;
};

TEST_F(RsaSignature, PublicOperationMatchesOpenSsl) {
    std::mt19937 random(1);
    for (int run = 0; run < 10; ++run) {
        Bytes block = RandomBytes(kK, static_cast<std::uint32_t>(run));
        block[0] = static_cast<std::uint8_t>(random() % modulusBytes_[0]);
        const Bytes signature = RawPrivate(block);
        Bytes out(kK);
        std::size_t length = kK;
        ASSERT_EQ(vexil_RsaPublic(signature.data(), signature.size(), out.data(), &length, &publicKey_), 0);
        EXPECT_EQ(out, block);
    }
}

TEST_F(RsaSignature, OpenSslSha1SignaturesPass) {
    for (int run = 0; run < 10; ++run) {
        const Bytes message = RandomBytes(100 + 37 * run, static_cast<std::uint32_t>(run));
        EXPECT_EQ(Verify(OpenSslSignSha1(message), EngineSha1(message), kDigestSha1), 0) << "run " << run;
    }
}

TEST_F(RsaSignature, MutatedSignaturesAndBlocksFail) {
    const Bytes message = RandomBytes(300, 77);
    const Bytes digest = EngineSha1(message);
    const Bytes good = OpenSslSignSha1(message);
    for (std::size_t bit : {0u, 7u, 100u, 555u, 1023u}) {
        Bytes flipped = good;
        flipped[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
        EXPECT_NE(Verify(flipped, digest, kDigestSha1), 0) << "flipped bit " << bit;
    }

    const Bytes info = Concat({kSha1Prefix, digest});
    Bytes longerInfo = FromHex("3022300a06052b0e03021a0500000414");  // NULL parameter with a stray byte
    longerInfo.insert(longerInfo.end(), digest.begin(), digest.end());
    Bytes wrongOid = info;
    wrongOid[10] ^= 0x01;
    struct Case {
        const char* name;
        Bytes block;
    };
    const Case cases[] = {
        {"block type 2", Block(kK - 3 - info.size(), 0x00, info, 0x02)},
        {"missing separator", Block(kK - 2 - info.size(), 0xFF, Bytes(info.begin() + 1, info.end()))},
        {"separator 0x01", Block(kK - 3 - info.size(), 0x01, info)},
        {"MD5 DigestInfo", StandardBlock(Concat({kMd5Prefix, Bytes(digest.begin(), digest.begin() + 16)}))},
        {"wrong digest algorithm", StandardBlock(wrongOid)},
        {"longer DigestInfo", StandardBlock(longerInfo)},
        {"garbage after the digest", StandardBlock(Concat({info, Bytes{0x00}}))},
        {"another digest", StandardBlock(Concat({kSha1Prefix, EngineSha1(Bytes{1, 2, 3})}))},
        {"block that needs all k bytes", [&] {
             Bytes b = StandardBlock(info);
             b[0] = 0x01;
             return b;
         }()},
    };
    ASSERT_EQ(Verify(RawPrivate(StandardBlock(info)), digest, kDigestSha1), 0) << "the unmutated block";
    for (const Case& c : cases) {
        EXPECT_NE(Verify(RawPrivate(c.block), digest, kDigestSha1), 0) << c.name;
    }
    EXPECT_NE(Verify(good, Bytes(digest.begin(), digest.begin() + 16), kDigestSha1), 0) << "digest length 16";
}

TEST_F(RsaSignature, AtLeastEightPaddingBytes) {
    const Bytes data = RandomBytes(kK - 3 - 8, 5);
    Bytes seven(data.begin(), data.end());
    seven.push_back(0x42);
    Bytes out(kK);
    std::size_t length = out.size();
    const Bytes eightFF = RawPrivate(Block(8, 0x00, data));
    ASSERT_EQ(vexil_VerifySignature(out.data(), &length, eightFF.data(), kK, &publicKey_, kDigestReturnData), 0);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(length)), data);
    const Bytes sevenFF = RawPrivate(Block(7, 0x00, seven));
    length = out.size();
    EXPECT_NE(vexil_VerifySignature(out.data(), &length, sevenFF.data(), kK, &publicKey_, kDigestReturnData), 0);
}

TEST_F(RsaSignature, SignatureNotBelowTheModulusFails) {
    Bytes atModulus = modulusBytes_;
    Bytes digest(20);
    EXPECT_NE(Verify(atModulus, digest, kDigestSha1), 0);
    Bytes above = modulusBytes_;
    above[kK - 1] = static_cast<std::uint8_t>(above[kK - 1] + 1);
    EXPECT_NE(Verify(above, digest, kDigestSha1), 0);
    Bytes out(kK);
    std::size_t length = kK;
    EXPECT_EQ(vexil_RsaPublic(atModulus.data(), kK, out.data(), &length, &publicKey_), -1);
}

TEST_F(RsaSignature, LeadingZeroBytesOfTheSignatureAreSkipped) {
    const Bytes message = RandomBytes(50, 9);
    Bytes longer = Concat({Bytes{0x00}, OpenSslSignSha1(message)});
    EXPECT_EQ(Verify(longer, EngineSha1(message), kDigestSha1), 0);
}

TEST_F(RsaSignature, EveryDigestType) {
    const Bytes d16 = RandomBytes(16, 1), d20 = RandomBytes(20, 2);
    struct Case {
        int type;
        Bytes prefix;
        const Bytes& digest;
    };
    const Case cases[] = {
        {kDigestRaw, {}, d20},        {kDigestMd2, kMd2Prefix, d16},         {kDigestMd5, kMd5Prefix, d16},
        {kDigestSha1, kSha1Prefix, d20}, {kDigestRipemd128, kRipemd128Prefix, d16}, {kDigestRipemd160, kRipemd160Prefix, d20},
    };
    for (const Case& c : cases) {
        const Bytes signature = RawPrivate(StandardBlock(Concat({c.prefix, c.digest})));
        EXPECT_EQ(Verify(signature, c.digest, c.type), 0) << "type " << c.type;
        for (const Case& other : cases) {
            if (other.type != c.type && other.type != kDigestRaw) {
                EXPECT_NE(Verify(signature, other.digest, other.type), 0) << "type " << c.type << " as " << other.type;
            }
        }
    }
    // Type 0 hands the signed data out: length first, then the data; a short buffer fails.
    const Bytes data = Concat({kSha1Prefix, d20});
    const Bytes signature = RawPrivate(StandardBlock(data));
    std::size_t length = 0;
    ASSERT_EQ(vexil_VerifySignature(nullptr, &length, signature.data(), kK, &publicKey_, kDigestReturnData), 0);
    EXPECT_EQ(length, data.size());
    Bytes out(length - 1);
    std::size_t room = out.size();
    EXPECT_NE(vexil_VerifySignature(out.data(), &room, signature.data(), kK, &publicKey_, kDigestReturnData), 0);
    out.resize(length);
    room = out.size();
    ASSERT_EQ(vexil_VerifySignature(out.data(), &room, signature.data(), kK, &publicKey_, kDigestReturnData), 0);
    EXPECT_EQ(out, data);
    EXPECT_NE(Verify(signature, d20, 7), 0) << "unknown type";
}

}  // namespace
