// The precheck's state machine and the update request against a scripted phone; the parts that
// need no phone; the put-count table.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "bfb/bfb_block.h"
#include "bfb/bfb_frame.h"
#include "bfb/put_count.h"
#include "bfb/update_request.h"
#include "bfb/wbfbstat.h"
#include "platform/os/clock.h"
#include "scripted_peer.h"
#include "updlib/error_registry.h"
#include "updlib/libif.h"
#include "xbi_fixture.h"

namespace {

using bfbtest::Bytes;
using bfbtest::Frame;
using bfbtest::ScriptedPeer;
using bfbtest::Step;
using bfbtest::WithCheck;

std::vector<int> g_progress;
std::vector<std::string> g_phoneInfo;
int g_softwareInfoAnswer = 1;

int RecordProgress(int, int steps, int step) {
    EXPECT_EQ(steps, 7);
    g_progress.push_back(step);
    return 1;
}
int RecordTestProgress(int, int steps, int step) {
    EXPECT_EQ(steps, 5);
    g_progress.push_back(step);
    return 1;
}
int CompareSoftware(int, const xbi::SwInfo* phone, const xbi::SwInfo* file) {
    g_phoneInfo = {phone->productType, phone->svn, phone->compileDate, file->productType};
    return g_softwareInfoAnswer;
}

class PrecheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bfbtest::LoadSoftware({}));
        updlib::InstallBfbCallbacks(RecordProgress, RecordTestProgress);
        updlib::InstallSoftwareInfoCallback(CompareSoftware, updlib::kSoftwareInfoAtPrecheck);
        g_progress.clear();
        g_phoneInfo.clear();
        g_softwareInfoAnswer = 1;
        bfb::BfbResetBlockStatus();
    }
    void TearDown() override { xbi::ReleaseSoftwareFile(); }
};

Bytes Service(const Bytes& payload) { return Frame(bfb::kFrameService, payload); }
Bytes Block(const Bytes& payload) { return Frame(bfb::kFrameBlock, WithCheck(payload)); }
const Bytes kPing = {0x02, 0x01, 0x03, 0x14};
const Bytes kPingAnswer = Frame(0x02, {0x14, 0xAA});

bfb::UpdateRequest PreviousRecord() {
    bfb::UpdateRequest record;
    record.fill(0xFF);
    record[1] = 0xA7;
    for (std::uint8_t i = 0; i < 9; ++i) record[2 + i] = static_cast<std::uint8_t>(i + 1);
    record[63] = 0;
    for (std::size_t i = 0; i < 63; ++i) record[63] ^= record[i];
    return record;
}

// The steps of reading (answering with record) and writing block 0x142B.
void AddBlockSteps(std::vector<Step>& steps, const bfb::UpdateRequest& stored, const bfb::UpdateRequest& expected) {
    steps.push_back({Block({0x15, 0x2B, 0x14}), Block({0x15, 0x40, 0x00, stored[0]})});
    for (std::uint8_t offset = 0; offset < 64; offset = static_cast<std::uint8_t>(offset + 20)) {
        const std::uint8_t count = std::min<std::uint8_t>(20, static_cast<std::uint8_t>(64 - offset));
        Bytes answer = {0x14};
        answer.insert(answer.end(), stored.begin() + offset, stored.begin() + offset + count);
        steps.push_back({Block({0x14, 0x2B, 0x14, offset, 0x00, count, 0x00}), Block(answer)});
    }
    steps.push_back({Block({0x11, 0x2B, 0x14, 0x40, 0x00, expected[0]}), Block({0x11})});
    for (std::uint8_t offset = 0; offset < 64; offset = static_cast<std::uint8_t>(offset + 20)) {
        const std::uint8_t count = std::min<std::uint8_t>(20, static_cast<std::uint8_t>(64 - offset));
        Bytes request = {0x12, 0x2B, 0x14, offset, 0x00};
        request.insert(request.end(), expected.begin() + offset, expected.begin() + offset + count);
        steps.push_back({Block(request), Block({0x12})});
    }
    steps.push_back({Block({0x13, 0x2B, 0x14}), Block({0x13})});
}

TEST(UpdateRequestRecord, CarriesTheFilesDateTimeVersionAndThePreviousRecord) {
    xbi::XbiHeader header;
    std::strcpy(header.secondDate, "24.12.05");
    std::strcpy(header.secondTime, "13:45:56");
    header.svn = 0x0123;
    header.versionWord = 0x00ABCDEF;
    const bfb::UpdateRequest previous = PreviousRecord();
    const bfb::UpdateRequest record = bfb::BuildUpdateRequest(header, &previous);
    const Bytes head(record.begin(), record.begin() + 22);
    EXPECT_EQ(head, (Bytes{0xFF, 0xA7, 13, 45, 56, 5, 12, 24, 0x23, 0xCD, 0xEF, 2, 30, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    for (std::size_t i = 22; i < 63; ++i) ASSERT_EQ(record[i], 0xFF) << i;
    EXPECT_TRUE(bfb::IsValidUpdateRequest(record, 64));
    EXPECT_FALSE(bfb::IsValidUpdateRequest(record, 63));

    const bfb::UpdateRequest fresh = bfb::BuildUpdateRequest(header, nullptr);
    for (std::size_t i = 13; i < 22; ++i) EXPECT_EQ(fresh[i], 0xFF) << i;
    EXPECT_TRUE(bfb::IsValidUpdateRequest(fresh, 64));

    bfb::UpdateRequest broken = record;
    broken[30] ^= 1;
    EXPECT_FALSE(bfb::IsValidUpdateRequest(broken, 64));
    broken = bfb::BuildUpdateRequest(header, nullptr);
    broken[1] = 0xA6;
    broken[63] ^= 0xA7 ^ 0xA6;
    EXPECT_FALSE(bfb::IsValidUpdateRequest(broken, 64));
}

TEST(UpdateRequestRecord, FieldsThatAreNotTwoDigitsBecomeZero) {
    xbi::XbiHeader header;  // empty date and time
    std::strcpy(header.secondTime, "1x:4");
    const bfb::UpdateRequest record = bfb::BuildUpdateRequest(header, nullptr);
    EXPECT_EQ(Bytes(record.begin() + 2, record.begin() + 8), (Bytes{0, 0, 0, 0, 0, 0}));
}

TEST(PutCountTable, ADirectoryPrefixAndAPutCountAboveTheThresholdAllowTheOwnLoader) {
    const struct {
        const char* directory;
        std::uint32_t putCount;
        bool allowed;
    } cases[] = {
        {"vq20_main", 1101, true},  {"vq20_main", 1100, false}, {"VQ20_Main", 1200, true},
        {"vq20main7", 2101, true},  {"vq20main7", 2100, false},  {"vq2x_lang", 5000, true},
        {"zelmora_x", 8590, true},  {"zelmora_x", 8589, false},  {"vq21_main", 99999, false},
        {"", 99999, false},         {"vq2", 99999, false},       {"vqbase01", 4001, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bfb::PutCountAllowsUpdateLoader(c.directory, c.putCount), c.allowed) << c.directory << " " << c.putCount;
    }
    for (const bfb::PutCountRow& row : bfb::kPutCountTable) {
        EXPECT_GE(row.directoryPrefix.size(), 4u);
        EXPECT_LE(row.directoryPrefix.size(), 9u);
        EXPECT_GE(row.threshold, 1u);
        EXPECT_LE(row.threshold, 8589u);
    }
}

TEST_F(PrecheckTest, WithoutProgressCallbackNothingIsTried) {
    updlib::InstallBfbCallbacks(nullptr, nullptr);
    ScriptedPeer peer(1);
    std::uint16_t voltage = 1234;
    EXPECT_EQ(bfb::BfbPrecheck(0, 0, &voltage, 115200), 0);
    EXPECT_EQ(voltage, 0);
    EXPECT_EQ(updlib::GetLastSlotError(0).code, 0x0500);
    EXPECT_EQ(updlib::GetErrorNumber(0), 100);
    EXPECT_EQ(bfb::BfbTestNewSoftware(0, 0), 0);
    EXPECT_TRUE(peer.receivedAtLeast(1, 100).empty());
}

TEST_F(PrecheckTest, SwTypeFiveInModeOneIsRefusedBeforeThePortOpens) {
    ASSERT_TRUE(bfbtest::LoadSoftware({.swType = 5}));
    ScriptedPeer peer(1);
    std::uint16_t voltage = 1234;
    EXPECT_EQ(bfb::BfbPrecheck(0, 0, &voltage, 115200), 0);
    EXPECT_EQ(voltage, 0);
    EXPECT_EQ(updlib::GetLastSlotError(0).code, 0x0504);
    EXPECT_EQ(updlib::GetErrorNumber(0), 105);
    EXPECT_EQ(updlib::GetSlotState(0), updlib::SLOT_PRECHECK);
    EXPECT_TRUE(g_progress.empty());
    EXPECT_TRUE(peer.receivedAtLeast(1, 100).empty());
}

TEST_F(PrecheckTest, APortWithoutDeviceNameFailsTheOpen) {
    std::uint16_t voltage = 0;
    EXPECT_EQ(bfb::BfbPrecheck(0, 9, &voltage, 115200), 0);
    EXPECT_EQ(updlib::GetLastSlotError(0).code, 0x0501);
    EXPECT_EQ(updlib::GetErrorNumber(9), 101);
    EXPECT_EQ(updlib::GetSlotState(0), updlib::SLOT_PRECHECK);
}

// The whole mode-1 road with a phone that answers the first ping.
TEST_F(PrecheckTest, ModeOneWritesTheUpdateRequestAndAsksForTheReboot) {
    os::FakeClock clock;
    os::ScopedClock useClock(clock);
    const bfb::UpdateRequest previous = PreviousRecord();
    const bfb::UpdateRequest expected = bfb::BuildUpdateRequest(xbi::GetXbiHeader(), &previous);
    EXPECT_EQ(Bytes(expected.begin() + 13, expected.begin() + 22), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    std::vector<Step> steps = {
        {kPing, kPingAnswer},
        {Service({0x02}), Service({0x02, 0xA0, 0x0F})},
        {Service({0x03}), Service({0x03, 0x22, 0x00})},
        {Service({0x07}), Service(bfbtest::ToBytes("\x07VQ20"))},
        {Service({0x08}), Service(bfbtest::ToBytes("\x08""15.06.05"))},
    };
    AddBlockSteps(steps, previous, expected);
    steps.push_back({Service({0x20, 0x00, 0x00, 0xC2, 0x01, 0x00}), Service({0x20})});
    ScriptedPeer peer(1);
    peer.play(steps);

    std::uint16_t voltage = 0;
    EXPECT_EQ(bfb::BfbPrecheck(0, 0, &voltage, 115200), 1);
    EXPECT_EQ(peer.stepsDone(), steps.size());
    EXPECT_EQ(voltage, 4000);
    EXPECT_EQ(g_progress, (std::vector<int>{1, 5, 6, 7}));
    EXPECT_EQ(g_phoneInfo, (std::vector<std::string>{"VQ20", "SVN: 22", "15.06.05", "VQ20"}));
    EXPECT_EQ(updlib::GetSlotState(0), updlib::SLOT_READY);
    EXPECT_EQ(updlib::GetBootstrapFlag(0), 0u);
    EXPECT_GE(clock.totalSleptMs(), 1500u);
    EXPECT_EQ(peer.master().slaveBaudRate(), 57600u);
    // The port is free again for the update slot.
    const bfb::BfbHandle again = bfb::WComOpen(0, 57600);
    EXPECT_NE(again, bfb::kInvalidBfbHandle);
    bfb::WComClose(again);
}

TEST_F(PrecheckTest, ARefusalOfTheSoftwareCheckEndsWithoutRecordingAnything) {
    os::FakeClock clock;
    os::ScopedClock useClock(clock);
    g_softwareInfoAnswer = 0;
    ScriptedPeer peer(1);
    peer.play({
        {kPing, kPingAnswer},
        {Service({0x02}), Service({0x02, 0xA0, 0x0F})},
        {Service({0x03}), Service({0x03, 0x22, 0x00})},
        {Service({0x07}), Service(bfbtest::ToBytes("\x07VQ20"))},
        {Service({0x08}), Service(bfbtest::ToBytes("\x08""15.06.05"))},
    });
    const std::uint8_t errorsBefore = updlib::GetSlotErrorCount(0);
    std::uint16_t voltage = 0;
    EXPECT_EQ(bfb::BfbPrecheck(0, 0, &voltage, 115200), 0);
    EXPECT_EQ(voltage, 4000);
    EXPECT_EQ(updlib::GetSlotErrorCount(0), errorsBefore);
    EXPECT_EQ(updlib::GetSlotState(0), updlib::SLOT_PRECHECK);
    EXPECT_EQ(g_progress, (std::vector<int>{1, 5, 6}));
}

}  // namespace
