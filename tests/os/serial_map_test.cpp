#include "platform/os/serial_map.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class SerialMapTest : public ::testing::Test {
protected:
    void TearDown() override {
        os::CloseSerialDeviceMap();
        unsetenv("VQ_COMPORTS");
    }
};

TEST_F(SerialMapTest, ComPortListGivesEntriesInOrderWithSerialValueNames) {
    const auto entries = os::ParseComPortList(
        "COM3=/dev/pts/4, COM1=/dev/ttyUSB0,broken,=/dev/x,COM9=,"
        "\\Device\\VCP0:COM5=/dev/pts/7");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].valueName, "\\Device\\Serial0");
    EXPECT_EQ(entries[0].data, "COM3");
    EXPECT_EQ(entries[0].devicePath, "/dev/pts/4");
    EXPECT_EQ(entries[1].valueName, "\\Device\\Serial1");
    EXPECT_EQ(entries[1].data, "COM1");
    EXPECT_EQ(entries[1].devicePath, "/dev/ttyUSB0");
    EXPECT_EQ(entries[2].valueName, "\\Device\\VCP0");
    EXPECT_EQ(entries[2].data, "COM5");
    EXPECT_EQ(entries[2].devicePath, "/dev/pts/7");
}

TEST_F(SerialMapTest, EnumerationReportsWholeValuesCutValuesAndTheEnd) {
    setenv("VQ_COMPORTS",
           "COM1=/dev/ttyS0,\\Device\\Serial_with_a_long_name:COM12_and_more=/dev/ttyUSB3", 1);
    ASSERT_TRUE(os::OpenSerialDeviceMap());

    char name[20];
    char data[15];
    std::uint32_t nameSize = sizeof name;
    std::uint32_t dataSize = sizeof data;
    EXPECT_EQ(os::EnumSerialDeviceMapValue(0, name, &nameSize, data, &dataSize), os::kMapSuccess);
    EXPECT_STREQ(name, "\\Device\\Serial0");
    EXPECT_EQ(nameSize, 15u);
    EXPECT_STREQ(data, "COM1");
    EXPECT_EQ(dataSize, 5u);

    nameSize = sizeof name;
    dataSize = sizeof data;
    EXPECT_EQ(os::EnumSerialDeviceMapValue(1, name, &nameSize, data, &dataSize), os::kMapMoreData);
    EXPECT_STREQ(name, "\\Device\\Serial_with");  // 19 characters and the terminator
    EXPECT_STREQ(data, "COM12_and_more");         // 14 characters and the terminator: whole
    EXPECT_EQ(nameSize, 19u);

    char wideName[40];
    nameSize = sizeof wideName;
    dataSize = 5;
    EXPECT_EQ(os::EnumSerialDeviceMapValue(1, wideName, &nameSize, data, &dataSize),
              os::kMapMoreData);
    EXPECT_STREQ(wideName, "\\Device\\Serial_with_a_long_name");
    EXPECT_STREQ(data, "COM1");  // the data alone cut

    nameSize = sizeof name;
    dataSize = sizeof data;
    EXPECT_EQ(os::EnumSerialDeviceMapValue(2, name, &nameSize, data, &dataSize),
              os::kMapNoMoreItems);
    EXPECT_EQ(os::EnumSerialDeviceMapValue(50, name, &nameSize, data, &dataSize),
              os::kMapNoMoreItems);
}

TEST_F(SerialMapTest, WithoutAMapEveryEnumerationFails) {
    char name[20];
    std::uint32_t nameSize = sizeof name;
    EXPECT_EQ(os::EnumSerialDeviceMapValue(0, name, &nameSize, nullptr, nullptr),
              os::kMapInvalidHandle);

    setenv("VQ_COMPORTS", "", 1);
    EXPECT_FALSE(os::OpenSerialDeviceMap());
    for (std::uint32_t index = 0; index < 50; ++index)
        EXPECT_EQ(os::EnumSerialDeviceMapValue(index, name, &nameSize, nullptr, nullptr),
                  os::kMapInvalidHandle);
}

TEST_F(SerialMapTest, TheSnapshotStaysAsOpenedUntilClosed) {
    setenv("VQ_COMPORTS", "COM2=/dev/a", 1);
    ASSERT_TRUE(os::OpenSerialDeviceMap());
    setenv("VQ_COMPORTS", "COM7=/dev/b", 1);
    char name[20];
    char data[15];
    std::uint32_t nameSize = sizeof name;
    std::uint32_t dataSize = sizeof data;
    ASSERT_EQ(os::EnumSerialDeviceMapValue(0, name, &nameSize, data, &dataSize), os::kMapSuccess);
    EXPECT_STREQ(data, "COM2");
    os::CloseSerialDeviceMap();
    EXPECT_EQ(os::EnumSerialDeviceMapValue(0, name, &nameSize, data, &dataSize),
              os::kMapInvalidHandle);
}

TEST_F(SerialMapTest, PortNamesResolveToTheirDevicesRegardlessOfCase) {
    setenv("VQ_COMPORTS", "COM3=/dev/pts/4,COM10=/dev/ttyACM0", 1);
    EXPECT_EQ(os::ResolveSerialDevice("COM3"), "/dev/pts/4");
    EXPECT_EQ(os::ResolveSerialDevice("com10"), "/dev/ttyACM0");
    EXPECT_EQ(os::ResolveSerialDevice("COM1"), "");
    EXPECT_EQ(os::ResolveSerialDevice(nullptr), "");
}

TEST_F(SerialMapTest, DetectionTakesRealUartsThenUsbThenAcmInNumericOrder) {
    char pattern[] = "/tmp/os_sysfs_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path root = pattern;
    auto addTty = [&](const std::string& name, const char* type) {
        fs::create_directories(root / name);
        if (type != nullptr) std::ofstream(root / name / "type") << type << "\n";
    };
    addTty("tty0", nullptr);
    addTty("ttyS1", "0");  // no UART behind it
    addTty("ttyS0", "4");
    addTty("ttyUSB10", nullptr);
    addTty("ttyUSB2", nullptr);
    addTty("ttyACM0", nullptr);
    addTty("ttyUSBx", nullptr);

    const auto entries = os::DetectSerialDevices(root.c_str());
    fs::remove_all(root);
    const char* expected[][3] = {
        {"\\Device\\Serial0", "COM1", "/dev/ttyS0"},
        {"\\Device\\Serial1", "COM2", "/dev/ttyUSB2"},
        {"\\Device\\Serial2", "COM3", "/dev/ttyUSB10"},
        {"\\Device\\Serial3", "COM4", "/dev/ttyACM0"},
    };
    ASSERT_EQ(entries.size(), std::size(expected));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].valueName, expected[i][0]);
        EXPECT_EQ(entries[i].data, expected[i][1]);
        EXPECT_EQ(entries[i].devicePath, expected[i][2]);
    }
}

}  // namespace
