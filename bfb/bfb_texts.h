// The two text tables of the BFB layer's last-error word: the high 16 bits index the operation
// names, the low 16 bits the descriptions. They serve diagnostics only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bfb {

constexpr std::size_t kOperationNameCount = 69;
constexpr std::size_t kDescriptionCount = 81;

// Operation indexes this layer raises.
enum BfbOperation : std::uint16_t {
    kOpComOpen = 1,
    kOpComWrite = 2,
    kOpComRead = 3,
    kOpComConfigure = 4,
    kOpComParity = 10,
    kOpComPut = 11,
    kOpComGet = 12,
    kOpComSetTimeOut = 16,
    kOpGetComConfiguration = 37,
    kOpMobileOn = 42,
    kOpComGetTimeOut = 47,
    kOpComClose = 48,
};

// Description indexes this layer raises.
enum BfbDescription : std::uint16_t {
    kDescCannotOpen = 0x01,
    kDescCannotConfigure = 0x04,
    kDescCannotSetTimeouts = 0x05,
    kDescCannotWrite = 0x06,
    kDescNoHeader = 0x08,
    kDescLengthZero = 0x09,
    kDescIncomplete = 0x0A,
    kDescWrongChecksum = 0x0B,
    kDescCannotSetRts = 0x0F,
    kDescCannotRead = 0x11,
    kDescNoWakeUp = 0x12,
    kDescBootStringRefused = 0x13,
    kDescCannotReadConfiguration = 0x2C,
    kDescLengthOverflow = 0x31,
    kDescAlreadyInUse = 0x36,
    kDescInvalidHandle = 0x37,
    kDescCannotClose = 0x38,
};

// The name of operation index; nullptr past the table.
const char* BfbOperationName(std::uint16_t index);
// The description text of index; nullptr past the table.
const char* BfbDescriptionText(std::uint16_t index);

}  // namespace bfb
