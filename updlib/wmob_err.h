// Decoding of the phone's own error reports (command block 0x18) while its boot code flashes:
// each report becomes an error code of group 0x04 with its arguments.
#pragma once

#include <cstdint>

namespace updlib {

constexpr std::uint8_t kMobileErrorMessage = 0x18;

// The block framing's handler for 0x18 (identifier and count are not looked at): error number 400
// on the port, the detail text and the code in the list of the port's slot. Always 0, which ends
// the wait in progress.
int DecodeMobileError(int port, std::uint8_t id, std::uint8_t count, const std::uint8_t* params);

}  // namespace updlib
