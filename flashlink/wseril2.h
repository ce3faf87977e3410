// Block framing of the flash link: the blocks the PC sends to the phone's update loader (data
// blocks for a 3-byte flash address, command blocks with the address FF FF FF and a message
// identifier), the single answer byte the phone gives to each, the phone's own command blocks and
// the handlers for the ones that arrive unasked.
//
// Block: address (3 bytes, most significant first), n (0..64), n data bytes, XOR of the n + 4
// bytes before it. A command block carries the message identifier as its first data byte.
//
// Operations return 1 for success and 0 for failure unless said otherwise; failures are recorded
// in the error registry on the slot bound to the port. A port is used by one thread at a time.
#pragma once

#include <cstdint>

namespace flashlink {

constexpr std::uint32_t kMaxBlockData = 64;
constexpr std::uint32_t kBlockFrameBytes = 5;  // address, n, check byte
constexpr std::uint32_t kMaxCmdParameters = kMaxBlockData - 1;

// Answer bytes of the phone to a block.
enum : std::uint8_t {
    kAnswerAck = 0x06,
    kAnswerNak = 0x15,    // send again
    kAnswerA5 = 0xA5,     // taken as an answer byte, but no acknowledgement
    kAnswerBusy = 0x9B,   // keep waiting, do not send again
    kCmdBlockStart = 0xFF,
};

// Receive statuses.
enum : int {
    kReceiveOk = 0,
    kReceiveTimeOut = 1,
    kMobileError = 2,
    kSerialError = 3,
    kCmdBlockReceived = 4,
    kChkError = 5,
    kUnknownChar = 6,
};

// The name the trace prints for a receive status ("unknown" for any other value).
const char* ReceiveStatusName(int status);

// ReceiveCmdBlock start modes.
enum : int {
    kStartAfterFirstFF = 0,  // the caller has read the first 0xFF already
    kStartAwaitAllFF = 1,
};

// A command block received from the phone: 66 bytes.
struct CmdBlockBuffer {
    std::uint8_t id = 0;
    std::uint8_t count = 0;  // parameter bytes
    std::uint8_t params[kMaxBlockData] = {};
};
static_assert(sizeof(CmdBlockBuffer) == 66);

// Handles a command block that arrived unasked; non-zero lets the waiting operation go on.
using CmdBlockHandler = int (*)(int port, std::uint8_t id, std::uint8_t count,
                                const std::uint8_t* params);
// Progress of an image transfer: bytes sent so far.
using ImageProgressCallback = int (*)(int slot, std::uint32_t bytesSent);

// Writes the block and waits up to timeoutMs for its answer; 1 when the phone acknowledged it.
// A block is written at most five times; busy answers and the phone's own command blocks keep the
// sender waiting without writing again. sentLength gets n + 5.
int SendBlock(int port, const std::uint8_t* block, std::uint32_t timeoutMs,
              std::uint32_t* sentLength);
// Builds the command block of message id with count parameters and sends it (1000 ms answer wait).
int SendCmdBlock(int port, std::uint8_t id, std::uint8_t count, const std::uint8_t* params);
// Sends the complete blocks of an image one after the other; progress after each 4096 bytes and at
// the end. 1 when all were acknowledged.
int SendImage(int port, const std::uint8_t* image, std::uint32_t length, std::uint32_t timeoutMs,
              int slot, ImageProgressCallback progress);

// Waits up to timeoutMs for one answer byte; a command block from the phone is received, handed
// to its handler and reported as kCmdBlockReceived.
int ReceiveValue(int port, std::uint8_t* out, std::uint32_t timeoutMs);
// Receives one command block of the phone and acknowledges it: kCmdBlockReceived, or
// kReceiveTimeOut, kSerialError, kChkError.
int ReceiveCmdBlock(int port, CmdBlockBuffer* out, int startMode, std::uint32_t timeoutMs);
// Waits for a command block with message id, handing other blocks to their handlers; 1 when it
// arrived (copied to out), 0 when none came within timeoutMs or a handler ended the wait.
int WaitForCmdBlock(int port, CmdBlockBuffer* out, std::uint8_t id, std::uint32_t timeoutMs);
// The result of the handler registered for the block's identifier; 0 when there is none.
int HandleDefaultCmdBlocks(int port, const CmdBlockBuffer& buffer);
// Registers (or replaces) the handler of a message identifier for the life of the process.
int RegisterCmdBlockHandler(std::uint8_t id, CmdBlockHandler handler);

}  // namespace flashlink
