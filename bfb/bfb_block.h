// The EEPROM block service of the phone (frame type 0x14): reading and writing one block. Every
// payload ends with the XOR of its other bytes. An answer that is not the expected one sets the
// block service status, which a later success leaves as it is.
#pragma once

#include <array>
#include <cstdint>

#include "bfb/bfb_port.h"

namespace bfb {

// The caller's place for a block read.
constexpr std::uint16_t kBlockBufferSize = 64;
using BlockBuffer = std::array<std::uint8_t, kBlockBufferSize>;

// Status values the phone's refusals map to.
constexpr std::uint32_t kBlockStatusNoAnswer = 4;  // no answer, or a wrong check byte

// Begin write, parts of at most 20 bytes, end write. End write is sent whenever begin write was
// accepted; the result is 1 only when every part and end write were accepted.
int BfbWriteBlock(BfbHandle handle, std::uint16_t block, std::uint16_t length, std::uint8_t value,
                  const std::uint8_t* data);

// Begin read, then parts of at most 20 bytes copied to their offsets in data. A block the phone
// announces longer than data is not read: the result is 0 with the announced length and value
// delivered and data untouched.
int BfbReadBlock(BfbHandle handle, std::uint16_t block, std::uint16_t* length, std::uint8_t* value,
                 BlockBuffer& data);

std::uint32_t BfbGetBlockStatus();
// Sets the status back to its start value (tests, and a new run of the layer).
void BfbResetBlockStatus();

}  // namespace bfb
