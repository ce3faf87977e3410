// The serial layer over real pseudo-terminal pairs: the port side is opened through the layer, the
// master side plays the far end of the cable.
#include "platform/os/serial.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/os/last_error.h"
#include "platform/os/pty.h"

namespace {

using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

struct PortCloser {
    void operator()(os::SerialPort* port) const { os::CloseSerialPort(port); }
};
using Port = std::unique_ptr<os::SerialPort, PortCloser>;

class SerialTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(master_.ok());
        port_.reset(os::OpenSerialDevice(master_.slavePath().c_str()));
        ASSERT_NE(port_, nullptr) << os::GetLastError();
    }

    void SetReadTimeout(std::uint32_t totalConstant, std::uint32_t interval = 0) {
        os::SerialTimeouts timeouts;
        timeouts.readTotalConstant = totalConstant;
        timeouts.readInterval = interval;
        ASSERT_TRUE(os::SetSerialTimeouts(port_.get(), timeouts));
    }

    std::uint32_t BytesWaiting() {
        std::uint32_t errors = 99;
        std::uint32_t waiting = 0;
        EXPECT_TRUE(os::ClearSerialErrors(port_.get(), &errors, &waiting));
        EXPECT_EQ(errors, 0u);  // a pty has no line errors
        return waiting;
    }

    // What the master has written reaches the slave's queue shortly after; wait for it.
    bool AwaitBytesWaiting(std::uint32_t expected) {
        const auto end = SteadyClock::now() + std::chrono::seconds(5);
        while (SteadyClock::now() < end) {
            if (BytesWaiting() == expected) return true;
            std::this_thread::sleep_for(milliseconds(5));
        }
        return false;
    }

    std::string MasterRead(std::size_t count) {
        std::string got;
        const auto end = SteadyClock::now() + std::chrono::seconds(5);
        while (got.size() < count && SteadyClock::now() < end) {
            char buffer[256];
            const long n = master_.read(buffer, std::min(sizeof buffer, count - got.size()), 100);
            if (n < 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

    os::PtyMaster master_;
    Port port_;
};

TEST_F(SerialTest, AReadWithNothingArrivingReturnsAfterItsTimeOut) {
    SetReadTimeout(300);
    char buffer[10];
    std::uint32_t got = 77;
    const auto start = SteadyClock::now();
    EXPECT_TRUE(os::ReadSerial(port_.get(), buffer, sizeof buffer, &got));
    const auto elapsed = SteadyClock::now() - start;
    EXPECT_EQ(got, 0u);
    EXPECT_GE(elapsed, milliseconds(280));
    EXPECT_LT(elapsed, milliseconds(3000));
}

TEST_F(SerialTest, AReadReturnsWhatArrivedWithinItsTimeOut) {
    SetReadTimeout(300);
    ASSERT_TRUE(master_.write("abc", 3));
    char buffer[10] = {};
    std::uint32_t got = 0;
    EXPECT_TRUE(os::ReadSerial(port_.get(), buffer, sizeof buffer, &got));
    EXPECT_EQ(std::string(buffer, got), "abc");
}

TEST_F(SerialTest, AnIntervalLimitEndsAReadSoonAfterTheLastByte) {
    SetReadTimeout(20000, 50);
    ASSERT_TRUE(master_.write("xy", 2));
    char buffer[10];
    std::uint32_t got = 0;
    const auto start = SteadyClock::now();
    EXPECT_TRUE(os::ReadSerial(port_.get(), buffer, sizeof buffer, &got));
    EXPECT_EQ(got, 2u);
    EXPECT_LT(SteadyClock::now() - start, milliseconds(10000));
}

TEST_F(SerialTest, WithoutTimeOutsAReadWaitsForAllItsBytes) {
    SetReadTimeout(0);
    std::thread far([this] {
        std::this_thread::sleep_for(milliseconds(100));
        master_.write("12", 2);
        std::this_thread::sleep_for(milliseconds(100));
        master_.write("345", 3);
    });
    char buffer[5];
    std::uint32_t got = 0;
    EXPECT_TRUE(os::ReadSerial(port_.get(), buffer, sizeof buffer, &got));
    far.join();
    EXPECT_EQ(std::string(buffer, got), "12345");
}

TEST_F(SerialTest, ReturnAtOnceGivesOnlyWhatIsWaiting) {
    os::SerialTimeouts timeouts;
    timeouts.readInterval = os::kReadReturnAtOnce;
    ASSERT_TRUE(os::SetSerialTimeouts(port_.get(), timeouts));
    char buffer[4];
    std::uint32_t got = 9;
    EXPECT_TRUE(os::ReadSerial(port_.get(), buffer, sizeof buffer, &got));
    EXPECT_EQ(got, 0u);
}

TEST_F(SerialTest, BytesWaitingInTheInputQueueAreCountedAndPurged) {
    EXPECT_EQ(BytesWaiting(), 0u);
    ASSERT_TRUE(master_.write("AT+CGSN\r\n", 9));
    EXPECT_TRUE(AwaitBytesWaiting(9));
    ASSERT_TRUE(os::PurgeSerial(port_.get(), os::kPurgeRxClear | os::kPurgeTxClear));
    EXPECT_EQ(BytesWaiting(), 0u);
}

TEST_F(SerialTest, WritesReachTheFarEnd) {
    std::uint32_t written = 0;
    ASSERT_TRUE(os::WriteSerial(port_.get(), "AT+CGSN;I9\r\n", 12, &written));
    EXPECT_EQ(written, 12u);
    EXPECT_EQ(MasterRead(12), "AT+CGSN;I9\r\n");
}

TEST_F(SerialTest, ASecondOpenIsRefusedAlsoForRootUntilTheFirstCloses) {
    // The tests run as root in CI, where the exclusive tty mode alone would not stop a second open.
    os::SerialPort* second = os::OpenSerialDevice(master_.slavePath().c_str());
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(os::GetLastError(), os::kErrorSharingViolation);
    if (second != nullptr) os::CloseSerialPort(second);

    port_.reset();
    Port again(os::OpenSerialDevice(master_.slavePath().c_str()));
    EXPECT_NE(again, nullptr);
}

TEST_F(SerialTest, AnyBaudRateIsWhatTheFarEndSees) {
    for (const std::uint32_t rate : {57600u, 99609u, 115200u, 199219u, 203000u, 398438u, 19200u}) {
        SCOPED_TRACE(rate);
        os::SerialSettings settings;
        ASSERT_TRUE(os::GetSerialSettings(port_.get(), settings));
        settings.baudRate = rate;
        ASSERT_TRUE(os::SetSerialSettings(port_.get(), settings));
        EXPECT_EQ(master_.slaveBaudRate(), rate);
        os::SerialSettings readBack;
        ASSERT_TRUE(os::GetSerialSettings(port_.get(), readBack));
        EXPECT_EQ(readBack.baudRate, rate);
    }
}

TEST_F(SerialTest, LineSettingsAndSpecialCharactersAreReportedBack) {
    struct Case {
        std::uint8_t byteSize;
        std::uint8_t parity;
        std::uint8_t stopBits;
    };
    const Case cases[] = {
        {8, os::kNoParity, os::kOneStopBit},      {8, os::kEvenParity, os::kOneStopBit},
        {8, os::kOddParity, os::kTwoStopBits},    {7, os::kMarkParity, os::kOneStopBit},
        {5, os::kSpaceParity, os::kOne5StopBits},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.parity));
        os::SerialSettings settings;
        settings.baudRate = 115200;
        settings.flags = os::dcb::kBinary | os::dcb::kParityCheck |
                         (1u << os::dcb::kRtsControlShift) | (1u << 20);
        settings.byteSize = c.byteSize;
        settings.parity = c.parity;
        settings.stopBits = c.stopBits;
        settings.xonChar = 'n';
        settings.xoffChar = 'f';
        settings.errorChar = 'r';
        settings.eofChar = 0;
        settings.evtChar = 'v';
        ASSERT_TRUE(os::SetSerialSettings(port_.get(), settings));
        os::SerialSettings got;
        ASSERT_TRUE(os::GetSerialSettings(port_.get(), got));
        EXPECT_EQ(got.byteSize, c.byteSize);
        EXPECT_EQ(got.parity, c.parity);
        EXPECT_EQ(got.stopBits, c.stopBits);
        EXPECT_EQ(got.flags, settings.flags);
        EXPECT_EQ(std::string({got.xonChar, got.xoffChar, got.errorChar, got.eofChar, got.evtChar}),
                  std::string({'n', 'f', 'r', '\0', 'v'}));
    }
}

TEST_F(SerialTest, ImpossibleSettingsAreRefused) {
    os::SerialSettings good;
    ASSERT_TRUE(os::GetSerialSettings(port_.get(), good));
    good.baudRate = 57600;
    ASSERT_TRUE(os::SetSerialSettings(port_.get(), good));
    for (auto spoil : {+[](os::SerialSettings& s) { s.byteSize = 9; },
                       +[](os::SerialSettings& s) { s.byteSize = 4; },
                       +[](os::SerialSettings& s) { s.parity = 5; },
                       +[](os::SerialSettings& s) { s.stopBits = 3; },
                       +[](os::SerialSettings& s) { s.baudRate = 0; }}) {
        os::SerialSettings bad = good;
        spoil(bad);
        EXPECT_FALSE(os::SetSerialSettings(port_.get(), bad));
        EXPECT_EQ(os::GetLastError(), os::kErrorInvalidParameter);
    }
    EXPECT_EQ(master_.slaveBaudRate(), 57600u);  // left as it was
}

TEST_F(SerialTest, ModemLinesOnAPtySucceed) {
    EXPECT_TRUE(os::SetRts(port_.get(), true));
    EXPECT_TRUE(os::SetDtr(port_.get(), true));
    EXPECT_TRUE(os::SetDtr(port_.get(), false));
    EXPECT_TRUE(os::SetRts(port_.get(), false));
}

TEST_F(SerialTest, AFreshOpenDropsWhatWaitedWhileThePortWasClosed) {
    port_.reset();
    EXPECT_FALSE(master_.slaveOpen());
    ASSERT_TRUE(master_.write("stale", 5));
    port_.reset(os::OpenSerialDevice(master_.slavePath().c_str()));
    ASSERT_NE(port_, nullptr);
    EXPECT_TRUE(master_.slaveOpen());
    EXPECT_EQ(BytesWaiting(), 0u);
}

TEST(SerialRead, FailsWhenTheFarEndIsGone) {
    auto* gone = new os::PtyMaster;
    Port orphan(os::OpenSerialDevice(gone->slavePath().c_str()));
    ASSERT_NE(orphan, nullptr);
    delete gone;
    os::SerialTimeouts timeouts;
    timeouts.readTotalConstant = 2000;
    ASSERT_TRUE(os::SetSerialTimeouts(orphan.get(), timeouts));
    char buffer[4];
    std::uint32_t got = 0;
    EXPECT_FALSE(os::ReadSerial(orphan.get(), buffer, sizeof buffer, &got));
    EXPECT_EQ(got, 0u);
}

TEST(PtyMaster, TellsWhetherTheSlaveIsHeldAndReadsFailWhileItIsNot) {
    os::PtyMaster master;
    ASSERT_TRUE(master.ok());
    EXPECT_FALSE(master.slaveOpen());
    char buffer[4];
    EXPECT_EQ(master.read(buffer, sizeof buffer, 1000), -1);
    {
        Port port(os::OpenSerialDevice(master.slavePath().c_str()));
        ASSERT_NE(port, nullptr);
        EXPECT_TRUE(master.slaveOpen());
        EXPECT_EQ(master.read(buffer, sizeof buffer, 50), 0);  // time-out, nothing sent
        std::uint32_t written = 0;
        ASSERT_TRUE(os::WriteSerial(port.get(), "ok", 2, &written));
    }
    EXPECT_FALSE(master.slaveOpen());
    EXPECT_EQ(master.read(buffer, sizeof buffer, 1000),
              2);  // written before the close: still there
    EXPECT_EQ(master.read(buffer, sizeof buffer, 1000), -1);
}

TEST(PtyMaster, FlushDropsBothDirections) {
    os::PtyMaster master;
    ASSERT_TRUE(master.ok());
    Port port(os::OpenSerialDevice(master.slavePath().c_str()));
    ASSERT_NE(port, nullptr);
    std::uint32_t written = 0;
    ASSERT_TRUE(os::WriteSerial(port.get(), "up", 2, &written));
    ASSERT_TRUE(master.write("down", 4));
    std::this_thread::sleep_for(milliseconds(50));
    master.flush();
    char buffer[8];
    EXPECT_EQ(master.read(buffer, sizeof buffer, 50), 0);
    std::uint32_t errors = 0;
    std::uint32_t waiting = 9;
    ASSERT_TRUE(os::ClearSerialErrors(port.get(), &errors, &waiting));
    EXPECT_EQ(waiting, 0u);
}

TEST(SerialOpen, PortNamesOpenThroughTheDeviceMap) {
    os::PtyMaster master;
    ASSERT_TRUE(master.ok());
    setenv("VQ_COMPORTS", ("COM3=" + master.slavePath()).c_str(), 1);
    Port port(os::OpenSerialPort("COM3"));
    EXPECT_NE(port, nullptr);
    EXPECT_EQ(os::OpenSerialPort("COM4"), nullptr);
    EXPECT_EQ(os::GetLastError(), os::kErrorFileNotFound);
    unsetenv("VQ_COMPORTS");
}

TEST(SerialOpen, FailuresSayWhyAndWhatToDo) {
    EXPECT_EQ(os::OpenSerialDevice("/dev/does-not-exist"), nullptr);
    EXPECT_EQ(os::GetLastError(), os::kErrorFileNotFound);
    EXPECT_EQ(os::OpenSerialDevice("/dev/null"), nullptr);  // not a serial device
    EXPECT_EQ(os::GetLastError(), os::kErrorGenFailure);

    EXPECT_NE(os::DescribeSerialOpenFailure("/dev/ttyUSB0", os::kErrorAccessDenied).find("dialout"),
              std::string::npos);
    EXPECT_NE(os::DescribeSerialOpenFailure("COM9", os::kErrorFileNotFound).find("VQ_COMPORTS"),
              std::string::npos);
}

TEST(SerialOpen, ABusyPortNamesTheProgramThatHoldsIt) {
    os::PtyMaster master;
    ASSERT_TRUE(master.ok());
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        prctl(PR_SET_NAME, "port-holder");
        const int fd = open(master.slavePath().c_str(), O_RDWR | O_NOCTTY);
        flock(fd, LOCK_EX);
        (void)!write(ready[1], "x", 1);
        pause();
        _exit(0);
    }
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    EXPECT_EQ(os::OpenSerialDevice(master.slavePath().c_str()), nullptr);
    const std::uint32_t error = os::GetLastError();
    EXPECT_EQ(error, os::kErrorSharingViolation);
    const std::string text = os::DescribeSerialOpenFailure(master.slavePath().c_str(), error);
    EXPECT_NE(text.find("port-holder (pid " + std::to_string(holder) + ")"), std::string::npos)
        << text;
    EXPECT_NE(text.find("ModemManager"), std::string::npos) << text;
    EXPECT_NE(os::DescribeSerialPortHolders(master.slavePath().c_str()).find("port-holder"),
              std::string::npos);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
}

}  // namespace
