// Block framing, flash commands and the signature negotiation over a real pty: COM3 (port 2) is
// the slave, the test plays the phone on the master. The phone's bytes are written before the
// operation runs (they wait in the line), and what the PC sent is read afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "flashlink/wseril1.h"
#include "flashlink/wseril2.h"
#include "flashlink/wseril3.h"
#include "platform/os/pty.h"
#include "updlib/error_registry.h"
#include "updlib/trace.h"
#include "updlib/wmob_err.h"

namespace flashlink {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kPort = 2;  // COM3
constexpr std::uint32_t kSlot = 1;
constexpr std::uint8_t kAck = 0x06;

Bytes Block(std::uint32_t address, const Bytes& data) {
    Bytes b{static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(data.size())};
    b.insert(b.end(), data.begin(), data.end());
    std::uint8_t check = 0;
    for (std::uint8_t v : b) check ^= v;
    b.push_back(check);
    return b;
}

Bytes CmdBlock(std::uint8_t id, Bytes params) {
    params.insert(params.begin(), id);
    return Block(0xFFFFFF, params);
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

std::vector<std::int32_t> NewCodes(std::size_t from) {
    std::vector<std::int32_t> codes;
    for (std::size_t i = from; i < updlib::GetSlotErrorCount(kSlot); ++i) {
        codes.push_back(updlib::GetSlotErrorEntry(kSlot, i).code);
    }
    return codes;
}

class FramingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty_.ok());
        setenv("VQ_COMPORTS", ("COM3=" + pty_.slavePath()).c_str(), 1);
        updlib::BindTraceSlot(kPort, static_cast<int>(kSlot));
        ASSERT_EQ(ComOpen(kPort, 115200, kComNoParity), 1);
        firstError_ = updlib::GetSlotErrorCount(kSlot);
        updlib::SetErrorNumber(kPort, 0, "test", 0);
    }
    void TearDown() override {
        ComClose(kPort);
        unsetenv("VQ_COMPORTS");
    }

    void Phone(const Bytes& bytes) { ASSERT_TRUE(pty_.write(bytes.data(), bytes.size())); }
    Bytes Sent() {
        Bytes got;
        std::uint8_t buffer[4096];
        for (long n; (n = pty_.read(buffer, sizeof buffer, 50)) > 0;) got.insert(got.end(), buffer, buffer + n);
        return got;
    }
    std::vector<std::int32_t> Codes() const { return NewCodes(firstError_); }

    os::PtyMaster pty_;
    std::size_t firstError_ = 0;
};

// ---- SendBlock: answers and what they cost --------------------------------------------------------

struct AnswerCase {
    const char* name;
    Bytes answers;  // what the phone sends, in order
    int result;
    int writes;     // how often the block went out
    std::vector<std::int32_t> codes;
};

const Bytes kData = Block(0x123456, {1, 2, 3});

class SendBlockTest : public FramingTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(SendBlockTest, AnswersDecideRetries) {
    const AnswerCase& c = GetParam();
    RegisterCmdBlockHandler(updlib::kMobileErrorMessage, updlib::DecodeMobileError);
    Phone(c.answers);
    std::uint32_t sent = 0;
    EXPECT_EQ(SendBlock(kPort, kData.data(), 300, &sent), c.result);
    EXPECT_EQ(sent, kData.size());
    EXPECT_EQ(Codes(), c.codes);

    // What the PC wrote: the block a number of times, and 0x06 for each phone block it took.
    const Bytes out = Sent();
    int writes = 0;
    for (std::size_t i = 0; i + kData.size() <= out.size(); ++i) {
        if (Bytes(out.begin() + static_cast<long>(i), out.begin() + static_cast<long>(i + kData.size())) == kData) ++writes;
    }
    EXPECT_EQ(writes, c.writes);
}

void PrintTo(const AnswerCase& c, std::ostream* out) { *out << c.name; }

const AnswerCase kAnswerCases[] = {
    {"Acknowledged", {kAck}, 1, 1, {}},
    {"Nak4TimesThenAck", {0x15, 0x15, 0x15, 0x15, kAck}, 1, 5, {}},
    {"Nak5Times", {0x15, 0x15, 0x15, 0x15, 0x15}, 0, 5, {0x0208}},
    {"UnexpectedA5", {0xA5, kAck}, 1, 2, {0x0204}},
    // A phone error report while the PC waits: acknowledged, decoded, and the wait goes on.
    {"ErrorReportThenAck", Join({CmdBlock(0x18, {0x87}), {kAck}}), 1, 1, {0x040A}},
    // A byte that is no answer: the input is flushed and the block written again.
    {"UnknownByte", {0x42}, 0, 5, {0x0206, 0x0205, 0x0205, 0x0205, 0x0205, 0x0208}},
};

INSTANTIATE_TEST_SUITE_P(Answers, SendBlockTest,
                         ::testing::ValuesIn(kAnswerCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Busy, then silence past the answer wait: neither a rewrite nor a failed attempt.
TEST_F(FramingTest, BusyKeepsWaitingWithoutRewriting) {
    Phone({0x9B});
    std::thread lateAck([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));  // two answer waits of 300 ms
        Phone({kAck});
    });
    std::uint32_t sent = 0;
    EXPECT_EQ(SendBlock(kPort, kData.data(), 300, &sent), 1);
    lateAck.join();
    EXPECT_EQ(Sent(), kData);
    // Each answer wait that ran out recorded its time-out, and nothing else was recorded.
    const std::vector<std::int32_t> codes = Codes();
    EXPECT_FALSE(codes.empty());
    for (std::int32_t code : codes) EXPECT_EQ(code, 0x0205);
}

TEST_F(FramingTest, BlockOf65BytesIsRefusedUnwritten) {
    Bytes block = Block(0, Bytes(64, 0xAB));
    std::uint32_t sent = 0;
    Phone({kAck});
    EXPECT_EQ(SendBlock(kPort, block.data(), 300, &sent), 1) << "64 data bytes are accepted";
    Sent();
    block[3] = 65;
    EXPECT_EQ(SendBlock(kPort, block.data(), 300, &sent), 0);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(updlib::GetErrorNumber(kPort), 7);
    EXPECT_EQ(Codes(), (std::vector<std::int32_t>{0x0203}));
}

TEST_F(FramingTest, ImageWhoseLastBlockRunsPastItsEndIsNotSent) {
    const Bytes image = Join({Block(0, {1, 2}), Block(2, {3, 4})});
    Phone({kAck});
    EXPECT_EQ(SendImage(kPort, image.data(), static_cast<std::uint32_t>(image.size() - 1), 300, 0, nullptr), 0);
    EXPECT_EQ(Sent(), Block(0, {1, 2}));
    EXPECT_EQ(Codes(), (std::vector<std::int32_t>{0x0203}));
}

// ---- Receiving the phone's command blocks ----------------------------------------------------------

TEST_F(FramingTest, WaitSkipsNoiseAndUnaskedBlocks) {
    RegisterCmdBlockHandler(0x5A, [](int, std::uint8_t, std::uint8_t, const std::uint8_t*) { return 1; });
    Phone(Join({{0x11, 0x22}, CmdBlock(0x5A, {1, 2}), CmdBlock(0x33, {1, 0x19, 0x88})}));
    CmdBlockBuffer answer;
    ASSERT_EQ(WaitForCmdBlock(kPort, &answer, 0x33, 300), 1);
    EXPECT_EQ(answer.count, 3);
    EXPECT_EQ(answer.params[1], 0x19);
    EXPECT_EQ(Sent(), (Bytes{kAck, kAck}));
    EXPECT_TRUE(Codes().empty());
}

TEST_F(FramingTest, WaitEndsOnBadCheckAndOnErrorReport) {
    RegisterCmdBlockHandler(updlib::kMobileErrorMessage, updlib::DecodeMobileError);
    Bytes broken = CmdBlock(0x33, {1, 2, 3});
    broken.back() ^= 0x01;
    Phone(broken);
    CmdBlockBuffer answer;
    EXPECT_EQ(WaitForCmdBlock(kPort, &answer, 0x33, 300), 0);
    EXPECT_EQ(Codes(), (std::vector<std::int32_t>{0x0209, 0x0202}));

    firstError_ = updlib::GetSlotErrorCount(kSlot);
    Phone(CmdBlock(0x18, {0x60, 0x10, 7}));
    EXPECT_EQ(WaitForCmdBlock(kPort, &answer, 0x33, 300), 0);
    EXPECT_EQ(Codes(), (std::vector<std::int32_t>{0x0407}));
    EXPECT_EQ(updlib::GetLastSlotError(kSlot).intArgs[0], 7);
    EXPECT_EQ(updlib::GetErrorNumber(kPort), 400);
}

TEST_F(FramingTest, LengthTheBufferCannotHoldIsRefused) {
    Phone({0xFF, 0xFF, 0xFF, 0x00, 0x33});
    CmdBlockBuffer answer;
    EXPECT_EQ(ReceiveCmdBlock(kPort, &answer, kStartAwaitAllFF, 300), kChkError);
}

TEST_F(FramingTest, IdentifierWithoutHandlerIsNotHandled) {
    CmdBlockBuffer block;
    block.id = 0;
    EXPECT_EQ(HandleDefaultCmdBlocks(kPort, block), 0);
    block.id = 0x77;
    EXPECT_EQ(HandleDefaultCmdBlocks(kPort, block), 0);
}

// ---- Commands ------------------------------------------------------------------------------------

TEST_F(FramingTest, CommandParameters) {
    Phone(Bytes(8, kAck));
    EXPECT_EQ(RequestEraseBlocks(kPort, 0x10000, 0x1FFFF), 1);
    EXPECT_EQ(SendBlockTimeout(kPort, 2000), 1);
    EXPECT_EQ(EraseFlashBlock(kPort, 0x0105), 1);
    const Bytes info(130, 0x5C);
    EXPECT_EQ(SendAdditionalInfo(kPort, info.data(), 130), 1);
    EXPECT_EQ(Sent(), Join({CmdBlock(0x53, {0, 1, 0, 0, 0, 1, 0xFF, 0xFF}), CmdBlock(0xD0, {0xD0}),
                            CmdBlock(0x55, {5, 5}), CmdBlock(0x94, {130, 0}),
                            CmdBlock(0x95, Bytes(62, 0x5C)), CmdBlock(0x95, Bytes(62, 0x5C)),
                            CmdBlock(0x95, Bytes(6, 0x5C)), CmdBlock(0x96, {})}));
}

TEST_F(FramingTest, EraseAreasCountBlocksAndRefuseImpossibleRanges) {
    const EraseArea areas[] = {{0x40000, 0x7FFFF}, {0x100000, 0x10FFFF}};
    Phone(Join({{kAck}, CmdBlock(0x54, {0, 4, 7}), {kAck}, CmdBlock(0x54, {0, 16, 16})}));
    std::vector<BlockRange> ranges;
    std::uint16_t count = 0;
    ASSERT_EQ(RequestEraseAreas(kPort, ranges, areas, &count), 1);
    EXPECT_EQ(count, 5);
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[1].first, 16);

    Phone(Join({{kAck}, CmdBlock(0x54, {0xFF, 0, 0})}));
    EXPECT_EQ(RequestEraseAreas(kPort, ranges, areas, &count), 0);
    EXPECT_EQ(updlib::GetErrorNumber(kPort), 204);
    EXPECT_EQ(updlib::GetLastSlotError(kSlot).code, 0x0302);
    EXPECT_EQ(updlib::GetLastSlotError(kSlot).intArgs[0], 0x40000);
}

TEST_F(FramingTest, NewConceptEraseReportsProgressAndNotErased) {
    static std::vector<std::pair<int, int>> progress;
    progress.clear();
    const auto onProgress = [](int slot, std::uint16_t a, std::uint16_t b) {
        progress.emplace_back(slot * 1000 + a, b);
        return 1;
    };
    Phone(Join({{kAck}, CmdBlock(0x5A, {4, 1}), CmdBlock(0x5B, {0x01})}));
    EXPECT_EQ(EraseWithNewConcept(kPort, 3, onProgress), 1);
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{3004, 1}}));
    Phone(Join({{kAck}, CmdBlock(0x5B, {0xAA})}));
    EXPECT_EQ(EraseWithNewConcept(kPort, 3, onProgress), 0);
    EXPECT_TRUE(Codes().empty());
}

// ---- Signature negotiation ------------------------------------------------------------------------

Bytes g_hashBlocks = CmdBlock(0x60, {0x06, 0, 0, 0xAA});
Bytes g_signatureBlocks = CmdBlock(0x60, {0x04, 0, 0, 0xBB});
xbi::HashList g_hashList;
xbi::SignatureEntry g_signature;

const xbi::HashList* TestHashList() {
    g_hashList = xbi::HashList{1, 0, 28, 3, static_cast<std::uint32_t>(g_hashBlocks.size()), g_hashBlocks.data()};
    return &g_hashList;
}
const xbi::SignatureEntry* TestSignature(std::uint32_t keyId) {
    g_signature = xbi::SignatureEntry{0x5A4D0001, 0x0180, static_cast<std::uint32_t>(g_signatureBlocks.size()),
                                      g_signatureBlocks.data()};
    return keyId == 0x5A4D0001 ? &g_signature : nullptr;
}

struct NegotiationCase {
    const char* name;
    bool hashList;
    Bytes phone;
    int result;
    std::uint32_t state;
    std::vector<std::int32_t> codes;
    std::int32_t detail;  // first integer of the newest code
};

void PrintTo(const NegotiationCase& c, std::ostream* out) { *out << c.name; }

const Bytes kAskKey1 = CmdBlock(0x61, {2, 0, 0x5A, 0x4D, 0x00, 0x01});

const NegotiationCase kNegotiationCases[] = {
    {"NoHashList", false, {}, 1, kSignatureAwaited, {}, 0},
    {"StartNotTaken", true, {0x15, 0x15, 0x15, 0x15, 0x15}, 1, kSignatureNotTaken,
     {0x0208, 0x0309}, 0xF0},
    {"NoSignatureNeeded", true, Join({{kAck}, CmdBlock(0x61, {1})}), 1, kSignatureNotNeeded, {}, 0},
    {"PhoneError", true, Join({{kAck}, CmdBlock(0x61, {3})}), 0, kSignatureRequested, {0x0306}, 0},
    {"NoSignatureForKey", true, Join({{kAck}, CmdBlock(0x61, {2, 0, 1, 2, 3, 4}), {kAck}}), 0,
     kSignatureRequested, {0x0307}, 0},
    {"Accepted", true, Join({{kAck}, kAskKey1, {kAck, kAck}, CmdBlock(0x61, {4}), {kAck}, CmdBlock(0x61, {8})}), 1,
     kSignatureAccepted, {}, 0},
    {"SignatureRejected", true, Join({{kAck}, kAskKey1, {kAck, kAck}, CmdBlock(0x61, {5})}), 0,
     kSignatureRequested, {0x0308}, 0},
    {"HashListAnswer9", true, Join({{kAck}, kAskKey1, {kAck, kAck}, CmdBlock(0x61, {4}), {kAck}, CmdBlock(0x61, {9})}),
     0, kSignatureRequested, {0x0309}, 0x49},
};

class NegotiationTest : public FramingTest, public ::testing::WithParamInterface<NegotiationCase> {};

TEST_P(NegotiationTest, Outcome) {
    const NegotiationCase& c = GetParam();
    Phone(c.phone);
    std::uint32_t state = 99;
    const SignatureSource file{c.hashList ? TestHashList : nullptr, TestSignature};
    EXPECT_EQ(NegotiateSignature(kPort, state, file), c.result);
    EXPECT_EQ(state, c.state);
    EXPECT_EQ(Codes(), c.codes);
    if (c.detail != 0) {
        EXPECT_EQ(updlib::GetLastSlotError(kSlot).intArgs[0], c.detail);
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, NegotiationTest, ::testing::ValuesIn(kNegotiationCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FramingTest, SignatureMessagesCarryKeyAndLength) {
    Phone(Join({{kAck}, kAskKey1, {kAck, kAck}, CmdBlock(0x61, {4}), {kAck}, CmdBlock(0x61, {6})}));
    std::uint32_t state = 0;
    ASSERT_EQ(NegotiateSignature(kPort, state, SignatureSource{TestHashList, TestSignature}), 1);
    EXPECT_EQ(Sent(), Join({CmdBlock(0x60, {1, 1, 3, 0, 28, 0}), {kAck},
                            CmdBlock(0x60, {2, 1, 0x5A, 0x4D, 0x00, 0x01, 0x80, 0x01}), g_signatureBlocks,
                            {kAck}, g_hashBlocks, {kAck}}));
    Phone({kAck});
    EXPECT_EQ(StartHashing(kPort, state), 1);
    EXPECT_EQ(state, kHashingStarted);
    EXPECT_EQ(Sent(), CmdBlock(0x60, {7}));

    state = kSignatureNotNeeded;
    EXPECT_EQ(StartHashing(kPort, state), 1);
    EXPECT_TRUE(Sent().empty());
}

}  // namespace
}  // namespace flashlink
