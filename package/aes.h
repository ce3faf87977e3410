// AES (FIPS-197) with 128, 192 and 256-bit keys on 16-byte blocks, with 32-bit round tables.
#pragma once

#include <cstddef>
#include <cstdint>

#include "package/crypt.h"

inline constexpr std::uint32_t kErrAesParameter = 0x61C80;  // the parameter (block size) is not 16

inline constexpr std::uint32_t kAesBlockSize = 16;
inline constexpr int kAesMaxRounds = 14;

// Round-key words hold the key bytes in little-endian order, as the round tables expect.
struct AesContext {
    std::uint32_t keyBytes;
    std::uint32_t encryptKeys[4 * (kAesMaxRounds + 1)];
    std::uint32_t decryptKeys[4 * (kAesMaxRounds + 1)];
};

// Key setup: `parameter` points to the block size, which must be 16 (std::uint32_t). Keys of other
// lengths than 128, 192 and 256 bits are refused.
int AesKeySetup(const std::uint8_t* key, std::size_t keyBits, void* context, const void* parameter);

// Copies each source block to the destination and enciphers or deciphers it there.
int AesBlocks(std::size_t blocks, const std::uint8_t* source, std::uint8_t* destination, int decipher,
              void* context);

// The constant part of an AES cipher descriptor: block size, IV length, key setup and block
// function. A user copies it, supplies buffers, context and the mode function, and ORs the flags.
extern const CipherDescriptor kAesCipher;
