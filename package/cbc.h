// Cipher block chaining, as the mode function of a cipher descriptor.
#pragma once

#include <cstddef>
#include <cstdint>

#include "package/crypt.h"

// Deciphering in place keeps a stack copy of each cipher block, so blocks of at most 32 bytes.
inline constexpr std::uint32_t kCbcMaxInPlaceBlock = 32;

int CbcMode(std::size_t blocks, const std::uint8_t* source, std::uint8_t* destination, int decipher,
            CipherDescriptor* descriptor);
