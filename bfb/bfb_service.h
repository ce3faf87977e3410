// BFB requests of the phone's normal software: the ping and the service requests (frame type 0x0E)
// for battery voltage, software data, switch-off, reboot into the update loader and put count.
#pragma once

#include <cstdint>

#include "bfb/bfb_port.h"

namespace bfb {

constexpr int kProductTypeSize = 16;
constexpr int kCompileDateSize = 8;
constexpr int kDirectorySize = 16;

// 1 when one of up to three pings was answered with 14 AA.
int BfbPing(BfbHandle handle);

// The battery voltage in mV; 0 without an answer.
std::uint16_t BfbGetVoltage(BfbHandle handle);
// The software's SVN as two BCD digits; 0 without an answer.
std::uint8_t BfbGetSvn(BfbHandle handle);
// Asks the phone to switch off and awaits its answer (not looked at).
void BfbSwitchOff(BfbHandle handle);
// The 16 characters of the product type; bytes the answer lacks are 0.
int BfbGetProductType(BfbHandle handle, char (&productType)[kProductTypeSize]);
// The 8 characters of the compile date; bytes the answer lacks are 0.
int BfbGetCompileDate(BfbHandle handle, char (&compileDate)[kCompileDateSize]);
// Asks the phone to reboot into its update loader at baud. Failure records 0x0507 on the slot of
// the handle's port.
int BfbRequestCustomerReboot(BfbHandle handle, std::uint32_t baud);
// The put count and the software directory (terminated; empty when the answer has none). Failure
// records 0x0508 on the slot of the handle's port.
int BfbGetPutCount(BfbHandle handle, std::uint32_t* putCount, char (&directory)[kDirectorySize + 1]);

}  // namespace bfb
