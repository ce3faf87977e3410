#include "package/sha1.h"

#include <cstring>

namespace {

inline std::uint32_t Rotl(std::uint32_t w, int bits) { return (w << bits) | (w >> (32 - bits)); }

inline std::uint32_t LoadBe(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

inline void StoreBe(std::uint8_t* p, std::uint32_t w) {
    p[0] = static_cast<std::uint8_t>(w >> 24);
    p[1] = static_cast<std::uint8_t>(w >> 16);
    p[2] = static_cast<std::uint8_t>(w >> 8);
    p[3] = static_cast<std::uint8_t>(w);
}

void AddBits(Sha1Context* ctx, std::uint64_t bits) {
    std::uint64_t length = (std::uint64_t{ctx->lengthHigh} << 32 | ctx->lengthLow) + bits;
    ctx->lengthLow = static_cast<std::uint32_t>(length);
    ctx->lengthHigh = static_cast<std::uint32_t>(length >> 32);
}

// The message schedule is kept as a ring of 16 words.
#define SHA1_W(t) (w[(t) & 15] = Rotl(w[((t) + 13) & 15] ^ w[((t) + 8) & 15] ^ w[((t) + 2) & 15] ^ w[(t) & 15], 1))
#define SHA1_STEP(a, b, c, d, e, f, k, wt)      \
    do {                                        \
        e += Rotl(a, 5) + (f) + (k) + (wt);     \
        b = Rotl(b, 30);                        \
    } while (0)
#define SHA1_CH(b, c, d) ((d) ^ ((b) & ((c) ^ (d))))
#define SHA1_PARITY(b, c, d) ((b) ^ (c) ^ (d))
#define SHA1_MAJ(b, c, d) (((b) & (c)) | ((d) & ((b) | (c))))

void Compress(std::uint32_t* state, const std::uint8_t* block) {
    std::uint32_t w[16];
    for (int i = 0; i < 16; ++i) {
        w[i] = LoadBe(block + 4 * i);
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];

    // Five steps rotate the roles of a..e back to where they started.
#define SHA1_FIVE(t, F, K, W)                                  \
    SHA1_STEP(a, b, c, d, e, F(b, c, d), K, W(t));             \
    SHA1_STEP(e, a, b, c, d, F(a, b, c), K, W((t) + 1));       \
    SHA1_STEP(d, e, a, b, c, F(e, a, b), K, W((t) + 2));       \
    SHA1_STEP(c, d, e, a, b, F(d, e, a), K, W((t) + 3));       \
    SHA1_STEP(b, c, d, e, a, F(c, d, e), K, W((t) + 4))
#define SHA1_W0(t) w[t]

    SHA1_FIVE(0, SHA1_CH, 0x5A827999u, SHA1_W0);
    SHA1_FIVE(5, SHA1_CH, 0x5A827999u, SHA1_W0);
    SHA1_FIVE(10, SHA1_CH, 0x5A827999u, SHA1_W0);
    SHA1_STEP(a, b, c, d, e, SHA1_CH(b, c, d), 0x5A827999u, w[15]);
    SHA1_STEP(e, a, b, c, d, SHA1_CH(a, b, c), 0x5A827999u, SHA1_W(16));
    SHA1_STEP(d, e, a, b, c, SHA1_CH(e, a, b), 0x5A827999u, SHA1_W(17));
    SHA1_STEP(c, d, e, a, b, SHA1_CH(d, e, a), 0x5A827999u, SHA1_W(18));
    SHA1_STEP(b, c, d, e, a, SHA1_CH(c, d, e), 0x5A827999u, SHA1_W(19));
    SHA1_FIVE(20, SHA1_PARITY, 0x6ED9EBA1u, SHA1_W);
    SHA1_FIVE(25, SHA1_PARITY, 0x6ED9EBA1u, SHA1_W);
    SHA1_FIVE(30, SHA1_PARITY, 0x6ED9EBA1u, SHA1_W);
    SHA1_FIVE(35, SHA1_PARITY, 0x6ED9EBA1u, SHA1_W);
    SHA1_FIVE(40, SHA1_MAJ, 0x8F1BBCDCu, SHA1_W);
    SHA1_FIVE(45, SHA1_MAJ, 0x8F1BBCDCu, SHA1_W);
    SHA1_FIVE(50, SHA1_MAJ, 0x8F1BBCDCu, SHA1_W);
    SHA1_FIVE(55, SHA1_MAJ, 0x8F1BBCDCu, SHA1_W);
    SHA1_FIVE(60, SHA1_PARITY, 0xCA62C1D6u, SHA1_W);
    SHA1_FIVE(65, SHA1_PARITY, 0xCA62C1D6u, SHA1_W);
    SHA1_FIVE(70, SHA1_PARITY, 0xCA62C1D6u, SHA1_W);
    SHA1_FIVE(75, SHA1_PARITY, 0xCA62C1D6u, SHA1_W);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

#undef SHA1_W0
#undef SHA1_FIVE
#undef SHA1_MAJ
#undef SHA1_PARITY
#undef SHA1_CH
#undef SHA1_STEP
#undef SHA1_W

}  // namespace

int Sha1Init(void* context, const void* /*parameter*/) {
    auto* ctx = static_cast<Sha1Context*>(context);
    ctx->state[0] = 0x67452301u;
    ctx->state[1] = 0xEFCDAB89u;
    ctx->state[2] = 0x98BADCFEu;
    ctx->state[3] = 0x10325476u;
    ctx->state[4] = 0xC3D2E1F0u;
    ctx->lengthLow = 0;
    ctx->lengthHigh = 0;
    return 0;
}

int Sha1Blocks(std::size_t blocks, const std::uint8_t* data, void* context) {
    auto* ctx = static_cast<Sha1Context*>(context);
    for (std::size_t i = 0; i < blocks; ++i) {
        Compress(ctx->state, data + i * kSha1BlockSize);
    }
    AddBits(ctx, std::uint64_t{blocks} * kSha1BlockSize * 8);
    return 0;
}

int Sha1Final(const std::uint8_t* data, std::size_t bits, std::uint8_t* digest, void* context) {
    if (bits >= kSha1BlockSize * 8) {
        return -1;
    }
    auto* ctx = static_cast<Sha1Context*>(context);
    AddBits(ctx, bits);

    std::uint8_t last[2 * kSha1BlockSize] = {};
    const std::size_t whole = bits / 8;
    const unsigned partial = bits % 8;
    if (bits != 0) {
        std::memcpy(last, data, whole + (partial != 0 ? 1 : 0));
    }
    // The 1 bit goes right behind the last message bit; the bits after it are cleared.
    last[whole] = static_cast<std::uint8_t>((last[whole] & (0xFF00u >> partial)) | (0x80u >> partial));

    const std::size_t length = bits >= 448 ? 2 * kSha1BlockSize : kSha1BlockSize;
    StoreBe(last + length - 8, ctx->lengthHigh);
    StoreBe(last + length - 4, ctx->lengthLow);
    Compress(ctx->state, last);
    if (length > kSha1BlockSize) {
        Compress(ctx->state, last + kSha1BlockSize);
    }
    for (int i = 0; i < 5; ++i) {
        StoreBe(digest + 4 * i, ctx->state[i]);
    }
    return 0;
}

const HashDescriptor kSha1Hash = {
    kSha1DigestSize, kSha1BlockSize, nullptr, 0, nullptr, Sha1Init, Sha1Blocks, Sha1Final,
};
