// Serial communications: ports named "COM1".."COM12" (resolved through the serial device map) or
// opened by device path. The line-settings and time-out records keep the field layout and meaning
// the protocol modules program; the implementation maps them onto termios.
#pragma once

#include <cstdint>
#include <string>

#include "platform/os/last_error.h"

namespace os {

// Parity values of SerialSettings::parity.
enum : std::uint8_t {
    kNoParity = 0,
    kOddParity = 1,
    kEvenParity = 2,
    kMarkParity = 3,
    kSpaceParity = 4
};
// Stop bits values of SerialSettings::stopBits.
enum : std::uint8_t { kOneStopBit = 0, kOne5StopBits = 1, kTwoStopBits = 2 };

// Bits of SerialSettings::flags.
namespace dcb {
constexpr std::uint32_t kBinary = 1u << 0;
constexpr std::uint32_t kParityCheck = 1u << 1;
constexpr std::uint32_t kOutxCtsFlow = 1u << 2;
constexpr std::uint32_t kOutxDsrFlow = 1u << 3;
constexpr unsigned kDtrControlShift = 4;  // two bits: 0 disabled, 1 enabled, 2 handshake
constexpr std::uint32_t kDtrControlMask = 3u << kDtrControlShift;
constexpr std::uint32_t kDsrSensitivity = 1u << 6;
constexpr std::uint32_t kTxContinueOnXoff = 1u << 7;
constexpr std::uint32_t kOutX = 1u << 8;
constexpr std::uint32_t kInX = 1u << 9;
constexpr std::uint32_t kErrorChar = 1u << 10;
constexpr std::uint32_t kNull = 1u << 11;
constexpr unsigned kRtsControlShift = 12;  // two bits: 0 disabled, 1 enabled, 2 handshake, 3 toggle
constexpr std::uint32_t kRtsControlMask = 3u << kRtsControlShift;
constexpr std::uint32_t kAbortOnError = 1u << 14;
}  // namespace dcb

// The device control block of a port.
struct SerialSettings {
    std::uint32_t length = 28;
    std::uint32_t baudRate = 0;  // any rate, standard or not
    std::uint32_t flags = 0;     // dcb:: bits
    std::uint16_t xonLimit = 0;
    std::uint16_t xoffLimit = 0;
    std::uint8_t byteSize = 8;
    std::uint8_t parity = kNoParity;
    std::uint8_t stopBits = kOneStopBit;
    char xonChar = 0;
    char xoffChar = 0;
    char errorChar = 0;
    char eofChar = 0;
    char evtChar = 0;
};

// Time-outs of a port, in milliseconds. A read of n bytes waits at most
// readTotalMultiplier * n + readTotalConstant ms and returns what arrived by then; when all read
// fields are 0 a read waits until all n bytes are there. readInterval is the longest gap allowed
// between two bytes once the first has come (0: not used); readInterval = kReadReturnAtOnce with
// both read totals 0 makes a read return at once with what is waiting. Writes complete as soon as
// the bytes are handed to the device; a write total (multiplier * n + constant, 0: none) bounds how
// long a write may wait for room in the device's output queue.
struct SerialTimeouts {
    std::uint32_t readInterval = 0;
    std::uint32_t readTotalMultiplier = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalMultiplier = 0;
    std::uint32_t writeTotalConstant = 0;
};

constexpr std::uint32_t kReadReturnAtOnce = 0xFFFFFFFFu;

// Purge flags.
enum : std::uint32_t { kPurgeTxAbort = 1, kPurgeRxAbort = 2, kPurgeTxClear = 4, kPurgeRxClear = 8 };

// Line error bits reported by ClearSerialErrors.
enum : std::uint32_t {
    kSerialRxOverrun = 1,
    kSerialOverrun = 2,
    kSerialParity = 4,
    kSerialFrame = 8,
    kSerialBreak = 16
};

class SerialPort;  // an open device; owned by whoever opened it until CloseSerialPort

// Opens "COM1".."COM12" through the serial device map, for reading and writing, not shared with
// any other opener (also not with root). The line is raw (binary, 8 data bits, no parity, no flow
// control, no echo) and the input and output queues start empty. nullptr on failure; the thread's
// last-error value says why: kErrorFileNotFound (no such port or device), kErrorAccessDenied (no
// permission), kErrorSharingViolation (someone else holds it), kErrorGenFailure (anything else).
SerialPort* OpenSerialPort(const char* comName);
// Opens a device by path (tests, tools), with the same exclusivity.
SerialPort* OpenSerialDevice(const char* devicePath);
bool CloseSerialPort(SerialPort* port);

// A line for the log or the user that explains why opening comNameOrPath failed with lastError
// and what to do (join the group dialout; stop ModemManager or the program that holds the port).
std::string DescribeSerialOpenFailure(const char* comNameOrPath, std::uint32_t lastError);
// The other programs that hold the port open now ("ModemManager (pid 812)", ...), joined by ", ";
// empty when there are none. A program that opens without locking (ModemManager probing with AT
// commands, as root) can get in beside us; callers log this when a port behaves strangely.
std::string DescribeSerialPortHolders(const char* comNameOrPath);

// The settings last applied, as given (right after the open: the device's rate, 8 data bits, no
// parity, one stop bit, binary). A pseudo-terminal always runs 8 data bits without parity whatever
// is set; the record still reports what was asked, as a driver keeps its control block.
bool GetSerialSettings(SerialPort* port, SerialSettings& out);
// False (kErrorInvalidParameter) for a byte size outside 5..8, an unknown parity or stop bits
// value, or a baud rate of 0; kErrorGenFailure when the device refuses.
bool SetSerialSettings(SerialPort* port, const SerialSettings& settings);
bool GetSerialTimeouts(SerialPort* port, SerialTimeouts& out);
bool SetSerialTimeouts(SerialPort* port, const SerialTimeouts& timeouts);

// Modem lines. On a device without modem lines (a pseudo-terminal) these succeed.
// SetSerialSettings also sets DTR and RTS from the DTR and RTS control fields (enabled: raised,
// disabled: dropped, handshake: RTS/CTS hardware flow control).
bool SetRts(SerialPort* port, bool raised);
bool SetDtr(SerialPort* port, bool raised);

bool PurgeSerial(SerialPort* port, std::uint32_t purgeFlags);
// Clears the line error state; reports the error bits and the bytes waiting in the input queue.
bool ClearSerialErrors(SerialPort* port, std::uint32_t* errors, std::uint32_t* bytesWaiting);

// One read of up to count bytes within the port's time-outs; *got receives what arrived. A time-out
// is not a failure (true, *got below count); false when the device fails or is gone.
bool ReadSerial(SerialPort* port, void* buffer, std::uint32_t count, std::uint32_t* got);
// One write of count bytes; *written receives what was handed to the device.
bool WriteSerial(SerialPort* port, const void* data, std::uint32_t count, std::uint32_t* written);

}  // namespace os
