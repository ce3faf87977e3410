// Switching to BFB mode and the boot loader power-up, byte by byte against a scripted phone. The
// fixed waits run on a fake clock; the reads keep their real time-outs.
#include <gtest/gtest.h>

#include "bfb/bfb_mode.h"
#include "bfb/bfb_port.h"
#include "bfb/bfb_texts.h"
#include "platform/os/clock.h"
#include "scripted_peer.h"

namespace {

using bfbtest::Bytes;
using bfbtest::ScriptedPeer;
using bfbtest::ToBytes;

class BfbModeTest : public ::testing::Test {
protected:
    void SetUp() override {
        handle_ = bfb::WComOpen(0, 57600);
        ASSERT_NE(handle_, bfb::kInvalidBfbHandle);
    }
    void TearDown() override { bfb::WComClose(handle_); }
    std::uint32_t baud() {
        std::uint32_t rate = 0;
        bfb::WGetComConfiguration(handle_, &rate);
        return rate;
    }

    os::FakeClock clock_;
    os::ScopedClock useClock_{clock_};
    ScriptedPeer peer_{1};
    bfb::BfbHandle handle_ = bfb::kInvalidBfbHandle;
};

TEST_F(BfbModeTest, TheCommandIsTriedAt19200And115200BeforeThePhoneAnswersAt57600) {
    peer_.play({{ToBytes("at^kqwe=1\r"), ToBytes("at^kqwe=1\r\r\nOK\r\n"), 57600}});
    EXPECT_EQ(bfb::SetBfbMode(handle_), 1);
    EXPECT_EQ(peer_.ratesSeen(), (std::vector<std::uint32_t>{19200, 115200, 57600}));
    EXPECT_EQ(baud(), 57600u);
}

TEST_F(BfbModeTest, TheTwoPartCommandAt19200IsTheLastResort) {
    peer_.play({{ToBytes("at^kbf"), ToBytes("at^kbf"), 19200}, {ToBytes("b=1\r"), ToBytes("b=1\r\r\nOK\r\n"), 19200}});
    ASSERT_EQ(bfb::WComConfigure(handle_, 115200), 1);
    EXPECT_EQ(bfb::SetBfbMode(handle_), 1);
    EXPECT_EQ(peer_.stepsDone(), 2u);
    const Bytes sent = peer_.received();
    const Bytes tail(sent.end() - 10, sent.end());
    EXPECT_EQ(tail, ToBytes("at^kbfb=1\r"));
    EXPECT_EQ(baud(), 115200u);
    EXPECT_GE(clock_.totalSleptMs(), 5u * 500u);  // four tries and two pauses of the fallback
}

TEST_F(BfbModeTest, NoAnswerAnywhereFailsAndRestoresTheRate) {
    EXPECT_EQ(bfb::SetBfbMode(handle_), 0);
    EXPECT_EQ(baud(), 57600u);
    const Bytes sent = peer_.receivedAtLeast(46, 500);
    EXPECT_EQ(sent, ToBytes("at^kqwe=1\rat^kqwe=1\rat^kqwe=1\rat^kqwe=1\rat^kbf"));
}

Bytes BootProgram() {
    Bytes program = {
        0xA5, 0x5A, 0xA5, 0xA5, 0xE6, 0x89, 0x46, 0x14, 0xD1, 0x90, 0xFF, 0x9A, 0xFE, 0x9B, 0xE6, 0x0C,
        0x09, 0x00, 0xE6, 0x8A, 0xBF, 0x04, 0xD1, 0x90, 0xE6, 0x0A, 0xF0, 0x0E, 0xE6, 0x8A, 0xAF, 0x04,
        0xB5, 0x4A, 0xB5, 0xB5, 0xE6, 0x00, 0x40, 0x00, 0xE7, 0xF0, 0x00, 0x00, 0xF7, 0xF0, 0x00, 0x02,
        0xE7, 0xF0, 0x02, 0x00, 0xF7, 0xF0, 0x01, 0x02, 0xE6, 0x03, 0x03, 0x00, 0xE7, 0xF0, 0x00, 0x00,
        0xF7, 0xF0, 0x00, 0xF6, 0xE7, 0xF0, 0x02, 0x00, 0xF7, 0xF0, 0x01, 0xF6, 0xE7, 0xF0, 0x80, 0x00,
        0xF7, 0xF0, 0x02, 0xF6, 0xE7, 0xF0, 0x01, 0x00, 0xF7, 0xF0, 0x03, 0xF6, 0xE6, 0xF0, 0x80, 0x00,
        0x74, 0xF0, 0xE0, 0xEF, 0xB7, 0x48, 0xB7, 0xB7};
    std::uint8_t check = 0;
    for (std::uint8_t b : program) check ^= b;
    program.insert(program.begin(), 104);
    program.push_back(check);
    return program;
}

TEST_F(BfbModeTest, MobileOnWakesTheBootLoaderAndSendsTheProgram) {
    const Bytes program = BootProgram();
    peer_.play({{{0x55, 0x55, 0x55}, {0xA0}, 19200}, {program, {0xA5}, 19200}});
    EXPECT_EQ(bfb::WMobileOn(handle_), 1);
    EXPECT_EQ(peer_.stepsDone(), 2u);
    Bytes expected = {0x55, 0x55, 0x55};
    expected.insert(expected.end(), program.begin(), program.end());
    EXPECT_EQ(peer_.received(), expected);
    EXPECT_EQ(baud(), 57600u);
}

TEST_F(BfbModeTest, MobileOnFailsAfterTwoPassesWithoutWakeUpAnswer) {
    EXPECT_EQ(bfb::WMobileOn(handle_), 0);
    EXPECT_EQ(bfb::BfbGetLastError(), (static_cast<std::uint32_t>(bfb::kOpMobileOn) << 16) | bfb::kDescNoWakeUp);
    EXPECT_EQ(peer_.receivedAtLeast(17, 300), Bytes(16, 0x55));
    EXPECT_EQ(baud(), 57600u);
}

TEST_F(BfbModeTest, MobileOnFailsWhenTheProgramIsNotAccepted) {
    peer_.play({{{0x55}, {0xA0}, 19200}});
    EXPECT_EQ(bfb::WMobileOn(handle_), 0);
    EXPECT_EQ(bfb::BfbGetLastError(), (static_cast<std::uint32_t>(bfb::kOpMobileOn) << 16) | bfb::kDescBootStringRefused);
    EXPECT_EQ(baud(), 57600u);
}

}  // namespace
