// The update request record the precheck writes into the phone's EEPROM block 0x142B: what the
// phone's update loader is to expect (date, time, SVN and version of the new software) and what
// the phone had before.
#pragma once

#include <array>
#include <cstdint>

#include "xbi/xbi_header.h"

namespace bfb {

constexpr std::uint16_t kUpdateRequestBlock = 0x142B;
constexpr std::size_t kUpdateRequestSize = 64;
constexpr std::uint8_t kUpdateRequestMarker = 0xA7;

using UpdateRequest = std::array<std::uint8_t, kUpdateRequestSize>;

// A record read back is valid when it is 64 bytes long, carries the marker in byte 1 and all its
// bytes XOR to 0.
bool IsValidUpdateRequest(const UpdateRequest& record, std::uint16_t length);

// The new record for the file's header. Bytes 13..21 repeat bytes 2..10 of the previous record
// when there is one, else they are 0xFF like the unused tail. Byte 63 is the check byte.
UpdateRequest BuildUpdateRequest(const xbi::XbiHeader& header, const UpdateRequest* previous);

}  // namespace bfb
