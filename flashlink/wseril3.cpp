#include "flashlink/wseril3.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <new>

#include "flashlink/wseril2.h"
#include "updlib/error_registry.h"
#include "updlib/trace.h"

namespace flashlink {
namespace {

constexpr const char* kModule = "wseril3";

// Error numbers of the erase.
constexpr std::int32_t kErrEraseAnswer = 200;
constexpr std::int32_t kErrEraseBlockRefused = 201;
constexpr std::int32_t kErrNoMemory = 202;
constexpr std::int32_t kErrEraseAreaRequest = 203;
constexpr std::int32_t kErrEraseAreaImpossible = 204;
constexpr std::int32_t kErrEraseAreaUnexpected = 205;
constexpr std::int32_t kErrNoSignatureAnswer = 50;

// Error codes of the erase and the negotiation.
constexpr std::int32_t kCodeEraseAnswer = 0x0300;
constexpr std::int32_t kCodeEraseBlockRefused = 0x0301;
constexpr std::int32_t kCodeEraseAreaImpossible = 0x0302;
constexpr std::int32_t kCodeNoMemory = 0x0303;
constexpr std::int32_t kCodeEraseAreaUnexpected = 0x0304;
constexpr std::int32_t kCodeEraseAreaNoAnswer = 0x0305;
constexpr std::int32_t kCodeSignatureError = 0x0306;
constexpr std::int32_t kCodeNoSignature = 0x0307;
constexpr std::int32_t kCodeSignatureRejected = 0x0308;
constexpr std::int32_t kCodeSignatureProtocol = 0x0309;
constexpr std::int32_t kCodeNoHashListAnswer = 0x0602;

// Detail bytes of 0x0309: the place of the failure.
constexpr std::uint8_t kAtStartNotTaken = 0xF0;
constexpr std::uint8_t kAtStartNoAnswer = 0xF1;
constexpr std::uint8_t kAtSignatureStart = 0xF3;
constexpr std::uint8_t kAtSignatureTransfer = 0xF4;
constexpr std::uint8_t kAtSignatureNoAnswer = 0xF5;
constexpr std::uint8_t kAfterSignatureOffset = 0x20;
constexpr std::uint8_t kAfterHashListOffset = 0x40;

// Sub-commands of the negotiation.
enum : std::uint8_t {
    kSubStart = 0x01,
    kSubSignature = 0x02,
    kSubStartHashing = 0x07,
};
// Answers of the phone.
enum : std::uint8_t {
    kAnswerNoSignature = 1,
    kAnswerKeyRequested = 2,
    kAnswerPhoneError = 3,
    kAnswerSignatureAccepted = 4,
    kAnswerSignatureRejected = 5,
    kAnswerHashListAccepted = 6,
    kAnswerHashListRejected = 7,
    kAnswerHashListAcceptedToo = 8,
};

constexpr std::uint8_t kNotErased = 0xAA;
constexpr std::uint8_t kEraseAreaAccepted = 0x00;
constexpr std::uint8_t kEraseAreaNotPossible = 0xFF;
constexpr std::size_t kAdditionalInfoPart = 62;

// The erase progress of the new-concept erase: one callback for the library, the slot per port.
std::atomic<EraseProgressFn> g_eraseProgress{nullptr};
std::array<std::atomic<int>, 12> g_eraseSlots{};

std::uint32_t TraceSlot(int port) {
    return static_cast<std::uint32_t>(updlib::FindTraceSlot(port));
}

#define CMD_TRACE(port, ...) \
    updlib::TraceLog(TraceSlot(port), updlib::kTraceMainSteps, updlib::kTraceProcedure, __VA_ARGS__)

void SetNumber(int port, std::int32_t number, int line) {
    updlib::SetErrorNumber(port, number, kModule, line);
}

void Record(int port, std::int32_t code) {
    updlib::AddError(TraceSlot(port), code, "");
}

void RecordPlace(int port, std::uint32_t detail) {
    updlib::AddError(TraceSlot(port), kCodeSignatureProtocol, "X", detail);
}

void PutLe16(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLe32(std::uint8_t* at, std::uint32_t value) {
    PutLe16(at, value);
    PutLe16(at + 2, value >> 16);
}

void PutBe32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

int Send(int port, std::uint8_t id) {
    return SendCmdBlock(port, id, 0, nullptr);
}

template <std::size_t N>
int Send(int port, std::uint8_t id, const std::array<std::uint8_t, N>& params) {
    return SendCmdBlock(port, id, static_cast<std::uint8_t>(N), params.data());
}

int OnEraseProgressBlock(int port, std::uint8_t, std::uint8_t, const std::uint8_t* params) {
    const EraseProgressFn progress = g_eraseProgress.load();
    if (progress != nullptr && port >= 0 && port < static_cast<int>(g_eraseSlots.size())) {
        progress(g_eraseSlots[static_cast<std::size_t>(port)].load(), params[0], params[1]);
    }
    return 1;
}

int TraceSignatureProgress(int slot, std::uint32_t bytes) {
    updlib::TraceLog(static_cast<std::uint32_t>(slot), updlib::kTraceMainSteps,
                     updlib::kTraceProcedure, "Signature progress: %u Bytes To Transfer \n", bytes);
    return 1;
}

int TraceHashListProgress(int slot, std::uint32_t bytes) {
    updlib::TraceLog(static_cast<std::uint32_t>(slot), updlib::kTraceMainSteps,
                     updlib::kTraceProcedure, "HashList progress: %u Bytes To Transfer \n", bytes);
    return 1;
}

int SendStart(int port, const xbi::HashList& list) {
    std::array<std::uint8_t, 6> params{kSubStart, list.parameterByte1};
    PutLe16(&params[2], list.parameterWord2);
    PutLe16(&params[4], list.parameterWord1);
    return Send(port, kMsgSignature, params);
}

// Steps after the phone asked for the signature of a key: the signature, then the hash list.
int SendSignatureAndHashList(int port, std::uint32_t& state, const SignatureSource& file,
                             const xbi::HashList& list, const std::uint8_t key[4]) {
    CMD_TRACE(port, "Signature requested KeyID: %02x-%02x-%02x-%02x \n", key[0], key[1], key[2],
              key[3]);
    CMD_TRACE(port, "Signature selection \n");
    const std::uint32_t keyId = (std::uint32_t{key[0]} << 24) | (std::uint32_t{key[1]} << 16) |
                                (std::uint32_t{key[2]} << 8) | key[3];
    const xbi::SignatureEntry* entry =
        file.findSignature != nullptr ? file.findSignature(keyId) : nullptr;
    if (entry == nullptr) {
        CMD_TRACE(port, "No Signature for requested key found !\n");
        updlib::SetAdditionalErrorInfo(port, "No Signature Available");
        Record(port, kCodeNoSignature);
        Send(port, kMsgSignature, std::array<std::uint8_t, 2>{kSubSignature, 0x00});
        return 0;
    }

    CMD_TRACE(port, "Signature transmission \n");
    std::array<std::uint8_t, 8> announce{kSubSignature, 0x01, key[0], key[1], key[2], key[3]};
    PutLe16(&announce[6], entry->signatureLength);
    if (!Send(port, kMsgSignature, announce)) {
        updlib::SetAdditionalErrorInfo(port, "Signature trasmission start failed ");
        RecordPlace(port, kAtSignatureStart);
        return 0;
    }
    const int slot = static_cast<int>(TraceSlot(port));
    if (!SendImage(port, entry->blocks, entry->blockBytes, kSignatureBlockAnswerMs, slot,
                   TraceSignatureProgress)) {
        updlib::SetAdditionalErrorInfo(port, "Signature transmission aborted");
        RecordPlace(port, kAtSignatureTransfer);
        return 0;
    }
    CmdBlockBuffer answer;
    if (!WaitForCmdBlock(port, &answer, kMsgSignatureAnswer, kSignatureAnswerMs)) {
        updlib::SetAdditionalErrorInfo(port, "No Acknowledge after signature transmission");
        SetNumber(port, kErrNoSignatureAnswer, __LINE__);
        RecordPlace(port, kAtSignatureNoAnswer);
        return 0;
    }
    if (answer.params[0] == kAnswerSignatureRejected) {
        Record(port, kCodeSignatureRejected);
        updlib::SetAdditionalErrorInfo(port, "Signature rejected");
        return 0;
    }
    if (answer.params[0] != kAnswerSignatureAccepted) {
        RecordPlace(port, answer.params[0] + kAfterSignatureOffset);
        updlib::SetAdditionalErrorInfo(port, "Wrong response after signature transmission");
        return 0;
    }
    CMD_TRACE(port, "Signature accepted \n");

    CMD_TRACE(port, "Hashlist transmission \n");
    if (!SendImage(port, list.blocks, list.blockBytes, kSignatureBlockAnswerMs, slot,
                   TraceHashListProgress)) {
        updlib::SetAdditionalErrorInfo(port, "Hash list transmission aborted");
        return 0;
    }
    if (!WaitForCmdBlock(port, &answer, kMsgSignatureAnswer, kHashListAnswerMs)) {
        updlib::SetAdditionalErrorInfo(port, "No Acknowledge after hashlist transmission");
        SetNumber(port, kErrNoSignatureAnswer, __LINE__);
        Record(port, kCodeNoHashListAnswer);
        return 0;
    }
    const std::uint8_t verdict = answer.params[0];
    if (verdict == kAnswerHashListAccepted || verdict == kAnswerHashListAcceptedToo) {
        CMD_TRACE(port, "Hashlist accepted, verification successfully done \n");
        state = kSignatureAccepted;
        CMD_TRACE(port, "Signature negotiated\n");
        return 1;
    }
    if (verdict == kAnswerHashListRejected) {
        Record(port, kCodeSignatureRejected);
        updlib::SetAdditionalErrorInfo(port, "Hashlist rejected");
        return 0;
    }
    RecordPlace(port, verdict + kAfterHashListOffset);
    updlib::SetAdditionalErrorInfo(port, "Wrong response after hashlist transmission ");
    return 0;
}

}  // namespace

// ---- Commands ----------------------------------------------------------------------------------

int SendEndOfTransmission(int port) {
    CMD_TRACE(port, "Sending End-Of-Transmission-Block\n");
    return Send(port, kMsgEndOfTransmission);
}

int RequestFlashSize(int port) {
    CMD_TRACE(port, "Requesting Flash-Size\n");
    return Send(port, kMsgRequestFlashSize);
}

int RequestFlashCode(int port, std::uint8_t request) {
    CMD_TRACE(port, "Requesting Flash-Code\n");
    return Send(port, kMsgRequestFlashCode, std::array<std::uint8_t, 1>{request});
}

int RequestEraseBlocks(int port, std::uint32_t start, std::uint32_t end) {
    CMD_TRACE(port, "Requesting Erase-Blocks from %lX to %lX\n", static_cast<unsigned long>(start),
              static_cast<unsigned long>(end));
    std::array<std::uint8_t, 8> params{};
    PutBe32(&params[0], start);
    PutBe32(&params[4], end);
    return Send(port, kMsgRequestEraseBlocks, params);
}

int EraseFlashBlock(int port, std::uint16_t block) {
    CMD_TRACE(port, "Erasing one Flash-Block %d\n", block);
    const auto low = static_cast<std::uint8_t>(block);
    return Send(port, kMsgEraseFlashBlock, std::array<std::uint8_t, 2>{low, low});
}

int EnableFlashWriteBlock(int port, std::uint16_t block) {
    CMD_TRACE(port, "Enable FlashWrite for Block %ld\n", static_cast<long>(block));
    std::array<std::uint8_t, 2> params{};
    PutLe16(&params[0], block);
    return Send(port, kMsgEnableFlashWriteBlock, params);
}

int EnableFlashWriteAll(int port) {
    CMD_TRACE(port, "Enable FlashWrite for whole Flash\n");
    return Send(port, kMsgEnableFlashWriteAll);
}

int EraseAreaNewConcept(int port) {
    CMD_TRACE(port, "Sending command to erase flash-area with new concept\n");
    return Send(port, kMsgEraseAreaNewConcept);
}

int SendCompressionInfo(int port, std::uint16_t value1, std::uint8_t value2, std::uint8_t value3,
                        std::uint16_t value4, std::uint16_t value5, std::uint16_t value6) {
    CMD_TRACE(port, "Sending Compression-Info \n");
    std::array<std::uint8_t, 10> params{};
    PutLe16(&params[0], value1);
    params[2] = value2;
    params[3] = value3;
    PutLe16(&params[4], value4);
    PutLe16(&params[6], value5);
    PutLe16(&params[8], value6);
    return Send(port, kMsgCompressionInfo, params);
}

int SendAdditionalInfo(int port, const std::uint8_t* data, std::uint16_t length) {
    CMD_TRACE(port, "Sending additional info\n");
    std::array<std::uint8_t, 2> total{};
    PutLe16(&total[0], length);
    if (!Send(port, kMsgAdditionalInfoStart, total)) return 0;
    for (std::size_t offset = 0; offset < length; offset += kAdditionalInfoPart) {
        const std::size_t part = std::min<std::size_t>(kAdditionalInfoPart, length - offset);
        if (!SendCmdBlock(port, kMsgAdditionalInfoPart, static_cast<std::uint8_t>(part),
                          data + offset)) {
            return 0;
        }
    }
    return Send(port, kMsgAdditionalInfoEnd);
}

int SendParameterA0(int port, std::uint16_t value) {
    std::array<std::uint8_t, 2> params{};
    PutLe16(&params[0], value);
    return Send(port, kMsgParameterA0, params);
}

int SendNewSplitInfo(int port, std::uint32_t start, std::uint32_t end, std::uint32_t third) {
    CMD_TRACE(port, "Sending New-Split-Info\n");
    std::array<std::uint8_t, 12> params{};
    PutLe32(&params[0], start);
    PutLe32(&params[4], end);
    PutLe32(&params[8], third);
    return Send(port, kMsgNewSplitInfo, params);
}

int RequestSwVersion(int port) {
    CMD_TRACE(port, "Requesting Mobile-SW-Version\n");
    return Send(port, kMsgRequestSwVersion);
}

int SendSplitInfo(int port, std::uint32_t value) {
    CMD_TRACE(port, "Sending split-info\n");
    std::array<std::uint8_t, 8> params{};
    PutLe32(&params[0], value);
    PutLe32(&params[4], value + 4);
    return Send(port, kMsgSplitInfo, params);
}

int SendLanguageGroupInfo(int port, const std::uint32_t values[4]) {
    CMD_TRACE(port, "Language-group-info\n");
    std::array<std::uint8_t, 16> params{};
    for (std::size_t i = 0; i < 4; ++i) PutLe32(&params[4 * i], values[i]);
    return Send(port, kMsgLanguageGroupInfo, params);
}

int SendBlockTimeout(int port, std::uint32_t value) {
    CMD_TRACE(port, "Sending Block-Time-Out %d\n", static_cast<int>(value));
    return Send(port, kMsgBlockTimeout, std::array<std::uint8_t, 1>{static_cast<std::uint8_t>(value)});
}

int SendByteTimeout(int port, std::uint32_t value) {
    CMD_TRACE(port, "Sending Byte-Time-Out %d\n", static_cast<int>(value));
    return Send(port, kMsgByteTimeout, std::array<std::uint8_t, 1>{static_cast<std::uint8_t>(value)});
}

int SendSwitchOff(int port) {
    CMD_TRACE(port, "Sending Switch-Off-Message\n");
    return Send(port, kMsgSwitchOff);
}

// ---- Erase -------------------------------------------------------------------------------------

int EraseWithNewConcept(int port, int slot, EraseProgressFn progress) {
    if (port >= 0 && port < static_cast<int>(g_eraseSlots.size())) {
        g_eraseSlots[static_cast<std::size_t>(port)].store(slot);
    }
    g_eraseProgress.store(progress);
    RegisterCmdBlockHandler(kMsgEraseProgress, OnEraseProgressBlock);

    EraseAreaNewConcept(port);
    CmdBlockBuffer answer;
    if (!WaitForCmdBlock(port, &answer, kMsgEraseEnded, kNewConceptEraseMs)) {
        SetNumber(port, kErrEraseAnswer, __LINE__);
        Record(port, kCodeEraseAnswer);
        return 0;
    }
    return answer.params[0] != kNotErased ? 1 : 0;
}

int RequestEraseAreas(int port, std::vector<BlockRange>& ranges, std::span<const EraseArea> areas,
                      std::uint16_t* blockCount) {
    ranges.clear();
    std::uint16_t count = 0;
    for (const EraseArea& area : areas) {
        try {
            ranges.emplace_back();
        } catch (const std::bad_alloc&) {
            SetNumber(port, kErrNoMemory, __LINE__);
            Record(port, kCodeNoMemory);
            ranges.clear();
            return 0;
        }
        SetNumber(port, kErrEraseAreaRequest, __LINE__);
        RequestEraseBlocks(port, area.start, area.end);
        CmdBlockBuffer answer;
        if (!WaitForCmdBlock(port, &answer, kMsgEraseBlocksAnswer, kEraseAreasAnswerMs)) {
            ranges.clear();
            Record(port, kCodeEraseAreaNoAnswer);
            return 0;
        }
        if (answer.params[0] == kEraseAreaNotPossible) {
            SetNumber(port, kErrEraseAreaImpossible, __LINE__);
            updlib::SetAdditionalErrorInfo(port, "Wrong Erase-Adress, not possible from %lXh to %lXh",
                                           static_cast<unsigned long>(area.start),
                                           static_cast<unsigned long>(area.end));
            updlib::AddError(TraceSlot(port), kCodeEraseAreaImpossible, "XX", area.start, area.end);
            return 0;
        }
        if (answer.params[0] != kEraseAreaAccepted) {
            SetNumber(port, kErrEraseAreaUnexpected, __LINE__);
            Record(port, kCodeEraseAreaUnexpected);
            return 0;
        }
        ranges.back() = BlockRange{answer.params[1], answer.params[2]};
        // A range whose last block lies before its first holds no block.
        if (answer.params[2] >= answer.params[1]) {
            count = static_cast<std::uint16_t>(count + answer.params[2] - answer.params[1] + 1);
        }
    }
    if (blockCount != nullptr) *blockCount = count;
    return 1;
}

int EraseBlocks(int port, std::span<const BlockRange> ranges, int slot, std::uint16_t total,
                EraseProgressFn progress) {
    std::uint16_t done = 0;
    for (const BlockRange& range : ranges) {
        for (std::uint32_t block = range.first; block <= range.last; ++block) {
            updlib::TraceLog(TraceSlot(port), updlib::kTraceDetails, updlib::kTraceProcedure,
                             "Sending Erase-Block: %d \n", static_cast<int>(block));
            if (!EraseFlashBlock(port, static_cast<std::uint16_t>(block))) {
                SetNumber(port, kErrEraseBlockRefused, __LINE__);
                Record(port, kCodeEraseBlockRefused);
                return 0;
            }
            CmdBlockBuffer answer;
            if (!WaitForCmdBlock(port, &answer, kMsgBlockErased, kBlockEraseMs)) {
                SetNumber(port, kErrEraseAnswer, __LINE__);
                Record(port, kCodeEraseAnswer);
                return 0;
            }
            ++done;
            if (progress != nullptr) progress(slot, total, done);
        }
    }
    return 1;
}

// ---- Signature negotiation ---------------------------------------------------------------------

int NegotiateSignature(int port, std::uint32_t& state, const SignatureSource& file) {
    state = kSignatureNotTaken;
    CMD_TRACE(port, "Sign. Negotiation Init\n");
    const xbi::HashList* list = file.hashList != nullptr ? file.hashList() : nullptr;
    if (list == nullptr) {
        CMD_TRACE(port, "Attention No Hash Data\n");
        state = kSignatureAwaited;
        return 1;
    }
    if (!SendStart(port, *list)) {
        RecordPlace(port, kAtStartNotTaken);
        return 1;  // the phone takes no part; the update goes on without a negotiation
    }
    CMD_TRACE(port, "Signature requested ? \n");
    state = kSignatureAwaited;
    CmdBlockBuffer answer;
    if (!WaitForCmdBlock(port, &answer, kMsgSignatureAnswer, kSignatureStartAnswerMs)) {
        SetNumber(port, kErrNoSignatureAnswer, __LINE__);
        RecordPlace(port, kAtStartNoAnswer);
        return 0;
    }
    switch (answer.params[0]) {
        case kAnswerNoSignature:
            state = kSignatureNotNeeded;
            return 1;
        case kAnswerPhoneError:
            Record(port, kCodeSignatureError);
            state = kSignatureRequested;
            return 0;
        case kAnswerKeyRequested:
            state = kSignatureRequested;
            return SendSignatureAndHashList(port, state, file, *list, &answer.params[2]);
        default:
            RecordPlace(port, answer.params[0]);
            CMD_TRACE(port, "Wrong result after Signature request\n");
            updlib::SetAdditionalErrorInfo(port, "Wrong result after Signature request");
            return 0;
    }
}

int StartHashing(int port, std::uint32_t& state) {
    if (state != kSignatureAccepted) return 1;
    state = kHashingStarted;
    CMD_TRACE(port, "Sending Start-Hashing-Message\n");
    return Send(port, kMsgSignature, std::array<std::uint8_t, 1>{kSubStartHashing});
}

}  // namespace flashlink
