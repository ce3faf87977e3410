// The search and update worker: finds the phone on the usable serial ports with a short AT
// exchange (automatic start) or takes the port the user chose (manual start), has the BFB layer
// prepare it, refuses a weak battery, runs update slot 0 until the library reports its outcome,
// tests the new software and posts one WM_WORKER_RESULT: (3, 1) no phone or no voltage,
// (3, 2) battery below 3650 mV, (3, 3) pre-check failed, (4, 1) slot not started, (6, 1) update
// failed, (7, 1) final test failed, (8, 0) success.
#pragma once

#include <cstdint>

inline constexpr std::uint16_t kLeastVoltage = 3650;  // mV; a battery with this much passes
inline constexpr int kProbeBaud = 57600;

// Thread body; viewWindowHandle is the view's HWND. Returns 0.
unsigned SearchThreadProc(void* viewWindowHandle);

// Asks the phone on port index (0..11, "COM1".."COM12") who it is; true when a phone of the
// expected maker and model answered. Sets g_nPortIndex and g_nBaudRate first; leaves the port
// closed.
bool ProbePort(int index, int baud);
