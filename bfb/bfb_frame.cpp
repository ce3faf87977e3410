#include "bfb/bfb_frame.h"

#include "bfb/bfb_texts.h"
#include "bfb/port_table.h"

namespace bfb {
namespace {

constexpr int kHeaderSize = 3;
constexpr int kResyncLimit = 100;        // further bytes tried to find a header
constexpr std::uint32_t kPollStepMs = 50;
constexpr int kFrameRetryReads = 6;

bool HeaderCheckHolds(const std::uint8_t* header) { return (header[0] ^ header[1]) == header[2]; }

// One read of up to count bytes; the number that arrived (0 on failure).
std::uint32_t ReadSome(os::SerialPort* device, std::uint8_t* buffer, std::uint32_t count) {
    std::uint32_t got = 0;
    if (!os::ReadSerial(device, buffer, count, &got)) return 0;
    return got;
}

bool ReadHeader(os::SerialPort* device, std::uint8_t* header) {
    std::uint32_t have = ReadSome(device, header, kHeaderSize);
    if (have == 0) return false;
    while (have < kHeaderSize) {
        if (ReadSome(device, header + have, 1) == 0) return false;
        ++have;
    }
    return true;
}

// Slides a three-byte window over the input until it holds a good header.
bool Resynchronise(os::SerialPort* device, std::uint8_t* header) {
    for (int i = 0; i < kResyncLimit; ++i) {
        std::uint8_t next = 0;
        if (ReadSome(device, &next, 1) == 0) return false;
        header[0] = header[1];
        header[1] = header[2];
        header[2] = next;
        if (HeaderCheckHolds(header)) return true;
    }
    return false;
}

int FailRead(std::uint16_t description) {
    BfbSetLastError(kOpComRead, description);
    return 0;
}

}  // namespace

int BfbSendFrame(BfbHandle handle, std::uint8_t type, std::uint8_t length, const std::uint8_t* payload) {
    os::SerialPort* device = LookUpPort(handle, kOpComWrite);
    if (device == nullptr) return 0;
    if (length == 0 || length > kBfbMaxPayload) {
        BfbSetLastError(kOpComWrite, kDescLengthOverflow);
        return 0;
    }
    std::array<std::uint8_t, kHeaderSize + kBfbMaxPayload> frame{};
    frame[0] = type;
    frame[1] = length;
    frame[2] = static_cast<std::uint8_t>(type ^ length);
    for (std::uint8_t i = 0; i < length; ++i) frame[kHeaderSize + i] = payload[i];
    const std::uint32_t size = kHeaderSize + length;
    std::uint32_t written = 0;
    if (!os::WriteSerial(device, frame.data(), size, &written) || written != size) {
        BfbSetLastError(kOpComWrite, kDescCannotWrite);
        return 0;
    }
    return 1;
}

int BfbReadFrame(BfbHandle handle, BfbFrame& frame) {
    frame = BfbFrame{};
    os::SerialPort* device = LookUpPort(handle, kOpComRead);
    if (device == nullptr) return 0;
    std::uint8_t header[kHeaderSize] = {};
    if (!ReadHeader(device, header)) return FailRead(kDescNoHeader);
    if (!HeaderCheckHolds(header)) {
        BfbSetLastError(kOpComRead, kDescWrongChecksum);
        if (!Resynchronise(device, header)) return FailRead(kDescNoHeader);
    }
    const std::uint8_t length = header[1];
    if (length == 0) return FailRead(kDescLengthZero);
    if (length > kBfbMaxPayload) return FailRead(kDescLengthOverflow);
    const std::uint32_t got = ReadSome(device, frame.payload.data(), length);
    if (got == 0) return FailRead(kDescIncomplete);
    frame.type = header[0];
    frame.length = static_cast<std::uint8_t>(got);
    return 1;
}

int BfbReceiveAnswer(BfbHandle handle, std::uint8_t type, std::uint8_t firstByte, BfbFrame& frame) {
    std::uint32_t timeout = 0;
    if (!WComGetTimeOut(handle, &timeout) || !WComSetTimeOut(handle, kPollStepMs)) return 0;
    int found = 0;
    for (std::uint32_t elapsed = kPollStepMs;; elapsed += kPollStepMs) {
        if (BfbReadFrame(handle, frame) && (type == 0 || frame.type == type) &&
            (firstByte == 0 || frame.payload[0] == firstByte)) {
            found = 1;
            break;
        }
        if (elapsed >= timeout) break;
    }
    if (!found) frame = BfbFrame{};
    WComSetTimeOut(handle, timeout);
    return found;
}

int BfbReceiveFrameRetry(BfbHandle handle, BfbFrame& frame) {
    for (int i = 0; i < kFrameRetryReads; ++i) {
        if (BfbReadFrame(handle, frame)) return frame.length;
    }
    return 0;
}

}  // namespace bfb
