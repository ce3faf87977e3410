// The cipher and hash engine: known answers, the streaming rules, and cross-checks with OpenSSL.
#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <ostream>
#include <random>

#include "crypto_helpers.h"
#include "platform/os/last_error.h"

namespace {

const Bytes kZeroIv(16, 0);

// AES-CBC by OpenSSL, with or without pad bytes.
Bytes OpenSslCbc(const Bytes& key, const Bytes& iv, const Bytes& data, bool decipher, bool pad) {
    const EVP_CIPHER* cipher = key.size() == 16 ? EVP_aes_128_cbc() : key.size() == 24 ? EVP_aes_192_cbc() : EVP_aes_256_cbc();
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex(ctx, cipher, nullptr, key.data(), iv.data(), decipher ? 0 : 1);
    EVP_CIPHER_CTX_set_padding(ctx, pad ? 1 : 0);
    Bytes out(data.size() + 16);
    int n = 0, last = 0;
    bool ok = EVP_CipherUpdate(ctx, out.data(), &n, data.data(), static_cast<int>(data.size())) == 1 &&
              EVP_CipherFinal_ex(ctx, out.data() + n, &last) == 1;
    EVP_CIPHER_CTX_free(ctx);
    out.resize(ok ? static_cast<std::size_t>(n + last) : 0);
    return out;
}

Bytes OpenSslSha1(const Bytes& data) {
    Bytes digest(20);
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), digest.data(), &length, EVP_sha1(), nullptr);
    return digest;
}

// A plain SHA-1 over a message given bit by bit, written for clarity, to check messages whose
// last byte is partial.
Bytes ReferenceSha1(std::vector<bool> bits) {
    const std::uint64_t length = bits.size();
    bits.push_back(true);
    while (bits.size() % 512 != 448) {
        bits.push_back(false);
    }
    for (int i = 63; i >= 0; --i) {
        bits.push_back(((length >> i) & 1) != 0);
    }
    auto rotl = [](std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); };
    std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    for (std::size_t block = 0; block < bits.size(); block += 512) {
        std::uint32_t w[80] = {};
        for (int t = 0; t < 16; ++t) {
            for (int b = 0; b < 32; ++b) {
                w[t] = (w[t] << 1) | (bits[block + 32 * t + b] ? 1 : 0);
            }
        }
        for (int t = 16; t < 80; ++t) {
            w[t] = rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
        }
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int t = 0; t < 80; ++t) {
            std::uint32_t f, k;
            if (t < 20) {
                f = (b & c) | (~b & d), k = 0x5A827999;
            } else if (t < 40) {
                f = b ^ c ^ d, k = 0x6ED9EBA1;
            } else if (t < 60) {
                f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
            } else {
                f = b ^ c ^ d, k = 0xCA62C1D6;
            }
            std::uint32_t temp = rotl(a, 5) + f + e + w[t] + k;
            e = d, d = c, c = rotl(b, 30), b = a, a = temp;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
    }
    Bytes digest;
    for (std::uint32_t word : h) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            digest.push_back(static_cast<std::uint8_t>(word >> shift));
        }
    }
    return digest;
}

std::vector<bool> FirstBits(const Bytes& bytes, std::size_t count) {
    std::vector<bool> bits;
    for (std::size_t i = 0; i < count; ++i) {
        bits.push_back(((bytes[i / 8] >> (7 - i % 8)) & 1) != 0);
    }
    return bits;
}

// ---- AES known answers (FIPS-197 appendix C) ----

struct AesKnownAnswer {
    const char* key;
    const char* cipher;
};

void PrintTo(const AesKnownAnswer& c, std::ostream* out) { *out << "key " << c.key; }

class AesKnownAnswerTest : public ::testing::TestWithParam<AesKnownAnswer> {};

TEST_P(AesKnownAnswerTest, EnciphersAndDeciphersTheFipsBlock) {
    const Bytes plain = FromHex("00112233445566778899aabbccddeeff");
    const Bytes key = FromHex(GetParam().key);
    AesContext ctx;
    const std::uint32_t blockSize = 16;
    ASSERT_EQ(AesKeySetup(key.data(), key.size() * 8, &ctx, &blockSize), 0);
    Bytes block(16);
    ASSERT_EQ(AesBlocks(1, plain.data(), block.data(), 0, &ctx), 0);
    EXPECT_EQ(ToHex(block), GetParam().cipher);
    ASSERT_EQ(AesBlocks(1, block.data(), block.data(), 1, &ctx), 0);
    EXPECT_EQ(block, plain);
}

INSTANTIATE_TEST_SUITE_P(
    Fips197, AesKnownAnswerTest,
    ::testing::Values(AesKnownAnswer{"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
                      AesKnownAnswer{"000102030405060708090a0b0c0d0e0f1011121314151617",
                                     "dda97ca4864cdfe06eaf70a0ec0d7191"},
                      AesKnownAnswer{"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
                                     "8ea2b7ca516745bfeafc49904b496089"}),
    [](const ::testing::TestParamInfo<AesKnownAnswer>& info) {
        return "Key" + std::to_string(std::string(info.param.key).size() * 4) + "Bits";
    });

TEST(AesKeySetup, RefusesABlockSizeOtherThan16AndOddKeyLengths) {
    AesContext ctx;
    const Bytes key(32, 0x11);
    const std::uint32_t wrongBlock = 8, blockSize = 16;
    os::SetLastError(0);
    EXPECT_EQ(AesKeySetup(key.data(), 128, &ctx, &wrongBlock), -1);
    EXPECT_EQ(os::GetLastError(), kErrAesParameter);
    EXPECT_EQ(AesKeySetup(key.data(), 128, &ctx, nullptr), -1);
    for (std::size_t bits : {0, 64, 127, 160, 512}) {
        EXPECT_EQ(AesKeySetup(key.data(), bits, &ctx, &blockSize), -1) << bits;
    }
}

// ---- SHA-1 known answers (FIPS 180-1) ----

TEST(Sha1, GivesTheFips180Digests) {
    EXPECT_EQ(ToHex(EngineSha1(Bytes{'a', 'b', 'c'})), "a9993e364706816aba3e25717850c26c9cd0d89d");
    const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(ToHex(EngineSha1(Bytes(twoBlocks.begin(), twoBlocks.end()))),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(ToHex(EngineSha1(Bytes(1000000, 'a'))), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Sha1, MessagesEndingInAPartialByteMatchABitwiseComputation) {
    const Bytes message = RandomBytes(200, 7);
    for (std::size_t bits : {1u, 3u, 7u, 9u, 447u, 449u, 455u, 511u, 513u, 1021u, 1599u}) {
        Sha1 sha;
        Bytes digest(20);
        ASSERT_EQ(vexil_HashStart(&sha.descriptor, nullptr), 0);
        ASSERT_EQ(vexil_Hash(message.data(), bits, digest.data(), &sha.descriptor, 1), 0);
        EXPECT_EQ(digest, ReferenceSha1(FirstBits(message, bits))) << bits << " bits";

        // The same message with whole bytes first, held over, and the partial byte in the final call.
        Sha1 pieces;
        vexil_HashStart(&pieces.descriptor, nullptr);
        const std::size_t first = (bits / 8) / 2;
        ASSERT_EQ(vexil_Hash(message.data(), first * 8, nullptr, &pieces.descriptor, 0), 0);
        ASSERT_EQ(vexil_Hash(message.data() + first, bits - first * 8, digest.data(), &pieces.descriptor, 1), 0);
        EXPECT_EQ(digest, ReferenceSha1(FirstBits(message, bits))) << bits << " bits in two calls";
    }
}

TEST(Sha1, PartialBitsOutsideTheFinalCallAreRefused) {
    Sha1 sha;
    const Bytes message(4, 0xAB);
    vexil_HashStart(&sha.descriptor, nullptr);
    os::SetLastError(0);
    EXPECT_EQ(vexil_Hash(message.data(), 13, nullptr, &sha.descriptor, 0), -1);
    EXPECT_EQ(os::GetLastError(), kErrCryptLength);
}

TEST(Sha1, PiecesGiveTheDigestOfOneCall) {
    const Bytes message = RandomBytes(1000, 3);
    std::mt19937 random(11);
    for (int run = 0; run < 50; ++run) {
        Sha1 sha;
        vexil_HashStart(&sha.descriptor, nullptr);
        std::size_t pos = 0;
        while (true) {
            std::size_t piece = std::min<std::size_t>(random() % 150, message.size() - pos);
            bool final = pos + piece == message.size();
            Bytes digest(20);
            ASSERT_EQ(vexil_Hash(message.data() + pos, piece * 8, digest.data(), &sha.descriptor, final), 0);
            pos += piece;
            if (final) {
                EXPECT_EQ(digest, OpenSslSha1(message)) << "run " << run;
                break;
            }
        }
    }
    // Two non-final calls of 2 and 4 bytes, then the rest.
    Sha1 sha;
    Bytes digest(20);
    vexil_HashStart(&sha.descriptor, nullptr);
    vexil_Hash(message.data(), 16, nullptr, &sha.descriptor, 0);
    vexil_Hash(message.data() + 2, 32, nullptr, &sha.descriptor, 0);
    vexil_Hash(message.data() + 6, (message.size() - 6) * 8, digest.data(), &sha.descriptor, 1);
    EXPECT_EQ(digest, EngineSha1(message));
}

TEST(Sha1, RandomMessagesMatchOpenSsl) {
    std::mt19937 random(5);
    for (int run = 0; run < 200; ++run) {
        Bytes message = RandomBytes(random() % 700, static_cast<std::uint32_t>(run));
        EXPECT_EQ(EngineSha1(message), OpenSslSha1(message)) << message.size() << " bytes";
    }
}

// ---- CBC with pad bytes: the output rules ----

TEST(AesCbcPadBytes, LastBlockRules) {
    const Bytes key(16, 0x2B);
    const Bytes firstBlock = RandomBytes(16, 1);
    struct Case {
        const char* name;
        Bytes lastPlain;           // the plain last block as it is enciphered, without pad bytes added
        std::size_t kept;          // bytes of the last block the deciphering keeps, or
        std::uint32_t errorCode;   // the error when it must fail
    };
    Bytes fullPad(16, 0x10);
    Bytes badFive(16, 0x05);
    badFive[12] = 0x04;
    Bytes endsInZero = RandomBytes(16, 2);
    endsInZero[15] = 0x00;
    Bytes padTooLong(16, 0x11);
    Bytes threePads = RandomBytes(16, 4);
    threePads[13] = threePads[14] = threePads[15] = 0x03;
    const Case cases[] = {
        {"a whole block of 0x10", fullPad, 0, 0},
        {"0x05 behind other bytes", badFive, 0, kErrCryptPadding},
        {"a last byte of 0 drops nothing", endsInZero, 16, 0},
        {"a pad length above the block", padTooLong, 0, kErrCryptPadding},
        {"three bytes of 0x03", threePads, 13, 0},
    };
    for (const Case& c : cases) {
        Bytes plain = firstBlock;
        plain.insert(plain.end(), c.lastPlain.begin(), c.lastPlain.end());
        const Bytes cipher = OpenSslCbc(key, kZeroIv, plain, false, false);
        AesCbc aes;
        ASSERT_EQ(aes.Start(key, kZeroIv), 0);
        Bytes out;
        os::SetLastError(0);
        int result = CryptAll(aes, cipher, cipher.size() * 8, true, true, &out);
        if (c.errorCode != 0) {
            EXPECT_EQ(result, -1) << c.name;
            EXPECT_EQ(os::GetLastError(), c.errorCode) << c.name;
            continue;
        }
        ASSERT_EQ(result, 0) << c.name;
        Bytes expected = firstBlock;
        expected.insert(expected.end(), c.lastPlain.begin(), c.lastPlain.begin() + static_cast<long>(c.kept));
        EXPECT_EQ(out, expected) << c.name;
    }
}

TEST(AesCbcPadBytes, LengthsThatAreNotAllowed) {
    const Bytes key(16, 0x2B);
    const Bytes data(64, 0x5A);
    struct Case {
        const char* name;
        bool padBytes;
        std::size_t bits;
        bool decipher;
        bool final;
    };
    const Case cases[] = {
        {"final deciphering of 15 bytes", true, 15 * 8, true, true},
        {"final deciphering with pad bytes and no data", true, 0, true, true},
        {"partial bits in a non-final enciphering", true, 20 * 8 + 3, false, false},
        {"partial bits in a final deciphering", true, 16 * 8 + 3, true, true},
        {"final without pad bytes, not whole blocks", false, 17 * 8, false, true},
    };
    for (const Case& c : cases) {
        AesCbc aes(c.padBytes);
        aes.Start(key, kZeroIv);
        std::size_t length = 0;
        os::SetLastError(0);
        EXPECT_EQ(vexil_Crypt(data.data(), c.bits, nullptr, &length, c.decipher, &aes.descriptor, c.final), -1) << c.name;
        EXPECT_EQ(os::GetLastError(), kErrCryptLength) << c.name;
    }
}

TEST(AesCbcPadBytes, TooSmallDestinationStoresTheNeededLength) {
    const Bytes key(16, 0x2B);
    const Bytes data(16, 0x5A);
    AesCbc aes;
    aes.Start(key, kZeroIv);
    Bytes out(31);
    std::size_t length = out.size();
    os::SetLastError(0);
    EXPECT_EQ(vexil_Crypt(data.data(), 128, out.data(), &length, 0, &aes.descriptor, 1), -1);
    EXPECT_EQ(os::GetLastError(), kErrCryptDestination);
    EXPECT_EQ(length, 32u);
}

TEST(AesCbcPadBytes, SixteenBytesEncipherToTwoBlocks) {
    const Bytes key(16, 0x2B);
    const Bytes data = RandomBytes(16, 9);
    AesCbc aes;
    aes.Start(key, kZeroIv);
    Bytes out;
    ASSERT_EQ(CryptAll(aes, data, 128, false, true, &out), 0);
    EXPECT_EQ(out, OpenSslCbc(key, kZeroIv, data, false, true));
    EXPECT_EQ(out.size(), 32u);
}

TEST(AesCbcPadBytes, FinalPartialByteIsEncipheredWithItsLowBitsCleared) {
    const Bytes key = RandomBytes(16, 21);
    const Bytes iv = RandomBytes(16, 22);
    Bytes data = RandomBytes(40, 23);
    for (std::size_t bits : {3u, 15u * 8 + 5, 16u * 8 + 1, 31u * 8 + 7}) {
        AesCbc aes;
        aes.Start(key, iv);
        Bytes out;
        ASSERT_EQ(CryptAll(aes, data, bits, false, true, &out), 0) << bits;
        Bytes plain(data.begin(), data.begin() + static_cast<long>(bits / 8 + 1));
        plain.back() &= static_cast<std::uint8_t>(0xFF00u >> (bits % 8));
        EXPECT_EQ(out, OpenSslCbc(key, iv, plain, false, true)) << bits;
    }
}

TEST(AesCbc, InPlaceDecipheringRefusesBlocksAbove32Bytes) {
    CipherDescriptor wide{};
    std::uint8_t chaining[48] = {};
    std::uint8_t data[48] = {};
    wide.blockSize = 48;
    wide.chaining = chaining;
    wide.block = [](std::size_t, const std::uint8_t*, std::uint8_t*, int, void*) { return 0; };
    os::SetLastError(0);
    EXPECT_EQ(CbcMode(1, data, data, 1, &wide), -1);
    EXPECT_EQ(os::GetLastError(), kErrCbcInPlaceBlock);
    std::uint8_t other[48] = {};
    EXPECT_EQ(CbcMode(1, data, other, 1, &wide), 0);
}

// ---- Cross-checks with OpenSSL ----

TEST(AesCbc, RandomDataMatchesOpenSslBothWaysForAllKeySizes) {
    std::mt19937 random(17);
    for (int run = 0; run < 120; ++run) {
        const Bytes key = RandomBytes(16 + 8 * (run % 3), static_cast<std::uint32_t>(run));
        const Bytes iv = RandomBytes(16, static_cast<std::uint32_t>(run + 1000));
        const bool pad = run % 4 != 0;
        std::size_t length = random() % 300;
        if (!pad) {
            length -= length % 16;
        }
        const Bytes plain = RandomBytes(length, static_cast<std::uint32_t>(run + 2000));

        AesCbc enc(pad);
        ASSERT_EQ(enc.Start(key, iv), 0);
        Bytes cipher;
        ASSERT_EQ(CryptAll(enc, plain, plain.size() * 8, false, true, &cipher), 0);
        EXPECT_EQ(cipher, OpenSslCbc(key, iv, plain, false, pad)) << "run " << run;

        const Bytes theirs = OpenSslCbc(key, iv, plain, false, pad);
        AesCbc dec(pad);
        ASSERT_EQ(dec.Start(key, iv), 0);
        Bytes back;
        if (theirs.empty()) {
            continue;  // nothing to decipher without pad bytes
        }
        ASSERT_EQ(CryptAll(dec, theirs, theirs.size() * 8, true, true, &back), 0) << "run " << run;
        EXPECT_EQ(back, plain) << "run " << run;
    }
}

TEST(AesCbc, DecipheringInPlaceMatchesOpenSsl) {
    const Bytes key = RandomBytes(16, 31), iv = RandomBytes(16, 32);
    const Bytes plain = RandomBytes(1000, 33);
    Bytes buffer = OpenSslCbc(key, iv, plain, false, true);
    AesCbc aes;
    aes.Start(key, iv);
    std::size_t length = buffer.size();
    ASSERT_EQ(vexil_Crypt(buffer.data(), buffer.size() * 8, buffer.data(), &length, 1, &aes.descriptor, 1), 0);
    buffer.resize(length);
    EXPECT_EQ(buffer, plain);
}

// Pieces of random sizes, in and out, give the output of one call.
TEST(AesCbc, PiecesGiveTheOutputOfOneCall) {
    const Bytes key = RandomBytes(16, 41), iv = RandomBytes(16, 42);
    std::mt19937 random(43);
    for (int run = 0; run < 60; ++run) {
        const bool decipher = run % 2 == 1;
        const bool pad = run % 3 != 0;
        const Bytes plain = RandomBytes(pad ? 10 + random() % 400 : 16 * (1 + random() % 25),
                                        static_cast<std::uint32_t>(run));
        const Bytes input = decipher ? OpenSslCbc(key, iv, plain, false, pad) : plain;
        const Bytes expected = decipher ? plain : OpenSslCbc(key, iv, plain, false, pad);

        AesCbc aes(pad);
        aes.Start(key, iv);
        Bytes out;
        std::size_t pos = 0;
        while (true) {
            std::size_t piece = std::min<std::size_t>(random() % 70, input.size() - pos);
            const bool final = pos + piece == input.size() && random() % 2 == 0;
            Bytes chunk(input.begin() + static_cast<long>(pos), input.begin() + static_cast<long>(pos + piece));
            Bytes produced;
            ASSERT_EQ(CryptAll(aes, chunk, piece * 8, decipher, final, &produced), 0)
                << "run " << run << " at " << pos << " piece " << piece << " error " << std::hex << os::GetLastError();
            out.insert(out.end(), produced.begin(), produced.end());
            pos += piece;
            if (final) {
                break;
            }
        }
        EXPECT_EQ(out, expected) << "run " << run << (decipher ? " deciphering" : " enciphering");
    }
}

}  // namespace
