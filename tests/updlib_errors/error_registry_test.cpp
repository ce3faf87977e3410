// The registry is process-wide and nothing empties it, so each test owns a slot (or checks only
// what it added), and the test that fills a list runs last.
#include "updlib/error_registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace updlib {
namespace {

// Slot use: 2 stays empty until the all-slots test, 1 takes the argument cases, 3 is filled.
constexpr std::uint32_t kEmptySlot = 2;
constexpr std::uint32_t kArgumentSlot = 1;
constexpr std::uint32_t kFilledSlot = 3;

TEST(ErrorTable, HoldsTheRowsInStoredOrder) {
    const auto table = ErrorTable();
    ASSERT_EQ(table.size(), 147u);
    EXPECT_EQ(table.front().code, 0x0100u);
    EXPECT_STREQ(table.front().message, "ComPort is alrady open");
    EXPECT_EQ(table.back().code, 0x0FFFu);
    EXPECT_STREQ(table.back().message, "Overflow on error list");

    std::vector<std::uint32_t> codes;
    for (const ErrorTableRow& row : table) codes.push_back(row.code);
    const auto at = [&](std::uint32_t code) {
        return std::find(codes.begin(), codes.end(), code) - codes.begin();
    };
    EXPECT_EQ(at(0x061C), at(0x0615) + 1);  // stored out of numeric order
    EXPECT_EQ(at(0x0616), at(0x061C) + 1);
    EXPECT_EQ(std::set<std::uint32_t>(codes.begin(), codes.end()).size(), codes.size());
}

TEST(ErrorTable, EveryClassHasItsOwnRow) {
    for (const ErrorTableRow& row : ErrorTable()) {
        if (row.errorClass == 0) continue;
        EXPECT_GE(row.errorClass, 0x0F00u) << std::hex << row.code;
        EXPECT_LE(row.errorClass, 0x0F07u) << std::hex << row.code;
        EXPECT_NE(FindErrorTableRow(static_cast<std::int32_t>(row.errorClass)), nullptr);
    }
}

TEST(ErrorTable, LookupMatchesTheLow16BitsOrFindsNothing) {
    struct Case {
        std::int32_t code;
        const char* message;  // nullptr: no row
    };
    const Case cases[] = {
        {0x0103, "ComPort is not open"},
        {0x7F0103, "ComPort is not open"},
        {0x0408, "Byte-Program-Error Nr:  %d on adress %02X%02X%02X"},
        {0x0F00,
         "Cant connect mobile !\nCheck if attached correctly or switch baudrate or comport"},
        {0x0306, nullptr},
        {0x061E, nullptr},
        {0, nullptr},
    };
    for (const Case& c : cases) {
        const ErrorTableRow* row = FindErrorTableRow(c.code);
        if (c.message == nullptr) {
            EXPECT_EQ(row, nullptr) << std::hex << c.code;
        } else {
            ASSERT_NE(row, nullptr) << std::hex << c.code;
            EXPECT_STREQ(row->message, c.message);
        }
    }
}

TEST(SlotErrorList, EmptyListYieldsCodeZero) {
    ASSERT_EQ(GetSlotErrorCount(kEmptySlot), 0u);
    const ErrorEntry entry = GetLastSlotError(kEmptySlot);
    EXPECT_EQ(entry.code, 0);
    EXPECT_STREQ(entry.argTypes, "");
}

TEST(SlotErrorList, ArgumentsFollowTheirTypeLetters) {
    const std::string longText(3000, 'a');
    const std::string two = "two";
    struct Case {
        const char* name;
        const char* types;
        std::vector<ErrorArg> args;
        const char* storedTypes;
        std::vector<std::int32_t> ints;  // the five integer fields
        std::vector<std::string> texts;  // the five text fields
    };
    const std::vector<Case> cases = {
        {"no arguments", "", {}, "", {0, 0, 0, 0, 0}, {"", "", "", "", ""}},
        {"dXXX of a byte program error",
         "dXXX",
         {7, 0x12, 0x34, 0x56},
         "dXXX",
         {7, 0x12, 0x34, 0x56, 0},
         {"", "", "", "", ""}},
        {"ssss",
         "ssss",
         {"a", "bb", "ccc", "dddd"},
         "ssss",
         {0, 0, 0, 0, 0},
         {"a", "bb", "ccc", "dddd", ""}},
        {"integers and texts counted apart",
         "dsXS",
         {1, "one", 2u, two},
         "dsXS",
         {1, 2, 0, 0, 0},
         {"one", "two", "", "", ""}},
        {"a sixth integer letter takes no argument",
         "ddddddS",
         {1, 2, 3, 4, 5, "after"},
         "ddddddS",
         {1, 2, 3, 4, 5},
         {"after", "", "", "", ""}},
        {"other letters take no argument",
         "dzs",
         {5, "abc"},
         "dzs",
         {5, 0, 0, 0, 0},
         {"abc", "", "", "", ""}},
        {"unsigned value kept as 32 bits",
         "X",
         {0xFFFFFFFFu},
         "X",
         {-1, 0, 0, 0, 0},
         {"", "", "", "", ""}},
        {"missing arguments store zero", "dXs", {3}, "dXs", {3, 0, 0, 0, 0}, {"", "", "", "", ""}},
        {"an argument of the other kind stores zero",
         "ds",
         {"text", 9},
         "ds",
         {0, 0, 0, 0, 0},
         {"", "", "", "", ""}},
        {"only ten letters are looked at",
         "iiiiiiiiiis",
         {1, 2, 3, 4, 5, "late"},
         "iiiiiiiiiis",
         {1, 2, 3, 4, 5},
         {"", "", "", "", ""}},
        {"a long letter list is cut to eleven",
         "dddddddddddddddd",
         {1},
         "ddddddddddd",
         {1, 0, 0, 0, 0},
         {"", "", "", "", ""}},
        {"a long text is cut to its field",
         "ss",
         {longText, "next"},
         "ss",
         {0, 0, 0, 0, 0},
         {std::string(kTextArgSize - 1, 'a'), "next", "", "", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::uint8_t before = GetSlotErrorCount(kArgumentSlot);
        AddError(kArgumentSlot, 0x0408, c.types, ErrorArgs(c.args));
        ASSERT_EQ(GetSlotErrorCount(kArgumentSlot), before + 1);
        const ErrorEntry entry = GetLastSlotError(kArgumentSlot);
        EXPECT_EQ(entry.code, 0x0408);
        EXPECT_STREQ(entry.argTypes, c.storedTypes);
        EXPECT_EQ(std::vector<std::int32_t>(entry.intArgs, entry.intArgs + kIntArgCount), c.ints);
        for (std::size_t i = 0; i < kTextArgCount; ++i) {
            ASSERT_LT(std::strlen(entry.textArgs[i]), kTextArgSize);
            EXPECT_EQ(entry.textArgs[i], c.texts[i]) << "text " << i;
        }
    }
}

TEST(SlotErrorList, VariadicFormTakesTypedArguments) {
    AddError(kArgumentSlot, 0x0A00, "dd", 4, 115200);
    ErrorEntry entry = GetLastSlotError(kArgumentSlot);
    EXPECT_EQ(entry.code, 0x0A00);
    EXPECT_EQ(entry.intArgs[0], 4);
    EXPECT_EQ(entry.intArgs[1], 115200);

    AddError(0x10000u | kArgumentSlot, 0x060A, "ss", "VQ20", std::string("VQ2X"));  // low 16 bits
    entry = GetLastSlotError(kArgumentSlot);
    EXPECT_EQ(entry.code, 0x060A);
    EXPECT_STREQ(entry.textArgs[0], "VQ20");
    EXPECT_STREQ(entry.textArgs[1], "VQ2X");
}

TEST(SlotErrorList, SlotOutsideTheListsIsIgnored) {
    std::uint8_t before[kSlotCount];
    for (std::uint32_t s = 0; s < kSlotCount; ++s) before[s] = GetSlotErrorCount(s);
    AddError(4, 0x0103, "");
    AddError(0xFFFF, 0x0103, "");
    EXPECT_EQ(GetLastSlotError(4).code, 0);
    for (std::uint32_t s = 0; s < kSlotCount; ++s) EXPECT_EQ(GetSlotErrorCount(s), before[s]);
}

TEST(PortErrorRecord, NumberAndDetailTextOfTheNewestFailure) {
    SetErrorNumber(4, 3, "wseril1", 120);
    PortErrorRecord record = GetPortErrorRecord(4);
    EXPECT_EQ(record.errorNumber, 3);
    EXPECT_STREQ(record.sourceModule, "wseril1");
    EXPECT_EQ(record.sourceLine, 120);
    EXPECT_EQ(record.infoPresent, 0u);

    SetAdditionalErrorInfo(4, "Opening Comport %d with Speed %d Baud not possible", 5, 115200);
    record = GetPortErrorRecord(4);
    EXPECT_STREQ(record.additionalInfo, "Opening Comport 5 with Speed 115200 Baud not possible");
    EXPECT_EQ(record.infoPresent, 1u);
    EXPECT_EQ(GetErrorNumber(4), 3);

    SetErrorNumber(4, 7, "wseril2", 9);
    EXPECT_EQ(GetPortErrorRecord(4).infoPresent, 0u);
    EXPECT_EQ(GetErrorNumber(4), 7);
}

TEST(PortErrorRecord, LongDetailTextIsCutToItsField) {
    const std::string longText(1500, 'x');
    SetAdditionalErrorInfo(5, "%s", longText.c_str());
    const PortErrorRecord record = GetPortErrorRecord(5);
    EXPECT_EQ(std::string(record.additionalInfo), std::string(kAdditionalInfoSize - 1, 'x'));
    EXPECT_EQ(record.infoPresent, 1u);
}

TEST(PortErrorRecord, AllPortsAndPortsOutsideTheRange) {
    SetErrorNumberAllPorts(600);
    for (int port = 0; port < kPortCount; ++port) EXPECT_EQ(GetErrorNumber(port), 600) << port;

    for (const int port : {-1, 12, 1000}) {
        SetErrorNumber(port, 77, "test", 1);
        SetAdditionalErrorInfo(port, "ignored");
        EXPECT_EQ(GetErrorNumber(port), 0);
    }
    for (int port = 0; port < kPortCount; ++port) {
        const PortErrorRecord record = GetPortErrorRecord(port);
        EXPECT_EQ(record.errorNumber, 600) << port;
        EXPECT_EQ(record.infoPresent, 0u) << port;
    }
}

TEST(SlotErrorList, AllSlotsGetTheSameNewestEntry) {
    AddErrorToAllSlots(0x0617, "");
    for (std::uint32_t slot = 0; slot < kSlotCount; ++slot) {
        EXPECT_EQ(GetLastSlotError(slot).code, 0x0617) << slot;
    }
    AddErrorToAllSlots(0x0802, "d", 12);
    for (std::uint32_t slot = 0; slot < kSlotCount; ++slot) {
        const ErrorEntry entry = GetLastSlotError(slot);
        EXPECT_EQ(entry.code, 0x0802) << slot;
        EXPECT_EQ(entry.intArgs[0], 12) << slot;
    }
}

// Last in this file: leaves its slot full.
TEST(SlotErrorList, FullListKeepsItsEntriesAndMarksTheOverflow) {
    for (std::int32_t code = GetSlotErrorCount(kFilledSlot); code < kErrorListMaxCount; ++code) {
        AddError(kFilledSlot, 0x0900 + code, "d", code);
    }
    ASSERT_EQ(GetSlotErrorCount(kFilledSlot), 49u);
    const ErrorEntry fortyNinth = GetLastSlotError(kFilledSlot);
    EXPECT_EQ(GetSlotErrorEntry(kFilledSlot, 49).code, 0);

    AddError(kFilledSlot, 0x0605, "d", 1);
    EXPECT_EQ(GetSlotErrorCount(kFilledSlot), 49u);
    EXPECT_EQ(GetSlotErrorEntry(kFilledSlot, 49).code, kErrorListOverflow);
    EXPECT_STREQ(GetSlotErrorEntry(kFilledSlot, 49).argTypes, "");
    EXPECT_EQ(GetLastSlotError(kFilledSlot).code, fortyNinth.code);
    EXPECT_EQ(GetLastSlotError(kFilledSlot).intArgs[0], fortyNinth.intArgs[0]);

    AddErrorToAllSlots(0x0617, "");
    EXPECT_EQ(GetSlotErrorCount(kFilledSlot), 49u);
    EXPECT_EQ(GetLastSlotError(kFilledSlot).code, fortyNinth.code);
}

}  // namespace
}  // namespace updlib
