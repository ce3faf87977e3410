// The library's serial port layer: opens the ports on which update slots talk to the phone's update
// loader, sets their line parameters and read time-out, moves bytes and closes them.
//
// Ports are numbered 0..11 for COM1..COM12; any other number is refused (result 0) and nothing is
// recorded. Every other failure records an error number on the port and an error code in the list
// of the slot bound to the port. Operations return 1 for success and 0 for failure. A port is used
// by one thread at a time; different ports may be used by different threads at once.
#pragma once

#include <cstdint>

#include "platform/os/serial.h"
#include "updlib/version_record.h"

namespace flashlink {

// Parity arguments of ComOpen.
constexpr int kComNoParity = 0;
constexpr int kComEvenParity = 1;
constexpr int kComOddParity = 2;

// The read time-out of an open port between reads with their own time-out.
constexpr std::uint32_t kComDefaultReadTimeoutMs = 10;

int ComOpen(int port, std::uint32_t baud, int parity);
int ComClose(int port);
// Read time-out of the port: a read waits at most ms for its byte; writes do not time out.
int ComSetTimeout(int port, std::uint32_t ms);
int ComWriteByte(int port, std::uint8_t byte);
// One write of count bytes.
int ComWrite(int port, const void* bytes, std::uint32_t count);
// 1 when a byte arrived within the current read time-out.
int ComReadByte(int port, std::uint8_t* out);
// 1 when a byte arrived within ms; the read time-out is 10 ms afterwards.
int ComReadByteTimeout(int port, std::uint8_t* out, std::uint32_t ms);

// The rate to program for a requested baud: the high phone rates 101500, 203000 and 406000 become
// what the port's serial card (key "ComPortType" of section "Com<n>" in "addifast.ini") can do.
std::uint32_t TranslateBaudRate(int port, std::uint32_t baud);

// The line settings ComOpen wrote for the open port (a pseudo-terminal keeps no parity, so the
// device cannot be asked); 0 when the port is not open.
int ComGetLineSettings(int port, os::SerialSettings& out);

// Fills the version record of the serial layer ("Serial Low-DLL" 1.35); a record whose size field
// is not 140 gets 0 and error 0x0200 in all slot lists.
int GetSerialLayerVersion(updlib::VersionRecord& record);

}  // namespace flashlink
