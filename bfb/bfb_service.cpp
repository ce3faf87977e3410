#include "bfb/bfb_service.h"

#include <algorithm>
#include <cstring>

#include "bfb/bfb_frame.h"
#include "updlib/error_registry.h"
#include "updlib/trace.h"

namespace bfb {
namespace {

constexpr int kPingTries = 3;
constexpr std::uint8_t kPingRequest = 0x14;
constexpr std::uint8_t kPingAnswer = 0xAA;

// Service request codes.
constexpr std::uint8_t kGetVoltage = 0x02;
constexpr std::uint8_t kGetSvn = 0x03;
constexpr std::uint8_t kSwitchOff = 0x04;
constexpr std::uint8_t kGetProductType = 0x07;
constexpr std::uint8_t kGetCompileDate = 0x08;
constexpr std::uint8_t kCustomerReboot = 0x20;
constexpr std::uint8_t kGetPutCount = 0x21;

constexpr std::int32_t kErrCustomerReboot = 0x0507;
constexpr std::int32_t kErrPutCount = 0x0508;

// Sends a service request and waits for the answer that repeats its code.
bool Request(BfbHandle handle, const std::uint8_t* payload, std::uint8_t length, BfbFrame& answer) {
    if (!BfbSendFrame(handle, kFrameService, length, payload)) return false;
    return BfbReceiveAnswer(handle, kFrameService, payload[0], answer) != 0;
}

bool Request(BfbHandle handle, std::uint8_t code, BfbFrame& answer) { return Request(handle, &code, 1, answer); }

// Copies the answer's bytes from offset 1 on into a field of size characters; missing bytes are 0.
void CopyAnswerText(const BfbFrame& answer, char* field, int size) {
    std::memset(field, 0, static_cast<std::size_t>(size));
    const int available = std::min<int>(size, answer.length - 1);
    if (available > 0) std::memcpy(field, answer.payload.data() + 1, static_cast<std::size_t>(available));
}

std::uint32_t LittleEndian32(const std::uint8_t* bytes) {
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

void RecordOnSlotOfPort(BfbHandle handle, std::int32_t code) {
    const int slot = updlib::FindTraceSlot(BfbPortOfHandle(handle));
    updlib::AddError(static_cast<std::uint32_t>(slot), code, "");
}

}  // namespace

int BfbPing(BfbHandle handle) {
    for (int i = 0; i < kPingTries; ++i) {
        BfbFrame answer;
        if (BfbSendFrame(handle, kFramePing, 1, &kPingRequest) &&
            BfbReceiveAnswer(handle, kFramePing, kPingRequest, answer) && answer.length == 2 &&
            answer.payload[1] == kPingAnswer) {
            return 1;
        }
    }
    return 0;
}

std::uint16_t BfbGetVoltage(BfbHandle handle) {
    BfbFrame answer;
    if (!Request(handle, kGetVoltage, answer) || answer.length < 3) return 0;
    return static_cast<std::uint16_t>(answer.payload[1] | (answer.payload[2] << 8));
}

std::uint8_t BfbGetSvn(BfbHandle handle) {
    BfbFrame answer;
    if (!Request(handle, kGetSvn, answer) || answer.length < 2) return 0;
    return answer.payload[1];
}

void BfbSwitchOff(BfbHandle handle) {
    BfbFrame answer;
    Request(handle, kSwitchOff, answer);
}

int BfbGetProductType(BfbHandle handle, char (&productType)[kProductTypeSize]) {
    BfbFrame answer;
    if (!Request(handle, kGetProductType, answer)) return 0;
    CopyAnswerText(answer, productType, kProductTypeSize);
    return 1;
}

int BfbGetCompileDate(BfbHandle handle, char (&compileDate)[kCompileDateSize]) {
    BfbFrame answer;
    if (!Request(handle, kGetCompileDate, answer)) return 0;
    CopyAnswerText(answer, compileDate, kCompileDateSize);
    return 1;
}

int BfbRequestCustomerReboot(BfbHandle handle, std::uint32_t baud) {
    const std::uint8_t payload[6] = {kCustomerReboot,
                                     0x00,
                                     static_cast<std::uint8_t>(baud),
                                     static_cast<std::uint8_t>(baud >> 8),
                                     static_cast<std::uint8_t>(baud >> 16),
                                     static_cast<std::uint8_t>(baud >> 24)};
    BfbFrame answer;
    if (Request(handle, payload, sizeof payload, answer)) return 1;
    RecordOnSlotOfPort(handle, kErrCustomerReboot);
    return 0;
}

int BfbGetPutCount(BfbHandle handle, std::uint32_t* putCount, char (&directory)[kDirectorySize + 1]) {
    constexpr int kCountEnd = 5;  // code and the 32-bit put count
    BfbFrame answer;
    if (!Request(handle, kGetPutCount, answer) || answer.length < kCountEnd) {
        RecordOnSlotOfPort(handle, kErrPutCount);
        return 0;
    }
    *putCount = LittleEndian32(answer.payload.data() + 1);
    std::memset(directory, 0, sizeof directory);
    const int available = std::min<int>(kDirectorySize, answer.length - kCountEnd);
    if (available > 0) std::memcpy(directory, answer.payload.data() + kCountEnd, static_cast<std::size_t>(available));
    return 1;
}

}  // namespace bfb
