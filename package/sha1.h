// SHA-1 (FIPS 180-1) as the functions of a hash descriptor.
#pragma once

#include <cstddef>
#include <cstdint>

#include "package/crypt.h"

inline constexpr std::uint32_t kSha1DigestSize = 20;
inline constexpr std::uint32_t kSha1BlockSize = 64;

struct Sha1Context {
    std::uint32_t state[5];
    std::uint32_t lengthLow;   // message bits so far, low word
    std::uint32_t lengthHigh;  // and high word
};

int Sha1Init(void* context, const void* parameter);
int Sha1Blocks(std::size_t blocks, const std::uint8_t* data, void* context);
// `bits` must be below 512: the data left over after the whole blocks.
int Sha1Final(const std::uint8_t* data, std::size_t bits, std::uint8_t* digest, void* context);

// The constant part of a SHA-1 hash descriptor: sizes and functions. A user copies it and supplies
// the held buffer and the context.
extern const HashDescriptor kSha1Hash;
