#include "xbi/heaplib.h"

#include <gtest/gtest.h>

#include "tests/xbi/xbi_fixture.h"
#include "updlib/error_registry.h"

namespace {

using namespace xbitest;

int Init(const Bytes& file) { return xbi::HeapInit(file.data(), static_cast<std::uint32_t>(file.size())); }

const Bytes kHeader = Concat({Magic(), End()});

TEST(HeapInit, WithoutHashAreaTheDataPartStartsBehindTheHeader) {
    const Bytes file = Concat({kHeader, Block(0x001000, {1, 2, 3})});
    ASSERT_EQ(Init(file), xbi::kHeapOk);
    const xbi::HeapLibState& heap = xbi::GetHeapLibState();
    EXPECT_EQ(heap.headerBytes, kHeader.size());
    EXPECT_EQ(heap.hashAreaSize, 0u);
    EXPECT_EQ(heap.signatureFileLength, 0u);
    EXPECT_EQ(heap.dataOffset, kHeader.size());
    EXPECT_EQ(heap.dataLength, 8u);
    EXPECT_EQ(xbi::GetHeapData(), file.data() + kHeader.size());
}

TEST(HeapInit, HashAreaAndSignatureFileComeOffTheData) {
    const Bytes signatureFile = Concat({Text("Zelmora Mobile Phones Signature File"), {0}, {0, 0, 0, 0}});
    const Bytes header = Concat({Magic(), Record(86, {40, 0, 0, 0}), End()});
    const Bytes file = Concat({signatureFile, header, Bytes(40, 0), Block(0x000000, {9})});
    ASSERT_EQ(Init(file), xbi::kHeapOk);
    const xbi::HeapLibState& heap = xbi::GetHeapLibState();
    EXPECT_EQ(heap.signatureFileLength, signatureFile.size());
    EXPECT_EQ(heap.hashAreaSize, 40u);
    EXPECT_EQ(heap.dataOffset, header.size() + 40);
    EXPECT_EQ(heap.dataLength, 6u);
    std::uint32_t length = 0;
    xbi::GetSignatureFileLength(length);
    EXPECT_EQ(length, signatureFile.size());
}

TEST(HeapInit, FailsWhenTheHeaderCannotBeMeasured) {
    EXPECT_EQ(Init(Concat({Magic(), Record(29, {0, 1})})), xbi::kHeapNoHeader);
    EXPECT_EQ(xbi::GetHeapData(), nullptr);
}

TEST(HeapInit, FailsWhenTheHashAreaReachesBehindTheData) {
    const Bytes file = Concat({Magic(), Record(86, {0x00, 0x01, 0, 0}), End(), Bytes(255, 0)});
    EXPECT_EQ(Init(file), xbi::kHeapNoHeader);
}

TEST(HeapInit, FailsWhenNoXbiFileFollowsTheSignatureFile) {
    const Bytes file = Concat({Text("Zelmora Mobile Phones Signature File"), {0}, {0, 0, 0, 0}, Text("Zelmora Mobile")});
    EXPECT_EQ(Init(file), xbi::kHeapNoHeader);
}

TEST(HeapCheck, TwoBlocksOfThreeAndZeroBytesMakeThirteen) {
    const Bytes file = Concat({kHeader, Block(0x001000, {1, 2, 3}), Block(0x001003, {})});
    ASSERT_EQ(Init(file), xbi::kHeapOk);
    std::uint32_t length = 0;
    EXPECT_EQ(xbi::HeapCheck(length, file.data()), xbi::kHeapCheckOk);
    EXPECT_EQ(length, 13u);
}

TEST(HeapCheck, EmptyDataPartChecks) {
    ASSERT_EQ(Init(kHeader), xbi::kHeapOk);
    std::uint32_t length = 7;
    EXPECT_EQ(xbi::HeapCheck(length, kHeader.data()), xbi::kHeapCheckOk);
    EXPECT_EQ(length, 0u);
}

TEST(HeapCheck, NotInitialised) {
    ASSERT_EQ(Init(Text("nothing")), xbi::kHeapNoHeader);
    std::uint32_t length = 0;
    EXPECT_EQ(xbi::HeapCheck(length, nullptr), xbi::kHeapNotInitialised);
}

// A corrupt block is reported at its start, with 0x0906 and the location in every slot.
struct CorruptCase {
    const char* name;
    Bytes data;
    std::int32_t location;
};

Bytes WrongCheck(Bytes block) {
    block.back() ^= 0x01;
    return block;
}

class CorruptData : public testing::TestWithParam<CorruptCase> {};

TEST_P(CorruptData, IsReportedAtTheStartOfTheBlock) {
    const CorruptCase& c = GetParam();
    const Bytes file = Concat({kHeader, c.data});
    // An exact copy, so that a read behind the data is a heap overflow.
    std::vector<std::uint8_t> exact(file);
    exact.shrink_to_fit();
    ASSERT_EQ(Init(exact), xbi::kHeapOk);
    std::uint32_t length = 0;
    EXPECT_EQ(xbi::HeapCheck(length, exact.data()), xbi::kHeapCorrupt);
    for (std::uint32_t slot = 0; slot < 4; ++slot) {
        const updlib::ErrorEntry entry = updlib::GetLastSlotError(slot);
        EXPECT_EQ(entry.code, 0x0906);
        EXPECT_STREQ(entry.argTypes, "d");
        EXPECT_EQ(entry.intArgs[0], c.location);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CorruptData,
    testing::Values(CorruptCase{"WrongCheckInSecondBlock", Concat({Block(0x1000, {1, 2, 3}), WrongCheck(Block(0x1003, {}))}), 8},
                    CorruptCase{"EndsInsideABlock", Concat({Block(0x1000, {1, 2, 3}), Bytes{0x00, 0x10, 0x03, 0x05, 0xAA}}), 8},
                    CorruptCase{"LengthReachesBehindTheData", Concat({Block(0x1000, {1}), Bytes{0x00, 0x10, 0x01, 0xFF, 0xAA, 0xBB}}), 6},
                    CorruptCase{"FewerBytesThanABlockHead", Concat({Block(0x1000, {1}), Bytes{0x00, 0x10}}), 6}),
    [](const testing::TestParamInfo<CorruptCase>& info) { return std::string(info.param.name); });

TEST(SkipCommandBlocks, SkipsTheCommandBlocksAtTheDataPosition) {
    const Bytes file = Concat({kHeader, CommandBlock({0x11, 0x22}), CommandBlock({}), Block(0x123456, {1, 2})});
    ASSERT_EQ(Init(file), xbi::kHeapOk);
    std::uint32_t remaining = 19;
    EXPECT_EQ(xbi::SkipCommandBlocks(remaining), 1);
    EXPECT_EQ(remaining, 7u);
    EXPECT_EQ(xbi::GetHeapData(), file.data() + kHeader.size() + 12);
    EXPECT_EQ(xbi::GetHeapData()[0], 0x12);
}

TEST(SkipCommandBlocks, StopsAtTheEndOfTheDataPart) {
    const Bytes file = Concat({kHeader, CommandBlock({0x11}), CommandBlock({})});
    std::vector<std::uint8_t> exact(file);
    exact.shrink_to_fit();
    ASSERT_EQ(Init(exact), xbi::kHeapOk);
    std::uint32_t remaining = 1000;  // more than there is: the data part still bounds the walk
    EXPECT_EQ(xbi::SkipCommandBlocks(remaining), 1);
    EXPECT_EQ(remaining, 1000u - 11);
    EXPECT_EQ(xbi::GetHeapData(), exact.data() + exact.size());
}

TEST(SkipCommandBlocks, NotInitialised) {
    ASSERT_EQ(Init(Text("nothing")), xbi::kHeapNoHeader);
    std::uint32_t remaining = 5;
    EXPECT_EQ(xbi::SkipCommandBlocks(remaining), 0);
    EXPECT_EQ(remaining, 5u);
}

}  // namespace
