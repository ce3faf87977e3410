// The flash command set of the phone's update loader: one command block per operation (the result
// is that of SendCmdBlock, 1 when the phone acknowledged it), the three erase operations and the
// signature negotiation with the hash list transfer.
//
// Multi-byte parameters are little endian except the erase addresses (big endian).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "xbi/signature_file.h"

namespace flashlink {

// Message identifiers, PC to phone.
enum : std::uint8_t {
    kMsgEndOfTransmission = 0x04,
    kMsgRequestFlashSize = 0x21,
    kMsgRequestFlashCode = 0x32,
    kMsgRequestEraseBlocks = 0x53,
    kMsgEraseFlashBlock = 0x55,
    kMsgEnableFlashWriteBlock = 0x57,
    kMsgEnableFlashWriteAll = 0x58,
    kMsgEraseAreaNewConcept = 0x59,
    kMsgSignature = 0x60,
    kMsgCompressionInfo = 0x80,
    kMsgAdditionalInfoStart = 0x94,
    kMsgAdditionalInfoPart = 0x95,
    kMsgAdditionalInfoEnd = 0x96,
    kMsgParameterA0 = 0xA0,
    kMsgNewSplitInfo = 0xB8,
    kMsgRequestSwVersion = 0xC2,
    kMsgSplitInfo = 0xC8,
    kMsgLanguageGroupInfo = 0xCE,
    kMsgBlockTimeout = 0xD0,
    kMsgByteTimeout = 0xD2,
    kMsgSwitchOff = 0xF0,
};

// Message identifiers, phone to PC.
enum : std::uint8_t {
    kMsgStatusAfterEnd = 0x00,
    kMsgBootstrapReady = 0x01,
    kMsgMobileError = 0x18,
    kMsgFlashSize = 0x22,
    kMsgLoaderReady = 0x31,
    kMsgFlashCode = 0x33,
    kMsgEraseBlocksAnswer = 0x54,
    kMsgBlockErased = 0x56,
    kMsgEraseProgress = 0x5A,
    kMsgEraseEnded = 0x5B,
    kMsgSignatureAnswer = 0x61,
    kMsgCompressionAnswer = 0x81,
    kMsgNewSplitAnswer = 0xB9,
    kMsgSwVersion = 0xC3,
    kMsgSplitAnswer1 = 0xC9,
    kMsgSplitAnswer2 = 0xCA,
    kMsgLanguageGroupAnswer = 0xCF,
};

// How long the phone may take for its answer blocks, in ms.
constexpr std::uint32_t kEraseAreasAnswerMs = 1000;
constexpr std::uint32_t kBlockEraseMs = 10000;
constexpr std::uint32_t kNewConceptEraseMs = 500000;  // erasing the whole flash
constexpr std::uint32_t kSignatureStartAnswerMs = 100;
constexpr std::uint32_t kSignatureAnswerMs = 6000;     // the phone checks the RSA signature
constexpr std::uint32_t kHashListAnswerMs = 10000;
constexpr std::uint32_t kSignatureBlockAnswerMs = 5000;

// Erase progress: (slot, total or first progress byte, done or second progress byte).
using EraseProgressFn = int (*)(int slot, std::uint16_t total, std::uint16_t done);

int SendEndOfTransmission(int port);
int RequestFlashSize(int port);
int RequestFlashCode(int port, std::uint8_t request);
int RequestEraseBlocks(int port, std::uint32_t start, std::uint32_t end);
int EraseFlashBlock(int port, std::uint16_t block);
int EnableFlashWriteBlock(int port, std::uint16_t block);
int EnableFlashWriteAll(int port);
int EraseAreaNewConcept(int port);
int SendCompressionInfo(int port, std::uint16_t value1, std::uint8_t value2, std::uint8_t value3,
                        std::uint16_t value4, std::uint16_t value5, std::uint16_t value6);
// Start (0x94 with the length), parts of at most 62 bytes (0x95) and end (0x96); 1 when all three
// were acknowledged.
int SendAdditionalInfo(int port, const std::uint8_t* data, std::uint16_t length);
int SendParameterA0(int port, std::uint16_t value);
int SendNewSplitInfo(int port, std::uint32_t start, std::uint32_t end, std::uint32_t third);
int RequestSwVersion(int port);
// Sends value and value + 4.
int SendSplitInfo(int port, std::uint32_t value);
int SendLanguageGroupInfo(int port, const std::uint32_t values[4]);
// The low 8 bits of the value are sent.
int SendBlockTimeout(int port, std::uint32_t value);
int SendByteTimeout(int port, std::uint32_t value);
int SendSwitchOff(int port);

// ---- Erase -------------------------------------------------------------------------------------

struct EraseArea {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
};

struct BlockRange {
    std::uint16_t first = 0;
    std::uint16_t last = 0;
};

// Asks the phone to erase its flash area on its own (its 0x5A reports reach progress with the
// slot); 1 when it reports that it has erased, 0 when it did not (0xAA) or its report did not come.
int EraseWithNewConcept(int port, int slot, EraseProgressFn progress);
// Asks the phone for the flash blocks of each area, in order; 1 with the ranges and their block
// count when every area was accepted.
int RequestEraseAreas(int port, std::vector<BlockRange>& ranges, std::span<const EraseArea> areas,
                      std::uint16_t* blockCount);
// Erases every block of the ranges, one command each; progress(slot, total, done) after each.
int EraseBlocks(int port, std::span<const BlockRange> ranges, int slot, std::uint16_t total,
                EraseProgressFn progress);

// ---- Signature negotiation ---------------------------------------------------------------------

// Signature states of one update run.
enum : std::uint32_t {
    kSignatureNotTaken = 0,  // the phone did not take the negotiation start
    kSignatureAwaited = 1,   // no hash list in the file, or the answer to the start is awaited
    kSignatureNotNeeded = 2,
    kSignatureRequested = 3,  // the phone asked for a signature (or reported an error)
    kSignatureAccepted = 4,   // signature and hash list accepted
    kHashingStarted = 5,
};

// Where the negotiation finds the software file's hash list and signatures.
struct SignatureSource {
    const xbi::HashList* (*hashList)() = nullptr;                      // nullptr: no hash list
    const xbi::SignatureEntry* (*findSignature)(std::uint32_t keyId) = nullptr;  // nullptr: none
};

// Offers the hash list, sends the signature of the key the phone asks for and the hash list.
// 1 when the update may go on.
int NegotiateSignature(int port, std::uint32_t& state, const SignatureSource& file);
// After an accepted negotiation: tells the phone to start hashing. 1 when nothing was due or the
// message was acknowledged.
int StartHashing(int port, std::uint32_t& state);

}  // namespace flashlink
