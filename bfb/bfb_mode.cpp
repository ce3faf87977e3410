#include "bfb/bfb_mode.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "bfb/bfb_texts.h"
#include "bfb/port_table.h"
#include "platform/os/clock.h"

namespace bfb {
namespace {

// ---- AT to BFB ---------------------------------------------------------------------------------

constexpr std::array<std::uint32_t, 4> kBfbModeRates = {19200, 115200, 57600, 38400};
constexpr std::uint32_t kFallbackRate = 19200;
constexpr char kBfbModeCommand[] = "at^kqwe=1\r";
constexpr char kFallbackFirstPart[] = "at^kbf";
constexpr char kFallbackSecondPart[] = "b=1\r";
constexpr std::uint32_t kAnswerWaitMs = 500;
constexpr int kAnswerLineSize = 20;

template <std::size_t N>
int WriteText(BfbHandle handle, const char (&text)[N]) {
    return BfbWriteRaw(handle, static_cast<std::uint8_t>(N - 1), text);
}

bool AnsweredOk(const char* line) { return std::strstr(line, "OK\r") != nullptr; }

// Tries the command at one rate; 1 when the phone said OK, -1 when the rate could not be set.
int TryBfbModeAt(BfbHandle handle, std::uint32_t rate) {
    if (!WComConfigure(handle, rate)) return -1;
    if (os::SerialPort* device = LookUpPort(handle, kOpComConfigure)) {
        os::PurgeSerial(device, os::kPurgeTxAbort | os::kPurgeRxAbort | os::kPurgeTxClear | os::kPurgeRxClear);
    }
    if (!WriteText(handle, kBfbModeCommand)) return 0;
    os::Sleep(kAnswerWaitMs);
    char line[kAnswerLineSize] = {};
    BfbReadLine(handle, kAnswerLineSize, line);
    return AnsweredOk(line) ? 1 : 0;
}

// The second command, sent in two parts with a pause for the phone's echo between them.
int TryFallback(BfbHandle handle) {
    char line[kAnswerLineSize] = {};
    if (!WriteText(handle, kFallbackFirstPart)) return 0;
    os::Sleep(kAnswerWaitMs);
    if (!BfbReadLine(handle, kAnswerLineSize, line)) return 0;
    if (!WriteText(handle, kFallbackSecondPart)) return 0;
    os::Sleep(kAnswerWaitMs);
    return BfbReadLine(handle, kAnswerLineSize, line) && AnsweredOk(line) ? 1 : 0;
}

// ---- Boot loader power-up ----------------------------------------------------------------------

constexpr std::uint32_t kBootRate = 19200;
constexpr std::uint8_t kWakeUpByte = 0x55;
constexpr std::uint8_t kWakeUpAnswer = 0xA0;
constexpr std::uint8_t kBootAccepted = 0xA5;
constexpr int kWakeUpPasses = 2;
constexpr int kWakeUpTries = 8;
constexpr std::uint32_t kDtrSettleMs = 55;
constexpr std::uint32_t kWakeUpAnswerMs = 45;
constexpr std::uint32_t kWakeUpNoiseMs = 45;
constexpr std::uint32_t kBetweenPassesMs = 550;
constexpr int kBootAnswerTries = 3;
constexpr std::uint32_t kBootAnswerMs = 20;

constexpr std::size_t kBootProgramSize = 104;
constexpr std::array<std::uint8_t, kBootProgramSize> kBootProgramTemplate = {
    0xA5, 0x5A, 0xA5, 0xA5, 0xE6, 0x89, 0x46, 0x14, 0xD1, 0x90, 0xFF, 0x9A, 0xFE, 0x9B, 0xE6, 0x0C,
    0x09, 0x00, 0xE6, 0x8A, 0xBF, 0x04, 0xD1, 0x90, 0xE6, 0x0A, 0xF0, 0x0E, 0xE6, 0x8A, 0xAF, 0x04,
    0xB5, 0x4A, 0xB5, 0xB5, 0xE6, 0x00, 0x40, 0x00, 0xE7, 0xF0, 0x00, 0x00, 0xF7, 0xF0, 0x00, 0x02,
    0xE7, 0xF0, 0xFF, 0x00, 0xF7, 0xF0, 0x01, 0x02, 0xE6, 0x03, 0x03, 0x00, 0xE7, 0xF0, 0x00, 0x00,
    0xF7, 0xF0, 0x00, 0xF6, 0xE7, 0xF0, 0xFF, 0x00, 0xF7, 0xF0, 0x01, 0xF6, 0xE7, 0xF0, 0xFF, 0x00,
    0xF7, 0xF0, 0x02, 0xF6, 0xE7, 0xF0, 0xFF, 0x00, 0xF7, 0xF0, 0x03, 0xF6, 0xE6, 0xF0, 0x80, 0x00,
    0x74, 0xF0, 0xE0, 0xEF, 0xB7, 0x48, 0xB7, 0xB7};

struct Placeholder {
    std::size_t offset;
    std::uint8_t value;
};
constexpr std::array<Placeholder, 4> kBootPlaceholders = {{{0x32, 0x02}, {0x46, 0x02}, {0x4E, 0x80}, {0x56, 0x01}}};

std::array<std::uint8_t, kBootProgramSize> BootProgram() {
    std::array<std::uint8_t, kBootProgramSize> program = kBootProgramTemplate;
    for (const Placeholder& p : kBootPlaceholders) program[p.offset] = p.value;
    return program;
}

bool SetDtr(BfbHandle handle, bool raised) {
    os::SerialPort* device = LookUpPort(handle, kOpMobileOn);
    return device != nullptr && os::SetDtr(device, raised);
}

void ClearLineErrors(BfbHandle handle) {
    if (os::SerialPort* device = LookUpPort(handle, kOpMobileOn)) {
        std::uint32_t errors = 0;
        std::uint32_t waiting = 0;
        os::ClearSerialErrors(device, &errors, &waiting);
    }
}

// One pass of 0x55 bytes until the boot loader answers 0xA0. 1 answered, 0 missed, -1 line failure.
int WakeUpPass(BfbHandle handle) {
    if (!SetDtr(handle, true)) return -1;
    os::Sleep(kDtrSettleMs);
    for (int i = 0; i < kWakeUpTries; ++i) {
        if (!WComPut(handle, kWakeUpByte)) return -1;
        std::uint8_t answer = 0;
        if (WComGetWithTimeOut(handle, &answer, kWakeUpAnswerMs)) {
            if (answer == kWakeUpAnswer) return SetDtr(handle, false) ? 1 : -1;
            os::Sleep(kWakeUpNoiseMs);
        }
        ClearLineErrors(handle);
    }
    if (!SetDtr(handle, false)) return -1;
    os::Sleep(kBetweenPassesMs);
    return 0;
}

bool WakeUpBootLoader(BfbHandle handle) {
    for (int pass = 0; pass < kWakeUpPasses; ++pass) {
        const int result = WakeUpPass(handle);
        if (result != 0) return result > 0;
    }
    return false;
}

bool SendBootProgram(BfbHandle handle) {
    const std::array<std::uint8_t, kBootProgramSize> program = BootProgram();
    if (!WComPut(handle, static_cast<std::uint8_t>(kBootProgramSize))) return false;
    std::uint8_t check = 0;
    for (std::uint8_t byte : program) {
        if (!WComPut(handle, byte)) return false;
        check ^= byte;
    }
    if (!WComPut(handle, check)) return false;
    for (int i = 0; i < kBootAnswerTries; ++i) {
        std::uint8_t answer = 0;
        if (WComGetWithTimeOut(handle, &answer, kBootAnswerMs) && answer == kBootAccepted) return true;
    }
    return false;
}

bool RestoreLine(BfbHandle handle, std::uint32_t rate) {
    const bool dtr = SetDtr(handle, false);
    const bool parity = WComParity(handle, kBfbNoParity) != 0;
    return WComConfigure(handle, rate) && dtr && parity;
}

int FailMobileOn(BfbHandle handle, std::uint32_t rate, std::uint16_t description) {
    RestoreLine(handle, rate);
    BfbSetLastError(kOpMobileOn, description);
    return 0;
}

}  // namespace

int SetBfbMode(BfbHandle handle) {
    std::uint32_t previous = 0;
    if (!WGetComConfiguration(handle, &previous)) return 0;
    for (std::uint32_t rate : kBfbModeRates) {
        const int result = TryBfbModeAt(handle, rate);
        if (result < 0) return 0;
        if (result > 0) {
            WComConfigure(handle, previous);
            return 1;
        }
    }
    if (!WComConfigure(handle, kFallbackRate)) return 0;
    const int result = TryFallback(handle);
    WComConfigure(handle, previous);
    return result;
}

int WMobileOn(BfbHandle handle) {
    std::uint32_t previous = 0;
    if (!WGetComConfiguration(handle, &previous)) return 0;
    if (!WComConfigure(handle, kBootRate)) return 0;
    if (!WComParity(handle, kBfbEvenParity)) {
        RestoreLine(handle, previous);
        return 0;
    }
    if (!WakeUpBootLoader(handle)) return FailMobileOn(handle, previous, kDescNoWakeUp);
    if (!SendBootProgram(handle)) return FailMobileOn(handle, previous, kDescBootStringRefused);
    return RestoreLine(handle, previous) ? 1 : 0;
}

}  // namespace bfb
