#include "updlib/trace.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

namespace updlib {
namespace {

namespace fs = std::filesystem;

// Whether text is pattern with every '#' standing for a time stamp "hh:mm:ss:mmm : ".
bool MatchesWithStamps(std::string_view text, std::string_view pattern) {
    constexpr std::string_view kStampShape = "99:99:99:999 : ";
    for (const char wanted : pattern) {
        if (wanted != '#') {
            if (text.empty() || text.front() != wanted) return false;
            text.remove_prefix(1);
            continue;
        }
        if (text.size() < kStampShape.size()) return false;
        for (std::size_t i = 0; i < kStampShape.size(); ++i) {
            const bool digit = text[i] >= '0' && text[i] <= '9';
            if (kStampShape[i] == '9' ? !digit : text[i] != kStampShape[i]) return false;
        }
        text.remove_prefix(kStampShape.size());
    }
    return text.empty();
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A trace file on slot 0 and the debugger output switched on in the environment; every setting
// back at zero afterwards.
class TraceTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = fs::temp_directory_path() /
                ("vq_trace_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                 "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt");
        fs::remove(path_);
        ASSERT_TRUE(OpenTraceFile(0, path_.c_str()));
        setenv("VQ_DEBUG_OUTPUT", "1", 1);
    }
    void TearDown() override {
        SetTraceSettings(TraceSettings{});
        CloseTraceFile(0);
        unsetenv("VQ_DEBUG_OUTPUT");
        fs::remove(path_);
    }
    std::string fileText() const { return ReadFile(path_); }

    fs::path path_;
};

TEST(TraceSlots, FindGivesTheFirstBoundSlotOrZero) {
    EXPECT_EQ(FindTraceSlot(0), 0);  // every row holds key 0 before any binding
    EXPECT_EQ(FindTraceSlot(7), 0);  // bound nowhere

    BindTraceSlot(5, 2);
    BindTraceSlot(9, 3);
    BindTraceSlot(9, 1);
    BindTraceSlot(11, 4);  // no such slot
    struct Case {
        std::int32_t port;
        int slot;
    };
    for (const Case c : {Case{5, 2}, Case{9, 1}, Case{11, 0}, Case{0, 0}, Case{3, 0}}) {
        EXPECT_EQ(FindTraceSlot(c.port), c.slot) << "port " << c.port;
    }
}

TEST_F(TraceTest, AllSettingsAtZeroWriteNothing) {
    ASSERT_EQ(GetTraceSettings().fileLevelLimit, 0);
    ::testing::internal::CaptureStderr();
    TraceLog(0, 0, 0, "unterminated");
    TraceLog(0, 1, kTraceSerial, "COM : closing comport\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(fileText(), "");

    // The silent calls left the last-character memory alone: the next line gets its time stamp.
    SetTraceSettings({.fileOutput = true, .fileLevelLimit = 3, .fileCategories = 0xF});
    TraceLog(0, 1, kTraceSerial, "line\n");
    EXPECT_TRUE(MatchesWithStamps(fileText(), "#line\n")) << fileText();
}

TEST_F(TraceTest, LevelAndCategoriesFilterEachOutput) {
    struct Case {
        int level;
        std::uint16_t categories;
        bool written;  // limit 2, mask 0x5
    };
    const Case cases[] = {
        {1, kTraceSerial, true},
        {2, kTraceProcedure, true},
        {3, kTraceSerial, false},
        {1, kTraceXbi, false},
        {1, kTraceProcedure | kTraceSerial, true},
        {1, kTraceXbi | kTraceSerial, false},
    };
    SetTraceSettings({.debuggerOutput = true,
                      .fileOutput = true,
                      .debuggerLevelLimit = 2,
                      .fileLevelLimit = 2,
                      .debuggerCategories = 0x5,
                      .fileCategories = 0x5});
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level << " categories " << c.categories);
        const std::size_t before = fileText().size();
        ::testing::internal::CaptureStderr();
        TraceLog(0, c.level, c.categories, "Setting Error Number %d\n", 4);
        const std::string debugger = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(debugger, c.written ? "Setting Error Number 4\n" : "");
        EXPECT_EQ(fileText().size() > before, c.written);
    }
}

TEST_F(TraceTest, TimeStampOnlyAfterALineBreak) {
    SetTraceSettings({.fileOutput = true, .fileLevelLimit = 3, .fileCategories = 0xF});
    TraceLog(0, 1, kTraceSerial, "first\n");
    TraceLog(0, 1, kTraceSerial, "part ");
    TraceLog(0, 1, kTraceSerial, "rest\r");
    TraceLog(0, 1, kTraceSerial, "next\n");
    EXPECT_TRUE(MatchesWithStamps(fileText(), "#first\n#part rest\r#next\n")) << fileText();
}

TEST_F(TraceTest, LongLineIsCutAndOtherSlotsHaveNoFile) {
    SetTraceSettings({.fileOutput = true, .fileLevelLimit = 3, .fileCategories = 0xF});
    TraceLog(1, 1, kTraceSerial, "slot without a file\n");
    EXPECT_EQ(fileText(), "");

    const std::string longText(500, 'y');
    TraceLog(0x10000, 1, kTraceSerial, "%s", longText.c_str());  // low 16 bits: slot 0
    EXPECT_TRUE(MatchesWithStamps(fileText(), "#" + std::string(kTraceLineSize - 1, 'y')))
        << fileText().size();
}

}  // namespace
}  // namespace updlib
