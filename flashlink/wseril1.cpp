#include "flashlink/wseril1.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/os/last_error.h"
#include "platform/os/profile.h"
#include "updlib/error_registry.h"
#include "updlib/trace.h"

namespace flashlink {
namespace {

constexpr const char* kModule = "wseril1";

// Error numbers of this module's failure places.
constexpr std::int32_t kErrPortNotOpen = 1;
constexpr std::int32_t kErrPortAlreadyOpen = 2;
constexpr std::int32_t kErrCannotOpenDevice = 3;
constexpr std::int32_t kErrLineSettings = 4;
constexpr std::int32_t kErrTimeouts = 5;

// Error codes of the serial port group.
constexpr std::int32_t kCodeAlreadyOpen = 0x0100;
constexpr std::int32_t kCodeComState = 0x0102;
constexpr std::int32_t kCodeNotOpen = 0x0103;
constexpr std::int32_t kCodeTimeout = 0x0104;
constexpr std::int32_t kCodeWriteFile = 0x0107;
constexpr std::int32_t kCodeInvalidHandle = 0x0109;
constexpr std::int32_t kCodeNoSerialVersion = 0x0200;

constexpr const char* kDeviceNames[updlib::kPortCount] = {"COM1", "COM2",  "COM3",  "COM4",
                                                          "COM5", "COM6",  "COM7",  "COM8",
                                                          "COM9", "COM10", "COM11", "COM12"};

struct PortRecord {
    std::mutex lock;  // one operation at a time on a port
    os::SerialSettings settings;
    os::SerialTimeouts timeouts;
    os::SerialPort* handle = nullptr;
    bool open = false;
};

std::array<PortRecord, updlib::kPortCount> g_ports;

bool ValidPort(int port) {
    return port >= 0 && port < updlib::kPortCount;
}

std::uint32_t TraceSlot(int port) {
    return static_cast<std::uint32_t>(updlib::FindTraceSlot(port));
}

#define COM_TRACE(port, ...) \
    updlib::TraceLog(TraceSlot(port), updlib::kTraceMainSteps, updlib::kTraceSerial, __VA_ARGS__)

// Records a failure place: the error number on the port, the code in the port's slot list.
void RecordFailure(int port, std::int32_t number, int line, std::int32_t code) {
    updlib::SetErrorNumber(port, number, kModule, line);
    updlib::AddError(TraceSlot(port), code, "");
}

// The line settings of an open: binary, 8 data bits, one stop bit, RTS raised, no flow control.
void WriteLineSettings(os::SerialSettings& s, std::uint32_t baudRate, int parity) {
    namespace dcb = os::dcb;
    constexpr std::uint32_t kClearedBits =
        dcb::kOutxCtsFlow | dcb::kOutxDsrFlow | dcb::kDtrControlMask | dcb::kDsrSensitivity |
        dcb::kTxContinueOnXoff | dcb::kOutX | dcb::kInX | dcb::kErrorChar | dcb::kNull |
        dcb::kRtsControlMask | dcb::kAbortOnError;
    constexpr std::uint32_t kRtsEnabled = 1u << dcb::kRtsControlShift;
    s.length = 28;
    s.baudRate = baudRate;
    s.flags = (s.flags & ~(kClearedBits | dcb::kParityCheck)) | dcb::kBinary | kRtsEnabled;
    if (parity != kComNoParity) s.flags |= dcb::kParityCheck;
    s.xonLimit = 0;
    s.xoffLimit = 0;
    s.byteSize = 8;
    if (parity == kComNoParity) s.parity = os::kNoParity;
    if (parity == kComEvenParity) s.parity = os::kEvenParity;
    if (parity == kComOddParity) s.parity = os::kOddParity;
    s.stopBits = os::kOneStopBit;
    s.xonChar = 'n';
    s.xoffChar = 'f';
    s.errorChar = 'r';
    s.eofChar = '\0';
    s.evtChar = 'v';
}

void CloseDevice(PortRecord& record) {
    record.open = false;
    os::CloseSerialPort(record.handle);
    record.handle = nullptr;
}

// The operations below run with the port's lock held.

int SetTimeoutLocked(int port, PortRecord& record, std::uint32_t ms) {
    if (!record.open) {
        RecordFailure(port, kErrPortNotOpen, __LINE__, kCodeNotOpen);
        return 0;
    }
    record.timeouts = os::SerialTimeouts{};
    record.timeouts.readTotalConstant = ms;
    if (!os::SetSerialTimeouts(record.handle, record.timeouts)) {
        RecordFailure(port, kErrTimeouts, __LINE__, kCodeTimeout);
        return 0;
    }
    return 1;
}

int ReadByteLocked(int port, PortRecord& record, std::uint8_t* out) {
    if (!record.open) {
        RecordFailure(port, kErrPortNotOpen, __LINE__, kCodeNotOpen);
        return 0;
    }
    std::uint32_t got = 0;
    return os::ReadSerial(record.handle, out, 1, &got) && got == 1 ? 1 : 0;
}

int WriteLocked(int port, PortRecord& record, const void* bytes, std::uint32_t count) {
    if (!record.open) {
        RecordFailure(port, kErrPortNotOpen, __LINE__, kCodeNotOpen);
        return 0;
    }
    std::uint32_t written = 0;
    if (!os::WriteSerial(record.handle, bytes, count, &written)) {
        updlib::AddError(TraceSlot(port), kCodeWriteFile, "");
        return 0;
    }
    return 1;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (std::tolower(x) != std::tolower(y)) return false;
    }
    return true;
}

void CopyText(char* field, std::size_t size, const char* text) {
    std::snprintf(field, size, "%s", text);
}

}  // namespace

std::uint32_t TranslateBaudRate(int port, std::uint32_t baud) {
    char section[16];
    std::snprintf(section, sizeof section, "Com%d", port + 1);
    char cardType[20];
    os::GetPrivateProfileString(section, "ComPortType", "fastboot", cardType, sizeof cardType,
                                "addifast.ini");

    struct HighRate {
        std::uint32_t requested;
        std::uint32_t fastboot;  // what a standard card gets closest with
    };
    constexpr HighRate kHighRates[] = {{101500, 99609}, {203000, 199219}, {406000, 398438}};
    constexpr std::uint32_t kOtherCardRate = 115200;

    for (const HighRate& rate : kHighRates) {
        if (rate.requested != baud) continue;
        if (EqualsIgnoringCase(cardType, "fastboot")) return rate.fastboot;
        if (EqualsIgnoringCase(cardType, "addidata")) return rate.requested;
        return kOtherCardRate;
    }
    return baud;
}

int ComOpen(int port, std::uint32_t baud, int parity) {
    if (!ValidPort(port)) return 0;
    PortRecord& record = g_ports[static_cast<std::size_t>(port)];
    const std::lock_guard guard(record.lock);

    COM_TRACE(port, "COM : opening Com-Port with %ld Baud\n", static_cast<long>(baud));
    if (record.open) {
        RecordFailure(port, kErrPortAlreadyOpen, __LINE__, kCodeAlreadyOpen);
        return 0;
    }
    os::SerialPort* handle = os::OpenSerialPort(kDeviceNames[port]);
    if (handle == nullptr) {
        const std::string why =
            os::DescribeSerialOpenFailure(kDeviceNames[port], os::GetLastError());
        COM_TRACE(port, "COM : ComOpen : error on CreateFile\n");
        updlib::SetErrorNumber(port, kErrCannotOpenDevice, kModule, __LINE__);
        updlib::SetAdditionalErrorInfo(port, "%s", why.c_str());  // permission, port held elsewhere
        updlib::AddError(TraceSlot(port), kCodeInvalidHandle, "");
        return 0;
    }
    record.handle = handle;
    record.open = true;
    WriteLineSettings(record.settings, TranslateBaudRate(port, baud), parity);
    COM_TRACE(port, "COM : ComOpen : SetCommState\n");
    if (!os::SetSerialSettings(handle, record.settings)) {
        CloseDevice(record);
        COM_TRACE(port, "COM : ComOpen : error on SetCommState\n");
        RecordFailure(port, kErrLineSettings, __LINE__, kCodeComState);
        return 0;
    }
    if (!SetTimeoutLocked(port, record, kComDefaultReadTimeoutMs)) {
        CloseDevice(record);
        return 0;
    }
    os::SetRts(handle, true);  // a port without modem lines has nothing to raise
    return 1;
}

int ComClose(int port) {
    if (!ValidPort(port)) return 0;
    PortRecord& record = g_ports[static_cast<std::size_t>(port)];
    const std::lock_guard guard(record.lock);

    COM_TRACE(port, "COM : closing comport\n");
    if (!record.open) {
        COM_TRACE(port, "COM : on closing comport, it was not opened\n");
        RecordFailure(port, kErrPortNotOpen, __LINE__, kCodeNotOpen);
        return 0;
    }
    CloseDevice(record);
    return 1;
}

int ComSetTimeout(int port, std::uint32_t ms) {
    if (!ValidPort(port)) return 0;
    PortRecord& record = g_ports[static_cast<std::size_t>(port)];
    const std::lock_guard guard(record.lock);
    return SetTimeoutLocked(port, record, ms);
}

int ComWriteByte(int port, std::uint8_t byte) {
    return ComWrite(port, &byte, 1);
}

int ComWrite(int port, const void* bytes, std::uint32_t count) {
    if (!ValidPort(port)) return 0;
    PortRecord& record = g_ports[static_cast<std::size_t>(port)];
    const std::lock_guard guard(record.lock);
    return WriteLocked(port, record, bytes, count);
}

int ComReadByte(int port, std::uint8_t* out) {
    if (!ValidPort(port)) return 0;
    PortRecord& record = g_ports[static_cast<std::size_t>(port)];
    const std::lock_guard guard(record.lock);
    return ReadByteLocked(port, record, out);
}

int ComReadByteTimeout(int port, std::uint8_t* out, std::uint32_t ms) {
    if (!ValidPort(port)) return 0;
    PortRecord& record = g_ports[static_cast<std::size_t>(port)];
    const std::lock_guard guard(record.lock);
    if (!record.open) {
        RecordFailure(port, kErrPortNotOpen, __LINE__, kCodeNotOpen);
        return 0;
    }
    if (!SetTimeoutLocked(port, record, ms)) return 0;
    const int got = ReadByteLocked(port, record, out);
    if (!SetTimeoutLocked(port, record, kComDefaultReadTimeoutMs)) return 0;
    return got;
}

int ComGetLineSettings(int port, os::SerialSettings& out) {
    if (!ValidPort(port)) return 0;
    PortRecord& record = g_ports[static_cast<std::size_t>(port)];
    const std::lock_guard guard(record.lock);
    if (!record.open) return 0;
    out = record.settings;
    return 1;
}

int GetSerialLayerVersion(updlib::VersionRecord& record) {
    if (record.size != sizeof(updlib::VersionRecord)) {
        updlib::AddErrorToAllSlots(kCodeNoSerialVersion, "");
        return 0;
    }
    CopyText(record.description, sizeof record.description, "Serial Low-DLL");
    CopyText(record.author, sizeof record.author, "vqupdate");
    CopyText(record.buildDate, sizeof record.buildDate, "Nov 18 2002");
    record.major = 1;
    record.minor = 35;
    return 1;
}

}  // namespace flashlink
