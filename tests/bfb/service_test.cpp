// Ping, service requests and the EEPROM block service against a scripted phone on a pty.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "bfb/bfb_block.h"
#include "bfb/bfb_frame.h"
#include "bfb/bfb_port.h"
#include "bfb/bfb_service.h"
#include "scripted_peer.h"
#include "updlib/error_registry.h"

namespace {

using bfbtest::Bytes;
using bfbtest::Frame;
using bfbtest::ScriptedPeer;
using bfbtest::Step;
using bfbtest::WithCheck;

const Bytes kPingRequest = {0x02, 0x01, 0x03, 0x14};

Bytes Service(const Bytes& payload) { return Frame(bfb::kFrameService, payload); }
Bytes Block(const Bytes& payload) { return Frame(bfb::kFrameBlock, WithCheck(payload)); }

// Counts how often the bytes of needle occur in haystack.
int Occurrences(const Bytes& haystack, const Bytes& needle) {
    int count = 0;
    for (auto at = haystack.begin(); (at = std::search(at, haystack.end(), needle.begin(), needle.end())) != haystack.end();
         ++at) {
        ++count;
    }
    return count;
}

class BfbServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        bfb::BfbResetBlockStatus();
        handle_ = bfb::WComOpen(0, 57600);
        ASSERT_NE(handle_, bfb::kInvalidBfbHandle);
    }
    void TearDown() override { bfb::WComClose(handle_); }

    ScriptedPeer peer_{1};
    bfb::BfbHandle handle_ = bfb::kInvalidBfbHandle;
};

// ---- Ping -------------------------------------------------------------------------------------

TEST(BfbPingAnswers, OnlyALengthTwoAnswerEndingInAACounts) {
    const Bytes good = Frame(0x02, {0x14, 0xAA});
    const Bytes tooLong = Frame(0x02, {0x14, 0xAA, 0x00});
    const Bytes wrongByte = Frame(0x02, {0x14, 0xAB});
    const struct {
        const char* name;
        std::vector<Bytes> answers;
        int result;
        int pingsSent;
    } cases[] = {
        {"first answer good", {good}, 1, 1},
        {"length 3 three times", {tooLong, tooLong, tooLong}, 0, 3},
        {"second byte AB three times", {wrongByte, wrongByte, wrongByte}, 0, 3},
        {"two bad answers, then a good one", {tooLong, wrongByte, good}, 1, 3},
    };
    for (const auto& c : cases) {
        ScriptedPeer peer(1);
        std::vector<Step> steps;
        for (const Bytes& answer : c.answers) steps.push_back({kPingRequest, answer});
        peer.play(steps);
        const bfb::BfbHandle handle = bfb::WComOpen(0, 57600);
        ASSERT_NE(handle, bfb::kInvalidBfbHandle);
        EXPECT_EQ(bfb::BfbPing(handle), c.result) << c.name;
        EXPECT_EQ(Occurrences(peer.received(), kPingRequest), c.pingsSent) << c.name;
        bfb::WComClose(handle);
    }
}

// ---- Service requests -------------------------------------------------------------------------

TEST_F(BfbServiceTest, ValuesComeFromTheMatchingAnswers) {
    peer_.play({
        {Service({0x02}), Service({0x02, 0xA0, 0x0F})},
        {Service({0x03}), Service({0x03, 0x42, 0x01})},
        {Service({0x07}), Service(bfbtest::ToBytes("\x07VQ20 product 16X"))},
        {Service({0x08}), Service(bfbtest::ToBytes("\x08""15.06.05"))},
    });
    EXPECT_EQ(bfb::BfbGetVoltage(handle_), 4000);
    EXPECT_EQ(bfb::BfbGetSvn(handle_), 0x42);
    char productType[bfb::kProductTypeSize];
    ASSERT_EQ(bfb::BfbGetProductType(handle_, productType), 1);
    EXPECT_EQ(std::string(productType, sizeof productType), "VQ20 product 16X");
    char compileDate[bfb::kCompileDateSize];
    ASSERT_EQ(bfb::BfbGetCompileDate(handle_, compileDate), 1);
    EXPECT_EQ(std::string(compileDate, sizeof compileDate), "15.06.05");
}

TEST_F(BfbServiceTest, ShortAnswersYieldNoStaleBytes) {
    peer_.play({
        {Service({0x02}), Service({0x02, 0xA0})},
        {Service({0x07}), Service(bfbtest::ToBytes("\x07VQ20"))},
    });
    EXPECT_EQ(bfb::BfbGetVoltage(handle_), 0);
    char productType[bfb::kProductTypeSize];
    std::memset(productType, 'x', sizeof productType);
    ASSERT_EQ(bfb::BfbGetProductType(handle_, productType), 1);
    EXPECT_EQ(std::string(productType, sizeof productType), std::string("VQ20") + std::string(12, '\0'));
}

TEST_F(BfbServiceTest, NoAnswerGivesZero) {
    EXPECT_EQ(bfb::BfbGetVoltage(handle_), 0);
    EXPECT_EQ(bfb::BfbGetSvn(handle_), 0);
    char compileDate[bfb::kCompileDateSize];
    EXPECT_EQ(bfb::BfbGetCompileDate(handle_, compileDate), 0);
}

TEST_F(BfbServiceTest, RebootCarriesTheBaudRateAndFailureIsRecorded) {
    peer_.play({{Service({0x20, 0x00, 0x00, 0xC2, 0x01, 0x00}), Service({0x20, 0x00})},
                {Service({0x04}), Service({0x04})}});
    EXPECT_EQ(bfb::BfbRequestCustomerReboot(handle_, 115200), 1);
    bfb::BfbSwitchOff(handle_);
    EXPECT_EQ(peer_.stepsDone(), 2u);
    EXPECT_EQ(bfb::BfbRequestCustomerReboot(handle_, 57600), 0);
    EXPECT_EQ(updlib::GetLastSlotError(0).code, 0x0507);
}

TEST_F(BfbServiceTest, PutCountWithAndWithoutDirectory) {
    peer_.play({
        {Service({0x21}), Service({0x21, 0xB0, 0x04, 0x00, 0x00})},
        {Service({0x21}), Service(bfbtest::ToBytes(std::string("\x21\x01\x02\x00\x00", 5) + "VQ20_Main_Build1"))},
    });
    std::uint32_t putCount = 0;
    char directory[bfb::kDirectorySize + 1];
    std::memset(directory, 'x', sizeof directory);
    ASSERT_EQ(bfb::BfbGetPutCount(handle_, &putCount, directory), 1);
    EXPECT_EQ(putCount, 1200u);
    EXPECT_STREQ(directory, "");
    ASSERT_EQ(bfb::BfbGetPutCount(handle_, &putCount, directory), 1);
    EXPECT_EQ(putCount, 0x201u);
    EXPECT_STREQ(directory, "VQ20_Main_Build1");
    EXPECT_EQ(bfb::BfbGetPutCount(handle_, &putCount, directory), 0);
    EXPECT_EQ(updlib::GetLastSlotError(0).code, 0x0508);
}

// ---- EEPROM block service ---------------------------------------------------------------------

Bytes Pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(0x40 + i);
    return bytes;
}

Bytes Part(const Bytes& data, std::size_t offset, std::size_t count) {
    return Bytes(data.begin() + static_cast<long>(offset), data.begin() + static_cast<long>(offset + count));
}

Bytes ReadPartRequest(std::uint8_t offset, std::uint8_t count) { return Block({0x14, 0x2B, 0x14, offset, 0x00, count, 0x00}); }

Bytes ReadPartAnswer(const Bytes& data, std::size_t offset, std::size_t count) {
    Bytes payload = {0x14};
    const Bytes part = Part(data, offset, count);
    payload.insert(payload.end(), part.begin(), part.end());
    return Block(payload);
}

const Bytes kBeginRead = Block({0x15, 0x2B, 0x14});
const Bytes kBeginRead64 = Block({0x15, 0x40, 0x00, 0xFF});

TEST_F(BfbServiceTest, ReadBlockOfSixtyFourBytesReadsFourParts) {
    const Bytes data = Pattern(64);
    peer_.play({
        {kBeginRead, kBeginRead64},
        {ReadPartRequest(0, 20), ReadPartAnswer(data, 0, 20)},
        {ReadPartRequest(20, 20), ReadPartAnswer(data, 20, 20)},
        {ReadPartRequest(40, 20), ReadPartAnswer(data, 40, 20)},
        {ReadPartRequest(60, 4), ReadPartAnswer(data, 60, 4)},
    });
    std::uint16_t length = 0;
    std::uint8_t value = 0;
    bfb::BlockBuffer out{};
    ASSERT_EQ(bfb::BfbReadBlock(handle_, 0x142B, &length, &value, out), 1);
    EXPECT_EQ(length, 64);
    EXPECT_EQ(value, 0xFF);
    EXPECT_EQ(Bytes(out.begin(), out.end()), data);
    EXPECT_EQ(bfb::BfbGetBlockStatus(), 0u);
}

TEST_F(BfbServiceTest, ReadPartWithAWrongCheckByteIsRetriedOnce) {
    const Bytes data = Pattern(20);
    Bytes broken = ReadPartAnswer(data, 0, 20);
    broken.back() ^= 0x01;
    peer_.play({
        {kBeginRead, Block({0x15, 0x14, 0x00, 0x07})},
        {ReadPartRequest(0, 20), broken},
        {ReadPartRequest(0, 20), ReadPartAnswer(data, 0, 20)},
    });
    std::uint16_t length = 0;
    std::uint8_t value = 0;
    bfb::BlockBuffer out{};
    ASSERT_EQ(bfb::BfbReadBlock(handle_, 0x142B, &length, &value, out), 1);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 20), data);
    EXPECT_EQ(bfb::BfbGetBlockStatus(), bfb::kBlockStatusNoAnswer);  // a later success leaves it
}

TEST_F(BfbServiceTest, RefusalsSetTheStatusAndOnlySpaceOrNoAnswerIsRetried) {
    const struct {
        const char* name;
        std::uint8_t answer;
        std::uint32_t status;
        int beginReadsSent;
    } cases[] = {
        {"2", '2', 2, 1}, {"0", '0', 0, 1}, {"3", '3', 9, 1}, {"4", '4', 10, 1}, {"5", '5', 7, 1},
        {"6", '6', 5, 1}, {"7", '7', 6, 1}, {"1", '1', 1, 1}, {"X", 'X', 8, 1}, {"space", ' ', 3, 2},
    };
    for (const auto& c : cases) {
        ScriptedPeer peer(2);
        const Bytes refusal = Block({c.answer});
        peer.play({{kBeginRead, refusal}, {kBeginRead, refusal}});
        const bfb::BfbHandle handle = bfb::WComOpen(1, 57600);
        ASSERT_NE(handle, bfb::kInvalidBfbHandle);
        bfb::BfbResetBlockStatus();
        std::uint16_t length = 0;
        std::uint8_t value = 0;
        bfb::BlockBuffer out{};
        EXPECT_EQ(bfb::BfbReadBlock(handle, 0x142B, &length, &value, out), 0) << c.name;
        EXPECT_EQ(bfb::BfbGetBlockStatus(), c.status) << c.name;
        EXPECT_EQ(Occurrences(peer.receivedAtLeast(100, 0), kBeginRead), c.beginReadsSent) << c.name;
        bfb::WComClose(handle);
    }
}

TEST_F(BfbServiceTest, ABlockLongerThanTheCallersPlaceIsNotRead) {
    peer_.play({{kBeginRead, Block({0x15, 0xC8, 0x00, 0x11})}});
    std::uint16_t length = 0;
    std::uint8_t value = 0;
    bfb::BlockBuffer out;
    out.fill(0x5A);
    EXPECT_EQ(bfb::BfbReadBlock(handle_, 0x142B, &length, &value, out), 0);
    EXPECT_EQ(length, 200);
    EXPECT_EQ(value, 0x11);
    for (std::uint8_t b : out) ASSERT_EQ(b, 0x5A);
    EXPECT_EQ(peer_.received(), kBeginRead);  // no part was asked for
}

Bytes WritePartRequest(const Bytes& data, std::uint8_t offset, std::uint8_t count) {
    Bytes payload = {0x12, 0x2B, 0x14, offset, 0x00};
    const Bytes part = Part(data, offset, count);
    payload.insert(payload.end(), part.begin(), part.end());
    return Block(payload);
}

const Bytes kBeginWrite64 = Block({0x11, 0x2B, 0x14, 0x40, 0x00, 0xFF});
const Bytes kEndWrite = Block({0x13, 0x2B, 0x14});

TEST_F(BfbServiceTest, WriteBlockWaitsWhileThePhoneAnswersBusy) {
    const Bytes data = Pattern(64);
    peer_.play({
        {kBeginWrite64, Block({'P'})},
        {{}, Block({0x11}), 0, 3000},
        {WritePartRequest(data, 0, 20), Block({0x12})},
        {WritePartRequest(data, 20, 20), Block({0x12})},
        {WritePartRequest(data, 40, 20), Block({0x12})},
        {WritePartRequest(data, 60, 4), Block({0x12})},
        {kEndWrite, Block({0x13})},
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(bfb::BfbWriteBlock(handle_, 0x142B, 64, 0xFF, data.data()), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2900));
    EXPECT_EQ(peer_.stepsDone(), 7u);
    std::uint32_t timeout = 0;
    ASSERT_EQ(bfb::WComGetTimeOut(handle_, &timeout), 1);
    EXPECT_EQ(timeout, bfb::kBfbDefaultTimeoutMs);
}

TEST_F(BfbServiceTest, AFailedPartStillEndsTheWriteButFailsTheBlock) {
    const Bytes data = Pattern(30);
    peer_.play({
        {Block({0x11, 0x2B, 0x14, 0x1E, 0x00, 0xFF}), Block({0x11})},
        {WritePartRequest(data, 0, 20), Block({'2'})},
        {kEndWrite, Block({0x13})},
    });
    EXPECT_EQ(bfb::BfbWriteBlock(handle_, 0x142B, 30, 0xFF, data.data()), 0);
    EXPECT_EQ(peer_.stepsDone(), 3u);
    EXPECT_EQ(bfb::BfbGetBlockStatus(), 2u);
    EXPECT_EQ(Occurrences(peer_.received(), WritePartRequest(data, 20, 10)), 0);
}

TEST_F(BfbServiceTest, BeginWriteIsNotRetried) {
    peer_.play({{kBeginWrite64, Block({' '})}});
    const Bytes data = Pattern(64);
    EXPECT_EQ(bfb::BfbWriteBlock(handle_, 0x142B, 64, 0xFF, data.data()), 0);
    EXPECT_EQ(bfb::BfbGetBlockStatus(), 3u);
    EXPECT_EQ(peer_.receivedAtLeast(100, 300), kBeginWrite64);
}

}  // namespace
