#include "bfb/bfb_port.h"

#include <array>
#include <atomic>
#include <string>

#include "bfb/bfb_texts.h"
#include "bfb/port_table.h"
#include "platform/os/clock.h"

namespace bfb {
namespace {

struct PortEntry {
    os::SerialPort* device = nullptr;
    os::SerialSettings settings;  // kept across opens, like the time-outs
    os::SerialTimeouts timeouts;
};

std::array<PortEntry, kBfbPortCount> g_ports;
std::atomic<std::uint32_t> g_lastError{0};

constexpr std::uint32_t kOpenSettleMs = 100;
constexpr std::uint32_t kConfigureSettleMs = 2;
constexpr std::uint32_t kConfigureRtsSettleMs = 100;
constexpr std::uint32_t kParitySettleMs = 10;

BfbHandle HandleOf(os::SerialPort* device) { return reinterpret_cast<BfbHandle>(device); }

PortEntry* FindEntry(BfbHandle handle) {
    if (handle == kInvalidBfbHandle || handle == 0) return nullptr;
    for (PortEntry& entry : g_ports) {
        if (entry.device != nullptr && HandleOf(entry.device) == handle) return &entry;
    }
    return nullptr;
}

PortEntry* FindEntryOrFail(BfbHandle handle, std::uint16_t operation) {
    PortEntry* entry = FindEntry(handle);
    if (entry == nullptr) BfbSetLastError(operation, kDescInvalidHandle);
    return entry;
}

// The line settings of a BFB port: binary, parity checking, continue on XOFF, RTS enabled; no flow
// control, no DTR, no character replacement; 8N1.
void SetBfbLineSettings(os::SerialSettings& settings, std::uint32_t baud) {
    constexpr std::uint32_t kOwnFlags = 0x7FFF;  // bits 15..31 are left as they are
    settings.baudRate = baud;
    settings.flags = (settings.flags & ~kOwnFlags) | os::dcb::kBinary | os::dcb::kParityCheck |
                     os::dcb::kTxContinueOnXoff | (1u << os::dcb::kRtsControlShift);
    settings.xonLimit = 0;
    settings.xoffLimit = 0;
    settings.byteSize = 8;
    settings.parity = os::kNoParity;
    settings.stopBits = os::kOneStopBit;
    settings.xonChar = 'n';
    settings.xoffChar = 'f';
    settings.errorChar = 'r';
    settings.eofChar = '\0';
    settings.evtChar = 'v';
}

BfbHandle FailOpen(PortEntry& entry, std::uint16_t description) {
    os::CloseSerialPort(entry.device);
    entry.device = nullptr;
    BfbSetLastError(kOpComOpen, description);
    return kInvalidBfbHandle;
}

}  // namespace

std::uint32_t BfbGetLastError() { return g_lastError.load(); }

void BfbSetLastError(std::uint16_t operation, std::uint16_t description) {
    g_lastError.store((static_cast<std::uint32_t>(operation) << 16) | description);
}

os::SerialPort* LookUpPort(BfbHandle handle, std::uint16_t operation) {
    PortEntry* entry = FindEntryOrFail(handle, operation);
    return entry != nullptr ? entry->device : nullptr;
}

int BfbPortOfHandle(BfbHandle handle) {
    const PortEntry* entry = FindEntry(handle);
    return entry != nullptr ? static_cast<int>(entry - g_ports.data()) : -1;
}

BfbHandle WComOpen(int port, std::uint32_t baud) {
    if (port < 0 || port >= kBfbPortCount) {
        BfbSetLastError(kOpComOpen, kDescCannotOpen);
        return kInvalidBfbHandle;
    }
    PortEntry& entry = g_ports[static_cast<std::size_t>(port)];
    if (entry.device != nullptr) {
        BfbSetLastError(kOpComOpen, kDescAlreadyInUse);
        return kInvalidBfbHandle;
    }
    const std::string name = "COM" + std::to_string(port + 1);
    entry.device = os::OpenSerialPort(name.c_str());
    if (entry.device == nullptr) {
        BfbSetLastError(kOpComOpen, kDescCannotOpen);
        return kInvalidBfbHandle;
    }
    SetBfbLineSettings(entry.settings, baud);
    if (!os::SetSerialSettings(entry.device, entry.settings)) return FailOpen(entry, kDescCannotConfigure);
    const BfbHandle handle = HandleOf(entry.device);
    if (!WComSetTimeOut(handle, kBfbDefaultTimeoutMs)) return FailOpen(entry, kDescCannotSetTimeouts);
    if (!os::SetRts(entry.device, true)) return FailOpen(entry, kDescCannotSetRts);
    os::Sleep(kOpenSettleMs);
    return handle;
}

int WComClose(BfbHandle handle) {
    PortEntry* entry = FindEntryOrFail(handle, kOpComClose);
    if (entry == nullptr) return 0;
    const bool closed = os::CloseSerialPort(entry->device);
    entry->device = nullptr;
    if (!closed) {
        BfbSetLastError(kOpComClose, kDescCannotClose);
        return 0;
    }
    return 1;
}

int WComConfigure(BfbHandle handle, std::uint32_t baud) {
    PortEntry* entry = FindEntryOrFail(handle, kOpComConfigure);
    if (entry == nullptr) return 0;
    entry->settings.baudRate = baud;
    if (!os::SetSerialSettings(entry->device, entry->settings)) {
        BfbSetLastError(kOpComConfigure, kDescCannotConfigure);
        return 0;
    }
    if (!os::SetRts(entry->device, true)) {
        BfbSetLastError(kOpComConfigure, kDescCannotSetRts);
        return 0;
    }
    os::Sleep(kConfigureSettleMs);
    os::Sleep(kConfigureRtsSettleMs);
    return 1;
}

int WComParity(BfbHandle handle, std::uint8_t parity) {
    PortEntry* entry = FindEntryOrFail(handle, kOpComParity);
    if (entry == nullptr) return 0;
    entry->settings.parity = parity;
    if (!os::SetSerialSettings(entry->device, entry->settings)) {
        BfbSetLastError(kOpComParity, kDescCannotConfigure);
        return 0;
    }
    if (!os::SetRts(entry->device, true)) {
        BfbSetLastError(kOpComParity, kDescCannotSetRts);
        return 0;
    }
    os::Sleep(kParitySettleMs);
    return 1;
}

int WGetComConfiguration(BfbHandle handle, std::uint32_t* baud) {
    PortEntry* entry = FindEntryOrFail(handle, kOpGetComConfiguration);
    if (entry == nullptr) return 0;
    os::SerialSettings current;
    if (!os::GetSerialSettings(entry->device, current)) {
        BfbSetLastError(kOpGetComConfiguration, kDescCannotReadConfiguration);
        return 0;
    }
    *baud = current.baudRate;
    return 1;
}

int WComSetTimeOut(BfbHandle handle, std::uint32_t ms) {
    PortEntry* entry = FindEntryOrFail(handle, kOpComSetTimeOut);
    if (entry == nullptr) return 0;
    os::SerialTimeouts timeouts;
    timeouts.readTotalConstant = ms;
    timeouts.writeTotalConstant = ms;
    if (!os::SetSerialTimeouts(entry->device, timeouts)) {
        BfbSetLastError(kOpComSetTimeOut, kDescCannotSetTimeouts);
        return 0;
    }
    entry->timeouts = timeouts;
    return 1;
}

int WComGetTimeOut(BfbHandle handle, std::uint32_t* ms) {
    PortEntry* entry = FindEntryOrFail(handle, kOpComGetTimeOut);
    if (entry == nullptr) return 0;
    *ms = entry->timeouts.writeTotalConstant;
    return 1;
}

int WComPut(BfbHandle handle, std::uint8_t byte) {
    PortEntry* entry = FindEntryOrFail(handle, kOpComPut);
    if (entry == nullptr) return 0;
    std::uint32_t written = 0;
    if (!os::WriteSerial(entry->device, &byte, 1, &written) || written != 1) {
        BfbSetLastError(kOpComPut, kDescCannotWrite);
        return 0;
    }
    return 1;
}

int WComGet(BfbHandle handle, std::uint8_t* byte) {
    PortEntry* entry = FindEntryOrFail(handle, kOpComGet);
    if (entry == nullptr) return 0;
    std::uint32_t got = 0;
    if (!os::ReadSerial(entry->device, byte, 1, &got) || got != 1) {
        BfbSetLastError(kOpComGet, kDescCannotRead);
        return 0;
    }
    return 1;
}

int WComGetWithTimeOut(BfbHandle handle, std::uint8_t* byte, std::uint32_t ms) {
    std::uint32_t previous = 0;
    if (!WComGetTimeOut(handle, &previous) || !WComSetTimeOut(handle, ms)) return 0;
    const int got = WComGet(handle, byte);
    return WComSetTimeOut(handle, previous) ? got : 0;
}

int BfbWriteRaw(BfbHandle handle, std::uint8_t count, const void* bytes) {
    PortEntry* entry = FindEntryOrFail(handle, kOpComWrite);
    if (entry == nullptr) return 0;
    std::uint32_t written = 0;
    if (!os::WriteSerial(entry->device, bytes, count, &written) || written != count) {
        BfbSetLastError(kOpComWrite, kDescCannotWrite);
        return 0;
    }
    return 1;
}

int BfbReadLine(BfbHandle handle, int maxCount, char* text) {
    if (maxCount < 1) return 0;
    int count = 0;
    bool quiet = false;
    while (count < maxCount - 1) {
        std::uint8_t byte = 0;
        if (!WComGet(handle, &byte)) {
            quiet = true;
            break;
        }
        text[count++] = static_cast<char>(byte);
    }
    text[count] = '\0';
    return count > 0 && quiet ? 1 : 0;
}

}  // namespace bfb
