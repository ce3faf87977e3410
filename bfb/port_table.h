// Inside the BFB layer: the device behind a handle, for the modules that move bytes.
#pragma once

#include <cstdint>

#include "bfb/bfb_port.h"
#include "platform/os/serial.h"

namespace bfb {

// The open device of handle; nullptr (and the last error (operation, 0x37)) when the handle is not
// in the table.
os::SerialPort* LookUpPort(BfbHandle handle, std::uint16_t operation);

}  // namespace bfb
