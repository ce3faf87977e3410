#include "flashlink/wseril2.h"

#include <array>
#include <atomic>
#include <cstring>

#include "flashlink/wseril1.h"
#include "platform/os/clock.h"
#include "updlib/error_registry.h"
#include "updlib/trace.h"

namespace flashlink {
namespace {

constexpr const char* kModule = "wseril2";

// Error codes of the block framing.
constexpr std::int32_t kCodeNoCmdBlock = 0x0202;
constexpr std::int32_t kCodeBlockTooLong = 0x0203;
constexpr std::int32_t kCodeUnexpectedAnswer = 0x0204;
constexpr std::int32_t kCodeNoAnswer = 0x0205;
constexpr std::int32_t kCodeUnknownAnswer = 0x0206;
constexpr std::int32_t kCodeUnexpectedStatus = 0x0207;
constexpr std::int32_t kCodeTooManyAttempts = 0x0208;
constexpr std::int32_t kCodeCmdBlockCheck = 0x0209;
constexpr std::int32_t kCodeCmdBlockBroken = 0x020B;
constexpr std::int32_t kCodeNoCmdBlockStart = 0x020D;

constexpr std::int32_t kErrBlockTooLong = 7;

// Waits of the receiver: inside a command block, and for the rest of one whose first 0xFF the
// caller has read.
constexpr std::uint32_t kByteGapMs = 100;
constexpr std::uint32_t kCmdBlockAnswerMs = 1000;  // acknowledgement of a command block
constexpr std::uint32_t kRetryPauseMs = 10;
constexpr int kMaxAttempts = 5;
constexpr std::uint32_t kProgressStep = 4096;

std::array<CmdBlockBuffer, 12> g_receiveBuffers;  // one per port, used by the port's thread only
std::array<std::atomic<CmdBlockHandler>, 256> g_handlers{};

std::uint32_t TraceSlot(int port) {
    return static_cast<std::uint32_t>(updlib::FindTraceSlot(port));
}

#define LINK_TRACE(port, level, ...) \
    updlib::TraceLog(TraceSlot(port), level, updlib::kTraceSerial, __VA_ARGS__)

void Record(int port, std::int32_t code) {
    updlib::AddError(TraceSlot(port), code, "");
}

CmdBlockBuffer* PortBuffer(int port) {
    if (port < 0 || port >= static_cast<int>(g_receiveBuffers.size())) return nullptr;
    return &g_receiveBuffers[static_cast<std::size_t>(port)];
}

std::uint8_t XorOf(const std::uint8_t* bytes, std::uint32_t count) {
    std::uint8_t x = 0;
    for (std::uint32_t i = 0; i < count; ++i) x ^= bytes[i];
    return x;
}

// Locks on to the 0xFF bytes that start a command block; false after a wait that brought nothing.
bool AwaitBlockStart(int port, int startMode, std::uint32_t timeoutMs) {
    int awaited = startMode == kStartAwaitAllFF ? 3 : 2;
    std::uint32_t waitMs = startMode == kStartAwaitAllFF ? timeoutMs : kByteGapMs;
    LINK_TRACE(port, updlib::kTraceDetails, "FF-count = %d\n", awaited);
    LINK_TRACE(port, updlib::kTraceDetails, "Warte %d ms\n", static_cast<int>(waitMs));
    while (awaited > 0) {
        std::uint8_t byte = 0;
        if (!ComReadByteTimeout(port, &byte, waitMs)) {
            LINK_TRACE(port, updlib::kTraceDetails, "Timeout beim Warten auf FF\n");
            Record(port, kCodeNoCmdBlockStart);
            return false;
        }
        waitMs = kByteGapMs;
        if (byte == kCmdBlockStart) {
            --awaited;
            LINK_TRACE(port, updlib::kTraceDetails, "FF empfangen\n");
        } else {
            LINK_TRACE(port, updlib::kTraceDetails,
                       "Different char %02X received , but beeing lazy ...\n", byte);
        }
    }
    return true;
}

// The length of a block: address, n, n data bytes and the check byte.
std::uint32_t BlockLength(const std::uint8_t* block) {
    return block[3] + kBlockFrameBytes;
}

void FlushInput(int port, std::uint32_t timeoutMs) {
    long reads = 0;
    std::uint8_t byte = 0;
    do {
        ++reads;
    } while (ComReadByteTimeout(port, &byte, timeoutMs));
    LINK_TRACE(port, updlib::kTraceDetails, "had to read %ld characters to flush buffer\n", reads);
}

}  // namespace

const char* ReceiveStatusName(int status) {
    switch (status) {
        case kReceiveOk: return "ReceiveOk";
        case kReceiveTimeOut: return "ReceiveTimeOut";
        case kMobileError: return "MobileError";
        case kSerialError: return "SerialError";
        case kCmdBlockReceived: return "CmdBlockReceived";
        case kChkError: return "ChkError";
        case kUnknownChar: return "UnknownChar";
        default: return "unknown";
    }
}

int ReceiveCmdBlock(int port, CmdBlockBuffer* out, int startMode, std::uint32_t timeoutMs) {
    if (!AwaitBlockStart(port, startMode, timeoutMs)) return kReceiveTimeOut;

    std::uint8_t length = 0;
    std::uint8_t id = 0;
    if (!ComReadByteTimeout(port, &length, kByteGapMs)) {
        Record(port, kCodeCmdBlockBroken);
        return kSerialError;
    }
    // L counts the identifier and the parameters; a length the buffer cannot hold is a damaged block.
    if (length == 0 || length > kMaxBlockData + 1) {
        LINK_TRACE(port, updlib::kTraceDetails, "CheckSumm-Err\n");
        Record(port, kCodeCmdBlockCheck);
        return kChkError;
    }
    out->count = static_cast<std::uint8_t>(length - 1);
    LINK_TRACE(port, updlib::kTraceDetails, "Len %d empfangen\n", out->count);
    if (!ComReadByteTimeout(port, &id, kByteGapMs)) {
        Record(port, kCodeCmdBlockBroken);
        return kSerialError;
    }
    out->id = id;
    LINK_TRACE(port, updlib::kTraceDetails, "Message-ID %02X empfangen\n", id);
    LINK_TRACE(port, updlib::kTraceDetails, "Receiving Data : ");
    for (std::uint32_t i = 0; i < out->count; ++i) {
        if (!ComReadByteTimeout(port, &out->params[i], kByteGapMs)) {
            Record(port, kCodeCmdBlockBroken);
            return kSerialError;
        }
        LINK_TRACE(port, updlib::kTraceDetails, "%02X ", out->params[i]);
    }
    LINK_TRACE(port, updlib::kTraceDetails, "\n");

    std::uint8_t check = 0;
    if (!ComReadByteTimeout(port, &check, kByteGapMs)) {
        LINK_TRACE(port, updlib::kTraceDetails, "Serial-Err\n");
        Record(port, kCodeCmdBlockBroken);
        return kSerialError;
    }
    LINK_TRACE(port, updlib::kTraceDetails, "XOR %02X\n", check);
    const auto expected =
        static_cast<std::uint8_t>(kCmdBlockStart ^ length ^ id ^ XorOf(out->params, out->count));
    if (check != expected) {
        LINK_TRACE(port, updlib::kTraceDetails, "CheckSumm-Err\n");
        Record(port, kCodeCmdBlockCheck);
        return kChkError;
    }
    ComWriteByte(port, kAnswerAck);
    return kCmdBlockReceived;
}

int ReceiveValue(int port, std::uint8_t* out, std::uint32_t timeoutMs) {
    std::uint8_t byte = 0;
    if (!ComReadByteTimeout(port, &byte, timeoutMs)) {
        Record(port, kCodeNoAnswer);
        return kReceiveTimeOut;
    }
    *out = byte;
    switch (byte) {
        case kAnswerAck:
        case kAnswerNak:
        case kAnswerA5:
        case kAnswerBusy: return kReceiveOk;
        case kCmdBlockStart: {
            CmdBlockBuffer* buffer = PortBuffer(port);
            if (buffer == nullptr) return kSerialError;
            if (ReceiveCmdBlock(port, buffer, kStartAfterFirstFF, kByteGapMs) != kCmdBlockReceived) {
                return kSerialError;
            }
            HandleDefaultCmdBlocks(port, *buffer);  // the sender goes on waiting whatever it says
            return kCmdBlockReceived;
        }
        default:
            Record(port, kCodeUnknownAnswer);
            return kUnknownChar;
    }
}

int SendBlock(int port, const std::uint8_t* block, std::uint32_t timeoutMs,
              std::uint32_t* sentLength) {
    const std::uint8_t n = block[3];
    if (n > kMaxBlockData) {
        updlib::SetErrorNumber(port, kErrBlockTooLong, kModule, __LINE__);
        Record(port, kCodeBlockTooLong);
        return 0;
    }
    const std::uint32_t length = BlockLength(block);
    bool send = true;
    bool busy = false;
    int failures = 0;
    for (;;) {
        if (send) {
            LINK_TRACE(port, updlib::kTraceMostDetailed, "Sende %d Bytes, Adress:%02X%02X%02X \n",
                       static_cast<int>(length), block[0], block[1], block[2]);
            ComWrite(port, block, length);
        }
        std::uint8_t answer = 0;
        const int status = ReceiveValue(port, &answer, timeoutMs);
        if (sentLength != nullptr) *sentLength = length;
        LINK_TRACE(port, updlib::kTraceMostDetailed, "Empfangen : %s Byte : %02Xh\n",
                   ReceiveStatusName(status), answer);
        if (status == kReceiveOk && answer == kAnswerAck) return 1;

        LINK_TRACE(port, updlib::kTraceDetails, "After sending %d Bytes, Adress:%02X%02X%02X \n",
                   static_cast<int>(length), block[0], block[1], block[2]);
        bool failed = true;
        if (status == kReceiveOk && answer == kAnswerNak) {
            send = true;
            busy = false;
        } else if (status == kReceiveOk && answer == kAnswerBusy) {
            send = false;
            busy = true;
            failed = false;
        } else if (status == kReceiveOk) {
            LINK_TRACE(port, updlib::kTraceDetails, "unknown Byte %02X received\n", answer);
            updlib::AddError(TraceSlot(port), kCodeUnexpectedAnswer, "X", answer);
            send = true;
            busy = false;
        } else if (status == kReceiveTimeOut) {
            if (busy) {
                send = false;
                failed = false;
            } else {
                LINK_TRACE(port, updlib::kTraceDetails, "Receive-Timeout, nothing received\n");
                send = true;
            }
        } else if (status == kCmdBlockReceived) {
            LINK_TRACE(port, updlib::kTraceDetails, "Cmd-Block-Received\n");
            send = false;
            failed = false;
        } else if (status == kUnknownChar) {
            LINK_TRACE(port, updlib::kTraceDetails,
                       "unknown character received, now flushing inbuf\n");
            FlushInput(port, timeoutMs);
            send = true;
            busy = false;
        } else {
            LINK_TRACE(port, updlib::kTraceDetails,
                       "unknown retval %d from ReceiveValue Value received = %02Xh\n", status,
                       answer);
            updlib::AddError(TraceSlot(port), kCodeUnexpectedStatus, "dX", status, answer);
            send = true;
            busy = false;
        }
        if (failed) ++failures;

        os::Sleep(kRetryPauseMs);
        if (failures >= kMaxAttempts) {
            LINK_TRACE(port, updlib::kTraceDetails, "aborting due to communication-error\n");
            Record(port, kCodeTooManyAttempts);
            return 0;
        }
    }
}

int SendCmdBlock(int port, std::uint8_t id, std::uint8_t count, const std::uint8_t* params) {
    if (count > kMaxCmdParameters) {
        updlib::SetErrorNumber(port, kErrBlockTooLong, kModule, __LINE__);
        Record(port, kCodeBlockTooLong);
        return 0;
    }
    std::uint8_t block[kMaxBlockData + kBlockFrameBytes] = {0xFF, 0xFF, 0xFF,
                                                            static_cast<std::uint8_t>(count + 1), id};
    if (count > 0) std::memcpy(block + 5, params, count);
    const std::uint32_t beforeCheck = 5u + count;
    block[beforeCheck] = XorOf(block, beforeCheck);
    LINK_TRACE(port, updlib::kTraceDetails, "Sende Block mit MI: %02X\n", id);
    std::uint32_t sent = 0;
    return SendBlock(port, block, kCmdBlockAnswerMs, &sent);
}

int SendImage(int port, const std::uint8_t* image, std::uint32_t length, std::uint32_t timeoutMs,
              int slot, ImageProgressCallback progress) {
    updlib::TraceLog(TraceSlot(port), updlib::kTraceMainSteps, updlib::kTraceProcedure,
                     "Starting Data-Transmission\n");
    std::uint32_t offset = 0;
    std::uint32_t reported = 0;
    int result = 1;
    while (offset < length) {
        const std::uint32_t left = length - offset;
        // A block that would end behind the image is not read, let alone sent.
        if (left < kBlockFrameBytes || BlockLength(image + offset) > left) {
            updlib::SetErrorNumber(port, kErrBlockTooLong, kModule, __LINE__);
            Record(port, kCodeBlockTooLong);
            result = 0;
            break;
        }
        std::uint32_t sent = 0;
        result = SendBlock(port, image + offset, timeoutMs, &sent);
        if (!result) break;
        offset += sent;
        if (progress != nullptr && offset - reported > kProgressStep) {
            progress(slot, offset);
            reported = offset;
        }
    }
    updlib::TraceLog(TraceSlot(port), updlib::kTraceMainSteps, updlib::kTraceProcedure,
                     "Data-Transmission finished\n");
    if (progress != nullptr) progress(slot, offset);
    return result;
}

int WaitForCmdBlock(int port, CmdBlockBuffer* out, std::uint8_t id, std::uint32_t timeoutMs) {
    CmdBlockBuffer* buffer = PortBuffer(port);
    if (buffer == nullptr) return 0;
    for (;;) {
        if (ReceiveCmdBlock(port, buffer, kStartAwaitAllFF, timeoutMs) != kCmdBlockReceived) {
            Record(port, kCodeNoCmdBlock);
            return 0;
        }
        if (buffer->id == id) {
            *out = *buffer;
            return 1;
        }
        if (!HandleDefaultCmdBlocks(port, *buffer)) return 0;
    }
}

int HandleDefaultCmdBlocks(int port, const CmdBlockBuffer& buffer) {
    const CmdBlockHandler handler = g_handlers[buffer.id].load();
    if (handler == nullptr) return 0;
    return handler(port, buffer.id, buffer.count, buffer.params);
}

int RegisterCmdBlockHandler(std::uint8_t id, CmdBlockHandler handler) {
    g_handlers[id].store(handler);
    return 1;
}

}  // namespace flashlink
