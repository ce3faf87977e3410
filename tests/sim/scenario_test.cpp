// Scenario files: the format's settings and faults, its errors, and the shipped scenarios.
#include <gtest/gtest.h>

#include <filesystem>

#include "sim/scenario.h"

TEST(SimScenario, SettingsAndFaultsAreRead) {
    const auto r = sim::parseScenario(
        "# a comment\n"
        "name = low battery   # trailing comment\n"
        "software = blank\n"
        "voltage = 3649\n"
        "svn = 22\n"
        "key_id = 5A4D0002\n"
        "at_bauds = 19200 57600\n"
        "signature = none\n"
        "fault loader.block:120 refuse count=5\n"
        "fault eeprom.begin_read status=2\n"
        "fault loader.block:7 error_report bytes=70 05 12 34 56\n"
        "fault loader.command:0x32 lose_answer\n");
    ASSERT_TRUE(r.scenario) << r.error;
    const sim::Scenario& s = *r.scenario;
    EXPECT_EQ(s.name, "low battery");
    EXPECT_EQ(s.software, sim::Software::Blank);
    EXPECT_EQ(s.voltage, 3649);
    EXPECT_EQ(s.svn, 0x22);
    EXPECT_EQ(s.keyId, 0x5A4D0002u);
    EXPECT_EQ(s.atBauds, (std::vector<std::uint32_t>{19200, 57600}));
    EXPECT_EQ(s.signature, sim::SignatureMode::None);
    ASSERT_EQ(s.faults.size(), 4u);
    EXPECT_EQ(s.faults[0].point, "loader.block");
    EXPECT_EQ(s.faults[0].index, 120u);
    EXPECT_EQ(s.faults[0].action, "refuse");
    EXPECT_EQ(s.faults[0].count, 5u);
    EXPECT_EQ(s.faults[1].action, "status");
    EXPECT_EQ(s.faults[1].status, '2');
    EXPECT_EQ(s.faults[2].bytes, (std::vector<std::uint8_t>{0x70, 0x05, 0x12, 0x34, 0x56}));
    EXPECT_EQ(s.faults[3].index, 0x32u);
    EXPECT_NE(s.keyPath().find("phone-key-5a4d0002.pem"), std::string::npos);
}

TEST(SimScenario, ErrorsNameTheLine) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"voltage = 4000\nvoltage = lots\n", "line 2: bad value for voltage"},
        {"colour = red\n", "line 1: unknown key \"colour\""},
        {"just words\n", "line 1: expected KEY = VALUE"},
        {"fault loader.block:x refuse\n", "line 1: bad fault"},
        {"product_type = 12345678901234567\n", "line 1: bad value for product_type"},
        {"fault loader.block:1 error_report bytes=\n", "line 1: bad fault"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto r = sim::parseScenario(c.text);
        EXPECT_FALSE(r.scenario);
        EXPECT_EQ(r.error.rfind(c.error, 0), 0u) << r.error;
    }
}

TEST(SimScenario, EveryShippedScenarioIsReadAndItsKeyExists) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(SIM_SOURCE_DIR) + "/sim/scenarios")) {
        if (entry.path().extension() != ".scn") continue;
        SCOPED_TRACE(entry.path().string());
        const auto r = sim::loadScenario(entry.path().string());
        ASSERT_TRUE(r.scenario) << r.error;
        EXPECT_EQ(r.scenario->name, entry.path().stem().string());
        EXPECT_TRUE(std::filesystem::exists(r.scenario->keyPath()));
        ++count;
    }
    EXPECT_GE(count, 10);
}
