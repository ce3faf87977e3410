// The serial port layer over real pseudo-terminals: COM3 (port 2) is mapped to the slave of a pty
// whose master plays the far end of the cable.
#include "flashlink/wseril1.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/os/pty.h"
#include "updlib/error_registry.h"
#include "updlib/trace.h"

namespace flashlink {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kPort = 2;  // COM3

std::int32_t NewestCode() {
    return updlib::GetLastSlotError(updlib::FindTraceSlot(kPort)).code;
}
std::uint8_t ErrorCount() {
    return updlib::GetSlotErrorCount(updlib::FindTraceSlot(kPort));
}
void ClearErrorNumber() {
    updlib::SetErrorNumber(kPort, 0, "test", 0);
}

std::vector<std::uint8_t> ReadMaster(os::PtyMaster& master, std::size_t count) {
    std::vector<std::uint8_t> got;
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (got.size() < count && Clock::now() < deadline) {
        std::uint8_t buffer[64];
        const long n = master.read(buffer, std::min(sizeof buffer, count - got.size()), 100);
        if (n < 0) break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

// COM3 on a fresh pty, and a scratch directory as current and config directory so that
// "addifast.ini" is only what a test writes.
class ComPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        master_.emplace();
        ASSERT_TRUE(master_->ok());
        setenv("VQ_COMPORTS", ("COM3=" + master_->slavePath()).c_str(), 1);
        previousDir_ = fs::current_path();
        dir_ = fs::temp_directory_path() /
               ("vq_wseril1_" +
                std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        fs::current_path(dir_);
        setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    }
    void TearDown() override {
        os::SerialSettings unused;
        if (ComGetLineSettings(kPort, unused)) ComClose(kPort);
        fs::current_path(previousDir_);
        fs::remove_all(dir_);
    }
    void writeProfile(const std::string& text) { std::ofstream(dir_ / "addifast.ini") << text; }

    std::optional<os::PtyMaster> master_;
    fs::path previousDir_;
    fs::path dir_;
};

TEST_F(ComPortTest, BytesTravelBothWays) {
    const std::uint8_t before = ErrorCount();
    ASSERT_EQ(ComOpen(kPort, 115200, kComNoParity), 1);
    EXPECT_TRUE(master_->slaveOpen());
    EXPECT_EQ(master_->slaveBaudRate(), 115200u);

    const std::uint8_t frame[] = {0xFF, 0xFF, 0xFF, 0x02, 0x41, 0x42, 0x03};
    ASSERT_EQ(ComWrite(kPort, frame, sizeof frame), 1);
    ASSERT_EQ(ComWriteByte(kPort, 0x55), 1);
    EXPECT_EQ(ReadMaster(*master_, 8),
              (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0x02, 0x41, 0x42, 0x03, 0x55}));

    const std::uint8_t answer[] = {0x01, 0xAA};
    ASSERT_TRUE(master_->write(answer, sizeof answer));
    std::uint8_t byte = 0;
    EXPECT_EQ(ComReadByteTimeout(kPort, &byte, 1000), 1);
    EXPECT_EQ(byte, 0x01);
    EXPECT_EQ(ComReadByte(kPort, &byte), 1);
    EXPECT_EQ(byte, 0xAA);

    EXPECT_EQ(ComClose(kPort), 1);
    EXPECT_FALSE(master_->slaveOpen());
    EXPECT_EQ(ErrorCount(), before);
}

TEST_F(ComPortTest, SecondOpenIsRefusedAndTheFirstStaysUsable) {
    ASSERT_EQ(ComOpen(kPort, 57600, kComNoParity), 1);
    ClearErrorNumber();
    EXPECT_EQ(ComOpen(kPort, 115200, kComNoParity), 0);
    EXPECT_EQ(updlib::GetErrorNumber(kPort), 2);
    EXPECT_EQ(NewestCode(), 0x0100);
    EXPECT_STREQ(updlib::GetPortErrorRecord(kPort).sourceModule, "wseril1");

    EXPECT_EQ(master_->slaveBaudRate(), 57600u);  // the refused open changed nothing
    ASSERT_EQ(ComWriteByte(kPort, 0x7E), 1);
    EXPECT_EQ(ReadMaster(*master_, 1), std::vector<std::uint8_t>{0x7E});
    EXPECT_EQ(ComClose(kPort), 1);
}

TEST_F(ComPortTest, OperationsOnAClosedPortRecordNotOpen) {
    std::uint8_t byte = 0;
    const std::uint8_t data[] = {1, 2};
    struct Case {
        const char* name;
        int (*call)(std::uint8_t*, const std::uint8_t*);
    };
    const Case cases[] = {
        {"ComClose", [](std::uint8_t*, const std::uint8_t*) { return ComClose(kPort); }},
        {"ComSetTimeout",
         [](std::uint8_t*, const std::uint8_t*) { return ComSetTimeout(kPort, 100); }},
        {"ComWriteByte",
         [](std::uint8_t*, const std::uint8_t*) { return ComWriteByte(kPort, 0x41); }},
        {"ComWrite", [](std::uint8_t*, const std::uint8_t* d) { return ComWrite(kPort, d, 2); }},
        {"ComReadByte", [](std::uint8_t* b, const std::uint8_t*) { return ComReadByte(kPort, b); }},
        {"ComReadByteTimeout",
         [](std::uint8_t* b, const std::uint8_t*) { return ComReadByteTimeout(kPort, b, 100); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearErrorNumber();
        const std::uint8_t before = ErrorCount();
        EXPECT_EQ(c.call(&byte, data), 0);
        EXPECT_EQ(updlib::GetErrorNumber(kPort), 1);
        EXPECT_EQ(NewestCode(), 0x0103);
        EXPECT_EQ(ErrorCount(), before + 1);
    }
    EXPECT_FALSE(master_->slaveOpen());
}

TEST_F(ComPortTest, DeviceThatCannotBeOpened) {
    for (const char* map : {"COM3=/nonexistent/tty", "COM1=/dev/null"}) {
        SCOPED_TRACE(map);
        setenv("VQ_COMPORTS", map, 1);
        ClearErrorNumber();
        EXPECT_EQ(ComOpen(kPort, 115200, kComNoParity), 0);
        EXPECT_EQ(updlib::GetErrorNumber(kPort), 3);
        EXPECT_EQ(NewestCode(), 0x0109);
        EXPECT_EQ(updlib::GetPortErrorRecord(kPort).infoPresent, 1u);  // why, for the log
        EXPECT_EQ(ComClose(kPort), 0);                                 // the record stayed closed
        EXPECT_EQ(updlib::GetErrorNumber(kPort), 1);
    }
}

TEST_F(ComPortTest, RejectedLineSettingsCloseTheDevice) {
    ClearErrorNumber();
    EXPECT_EQ(ComOpen(kPort, 0, kComNoParity), 0);  // a rate of 0 is refused by the device layer
    EXPECT_EQ(updlib::GetErrorNumber(kPort), 4);
    EXPECT_EQ(NewestCode(), 0x0102);
    EXPECT_FALSE(master_->slaveOpen());
    EXPECT_EQ(ComOpen(kPort, 115200, kComNoParity), 1);  // and the record is closed again
    EXPECT_EQ(ComClose(kPort), 1);
}

TEST_F(ComPortTest, PortHeldByAnotherOpenerIsRefused) {
    os::SerialPort* other = os::OpenSerialDevice(master_->slavePath().c_str());
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(ComOpen(kPort, 115200, kComNoParity), 0);
    EXPECT_EQ(updlib::GetErrorNumber(kPort), 3);
    EXPECT_EQ(NewestCode(), 0x0109);
    os::CloseSerialPort(other);
    EXPECT_EQ(ComOpen(kPort, 115200, kComNoParity), 1);
    EXPECT_EQ(ComClose(kPort), 1);
}

TEST_F(ComPortTest, ReadWithNothingArrivingWaitsItsTimeAndRecordsNothing) {
    ASSERT_EQ(ComOpen(kPort, 115200, kComNoParity), 1);
    ClearErrorNumber();
    const std::uint8_t before = ErrorCount();

    std::uint8_t byte = 0;
    auto start = Clock::now();
    EXPECT_EQ(ComReadByteTimeout(kPort, &byte, 300), 0);
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(280));
    EXPECT_LT(waited, std::chrono::milliseconds(1500));

    // The read time-out is back at 10 ms.
    start = Clock::now();
    EXPECT_EQ(ComReadByte(kPort, &byte), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(200));

    EXPECT_EQ(updlib::GetErrorNumber(kPort), 0);
    EXPECT_EQ(ErrorCount(), before);
    EXPECT_EQ(ComClose(kPort), 1);
}

TEST_F(ComPortTest, HighRatesFollowTheSerialCardType) {
    const std::string addidata = "[Com3]\nComPortType=ADDIDATA\n";
    const std::string otherCard = "[com3]\ncomporttype = serialcard\n";
    const std::string otherPort = "[Com2]\nComPortType=addidata\n";
    struct Case {
        const std::string* profile;  // nullptr: no file
        std::uint32_t requested;
        std::uint32_t programmed;
    };
    const Case cases[] = {
        {nullptr, 101500, 99609},     {nullptr, 203000, 199219},    {nullptr, 406000, 398438},
        {nullptr, 115200, 115200},    {&addidata, 101500, 101500},  {&addidata, 203000, 203000},
        {&addidata, 406000, 406000},  {&otherCard, 101500, 115200}, {&otherCard, 203000, 115200},
        {&otherCard, 406000, 115200}, {&otherCard, 57600, 57600},   {&otherPort, 203000, 199219},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.profile ? *c.profile : "no file") << c.requested);
        fs::remove(dir_ / "addifast.ini");
        if (c.profile) writeProfile(*c.profile);
        EXPECT_EQ(TranslateBaudRate(kPort, c.requested), c.programmed);
        ASSERT_EQ(ComOpen(kPort, c.requested, kComNoParity), 1);
        EXPECT_EQ(master_->slaveBaudRate(), c.programmed);
        EXPECT_EQ(ComClose(kPort), 1);
    }
}

TEST_F(ComPortTest, ParityArgumentSetsParityAndChecking) {
    struct Case {
        int argument;
        std::uint8_t parity;
        bool checking;
    };
    // In this order: an unknown argument keeps the parity of the previous open.
    const Case cases[] = {
        {kComEvenParity, os::kEvenParity, true}, {7, os::kEvenParity, true},
        {kComNoParity, os::kNoParity, false},    {kComOddParity, os::kOddParity, true},
        {kComNoParity, os::kNoParity, false},    {-1, os::kNoParity, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argument);
        ASSERT_EQ(ComOpen(kPort, 115200, c.argument), 1);
        os::SerialSettings settings;
        ASSERT_EQ(ComGetLineSettings(kPort, settings), 1);
        EXPECT_EQ(settings.parity, c.parity);
        EXPECT_EQ((settings.flags & os::dcb::kParityCheck) != 0, c.checking);
        EXPECT_NE(settings.flags & os::dcb::kBinary, 0u);
        EXPECT_EQ(settings.byteSize, 8);
        EXPECT_EQ(settings.stopBits, os::kOneStopBit);
        EXPECT_EQ(settings.flags & os::dcb::kRtsControlMask, 1u << os::dcb::kRtsControlShift);
        EXPECT_EQ(settings.flags & (os::dcb::kOutX | os::dcb::kInX | os::dcb::kOutxCtsFlow), 0u);
        EXPECT_EQ(std::string({settings.xonChar, settings.xoffChar, settings.errorChar,
                               settings.eofChar, settings.evtChar}),
                  std::string("nfr\0v", 5));
        EXPECT_EQ(ComClose(kPort), 1);
    }
}

TEST_F(ComPortTest, FailedWriteRecordsOnlyTheCode) {
    ASSERT_EQ(ComOpen(kPort, 115200, kComNoParity), 1);
    master_.reset();  // the far end hangs up
    ClearErrorNumber();
    EXPECT_EQ(ComWriteByte(kPort, 0x41), 0);
    EXPECT_EQ(NewestCode(), 0x0107);
    EXPECT_EQ(updlib::GetErrorNumber(kPort), 0);
    EXPECT_EQ(ComClose(kPort), 1);
}

TEST_F(ComPortTest, PortNumbersOutsideTheRangeAreRefusedUntouched) {
    std::array<updlib::PortErrorRecord, updlib::kPortCount> before;
    for (int port = 0; port < updlib::kPortCount; ++port)
        before[port] = updlib::GetPortErrorRecord(port);
    std::array<std::uint8_t, updlib::kSlotCount> counts;
    for (std::uint32_t slot = 0; slot < updlib::kSlotCount; ++slot) {
        counts[slot] = updlib::GetSlotErrorCount(slot);
    }

    for (const int port : {-1, 12}) {
        SCOPED_TRACE(port);
        std::uint8_t byte = 0;
        os::SerialSettings settings;
        EXPECT_EQ(ComOpen(port, 115200, kComNoParity), 0);
        EXPECT_EQ(ComSetTimeout(port, 10), 0);
        EXPECT_EQ(ComWriteByte(port, 0x41), 0);
        EXPECT_EQ(ComWrite(port, &byte, 1), 0);
        EXPECT_EQ(ComReadByte(port, &byte), 0);
        EXPECT_EQ(ComReadByteTimeout(port, &byte, 10), 0);
        EXPECT_EQ(ComGetLineSettings(port, settings), 0);
        EXPECT_EQ(ComClose(port), 0);
    }
    for (int port = 0; port < updlib::kPortCount; ++port) {
        EXPECT_EQ(updlib::GetPortErrorRecord(port).errorNumber, before[port].errorNumber) << port;
        EXPECT_EQ(updlib::GetPortErrorRecord(port).sourceLine, before[port].sourceLine) << port;
    }
    for (std::uint32_t slot = 0; slot < updlib::kSlotCount; ++slot) {
        EXPECT_EQ(updlib::GetSlotErrorCount(slot), counts[slot]) << slot;
    }
    EXPECT_FALSE(master_->slaveOpen());
}

TEST(SerialLayerVersion, FillsTheRecordOrRecordsTheWrongSize) {
    updlib::VersionRecord record;
    ASSERT_EQ(GetSerialLayerVersion(record), 1);
    EXPECT_STREQ(record.description, "Serial Low-DLL");
    EXPECT_STREQ(record.buildDate, "Nov 18 2002");
    EXPECT_NE(record.author[0], '\0');
    EXPECT_EQ(record.major, 1u);
    EXPECT_EQ(record.minor, 35u);

    updlib::VersionRecord wrong;
    wrong.size = 139;
    EXPECT_EQ(GetSerialLayerVersion(wrong), 0);
    EXPECT_STREQ(wrong.description, "");
    for (std::uint32_t slot = 0; slot < updlib::kSlotCount; ++slot) {
        EXPECT_EQ(updlib::GetLastSlotError(slot).code, 0x0200) << slot;
    }
}

}  // namespace
}  // namespace flashlink
