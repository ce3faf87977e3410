// Which values of the serial device map are usable ports, and the scan over the map.
#include <string>

#include <gtest/gtest.h>

#include "app/diag_log.h"
#include "app/serial_ports.h"
#include "app/wizard_globals.h"
#include "tests/app/wizard_fixture.h"

namespace {

using apptest::ReadLog;
using apptest::ScopedEnv;
using apptest::ScratchDir;

void ClearPorts() {
  g_nPortCount = 0;
  for (auto& flag : g_abPortAvailable) flag = 0;
}

struct EntryCase {
  const char* name;
  const char* data;
  bool usable;
  int port;  // index whose flag is set, -1 for none
};

TEST(SerialPortEntry, NamesAndData) {
  const EntryCase cases[] = {
      {"\\Device\\Serial0", "COM1", true, 0},   // the usual system entry, by the device form
      {"\\device\\serial12", "COM4", true, 3},
      {"\\DEVICE\\SERIAL99999", "COM5", true, 4},
      {"\\Device\\Serial100000", "COM5", false, -1},  // too long for the device form
      {"Serial10", "COM2", true, 1},            // serial form: rest "10"
      {"serial0", "COM6", true, 5},
      {"Serial01", "COM6", false, -1},          // "01" is not a two-digit number
      {"COM3", "COM3", true, 2},                // COM form
      {"com12", "COM12", true, 11},
      {"COM0", "COM7", false, -1},              // a COM name starts at 1
      {"\\Device\\VCP0", "COM5", false, -1},    // no serial form
      {"\\Device\\Serial0", "COM13", false, -1},  // beyond COM12
      {"\\Device\\Serial0", "com1", false, -1},   // the data must be exact
      {"\\Device\\Serial0", "COM1 ", false, -1},
  };
  for (const EntryCase& c : cases) {
    ClearPorts();
    EXPECT_EQ(IsSerialPortEntry(c.name, c.data), c.usable) << c.name << " = " << c.data;
    for (int port = 0; port < kComPortCount; ++port) {
      EXPECT_EQ(g_abPortAvailable[port].load() != 0, port == c.port) << c.name << " port " << port;
    }
  }
}

TEST(SerialPortEntry, APortNamedTwiceCountsOnce) {
  ClearPorts();
  EXPECT_TRUE(IsSerialPortEntry("\\Device\\Serial0", "COM3"));
  EXPECT_FALSE(IsSerialPortEntry("\\Device\\Serial1", "COM3"));
}

TEST(SerialPortScan, OneUsualEntryGivesOnePortAndItsThreeLogLines) {
  ScratchDir dir(true);
  ASSERT_TRUE(OpenLogFile());
  g_bLogEnabled = 1;
  const std::size_t header = ReadLog().size();
  ScopedEnv ports("VQ_COMPORTS", "COM1=/dev/null");
  ASSERT_TRUE(ScanSerialPorts());
  EXPECT_EQ(g_nPortCount, 1);
  EXPECT_EQ(AvailablePorts(), (std::array<bool, 12>{true}));
  EXPECT_EQ(ReadLog().substr(header), "1.RegName: \\Device\\Serial0  Value:COM1\r\nCOM1 identified\r\n");
  g_bLogEnabled = 0;
}

TEST(SerialPortScan, ValuesOfOtherDriversAndRepeatsAreNotCounted) {
  ScopedEnv ports("VQ_COMPORTS",
                  "\\Device\\VCP0:COM5=/dev/null,COM3=/dev/null,Serial10:COM2=/dev/null,"
                  "\\Device\\Serial7:COM3=/dev/null,COM13=/dev/null");
  ASSERT_TRUE(ScanSerialPorts());
  EXPECT_EQ(g_nPortCount, 2);
  const std::array<bool, 12> expected{false, true, true};
  EXPECT_EQ(AvailablePorts(), expected);
}

TEST(SerialPortScan, LongValuesAreExaminedCutToTheBuffers) {
  // The name is cut to 19 characters, "\Device\Serial12345", which is a device form again.
  ScopedEnv ports("VQ_COMPORTS", "\\Device\\Serial123456789:COM4=/dev/null");
  ASSERT_TRUE(ScanSerialPorts());
  EXPECT_EQ(g_nPortCount, 1);
  EXPECT_TRUE(g_abPortAvailable[3]);
}

TEST(SerialPortScan, AnEmptyMapFindsNothing) {
  ScopedEnv ports("VQ_COMPORTS", "");
  ASSERT_TRUE(ScanSerialPorts());
  EXPECT_EQ(g_nPortCount, 0);
}

}  // namespace
