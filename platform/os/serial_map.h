// The serial device map: an ordered list of (value name, data) pairs, read like the registry key
// "Hardware\\DeviceMap\\SerialComm", where each entry names a port ("COM1".."COM12") and is bound
// to a device path.
//
// Where the entries come from:
// - VQ_COMPORTS, when set (even empty): comma-separated entries "COMn=/dev/path", in that order.
//   An entry may carry its own value name before a colon, "\Device\VCP0:COM5=/dev/pts/4", so that a
//   test can present any registry form; without one the value name is "\Device\Serial<k>", k the
//   0-based position of the entry in the map. Malformed entries are skipped.
// - Otherwise the devices found under /sys/class/tty: ttyS* that have a real UART (a non-zero
//   port type), then ttyUSB*, then ttyACM*, each group in numeric order. They become COM1, COM2,
//   ... in that order, with the value names "\Device\Serial0", "\Device\Serial1", ... so every
//   device found is a usable port for the scan.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace os {

// Enumeration statuses (the registry's numbers).
constexpr long kMapSuccess = 0;
constexpr long kMapInvalidHandle = 6;  // no map open (never opened, or the open failed)
constexpr long kMapMoreData = 234;  // name and/or data cut to the caller's sizes, both terminated
constexpr long kMapNoMoreItems = 259;  // index past the last entry

struct SerialMapEntry {
    std::string valueName;   // e.g. "\Device\Serial0"
    std::string data;        // e.g. "COM1"
    std::string devicePath;  // e.g. "/dev/ttyUSB0"
};

// The map as it is now (VQ_COMPORTS or detection).
std::vector<SerialMapEntry> CurrentSerialDeviceMap();
// The two sources on their own: a VQ_COMPORTS text, and detection under a directory laid out like
// /sys/class/tty (device paths are "/dev/<name>").
std::vector<SerialMapEntry> ParseComPortList(const char* text);
std::vector<SerialMapEntry> DetectSerialDevices(const char* sysClassTtyDirectory);

// Takes a snapshot of the map for the enumeration below. False when there is no map, like a
// missing key: VQ_COMPORTS names no entry, or (without it) no device is found; every enumeration
// then fails with kMapInvalidHandle.
bool OpenSerialDeviceMap();
void CloseSerialDeviceMap();

// Value number index of the open snapshot. On entry *nameSize and *dataSize are the buffer sizes
// in bytes, terminator included; on kMapSuccess and kMapMoreData they receive the stored lengths
// (name: characters without the terminator; data: bytes with the terminator). A null data pointer
// asks for the name only. Returns kMapSuccess, kMapMoreData, kMapNoMoreItems, kMapInvalidHandle,
// or 87 (invalid parameter) for a null name or name size.
long EnumSerialDeviceMapValue(std::uint32_t index, char* name, std::uint32_t* nameSize, char* data,
                              std::uint32_t* dataSize);

// The device path bound to a port name such as "COM3" (letter case ignored); empty when the map
// has no such port. Reads the current map, no snapshot needed.
std::string ResolveSerialDevice(const char* comName);

}  // namespace os
