#include "platform/os/profile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// A scratch directory that is also the current directory while the test runs.
class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/os_profile_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        previous_ = fs::current_path();
        fs::current_path(dir_);
        setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(dir_);
    }
    static void Write(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }
    static std::string Get(const char* section, const char* key, const char* def, const char* file,
                           std::uint32_t size = 20) {
        char out[64];
        const std::uint32_t length =
            os::GetPrivateProfileString(section, key, def, out, size, file);
        EXPECT_EQ(length, std::string(out).size());
        return out;
    }

    fs::path dir_;
    fs::path previous_;
};

TEST_F(ProfileTest, SectionAndKeyMatchWithoutRegardToCase) {
    Write(dir_ / "addifast.ini",
          "; serial cards\r\n[Com1]\r\nComPortType=addidata\r\n\r\n[COM3]\r\n  comporttype = "
          "AddiData  \r\n"
          "[com4]\nComPortType=\"quoted value\"\nOther=1\n");
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    };
    const Case cases[] = {
        {"Com1", "ComPortType", "addidata"}, {"com1", "COMPORTTYPE", "addidata"},
        {"Com3", "ComPortType", "AddiData"}, {"Com4", "ComPortType", "quoted value"},
        {"Com2", "ComPortType", "fastboot"},  // no such section
        {"Com4", "Missing", "fastboot"},      // no such key
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        EXPECT_EQ(Get(c.section, c.key, "fastboot", "addifast.ini"), c.expected);
    }
}

TEST_F(ProfileTest, ValuesAndDefaultsAreCutToTheBufferSize) {
    Write(dir_ / "addifast.ini", "[Com1]\nComPortType=abcdefghijklmnopqrstuvwxyz\n");
    EXPECT_EQ(Get("Com1", "ComPortType", "fastboot", "addifast.ini"), "abcdefghijklmnopqrs");
    EXPECT_EQ(Get("Com1", "ComPortType", "fastboot", "addifast.ini", 4), "abc");
    EXPECT_EQ(Get("Com2", "ComPortType", "fastboot", "addifast.ini", 5), "fast");
    EXPECT_EQ(Get("Com2", "ComPortType", nullptr, "addifast.ini"), "");
}

TEST_F(ProfileTest, AMissingFileGivesTheDefault) {
    EXPECT_EQ(Get("Com1", "ComPortType", "fastboot", "addifast.ini"), "fastboot");
    EXPECT_EQ(Get("Com1", "ComPortType", "fastboot", "/nonexistent/addifast.ini"), "fastboot");
    EXPECT_EQ(os::FindProfileFile("addifast.ini"), "");
}

TEST_F(ProfileTest, ABareNameIsFoundInTheCurrentDirectoryBeforeTheConfigDirectory) {
    Write(dir_ / "config" / "addifast.ini", "[Com1]\nComPortType=fromconfig\n");
    EXPECT_EQ(Get("Com1", "ComPortType", "fastboot", "addifast.ini"), "fromconfig");
    Write(dir_ / "addifast.ini", "[Com1]\nComPortType=fromcwd\n");
    EXPECT_EQ(Get("Com1", "ComPortType", "fastboot", "addifast.ini"), "fromcwd");
    const std::string explicitPath = (dir_ / "config" / "addifast.ini").string();
    EXPECT_EQ(Get("Com1", "ComPortType", "fastboot", explicitPath.c_str()), "fromconfig");
}

TEST_F(ProfileTest, WithoutXdgConfigHomeTheConfigDirectoryIsUnderHome) {
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", (dir_ / "home").c_str(), 1);
    Write(dir_ / "home" / ".config" / "addifast.ini", "[Com1]\nComPortType=fromhome\n");
    EXPECT_EQ(Get("Com1", "ComPortType", "fastboot", "addifast.ini"), "fromhome");
}

}  // namespace
