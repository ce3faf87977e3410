// The pieces of the update procedure that decide on their own: the phone's error reports, the date
// comparison, the check of a difference file and the phone's SW info record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "updlib/error_registry.h"
#include "updlib/libif.h"
#include "updlib/swupwork.h"
#include "updlib/trace.h"
#include "updlib/wmob_err.h"

namespace updlib {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kPort = 5;
constexpr std::uint32_t kSlot = 2;

class ProcedurePartsTest : public ::testing::Test {
protected:
    void SetUp() override {
        BindTraceSlot(kPort, static_cast<int>(kSlot));
        before_ = GetSlotErrorCount(kSlot);
    }
    bool Added() const { return GetSlotErrorCount(kSlot) != before_; }
    std::uint8_t before_ = 0;
};

struct ReportCase {
    Bytes params;
    std::int32_t code;  // 0: nothing added
    std::vector<std::int32_t> args;
    const char* info;
};

TEST_F(ProcedurePartsTest, PhoneErrorReports) {
    const ReportCase cases[] = {
        {{0x70, 5, 0x12, 0x34, 0x56}, 0x0408, {5, 0x12, 0x34, 0x56}, "Byte-Program-Error Nr:  5 on adress 123456\n"},
        {{0x60, 0x10, 7}, 0x0407, {7}, "Erase-Error Block 7 : Block does not exist"},
        {{0x60, 0x01, 200}, 0x0404, {200}, "Erase-Error Block 200 : Vpp voltage range "},
        {{0x60, 0x04, 7}, 0, {}, nullptr},
        {{0x11}, 0x0400, {}, "Error on RAM-Test with FF "},
        {{0x87}, 0x040A, {}, "unknown flash"},
        {{0x00}, 0x040C, {0}, "unknown Mobile-Error: 00"},
        {{0xC4}, 0x040C, {0xC4}, "unknown Mobile-Error: C4"},
    };
    for (const ReportCase& c : cases) {
        SCOPED_TRACE(c.code);
        before_ = GetSlotErrorCount(kSlot);
        SetAdditionalErrorInfo(kPort, "before");
        EXPECT_EQ(DecodeMobileError(kPort, kMobileErrorMessage, static_cast<std::uint8_t>(c.params.size()),
                                    c.params.data()),
                  0);
        EXPECT_EQ(GetErrorNumber(kPort), 400);
        if (c.code == 0) {
            EXPECT_FALSE(Added());
            continue;
        }
        ASSERT_TRUE(Added());
        const ErrorEntry entry = GetLastSlotError(kSlot);
        EXPECT_EQ(entry.code, c.code);
        for (std::size_t i = 0; i < c.args.size(); ++i) EXPECT_EQ(entry.intArgs[i], c.args[i]);
        EXPECT_STREQ(GetPortErrorRecord(kPort).additionalInfo, c.info);
    }
}

TEST(IsDateOlderTest, YearThenMonthThenDay) {
    struct Case {
        const char* a;
        const char* b;
        int older;
    };
    const Case cases[] = {
        {"31.12.99", "01.01.00", 1},  // 1999 before 2000, whatever month and day say
        {"01.01.00", "31.12.99", 0},
        {"15.06.05", "31.12.29", 1},
        {"14.06.05", "15.06.05", 1},
        {"15.06.05", "15.06.05", 0},
        {"30.05.05", "01.06.05", 1},
        {"01.07.05", "30.06.05", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(IsDateOlder(c.a, c.b), c.older) << c.a << " vs " << c.b;
}

Bytes VersionAnswer(const char* date, const char* time, const char* productType, std::uint8_t svn) {
    Bytes p(33, 0);
    std::memcpy(p.data(), date, 8);
    std::memcpy(p.data() + 8, time, 8);
    std::memcpy(p.data() + 16, productType, std::strlen(productType));
    p[32] = svn;
    return p;
}

TEST_F(ProcedurePartsTest, PhoneSwInfoFromVersionAnswer) {
    Bytes p = VersionAnswer("15.06.05", "12:00:00", "VQ20", 0x22);
    std::memset(p.data() + 16, 'X', 16);  // a product type of all 16 characters
    SwInfo info;
    std::memset(&info, 0x5A, sizeof info);
    MakeMobileSwInfo(info, p.data());
    EXPECT_EQ(std::string(info.productType, 16), std::string(16, 'X'));
    EXPECT_STREQ(info.svn, "SVN: 22");
    EXPECT_STREQ(info.compileDate, "15.06.05");
    EXPECT_STREQ(info.compileTime, "12:00:00");
    EXPECT_EQ(info.projectName[0], '\0');
}

TEST_F(ProcedurePartsTest, DifferenceFileMustFitThePhoneExactly) {
    xbi::XbiHeader header;
    std::strcpy(header.oldDate, "15.06.05");
    std::strcpy(header.oldTime, "12:00:00");
    struct Case {
        Bytes answer;
        int result;
        std::int32_t number;
        std::int32_t code;
        const char* info;
    };
    Bytes noDate = VersionAnswer("15.06.05", "12:00:00", "VQ20", 0x22);
    std::memset(noDate.data(), 0xFF, 8);
    const Case cases[] = {
        {VersionAnswer("15.06.05", "12:00:00", "VQ20", 0x22), 1, 0, 0, nullptr},
        {noDate, 0, 500, 0x0600, "No Date/Time-Info available, impossible to DIFF-Swup"},
        {VersionAnswer("16.06.05", "12:00:00", "VQ20", 0x22), 0, 501, 0x0601,
         "Wrong Date/Time for DIFF-SWUP ! XDI must fit exactly to SW in Mobile"},
        {VersionAnswer("15.06.05", "12:00:01", "VQ20", 0x22), 0, 501, 0x0601,
         "Wrong Date/Time for DIFF-SWUP ! XDI must fit exactly to SW in Moibile"},
    };
    for (const Case& c : cases) {
        SetErrorNumber(kPort, 0, "test", 0);
        before_ = GetSlotErrorCount(kSlot);
        EXPECT_EQ(CheckDiffDate(kPort, header, c.answer.data()), c.result);
        EXPECT_EQ(GetErrorNumber(kPort), c.number);
        if (c.code == 0) {
            EXPECT_FALSE(Added());
            continue;
        }
        EXPECT_EQ(GetLastSlotError(kSlot).code, c.code);
        EXPECT_STREQ(GetPortErrorRecord(kPort).additionalInfo, c.info);
    }
}

TEST(StartUpdateSlotTest, RefusedBeforeTheHandshake) {
    EXPECT_EQ(CheckInterfaceVersion(1, 28), 0);
    EXPECT_EQ(StartUpdateSlot(0, 0, 115200), 0);
    EXPECT_FALSE(IsUpdateSlotRunning(0));
    for (std::uint32_t slot = 0; slot < kSlotCount; ++slot) EXPECT_EQ(GetLastSlotError(slot).code, 0x0617);
    EXPECT_EQ(GetErrorNumber(0), 600);
    EXPECT_EQ(GetErrorNumber(11), 600);
}

TEST(SixtyFourKTableTest, NamesComparedWithoutCase) {
    EXPECT_TRUE(IsIn64kTable("VQ20"));
    EXPECT_TRUE(IsIn64kTable("vq2x"));
    EXPECT_FALSE(IsIn64kTable("VQ2"));
    EXPECT_FALSE(IsIn64kTable(""));
}

}  // namespace
}  // namespace updlib
