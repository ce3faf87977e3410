#include "updlib/wmob_err.h"

#include "updlib/error_registry.h"
#include "updlib/trace.h"

namespace updlib {
namespace {

constexpr const char* kModule = "wmob_err";
constexpr std::int32_t kErrMobileError = 400;

// Error classes of the report's first byte.
enum : std::uint8_t {
    kRamTestFF = 0x11,
    kRamTestPattern = 0x12,
    kRamTest00 = 0x13,
    kRamTestUnknown = 0x14,
    kEraseError = 0x60,
    kProgramError = 0x70,
    kFinalChecksum = 0x86,
    kUnknownFlash = 0x87,
    kNotSupported = 0xFF,
};

struct PlainReport {
    std::uint8_t errorClass;
    const char* text;
    std::int32_t code;
};

constexpr PlainReport kPlainReports[] = {
    {kRamTestFF, "Error on RAM-Test with FF ", 0x0400},
    {kRamTestPattern, "Error on RAM-Test with pattern", 0x0401},
    {kRamTest00, "Error on RAM-Test with 00", 0x0402},
    {kRamTestUnknown, "Unknown Error on RAM-Test", 0x0403},
    {kFinalChecksum, "check-sum-error final test", 0x0409},
    {kUnknownFlash, "unknown flash", 0x040A},
    {kNotSupported, "uuups, function until now not supported", 0x040B},
};

struct EraseReport {
    std::uint8_t kind;
    const char* text;
    std::int32_t code;
};

constexpr EraseReport kEraseReports[] = {
    {0x01, "Erase-Error Block %d : Vpp voltage range ", 0x0404},
    {0x02, "Erase-Error Block %d : Error in the command sequence", 0x0405},
    {0x03, "Erase-Error Block %d : Erase not possible", 0x0406},
    {0x10, "Erase-Error Block %d : Block does not exist", 0x0407},
};

void DecodeEraseError(int port, std::uint32_t slot, std::uint8_t kind, std::uint8_t block) {
    for (const EraseReport& report : kEraseReports) {
        if (report.kind != kind) continue;
        SetAdditionalErrorInfo(port, report.text, block);
        AddError(slot, report.code, "d", block);
        return;
    }
}

}  // namespace

int DecodeMobileError(int port, std::uint8_t, std::uint8_t count, const std::uint8_t* params) {
    // Parameters the phone did not send read as 0 (the receive buffer holds 64 bytes).
    std::uint8_t p[5] = {};
    for (std::uint8_t i = 0; i < count && i < 5; ++i) p[i] = params[i];

    const auto slot = static_cast<std::uint32_t>(FindTraceSlot(port));
    SetErrorNumber(port, kErrMobileError, kModule, __LINE__);
    for (const PlainReport& report : kPlainReports) {
        if (report.errorClass != p[0]) continue;
        SetAdditionalErrorInfo(port, "%s", report.text);
        AddError(slot, report.code, "");
        return 0;
    }
    if (p[0] == kEraseError) {
        DecodeEraseError(port, slot, p[1], p[2]);
    } else if (p[0] == kProgramError) {
        SetAdditionalErrorInfo(port, "Byte-Program-Error Nr:  %d on adress %02X%02X%02X\n", p[1],
                               p[2], p[3], p[4]);
        AddError(slot, 0x0408, "dXXX", p[1], p[2], p[3], p[4]);
    } else {
        SetAdditionalErrorInfo(port, "unknown Mobile-Error: %02X", p[0]);
        AddError(slot, 0x040C, "X", p[0]);
    }
    return 0;
}

}  // namespace updlib
