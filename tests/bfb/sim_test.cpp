// The BFB link against the simulated phone over a real pty: mode switch, block service, precheck
// and the final test. These exchanges take real time.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "bfb/bfb_block.h"
#include "bfb/bfb_frame.h"
#include "bfb/bfb_mode.h"
#include "bfb/bfb_port.h"
#include "bfb/bfb_service.h"
#include "bfb/bfb_texts.h"
#include "bfb/update_request.h"
#include "bfb/wbfbstat.h"
#include "platform/os/serial.h"
#include "sim_phone.h"
#include "updlib/error_registry.h"
#include "updlib/libif.h"
#include "xbi_fixture.h"

namespace {

using bfbtest::SimulatedPhone;

// A scenario shipped in sim/scenarios.
sim::Scenario Shipped(const std::string& name) {
    const char* source = std::getenv("VQ_SOURCE_DIR");
    const std::string path = std::string(source != nullptr ? source : ".") + "/sim/scenarios/" + name + ".scn";
    sim::ScenarioResult result = sim::loadScenario(path);
    EXPECT_TRUE(result.scenario.has_value()) << path << ": " << result.error;
    return result.scenario.value_or(sim::Scenario{});
}

constexpr std::uint32_t LastError(std::uint16_t operation, std::uint16_t description) {
    return (static_cast<std::uint32_t>(operation) << 16) | description;
}

// A port of the BFB layer open on the simulated phone for the life of the object.
class OpenPort {
public:
    explicit OpenPort(std::uint32_t baud = 57600) : handle_(bfb::WComOpen(0, baud)) {}
    ~OpenPort() {
        if (handle_ != bfb::kInvalidBfbHandle) bfb::WComClose(handle_);
    }
    bfb::BfbHandle handle() const { return handle_; }

private:
    bfb::BfbHandle handle_;
};

std::uint32_t PortBaud(bfb::BfbHandle handle) {
    std::uint32_t baud = 0;
    bfb::WGetComConfiguration(handle, &baud);
    return baud;
}

std::uint32_t PortTimeout(bfb::BfbHandle handle) {
    std::uint32_t ms = 0;
    bfb::WComGetTimeOut(handle, &ms);
    return ms;
}

// ---- AT to BFB --------------------------------------------------------------------------------

TEST(BfbSimMode, SetBfbModeFindsThePhoneAt57600AfterTheOtherRates) {
    SimulatedPhone sim({});
    OpenPort port(57600);
    ASSERT_NE(port.handle(), bfb::kInvalidBfbHandle);
    EXPECT_EQ(bfb::BfbPing(port.handle()), 0);  // still in AT mode
    ASSERT_EQ(bfb::WComConfigure(port.handle(), 38400), 1);
    EXPECT_EQ(bfb::SetBfbMode(port.handle()), 1);
    EXPECT_EQ(PortBaud(port.handle()), 38400u);  // the rate it had before
    EXPECT_EQ(sim.state().mode, "bfb");
    ASSERT_EQ(bfb::WComConfigure(port.handle(), 57600), 1);
    EXPECT_EQ(bfb::BfbPing(port.handle()), 1);
}

TEST(BfbSimMode, SetBfbModeFallsBackToTheTwoPartCommandAt19200) {
    SimulatedPhone sim(Shipped("kbf-fallback"));
    OpenPort port(57600);
    ASSERT_NE(port.handle(), bfb::kInvalidBfbHandle);
    EXPECT_EQ(bfb::SetBfbMode(port.handle()), 1);
    EXPECT_EQ(PortBaud(port.handle()), 57600u);
    EXPECT_EQ(sim.state().mode, "bfb");
    EXPECT_EQ(bfb::BfbPing(port.handle()), 1);
}

TEST(BfbSimMode, APhoneWithoutBfbLeavesTheRateAsItWas) {
    SimulatedPhone sim(Shipped("no-bfb"));
    OpenPort port(57600);
    ASSERT_NE(port.handle(), bfb::kInvalidBfbHandle);
    EXPECT_EQ(bfb::SetBfbMode(port.handle()), 0);
    EXPECT_EQ(PortBaud(port.handle()), 57600u);
    EXPECT_EQ(sim.state().mode, "at");
}

// ---- Frames ---------------------------------------------------------------------------------

// A phone in BFB mode on an open port.
class BfbSimFrames : public ::testing::Test {
protected:
    void start(const std::string& scenario) {
        sim_ = std::make_unique<SimulatedPhone>(Shipped(scenario));
        port_ = std::make_unique<OpenPort>();
        ASSERT_NE(port_->handle(), bfb::kInvalidBfbHandle);
        ASSERT_EQ(bfb::SetBfbMode(port_->handle()), 1);
    }
    void TearDown() override {
        port_.reset();
        sim_.reset();
    }
    bfb::BfbHandle handle() const { return port_->handle(); }

    std::unique_ptr<SimulatedPhone> sim_;
    std::unique_ptr<OpenPort> port_;
};

TEST_F(BfbSimFrames, PingAnswersOfWrongLengthOrValueFailAllThreeTries) {
    for (const char* scenario : {"ping-wrong-length", "ping-bad-value"}) {
        start(scenario);
        EXPECT_EQ(bfb::BfbPing(handle()), 0) << scenario;
        EXPECT_EQ(bfb::BfbPing(handle()), 1) << scenario << ": the fault strikes three times only";
        TearDown();
    }
}

TEST_F(BfbSimFrames, AHeaderWithAWrongCheckBeforeAGoodFrameIsSkipped) {
    start("ping-bad-header");
    const std::uint8_t ping[] = {0x14};
    ASSERT_EQ(bfb::BfbSendFrame(handle(), bfb::kFramePing, 1, ping), 1);
    bfb::BfbFrame frame;
    ASSERT_EQ(bfb::BfbReadFrame(handle(), frame), 1);
    EXPECT_EQ(frame.type, bfb::kFramePing);
    ASSERT_EQ(frame.length, 2);
    EXPECT_EQ(frame.payload[1], 0xAA);
    EXPECT_EQ(bfb::BfbGetLastError(), LastError(bfb::kOpComRead, bfb::kDescWrongChecksum));
}

TEST_F(BfbSimFrames, AFrameOfLength33IsRefusedAndTheNextPingSucceeds) {
    start("ping-length-33");
    const std::uint8_t ping[] = {0x14};
    ASSERT_EQ(bfb::BfbSendFrame(handle(), bfb::kFramePing, 1, ping), 1);
    bfb::BfbFrame frame;
    EXPECT_EQ(bfb::BfbReadFrame(handle(), frame), 0);
    EXPECT_EQ(bfb::BfbGetLastError(), LastError(bfb::kOpComRead, bfb::kDescLengthOverflow));
    EXPECT_EQ(bfb::BfbPing(handle()), 1);
}

// ---- EEPROM block service ---------------------------------------------------------------------

class BfbSimBlock : public ::testing::Test {
protected:
    // A phone already in BFB mode, with faults.
    void start(const std::string& name) {
        sim::Scenario scenario = Shipped(name);
        for (std::size_t i = 0; i < 64; ++i) scenario.eeprom142b[i] = static_cast<std::uint8_t>(i * 3);
        expected_ = scenario.eeprom142b;
        sim_ = std::make_unique<SimulatedPhone>(scenario);
        port_ = std::make_unique<OpenPort>();
        ASSERT_NE(port_->handle(), bfb::kInvalidBfbHandle);
        ASSERT_EQ(bfb::SetBfbMode(port_->handle()), 1);
        bfb::BfbResetBlockStatus();
    }
    void TearDown() override {
        port_.reset();
        sim_.reset();
    }
    int readBlock() {
        std::uint16_t length = 0;
        std::uint8_t value = 0;
        out_.fill(0);
        const int result = bfb::BfbReadBlock(port_->handle(), bfb::kUpdateRequestBlock, &length, &value, out_);
        length_ = length;
        return result;
    }
    std::uint32_t eepromCommands() const { return sim_->state().counters.eepromCommands; }

    std::unique_ptr<SimulatedPhone> sim_;
    std::unique_ptr<OpenPort> port_;
    std::vector<std::uint8_t> expected_;
    bfb::BlockBuffer out_{};
    std::uint16_t length_ = 0;
};

TEST_F(BfbSimBlock, ASixtyFourByteBlockIsReadInFourParts) {
    start("default");
    ASSERT_EQ(readBlock(), 1);
    EXPECT_EQ(length_, 64);
    EXPECT_EQ(std::vector<std::uint8_t>(out_.begin(), out_.end()), expected_);
    EXPECT_EQ(eepromCommands(), 5u);  // begin read, parts at 0, 20, 40, 60
    EXPECT_EQ(bfb::BfbGetBlockStatus(), 0u);
}

TEST_F(BfbSimBlock, StatusTwoOnBeginReadIsNotRetried) {
    start("eeprom-status-2");
    EXPECT_EQ(readBlock(), 0);
    EXPECT_EQ(bfb::BfbGetBlockStatus(), 2u);
    EXPECT_EQ(eepromCommands(), 1u);
}

TEST_F(BfbSimBlock, ABadCheckByteIsRetriedOnce) {
    start("eeprom-bad-check");
    ASSERT_EQ(readBlock(), 1);
    EXPECT_EQ(std::vector<std::uint8_t>(out_.begin(), out_.end()), expected_);
    EXPECT_EQ(eepromCommands(), 6u);
    EXPECT_EQ(bfb::BfbGetBlockStatus(), bfb::kBlockStatusNoAnswer);
}

TEST_F(BfbSimBlock, BeginWriteWaitsWhileThePhoneIsBusyForThreeSeconds) {
    start("eeprom-busy-3s");
    std::vector<std::uint8_t> record(64);
    for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<std::uint8_t>(0xC0 ^ i);
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_EQ(bfb::BfbWriteBlock(port_->handle(), bfb::kUpdateRequestBlock, 64, record[0], record.data()), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(2900));
    EXPECT_EQ(PortTimeout(port_->handle()), bfb::kBfbDefaultTimeoutMs);
    EXPECT_EQ(sim_->state().eeprom142b, record);
}

// ---- Precheck and final test ------------------------------------------------------------------

std::vector<int> g_steps;
std::vector<std::string> g_phoneInfo;

int RecordStep(int, int, int step) {
    g_steps.push_back(step);
    return 1;
}
int AcceptSoftware(int, const xbi::SwInfo* phone, const xbi::SwInfo*) {
    g_phoneInfo = {phone->productType, phone->svn, phone->compileDate};
    return 1;
}

class BfbSimPrecheck : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bfbtest::LoadSoftware({}));
        updlib::InstallBfbCallbacks(RecordStep, RecordStep);
        updlib::InstallSoftwareInfoCallback(AcceptSoftware, updlib::kSoftwareInfoAtPrecheck);
        g_steps.clear();
        g_phoneInfo.clear();
        bfb::BfbResetBlockStatus();
    }
    void TearDown() override { xbi::ReleaseSoftwareFile(); }
};

// Whether something answers at baud on the phone's line within timeoutMs.
bool LineAnswersAt(const std::string& device, std::uint32_t baud, std::uint32_t timeoutMs) {
    os::SerialPort* port = os::OpenSerialDevice(device.c_str());
    if (port == nullptr) return false;
    os::SerialSettings settings;
    os::GetSerialSettings(port, settings);
    settings.baudRate = baud;
    os::SetSerialSettings(port, settings);
    os::SerialTimeouts timeouts;
    timeouts.readTotalConstant = timeoutMs;
    os::SetSerialTimeouts(port, timeouts);
    std::uint8_t buffer[16];
    std::uint32_t got = 0;
    os::ReadSerial(port, buffer, sizeof buffer, &got);
    os::CloseSerialPort(port);
    return got > 0;
}

TEST_F(BfbSimPrecheck, ModeOnePreparesThePhoneForItsUpdateLoader) {
    const sim::Scenario scenario = Shipped("previous-request");
    bfb::UpdateRequest previous{};
    ASSERT_EQ(scenario.eeprom142b.size(), previous.size());
    std::copy(scenario.eeprom142b.begin(), scenario.eeprom142b.end(), previous.begin());
    ASSERT_TRUE(bfb::IsValidUpdateRequest(previous, 64));
    SimulatedPhone sim(scenario);
    std::uint16_t voltage = 0;
    ASSERT_EQ(bfb::BfbPrecheck(0, 0, &voltage, 115200), 1);
    EXPECT_EQ(voltage, 4000);
    EXPECT_EQ(updlib::GetSlotState(0), updlib::SLOT_READY);
    EXPECT_EQ(updlib::GetBootstrapFlag(0), 0u);
    EXPECT_EQ(g_steps, (std::vector<int>{1, 2, 5, 6, 7}));  // the phone starts in AT mode
    EXPECT_EQ(g_phoneInfo, (std::vector<std::string>{"VQ20", "SVN: 22", "15.06.05"}));

    const sim::PhoneState state = sim.state();
    ASSERT_TRUE(state.updateRequest.has_value());
    const std::vector<std::uint8_t>& request = *state.updateRequest;
    ASSERT_EQ(request.size(), 64u);
    const bfb::UpdateRequest expected = bfb::BuildUpdateRequest(xbi::GetXbiHeader(), nullptr);
    EXPECT_EQ(std::vector<std::uint8_t>(request.begin(), request.begin() + 13),
              std::vector<std::uint8_t>(expected.begin(), expected.begin() + 13));
    EXPECT_EQ(std::vector<std::uint8_t>(request.begin() + 13, request.begin() + 22),
              std::vector<std::uint8_t>(scenario.eeprom142b.begin() + 2, scenario.eeprom142b.begin() + 11));
    ASSERT_TRUE(state.rebootBaud.has_value());
    EXPECT_EQ(*state.rebootBaud, 115200u);  // while BFB itself ran at 57600
    EXPECT_EQ(state.mode, "loader");
    EXPECT_TRUE(LineAnswersAt(sim.slavePath(), 115200, 3000));
}

TEST_F(BfbSimPrecheck, APhoneThatAnswersNoPingIsLeftForTheManualStart) {
    SimulatedPhone sim(Shipped("no-bfb"));
    std::uint16_t voltage = 1;
    EXPECT_EQ(bfb::BfbPrecheck(0, 0, &voltage, 115200), 0);
    EXPECT_EQ(voltage, 0);
    EXPECT_EQ(updlib::GetSlotState(0), updlib::SLOT_MANUAL);
    EXPECT_EQ(updlib::GetLastSlotError(0).code, 0x0503);
    EXPECT_EQ(updlib::GetErrorNumber(0), 102);
    EXPECT_EQ(g_steps, (std::vector<int>{1, 2}));
}

TEST_F(BfbSimPrecheck, SwTypeFiveInModeOneNeverOpensThePort) {
    ASSERT_TRUE(bfbtest::LoadSoftware({.swType = 5}));
    SimulatedPhone sim({});
    std::uint16_t voltage = 1;
    EXPECT_EQ(bfb::BfbPrecheck(0, 0, &voltage, 115200), 0);
    EXPECT_EQ(updlib::GetLastSlotError(0).code, 0x0504);
    EXPECT_EQ(sim.state().counters.pings, 0u);
    EXPECT_EQ(sim.state().mode, "at");
    const bfb::BfbHandle handle = bfb::WComOpen(0, 57600);  // the port was left free
    EXPECT_NE(handle, bfb::kInvalidBfbHandle);
    bfb::WComClose(handle);
}

// Mode 2, a file the phone's own loader cannot take, a phone that is off: the boot loader powers
// it up, the precheck reads the voltage and switches it off again for the bootstrap path.
TEST_F(BfbSimPrecheck, ModeTwoSwitchesAPhoneThatIsOffOnThroughItsBootLoader) {
    ASSERT_TRUE(bfbtest::LoadSoftware({.swType = 5}, updlib::kModePerSlot));
    SimulatedPhone sim(Shipped("switched-off"));
    ASSERT_EQ(sim.state().mode, "off");
    std::uint16_t voltage = 0;
    EXPECT_EQ(bfb::BfbPrecheck(0, 0, &voltage, 115200), 1);
    EXPECT_EQ(voltage, 4000);
    EXPECT_EQ(updlib::GetSlotState(0), updlib::SLOT_READY);
    EXPECT_EQ(updlib::GetBootstrapFlag(0), 1u);
    EXPECT_EQ(sim.state().mode, "off");
    ASSERT_GE(g_steps.size(), 4u);
    EXPECT_EQ(std::vector<int>(g_steps.begin(), g_steps.begin() + 4), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(g_steps.back(), 7);
    EXPECT_FALSE(sim.state().updateRequest.has_value());
}

TEST_F(BfbSimPrecheck, TheNewSoftwareAnswersAndIsSwitchedOff) {
    SimulatedPhone sim({});
    EXPECT_EQ(bfb::BfbTestNewSoftware(0, 0), 1);
    EXPECT_EQ(g_steps, (std::vector<int>{1, 2, 3, 4, 5}));  // starts in AT mode: step 3 after SetBfbMode
    EXPECT_EQ(sim.state().mode, "off");
}

}  // namespace

namespace {

std::atomic<int> g_updateEnd{0};  // 1 success, 2 failure

int OnSuccess(int) {
    g_updateEnd = 1;
    return 1;
}
int OnFailure(int) {
    g_updateEnd = 2;
    return 1;
}
int AnyProgress(int, int, int) { return 1; }
int AnyLength(int, std::uint32_t) { return 1; }
int AnyFlashCode(int, std::uint16_t, const char*) { return 1; }
int AnyErase(int, std::uint16_t, std::uint16_t) { return 1; }
int GoOn(int, const xbi::SwInfo*, const xbi::SwInfo*, std::uint16_t) { return 1; }

// The road of an update: precheck, the update slot against the phone's loader, the final test of
// the software the phone restarted with.
TEST_F(BfbSimPrecheck, TheNewSoftwareAnswersAfterAnUpdate) {
    SimulatedPhone sim(Shipped("default"));
    std::uint16_t voltage = 0;
    ASSERT_EQ(bfb::BfbPrecheck(0, 0, &voltage, 115200), 1);
    g_updateEnd = 0;
    updlib::InstallCallbacks(AnyProgress, AnyLength, AnyLength, AnyFlashCode, AnyErase, AnyLength, AnyLength,
                             OnSuccess, OnFailure, GoOn);
    ASSERT_EQ(updlib::StartUpdateSlot(0, 0, 115200), 1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (g_updateEnd == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_EQ(g_updateEnd, 1) << std::hex << updlib::GetLastSlotError(0).code;
    ASSERT_TRUE(sim.state().updated);
    g_steps.clear();
    EXPECT_EQ(bfb::BfbTestNewSoftware(0, 0), 1);
    EXPECT_EQ(g_steps, (std::vector<int>{1, 2, 3, 4, 5}));  // the new software starts in AT mode
    EXPECT_EQ(sim.state().mode, "off");
    EXPECT_EQ(sim.state().svn, 0x23);  // the SVN the update request announced
}

}  // namespace
