// The BFB port table and frame layer, driven byte by byte through a pty.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "bfb/bfb_frame.h"
#include "bfb/bfb_port.h"
#include "bfb/bfb_texts.h"
#include "scripted_peer.h"

namespace {

using bfbtest::Bytes;
using bfbtest::Frame;
using bfbtest::ScriptedPeer;

std::uint32_t Word(std::uint16_t operation, std::uint16_t description) {
    return (static_cast<std::uint32_t>(operation) << 16) | description;
}

class BfbPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        handle_ = bfb::WComOpen(0, 57600);
        ASSERT_NE(handle_, bfb::kInvalidBfbHandle) << std::hex << bfb::BfbGetLastError();
    }
    void TearDown() override {
        if (handle_ != bfb::kInvalidBfbHandle) bfb::WComClose(handle_);
    }

    ScriptedPeer peer_{1};
    bfb::BfbHandle handle_ = bfb::kInvalidBfbHandle;
};

TEST(BfbTexts, TablesHoldTheirEntriesAndTheQuotedTexts) {
    EXPECT_STREQ(bfb::BfbOperationName(0), "WComPrintLastError");
    EXPECT_STREQ(bfb::BfbOperationName(bfb::kOpMobileOn), "WMobileOn");
    EXPECT_STREQ(bfb::BfbOperationName(68), "WSetBandWithChannel");
    EXPECT_EQ(bfb::BfbOperationName(69), nullptr);
    EXPECT_STREQ(bfb::BfbDescriptionText(bfb::kDescInvalidHandle), "Invalid Handle for COMPort");
    EXPECT_STREQ(bfb::BfbDescriptionText(61), "BFB-Comm.: No response for \"close loop\"");
    EXPECT_STREQ(bfb::BfbDescriptionText(80), "Value not accepted by mobile");
    EXPECT_EQ(bfb::BfbDescriptionText(81), nullptr);
}

TEST_F(BfbPortTest, OpenTwiceIsRefusedAndTheFirstHandleStaysUsable) {
    EXPECT_EQ(bfb::WComOpen(0, 57600), bfb::kInvalidBfbHandle);
    EXPECT_EQ(bfb::BfbGetLastError(), Word(bfb::kOpComOpen, bfb::kDescAlreadyInUse));
    std::uint32_t timeout = 0;
    EXPECT_EQ(bfb::WComGetTimeOut(handle_, &timeout), 1);
    EXPECT_EQ(timeout, bfb::kBfbDefaultTimeoutMs);
    EXPECT_EQ(peer_.master().slaveBaudRate(), 57600u);
}

TEST_F(BfbPortTest, PortNumbersWithoutADeviceNameAreRefusedWithoutTouchingTheTable) {
    for (int port : {9, 10, 11, 100, INT_MAX, -1, INT_MIN}) {
        EXPECT_EQ(bfb::WComOpen(port, 57600), bfb::kInvalidBfbHandle) << port;
        EXPECT_EQ(bfb::BfbGetLastError(), Word(bfb::kOpComOpen, bfb::kDescCannotOpen)) << port;
    }
    EXPECT_EQ(bfb::BfbPortOfHandle(handle_), 0);
    EXPECT_EQ(bfb::WComClose(handle_), 1);
    handle_ = bfb::kInvalidBfbHandle;
}

TEST_F(BfbPortTest, AHandleNotInTheTableFailsEveryOperationWithInvalidHandle) {
    const bfb::BfbHandle stranger = handle_ + 8;
    std::uint32_t value = 0;
    std::uint8_t byte = 0;
    const struct {
        const char* name;
        int result;
        std::uint16_t operation;
    } cases[] = {
        {"WComConfigure", bfb::WComConfigure(stranger, 19200), bfb::kOpComConfigure},
        {"WComParity", bfb::WComParity(stranger, bfb::kBfbEvenParity), bfb::kOpComParity},
        {"WComSetTimeOut", bfb::WComSetTimeOut(stranger, 50), bfb::kOpComSetTimeOut},
        {"WComGetTimeOut", bfb::WComGetTimeOut(stranger, &value), bfb::kOpComGetTimeOut},
        {"WGetComConfiguration", bfb::WGetComConfiguration(stranger, &value), bfb::kOpGetComConfiguration},
        {"WComPut", bfb::WComPut(stranger, 0x55), bfb::kOpComPut},
        {"WComGet", bfb::WComGet(stranger, &byte), bfb::kOpComGet},
        {"WComClose", bfb::WComClose(stranger), bfb::kOpComClose},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.result, 0) << c.name;
    }
    // Each call overwrote the word; the last one is the close.
    EXPECT_EQ(bfb::BfbGetLastError(), Word(bfb::kOpComClose, bfb::kDescInvalidHandle));
    EXPECT_EQ(bfb::WComConfigure(stranger, 19200), 0);
    EXPECT_EQ(bfb::BfbGetLastError(), Word(bfb::kOpComConfigure, bfb::kDescInvalidHandle));
}

TEST_F(BfbPortTest, ConfigureChangesTheLineRate) {
    ASSERT_EQ(bfb::WComConfigure(handle_, 19200), 1);
    std::uint32_t baud = 0;
    ASSERT_EQ(bfb::WGetComConfiguration(handle_, &baud), 1);
    EXPECT_EQ(baud, 19200u);
    EXPECT_EQ(peer_.master().slaveBaudRate(), 19200u);
}

TEST_F(BfbPortTest, SendFrameWritesHeaderCheckAndPayloadInOneWrite) {
    const std::uint8_t voltage[] = {0x02};
    ASSERT_EQ(bfb::BfbSendFrame(handle_, bfb::kFrameService, 1, voltage), 1);
    const std::uint8_t reboot[] = {0x20, 0x00, 0x00, 0xC2, 0x01, 0x00};
    ASSERT_EQ(bfb::BfbSendFrame(handle_, bfb::kFrameService, 6, reboot), 1);
    EXPECT_EQ(peer_.receivedAtLeast(13), (Bytes{0x0E, 0x01, 0x0F, 0x02, 0x0E, 0x06, 0x08, 0x20, 0x00, 0x00, 0xC2, 0x01, 0x00}));
    std::uint8_t big[33] = {};
    EXPECT_EQ(bfb::BfbSendFrame(handle_, bfb::kFrameService, 33, big), 0);
    EXPECT_EQ(bfb::BfbSendFrame(handle_, bfb::kFrameService, 0, big), 0);
}

TEST_F(BfbPortTest, ReadFrameAcceptsGoodFramesAndRefusesBrokenOnes) {
    Bytes longFrame = {0x0E, 0x21, 0x2F};
    longFrame.resize(3 + 33, 0x11);
    Bytes noHeader(103, 0x01);  // 01 01 01 never has a matching check
    const struct {
        const char* name;
        Bytes line;
        int result;
        std::uint8_t type;
        Bytes payload;
        std::uint32_t lastError;  // 0: left alone
    } cases[] = {
        {"ping answer", {0x02, 0x02, 0x00, 0x14, 0xAA}, 1, 0x02, {0x14, 0xAA}, 0},
        {"32-byte payload", Frame(0x0E, Bytes(32, 0x33)), 1, 0x0E, Bytes(32, 0x33), 0},
        {"bad header, then a good frame", {0x55, 0x0E, 0x01, 0x0F, 0x02}, 1, 0x0E, {0x02},
         Word(bfb::kOpComRead, bfb::kDescWrongChecksum)},
        {"length 33", longFrame, 0, 0, {}, Word(bfb::kOpComRead, bfb::kDescLengthOverflow)},
        {"length 0", {0x0E, 0x00, 0x0E}, 0, 0, {}, Word(bfb::kOpComRead, bfb::kDescLengthZero)},
        {"header without payload", {0x0E, 0x01, 0x0F}, 0, 0, {}, Word(bfb::kOpComRead, bfb::kDescIncomplete)},
        {"payload cut short", {0x0E, 0x03, 0x0D, 0x02}, 1, 0x0E, {0x02}, 0},
        {"no header in 100 further bytes", noHeader, 0, 0, {}, Word(bfb::kOpComRead, bfb::kDescNoHeader)},
        {"silence", {}, 0, 0, {}, Word(bfb::kOpComRead, bfb::kDescNoHeader)},
    };
    for (const auto& c : cases) {
        bfb::BfbSetLastError(0, 0);
        peer_.master().flush();
        peer_.send(c.line);
        bfb::BfbFrame frame;
        frame.payload.fill(0xEE);
        EXPECT_EQ(bfb::BfbReadFrame(handle_, frame), c.result) << c.name;
        EXPECT_EQ(bfb::BfbGetLastError(), c.lastError) << c.name;
        EXPECT_EQ(frame.type, c.type) << c.name;
        ASSERT_EQ(frame.length, c.payload.size()) << c.name;
        EXPECT_EQ(Bytes(frame.payload.begin(), frame.payload.begin() + frame.length), c.payload) << c.name;
        for (std::size_t i = frame.length; i < frame.payload.size(); ++i) ASSERT_EQ(frame.payload[i], 0) << c.name;
        bfb::BfbFrame drain;
        while (bfb::BfbReadFrame(handle_, drain)) {
        }
    }
}

TEST_F(BfbPortTest, ReceiveAnswerDropsFramesThatDoNotMatch) {
    peer_.send(Frame(0x02, {0x14, 0xAA}));
    peer_.send(Frame(0x0E, {0x03, 0x42, 0x00}));  // another request's answer
    peer_.send(Frame(0x0E, {0x02, 0x40, 0x0E}));
    bfb::BfbFrame frame;
    ASSERT_EQ(bfb::BfbReceiveAnswer(handle_, 0x0E, 0x02, frame), 1);
    EXPECT_EQ(frame.type, 0x0E);
    EXPECT_EQ(Bytes(frame.payload.begin(), frame.payload.begin() + frame.length), (Bytes{0x02, 0x40, 0x0E}));
    std::uint32_t timeout = 0;
    ASSERT_EQ(bfb::WComGetTimeOut(handle_, &timeout), 1);
    EXPECT_EQ(timeout, bfb::kBfbDefaultTimeoutMs);
}

TEST_F(BfbPortTest, ReceiveAnswerGivesUpAfterThePortsTimeOutAndRestoresIt) {
    peer_.send(Frame(0x02, {0x14, 0xAA}));
    bfb::BfbFrame frame;
    EXPECT_EQ(bfb::BfbReceiveAnswer(handle_, 0x0E, 0x02, frame), 0);
    EXPECT_EQ(frame.length, 0);
    std::uint32_t timeout = 0;
    ASSERT_EQ(bfb::WComGetTimeOut(handle_, &timeout), 1);
    EXPECT_EQ(timeout, bfb::kBfbDefaultTimeoutMs);
    peer_.send(Frame(0x0E, {0x02, 0x40, 0x0E}));
    EXPECT_EQ(bfb::BfbReceiveAnswer(handle_, 0, 0, frame), 1);
}

TEST_F(BfbPortTest, ReceiveFrameRetryReturnsThePayloadLength) {
    ASSERT_EQ(bfb::WComSetTimeOut(handle_, 20), 1);
    peer_.send({0x14, 0x00, 0x14});  // a frame the reader refuses costs one of the six reads
    peer_.send(Frame(0x14, {0x15, 0x40, 0x00, 0xFF, 0xBA}));
    bfb::BfbFrame frame;
    EXPECT_EQ(bfb::BfbReceiveFrameRetry(handle_, frame), 5);
    EXPECT_EQ(frame.type, 0x14);
    EXPECT_EQ(bfb::BfbReceiveFrameRetry(handle_, frame), 0);
}

TEST_F(BfbPortTest, ReadLineEndsOnSilenceOrAfterNMinusOneBytes) {
    char text[20];
    peer_.send(bfbtest::ToBytes("at^kqwe=1\r\r\nOK\r\n"));
    EXPECT_EQ(bfb::BfbReadLine(handle_, 20, text), 1);
    EXPECT_STREQ(text, "at^kqwe=1\r\r\nOK\r\n");

    peer_.send(bfbtest::ToBytes("0123456789012345678901234"));
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(bfb::BfbReadLine(handle_, 20, text), 0);
    EXPECT_STREQ(text, "0123456789012345678");
    EXPECT_EQ(bfb::BfbReadLine(handle_, 20, text), 1);
    EXPECT_STREQ(text, "901234");

    EXPECT_EQ(bfb::BfbReadLine(handle_, 20, text), 0);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(bfb::BfbGetLastError(), Word(bfb::kOpComGet, bfb::kDescCannotRead));
}

TEST_F(BfbPortTest, GetWithTimeOutRestoresThePortsTimeOut) {
    std::uint8_t byte = 0;
    EXPECT_EQ(bfb::WComGetWithTimeOut(handle_, &byte, 20), 0);
    peer_.send({0xA0});
    EXPECT_EQ(bfb::WComGetWithTimeOut(handle_, &byte, 20), 1);
    EXPECT_EQ(byte, 0xA0);
    std::uint32_t timeout = 0;
    ASSERT_EQ(bfb::WComGetTimeOut(handle_, &timeout), 1);
    EXPECT_EQ(timeout, bfb::kBfbDefaultTimeoutMs);
    ASSERT_EQ(bfb::WComPut(handle_, 0x55), 1);
    const std::uint8_t raw[] = {'a', 't', '\r'};
    ASSERT_EQ(bfb::BfbWriteRaw(handle_, 3, raw), 1);
    EXPECT_EQ(peer_.receivedAtLeast(4), (Bytes{0x55, 'a', 't', '\r'}));
}

}  // namespace
