// Multi-precision arithmetic against OpenSSL's BIGNUM on random and edge-heavy numbers.
#include <gtest/gtest.h>

#include <openssl/bn.h>

#include <functional>
#include <memory>
#include <random>

#include "package/bignum.h"
#include "platform/os/last_error.h"

namespace {

using Bn = std::unique_ptr<BIGNUM, decltype(&BN_free)>;

Bn NewBn() { return Bn(BN_new(), BN_free); }

// Words that make carries, normalisation shifts and the add-back step of the division likely.
std::uint32_t EdgeWord(std::mt19937& random) {
    static const std::uint32_t kEdges[] = {0, 1, 0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 0xFFFFFFFEu};
    return random() % 3 == 0 ? kEdges[random() % 6] : static_cast<std::uint32_t>(random());
}

template <std::size_t C>
void RandomNumber(std::mt19937& random, std::uint32_t words, BigNumberOf<C>* n) {
    for (std::uint32_t i = 1; i <= words; ++i) {
        n->word[i] = EdgeWord(random);
    }
    if (words > 0 && n->word[words] == 0) {
        n->word[words] = 1 + static_cast<std::uint32_t>(random() % 0xFFFF);
    }
    n->word[0] = words;
}

template <std::size_t C>
Bn ToBn(const BigNumberOf<C>& n) {
    std::vector<std::uint8_t> bytes(4 * n.word[0]);
    for (std::uint32_t i = 0; i < n.word[0]; ++i) {
        for (int b = 0; b < 4; ++b) {
            bytes[bytes.size() - 1 - (4 * i + b)] = static_cast<std::uint8_t>(n.word[1 + i] >> (8 * b));
        }
    }
    Bn bn = NewBn();
    BN_bin2bn(bytes.data(), static_cast<int>(bytes.size()), bn.get());
    return bn;
}

template <std::size_t C>
bool Trimmed(const BigNumberOf<C>& n) {
    return n.word[0] == 0 || n.word[n.word[0]] != 0;
}

template <std::size_t C>
void ExpectEqual(const BigNumberOf<C>& ours, const BIGNUM* theirs, const std::string& what) {
    EXPECT_TRUE(Trimmed(ours)) << what;
    Bn mine = ToBn(ours);
    EXPECT_EQ(BN_cmp(mine.get(), theirs), 0) << what << ": ours " << BN_bn2hex(mine.get());
}

TEST(BigNumber, BytesRoundTripAndOpenSslAgree) {
    std::mt19937 random(1);
    for (int run = 0; run < 100; ++run) {
        std::vector<std::uint8_t> bytes(random() % 520);
        for (auto& b : bytes) {
            b = static_cast<std::uint8_t>(random());
        }
        if (!bytes.empty() && run % 3 == 0) {
            bytes[0] = 0;  // leading zero bytes are skipped
        }
        BigNumber n;
        Bn theirs = NewBn();
        BN_bin2bn(bytes.data(), static_cast<int>(bytes.size()), theirs.get());
        if (BN_num_bytes(theirs.get()) > 512) {
            os::SetLastError(0);
            EXPECT_EQ(BnFromBytes(bytes.data(), bytes.size(), &n), -1);
            EXPECT_EQ(os::GetLastError(), kErrBnFromBytes);
            continue;
        }
        ASSERT_EQ(BnFromBytes(bytes.data(), bytes.size(), &n), 0);
        ExpectEqual(n, theirs.get(), "from bytes");
        std::vector<std::uint8_t> back(bytes.size());
        ASSERT_EQ(BnToBytes(n, back.data(), back.size()), 0);
        EXPECT_EQ(back, bytes);
    }
}

TEST(BigNumber, ErrorCodes) {
    BigNumber zero{}, one{}, big{}, out{};
    one.word[0] = 1, one.word[1] = 1;
    big.word[0] = 128;
    for (int i = 1; i <= 128; ++i) {
        big.word[i] = 0x80000000u;
    }
    std::uint8_t bytes[4];
    struct Case {
        const char* name;
        std::function<int()> call;
        std::uint32_t code;
    };
    const Case cases[] = {
        {"to bytes, too short", [&] { return BnToBytes(big, bytes, 4); }, kErrBnToBytes},
        {"exponentiation modulo 0", [&] { return BnModExp(one, one, zero, &out); }, kErrBnModExpZero},
        {"bit length of 0", [&] { return BnBitLength(zero); }, kErrBnBitLength},
        {"remainder modulo 0", [&] { return BnRemainder(one, zero, &out); }, kErrBnReduceZero},
        {"shift left beyond 128 words", [&] { return BnShiftLeft(big, 1, &out); }, kErrBnShiftLeft},
    };
    for (const Case& c : cases) {
        os::SetLastError(0);
        EXPECT_EQ(c.call(), -1) << c.name;
        EXPECT_EQ(os::GetLastError(), c.code) << c.name;
    }
    std::vector<std::uint8_t> many(513, 0x01);
    os::SetLastError(0);
    EXPECT_EQ(BnFromBytes(many.data(), many.size(), &out), -1);
    EXPECT_EQ(os::GetLastError(), kErrBnFromBytes);
}

TEST(BigNumber, MultiplySquareAndShiftsMatchOpenSsl) {
    std::mt19937 random(2);
    Bn expected = NewBn();
    std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)> ctx(BN_CTX_new(), BN_CTX_free);
    for (int run = 0; run < 300; ++run) {
        BigNumber a, b;
        RandomNumber(random, random() % 129, &a);
        RandomNumber(random, random() % 129, &b);
        Bn ba = ToBn(a), bb = ToBn(b);

        BigProduct product;
        ASSERT_EQ(BnMultiply(a, b, &product), 0);
        BN_mul(expected.get(), ba.get(), bb.get(), ctx.get());
        ExpectEqual(product, expected.get(), "multiply");

        ASSERT_EQ(BnSquare(a, &product), 0);
        BN_sqr(expected.get(), ba.get(), ctx.get());
        ExpectEqual(product, expected.get(), "square");

        const unsigned bits = random() % 200;
        BigNumber shifted;
        BN_lshift(expected.get(), ba.get(), static_cast<int>(bits));
        if (BN_num_bits(expected.get()) <= 4096) {
            ASSERT_EQ(BnShiftLeft(a, bits, &shifted), 0);
            ExpectEqual(shifted, expected.get(), "shift left");
        } else {
            EXPECT_EQ(BnShiftLeft(a, bits, &shifted), -1);
        }
        ASSERT_EQ(BnShiftRight(a, bits, &shifted), 0);
        BN_rshift(expected.get(), ba.get(), static_cast<int>(bits));
        ExpectEqual(shifted, expected.get(), "shift right");

        EXPECT_EQ(BnCompare(a, b), BN_cmp(ba.get(), bb.get())) << "compare";
        if (a.word[0] > 0) {
            EXPECT_EQ(BnBitLength(a), BN_num_bits(ba.get()));
        }
    }
}

TEST(BigNumber, RemainderMatchesOpenSsl) {
    std::mt19937 random(3);
    Bn expected = NewBn();
    std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)> ctx(BN_CTX_new(), BN_CTX_free);
    for (int run = 0; run < 2000; ++run) {
        BigProduct dividend;
        BigNumber modulus, remainder;
        RandomNumber(random, random() % 257, &dividend);
        RandomNumber(random, 1 + random() % 128, &modulus);
        ASSERT_EQ(BnRemainder(dividend, modulus, &remainder), 0);
        Bn bd = ToBn(dividend), bm = ToBn(modulus);
        BN_mod(expected.get(), bd.get(), bm.get(), ctx.get());
        ExpectEqual(remainder, expected.get(), "remainder run " + std::to_string(run));
    }
}

TEST(BigNumber, ModularExponentiationMatchesOpenSsl) {
    std::mt19937 random(4);
    Bn expected = NewBn();
    std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)> ctx(BN_CTX_new(), BN_CTX_free);
    for (int run = 0; run < 60; ++run) {
        BigNumber base, exponent, modulus, result;
        // Moduli of 1 to 40 words use all three window widths.
        RandomNumber(random, 1 + random() % 40, &modulus);
        RandomNumber(random, random() % 45, &base);
        RandomNumber(random, random() % 33, &exponent);
        if (modulus.word[0] == 1 && modulus.word[1] == 1) {
            modulus.word[1] = 3;
        }
        ASSERT_EQ(BnModExp(base, exponent, modulus, &result), 0);
        Bn bb = ToBn(base), be = ToBn(exponent), bm = ToBn(modulus);
        BN_mod_exp(expected.get(), bb.get(), be.get(), bm.get(), ctx.get());
        ExpectEqual(result, expected.get(), "modexp run " + std::to_string(run));
    }
}

TEST(BigNumber, ExponentiationEdgeValues) {
    BigNumber modulus{}, zero{}, one{}, result{};
    modulus.word[0] = 1, modulus.word[1] = 97;
    one.word[0] = 1, one.word[1] = 1;
    ASSERT_EQ(BnModExp(zero, one, modulus, &result), 0);
    EXPECT_EQ(result.word[0], 0u) << "0 ^ 1";
    ASSERT_EQ(BnModExp(one, zero, modulus, &result), 0);
    EXPECT_EQ(result.word[0], 1u) << "x ^ 0";
    EXPECT_EQ(result.word[1], 1u);
    BigNumber multiple{};
    multiple.word[0] = 1, multiple.word[1] = 194;
    ASSERT_EQ(BnModExp(multiple, one, modulus, &result), 0);
    EXPECT_EQ(result.word[0], 0u) << "a base that is 0 modulo the modulus";
}

}  // namespace
