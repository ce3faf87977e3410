// The BFB layer's own serial ports: a table of ports COM1..COM9 opened for BFB, the layer's
// last-error word, line set-up and single-byte moves. Every operation returns 1 for success and 0
// for failure (WComOpen: a handle, or kInvalidBfbHandle); a failing operation overwrites the
// last-error word with (operation index << 16) | description index (bfb_texts.h).
//
// The table and the word belong to the one thread that runs the BFB link (the host's search
// thread); the word is atomic so that a diagnostic reader elsewhere sees it whole.
#pragma once

#include <cstdint>

namespace bfb {

using BfbHandle = std::intptr_t;
constexpr BfbHandle kInvalidBfbHandle = -1;

// Ports 0..8 are COM1..COM9: the device name is "COM" and one digit.
constexpr int kBfbPortCount = 9;
constexpr std::uint32_t kBfbDefaultTimeoutMs = 250;

// Parity values of WComParity.
constexpr std::uint8_t kBfbNoParity = 0;
constexpr std::uint8_t kBfbEvenParity = 2;

std::uint32_t BfbGetLastError();
void BfbSetLastError(std::uint16_t operation, std::uint16_t description);

// Opens COM(port+1) at baud with the BFB line settings and the default time-out, raises RTS and
// lets the line settle for 100 ms. Port numbers outside 0..8 are refused without touching the table.
BfbHandle WComOpen(int port, std::uint32_t baud);
int WComClose(BfbHandle handle);
// The port number of an open handle, or -1.
int BfbPortOfHandle(BfbHandle handle);

// Sets the baud rate, raises RTS, waits 2 ms and 100 ms.
int WComConfigure(BfbHandle handle, std::uint32_t baud);
// Sets the parity (kBfbNoParity, kBfbEvenParity), raises RTS, waits 10 ms.
int WComParity(BfbHandle handle, std::uint8_t parity);
// The port's current baud rate as the device reports it.
int WGetComConfiguration(BfbHandle handle, std::uint32_t* baud);
// A read waits at most ms; a write likewise.
int WComSetTimeOut(BfbHandle handle, std::uint32_t ms);
// The time-out last set for the port.
int WComGetTimeOut(BfbHandle handle, std::uint32_t* ms);

int WComPut(BfbHandle handle, std::uint8_t byte);
// One byte within the port's time-out.
int WComGet(BfbHandle handle, std::uint8_t* byte);
// One byte within ms; the port's time-out is restored afterwards. 1 when a byte arrived.
int WComGetWithTimeOut(BfbHandle handle, std::uint8_t* byte, std::uint32_t ms);
// Writes count bytes unframed, in one write.
int BfbWriteRaw(BfbHandle handle, std::uint8_t count, const void* bytes);
// Reads single bytes until a read brings nothing or maxCount - 1 bytes have arrived, and
// terminates the text. 1 only when at least one byte arrived and the line went quiet.
int BfbReadLine(BfbHandle handle, int maxCount, char* text);

}  // namespace bfb
