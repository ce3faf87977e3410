#include "package/aes.h"

#include <array>
#include <cstring>

#include "platform/os/last_error.h"

namespace {

using Table = std::array<std::uint32_t, 256>;
using ByteTable = std::array<std::uint8_t, 256>;

// FIPS-197 S-box.
constexpr ByteTable kSbox = {
    0x63, 0x7c, 0x77, 0x7b, 0xf2, 0x6b, 0x6f, 0xc5, 0x30, 0x01, 0x67, 0x2b, 0xfe, 0xd7, 0xab, 0x76,
    0xca, 0x82, 0xc9, 0x7d, 0xfa, 0x59, 0x47, 0xf0, 0xad, 0xd4, 0xa2, 0xaf, 0x9c, 0xa4, 0x72, 0xc0,
    0xb7, 0xfd, 0x93, 0x26, 0x36, 0x3f, 0xf7, 0xcc, 0x34, 0xa5, 0xe5, 0xf1, 0x71, 0xd8, 0x31, 0x15,
    0x04, 0xc7, 0x23, 0xc3, 0x18, 0x96, 0x05, 0x9a, 0x07, 0x12, 0x80, 0xe2, 0xeb, 0x27, 0xb2, 0x75,
    0x09, 0x83, 0x2c, 0x1a, 0x1b, 0x6e, 0x5a, 0xa0, 0x52, 0x3b, 0xd6, 0xb3, 0x29, 0xe3, 0x2f, 0x84,
    0x53, 0xd1, 0x00, 0xed, 0x20, 0xfc, 0xb1, 0x5b, 0x6a, 0xcb, 0xbe, 0x39, 0x4a, 0x4c, 0x58, 0xcf,
    0xd0, 0xef, 0xaa, 0xfb, 0x43, 0x4d, 0x33, 0x85, 0x45, 0xf9, 0x02, 0x7f, 0x50, 0x3c, 0x9f, 0xa8,
    0x51, 0xa3, 0x40, 0x8f, 0x92, 0x9d, 0x38, 0xf5, 0xbc, 0xb6, 0xda, 0x21, 0x10, 0xff, 0xf3, 0xd2,
    0xcd, 0x0c, 0x13, 0xec, 0x5f, 0x97, 0x44, 0x17, 0xc4, 0xa7, 0x7e, 0x3d, 0x64, 0x5d, 0x19, 0x73,
    0x60, 0x81, 0x4f, 0xdc, 0x22, 0x2a, 0x90, 0x88, 0x46, 0xee, 0xb8, 0x14, 0xde, 0x5e, 0x0b, 0xdb,
    0xe0, 0x32, 0x3a, 0x0a, 0x49, 0x06, 0x24, 0x5c, 0xc2, 0xd3, 0xac, 0x62, 0x91, 0x95, 0xe4, 0x79,
    0xe7, 0xc8, 0x37, 0x6d, 0x8d, 0xd5, 0x4e, 0xa9, 0x6c, 0x56, 0xf4, 0xea, 0x65, 0x7a, 0xae, 0x08,
    0xba, 0x78, 0x25, 0x2e, 0x1c, 0xa6, 0xb4, 0xc6, 0xe8, 0xdd, 0x74, 0x1f, 0x4b, 0xbd, 0x8b, 0x8a,
    0x70, 0x3e, 0xb5, 0x66, 0x48, 0x03, 0xf6, 0x0e, 0x61, 0x35, 0x57, 0xb9, 0x86, 0xc1, 0x1d, 0x9e,
    0xe1, 0xf8, 0x98, 0x11, 0x69, 0xd9, 0x8e, 0x94, 0x9b, 0x1e, 0x87, 0xe9, 0xce, 0x55, 0x28, 0xdf,
    0x8c, 0xa1, 0x89, 0x0d, 0xbf, 0xe6, 0x42, 0x68, 0x41, 0x99, 0x2d, 0x0f, 0xb0, 0x54, 0xbb, 0x16,
};

// Round constants of the key expansion, in the low byte of a little-endian word.
constexpr std::uint32_t kRcon[10] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x1b, 0x36};

constexpr ByteTable InverseOf(const ByteTable& box) {
    ByteTable inverse{};
    for (int i = 0; i < 256; ++i) {
        inverse[box[i]] = static_cast<std::uint8_t>(i);
    }
    return inverse;
}
constexpr ByteTable kInverseSbox = InverseOf(kSbox);

// Multiplication in GF(2^8) with the AES polynomial.
constexpr std::uint8_t Times(std::uint8_t a, std::uint8_t b) {
    std::uint8_t product = 0;
    while (b != 0) {
        if ((b & 1) != 0) {
            product ^= a;
        }
        a = static_cast<std::uint8_t>((a << 1) ^ ((a & 0x80) != 0 ? 0x1b : 0));
        b >>= 1;
    }
    return product;
}

constexpr ByteTable MultiplicationTable(std::uint8_t factor) {
    ByteTable table{};
    for (int i = 0; i < 256; ++i) {
        table[i] = Times(static_cast<std::uint8_t>(i), factor);
    }
    return table;
}
constexpr ByteTable kTimes9 = MultiplicationTable(9);
constexpr ByteTable kTimes11 = MultiplicationTable(11);
constexpr ByteTable kTimes13 = MultiplicationTable(13);
constexpr ByteTable kTimes14 = MultiplicationTable(14);

constexpr std::uint32_t Word(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
    return std::uint32_t{b0} | std::uint32_t{b1} << 8 | std::uint32_t{b2} << 16 | std::uint32_t{b3} << 24;
}

constexpr std::uint32_t RotateLeft(std::uint32_t w, int bits) { return (w << bits) | (w >> (32 - bits)); }

// Round table `rotation` (0..3): one S-box byte through one column of MixColumns, the column's
// bytes rotated up by `rotation` rows.
constexpr Table EncryptTable(int rotation) {
    Table table{};
    for (int i = 0; i < 256; ++i) {
        std::uint8_t s = kSbox[i];
        std::uint32_t w = Word(Times(s, 2), s, s, Times(s, 3));
        table[i] = rotation == 0 ? w : RotateLeft(w, 8 * rotation);
    }
    return table;
}

constexpr Table DecryptTable(int rotation) {
    Table table{};
    for (int i = 0; i < 256; ++i) {
        std::uint8_t s = kInverseSbox[i];
        std::uint32_t w = Word(kTimes14[s], kTimes9[s], kTimes13[s], kTimes11[s]);
        table[i] = rotation == 0 ? w : RotateLeft(w, 8 * rotation);
    }
    return table;
}

constexpr Table kTe0 = EncryptTable(0), kTe1 = EncryptTable(1), kTe2 = EncryptTable(2), kTe3 = EncryptTable(3);
constexpr Table kTd0 = DecryptTable(0), kTd1 = DecryptTable(1), kTd2 = DecryptTable(2), kTd3 = DecryptTable(3);

inline std::uint32_t LoadLe(const std::uint8_t* p) {
    return Word(p[0], p[1], p[2], p[3]);
}

inline void StoreLe(std::uint8_t* p, std::uint32_t w) {
    p[0] = static_cast<std::uint8_t>(w);
    p[1] = static_cast<std::uint8_t>(w >> 8);
    p[2] = static_cast<std::uint8_t>(w >> 16);
    p[3] = static_cast<std::uint8_t>(w >> 24);
}

inline std::uint8_t Byte(std::uint32_t w, int index) { return static_cast<std::uint8_t>(w >> (8 * index)); }

std::uint32_t SubWord(std::uint32_t w) {
    return Word(kSbox[Byte(w, 0)], kSbox[Byte(w, 1)], kSbox[Byte(w, 2)], kSbox[Byte(w, 3)]);
}

std::uint32_t InverseMixColumn(std::uint32_t w) {
    std::uint8_t a0 = Byte(w, 0), a1 = Byte(w, 1), a2 = Byte(w, 2), a3 = Byte(w, 3);
    return Word(kTimes14[a0] ^ kTimes11[a1] ^ kTimes13[a2] ^ kTimes9[a3],
                kTimes9[a0] ^ kTimes14[a1] ^ kTimes11[a2] ^ kTimes13[a3],
                kTimes13[a0] ^ kTimes9[a1] ^ kTimes14[a2] ^ kTimes11[a3],
                kTimes11[a0] ^ kTimes13[a1] ^ kTimes9[a2] ^ kTimes14[a3]);
}

int Rounds(const AesContext& ctx) { return static_cast<int>(ctx.keyBytes / 4) + 6; }

void ExpandKey(const std::uint8_t* key, std::uint32_t keyWords, AesContext* ctx) {
    std::uint32_t* ek = ctx->encryptKeys;
    const int total = 4 * (Rounds(*ctx) + 1);
    for (std::uint32_t i = 0; i < keyWords; ++i) {
        ek[i] = LoadLe(key + 4 * i);
    }
    for (int i = static_cast<int>(keyWords); i < total; ++i) {
        std::uint32_t t = ek[i - 1];
        if (i % keyWords == 0) {
            t = SubWord(RotateLeft(t, 24)) ^ kRcon[i / keyWords - 1];
        } else if (keyWords > 6 && i % keyWords == 4) {
            t = SubWord(t);
        }
        ek[i] = ek[i - keyWords] ^ t;
    }
}

// The equivalent inverse cipher: round keys in reverse order, InvMixColumns on all but the first
// and the last.
void DeriveDecryptKeys(AesContext* ctx) {
    const int rounds = Rounds(*ctx);
    for (int r = 0; r <= rounds; ++r) {
        for (int c = 0; c < 4; ++c) {
            std::uint32_t w = ctx->encryptKeys[4 * (rounds - r) + c];
            ctx->decryptKeys[4 * r + c] = (r == 0 || r == rounds) ? w : InverseMixColumn(w);
        }
    }
}

void EncryptBlock(const AesContext& ctx, std::uint8_t* block) {
    const std::uint32_t* rk = ctx.encryptKeys;
    const int rounds = Rounds(ctx);
    std::uint32_t s0 = LoadLe(block) ^ rk[0];
    std::uint32_t s1 = LoadLe(block + 4) ^ rk[1];
    std::uint32_t s2 = LoadLe(block + 8) ^ rk[2];
    std::uint32_t s3 = LoadLe(block + 12) ^ rk[3];
    for (int r = 1; r < rounds; ++r) {
        rk += 4;
        std::uint32_t t0 = kTe0[Byte(s0, 0)] ^ kTe1[Byte(s1, 1)] ^ kTe2[Byte(s2, 2)] ^ kTe3[Byte(s3, 3)] ^ rk[0];
        std::uint32_t t1 = kTe0[Byte(s1, 0)] ^ kTe1[Byte(s2, 1)] ^ kTe2[Byte(s3, 2)] ^ kTe3[Byte(s0, 3)] ^ rk[1];
        std::uint32_t t2 = kTe0[Byte(s2, 0)] ^ kTe1[Byte(s3, 1)] ^ kTe2[Byte(s0, 2)] ^ kTe3[Byte(s1, 3)] ^ rk[2];
        std::uint32_t t3 = kTe0[Byte(s3, 0)] ^ kTe1[Byte(s0, 1)] ^ kTe2[Byte(s1, 2)] ^ kTe3[Byte(s2, 3)] ^ rk[3];
        s0 = t0, s1 = t1, s2 = t2, s3 = t3;
    }
    rk += 4;
    auto last = [](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t k) {
        return Word(kSbox[Byte(a, 0)], kSbox[Byte(b, 1)], kSbox[Byte(c, 2)], kSbox[Byte(d, 3)]) ^ k;
    };
    StoreLe(block, last(s0, s1, s2, s3, rk[0]));
    StoreLe(block + 4, last(s1, s2, s3, s0, rk[1]));
    StoreLe(block + 8, last(s2, s3, s0, s1, rk[2]));
    StoreLe(block + 12, last(s3, s0, s1, s2, rk[3]));
}

void DecryptBlock(const AesContext& ctx, std::uint8_t* block) {
    const std::uint32_t* rk = ctx.decryptKeys;
    const int rounds = Rounds(ctx);
    std::uint32_t s0 = LoadLe(block) ^ rk[0];
    std::uint32_t s1 = LoadLe(block + 4) ^ rk[1];
    std::uint32_t s2 = LoadLe(block + 8) ^ rk[2];
    std::uint32_t s3 = LoadLe(block + 12) ^ rk[3];
    for (int r = 1; r < rounds; ++r) {
        rk += 4;
        std::uint32_t t0 = kTd0[Byte(s0, 0)] ^ kTd1[Byte(s3, 1)] ^ kTd2[Byte(s2, 2)] ^ kTd3[Byte(s1, 3)] ^ rk[0];
        std::uint32_t t1 = kTd0[Byte(s1, 0)] ^ kTd1[Byte(s0, 1)] ^ kTd2[Byte(s3, 2)] ^ kTd3[Byte(s2, 3)] ^ rk[1];
        std::uint32_t t2 = kTd0[Byte(s2, 0)] ^ kTd1[Byte(s1, 1)] ^ kTd2[Byte(s0, 2)] ^ kTd3[Byte(s3, 3)] ^ rk[2];
        std::uint32_t t3 = kTd0[Byte(s3, 0)] ^ kTd1[Byte(s2, 1)] ^ kTd2[Byte(s1, 2)] ^ kTd3[Byte(s0, 3)] ^ rk[3];
        s0 = t0, s1 = t1, s2 = t2, s3 = t3;
    }
    rk += 4;
    auto last = [](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t k) {
        return Word(kInverseSbox[Byte(a, 0)], kInverseSbox[Byte(b, 1)], kInverseSbox[Byte(c, 2)],
                    kInverseSbox[Byte(d, 3)]) ^
               k;
    };
    StoreLe(block, last(s0, s3, s2, s1, rk[0]));
    StoreLe(block + 4, last(s1, s0, s3, s2, rk[1]));
    StoreLe(block + 8, last(s2, s1, s0, s3, rk[2]));
    StoreLe(block + 12, last(s3, s2, s1, s0, rk[3]));
}

}  // namespace

int AesKeySetup(const std::uint8_t* key, std::size_t keyBits, void* context, const void* parameter) {
    if (parameter == nullptr || *static_cast<const std::uint32_t*>(parameter) != kAesBlockSize) {
        os::SetLastError(kErrAesParameter);
        return -1;
    }
    if (keyBits != 128 && keyBits != 192 && keyBits != 256) {
        return -1;
    }
    auto* ctx = static_cast<AesContext*>(context);
    ctx->keyBytes = static_cast<std::uint32_t>(keyBits / 8);
    ExpandKey(key, ctx->keyBytes / 4, ctx);
    DeriveDecryptKeys(ctx);
    return 0;
}

int AesBlocks(std::size_t blocks, const std::uint8_t* source, std::uint8_t* destination, int decipher,
              void* context) {
    const auto& ctx = *static_cast<const AesContext*>(context);
    for (std::size_t i = 0; i < blocks; ++i) {
        std::uint8_t* block = destination + i * kAesBlockSize;
        std::memmove(block, source + i * kAesBlockSize, kAesBlockSize);
        if (decipher) {
            DecryptBlock(ctx, block);
        } else {
            EncryptBlock(ctx, block);
        }
    }
    return 0;
}

const CipherDescriptor kAesCipher = {
    kAesBlockSize, kAesBlockSize, nullptr, 0, 0, nullptr, nullptr, nullptr, AesKeySetup, AesBlocks,
};
