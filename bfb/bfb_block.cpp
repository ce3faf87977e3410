#include "bfb/bfb_block.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

#include "bfb/bfb_frame.h"

namespace bfb {
namespace {

std::atomic<std::uint32_t> g_blockStatus{0};

// Block service commands.
constexpr std::uint8_t kBeginWrite = 0x11;
constexpr std::uint8_t kWritePart = 0x12;
constexpr std::uint8_t kEndWrite = 0x13;
constexpr std::uint8_t kReadPart = 0x14;
constexpr std::uint8_t kBeginRead = 0x15;

constexpr std::uint8_t kBusyAnswer = 'P';            // begin write: the phone is busy, wait on
constexpr std::uint32_t kBusyTimeoutMs = 5000;       // patience for each answer after a "P"
constexpr std::uint16_t kPartSize = 20;
constexpr std::uint32_t kStatusRetried = 3;          // a space: the phone asks for a repeat
constexpr int kCodeAnswerLength = 2;                 // code, check
constexpr int kBeginReadAnswerLength = 5;            // code, total length, value, check

// The status a refusal's first byte stands for.
std::uint32_t StatusOfRefusal(std::uint8_t first) {
    switch (first) {
        case ' ': return 3;
        case '0': return 0;
        case '1': return 1;
        case '2': return 2;
        case '3': return 9;
        case '4': return 10;
        case '5': return 7;
        case '6': return 5;
        case '7': return 6;
        default: return 8;
    }
}

bool CheckByteHolds(const BfbFrame& answer) {
    std::uint8_t check = 0;
    for (int i = 0; i + 1 < answer.length; ++i) check ^= answer.payload[static_cast<std::size_t>(i)];
    return answer.length > 0 && check == answer.payload[answer.length - 1u];
}

// A request payload under construction; Send appends the check byte.
class Request {
public:
    explicit Request(std::uint8_t code) { add(code); }
    Request& add(std::uint8_t byte) {
        bytes_[length_++] = byte;
        return *this;
    }
    Request& add16(std::uint16_t value) { return add(static_cast<std::uint8_t>(value)).add(static_cast<std::uint8_t>(value >> 8)); }
    Request& addBytes(const std::uint8_t* data, std::uint16_t count) {
        for (std::uint16_t i = 0; i < count; ++i) add(data[i]);
        return *this;
    }
    std::uint8_t code() const { return bytes_[0]; }
    bool send(BfbHandle handle) const {
        std::array<std::uint8_t, kBfbMaxPayload> frame = bytes_;
        std::uint8_t check = 0;
        for (std::uint8_t i = 0; i < length_; ++i) check ^= frame[i];
        frame[length_] = check;
        return BfbSendFrame(handle, kFrameBlock, static_cast<std::uint8_t>(length_ + 1), frame.data()) != 0;
    }

private:
    std::array<std::uint8_t, kBfbMaxPayload> bytes_{};
    std::uint8_t length_ = 0;
};

// Waits for the next answer with a longer time-out, the port's own coming back afterwards.
int ReceiveWithPatience(BfbHandle handle, BfbFrame& answer) {
    std::uint32_t previous = 0;
    if (!WComGetTimeOut(handle, &previous) || !WComSetTimeOut(handle, kBusyTimeoutMs)) return 0;
    const int length = BfbReceiveFrameRetry(handle, answer);
    WComSetTimeOut(handle, previous);
    return length;
}

// One exchange; true when the answer has a good check byte, repeats the code and holds at least
// minLength payload bytes (check byte included). Otherwise the status says why.
bool ExchangeOnce(BfbHandle handle, const Request& request, int minLength, BfbFrame& answer) {
    if (!request.send(handle)) {
        g_blockStatus = kBlockStatusNoAnswer;
        return false;
    }
    int length = BfbReceiveFrameRetry(handle, answer);
    while (request.code() == kBeginWrite && length > 0 && CheckByteHolds(answer) && answer.payload[0] == kBusyAnswer) {
        length = ReceiveWithPatience(handle, answer);
    }
    if (length == 0 || !CheckByteHolds(answer)) {
        g_blockStatus = kBlockStatusNoAnswer;
        return false;
    }
    if (answer.payload[0] != request.code()) {
        g_blockStatus = StatusOfRefusal(answer.payload[0]);
        return false;
    }
    if (length < minLength) {
        g_blockStatus = kBlockStatusNoAnswer;
        return false;
    }
    return true;
}

// Every step but begin write is tried a second time after no answer, a bad answer or a space.
bool Exchange(BfbHandle handle, const Request& request, int minLength, BfbFrame& answer) {
    if (ExchangeOnce(handle, request, minLength, answer)) return true;
    const std::uint32_t status = g_blockStatus;
    if (request.code() == kBeginWrite || (status != kStatusRetried && status != kBlockStatusNoAnswer)) return false;
    return ExchangeOnce(handle, request, minLength, answer);
}

}  // namespace

int BfbWriteBlock(BfbHandle handle, std::uint16_t block, std::uint16_t length, std::uint8_t value,
                  const std::uint8_t* data) {
    BfbFrame answer;
    if (!Exchange(handle, Request(kBeginWrite).add16(block).add16(length).add(value), kCodeAnswerLength, answer)) {
        return 0;
    }
    bool partsWritten = true;
    for (std::uint16_t offset = 0; offset < length && partsWritten; offset = static_cast<std::uint16_t>(offset + kPartSize)) {
        const std::uint16_t count = std::min<std::uint16_t>(kPartSize, static_cast<std::uint16_t>(length - offset));
        partsWritten = Exchange(handle, Request(kWritePart).add16(block).add16(offset).addBytes(data + offset, count),
                                kCodeAnswerLength, answer);
    }
    const bool ended = Exchange(handle, Request(kEndWrite).add16(block), kCodeAnswerLength, answer);
    return ended && partsWritten ? 1 : 0;
}

int BfbReadBlock(BfbHandle handle, std::uint16_t block, std::uint16_t* length, std::uint8_t* value,
                 BlockBuffer& data) {
    BfbFrame answer;
    if (!Exchange(handle, Request(kBeginRead).add16(block), kBeginReadAnswerLength, answer)) return 0;
    const std::uint16_t total = static_cast<std::uint16_t>(answer.payload[1] | (answer.payload[2] << 8));
    *length = total;
    *value = answer.payload[3];
    if (total > kBlockBufferSize) return 0;
    for (std::uint16_t offset = 0; offset < total; offset = static_cast<std::uint16_t>(offset + kPartSize)) {
        const std::uint16_t count = std::min<std::uint16_t>(kPartSize, static_cast<std::uint16_t>(total - offset));
        if (!Exchange(handle, Request(kReadPart).add16(block).add16(offset).add16(count), count + kCodeAnswerLength, answer)) {
            return 0;
        }
        std::memcpy(data.data() + offset, answer.payload.data() + 1, count);
    }
    return 1;
}

std::uint32_t BfbGetBlockStatus() { return g_blockStatus; }

void BfbResetBlockStatus() { g_blockStatus = 0; }

}  // namespace bfb
