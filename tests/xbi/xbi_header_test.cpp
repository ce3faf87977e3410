#include "xbi/xbi_header.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/xbi/xbi_fixture.h"
#include "updlib/error_registry.h"
#include "xbi/heaplib.h"

namespace {

using namespace xbitest;

// ParseXbiHeader needs an initialised data heap; any good file sets it up.
void InitHeap() {
    static const Bytes file = Concat({Magic(), End()});
    ASSERT_EQ(xbi::HeapInit(file.data(), static_cast<std::uint32_t>(file.size())), xbi::kHeapOk);
}

int Parse(const Bytes& bytes, xbi::XbiHeader& header, std::uint32_t& count) {
    return xbi::ParseXbiHeader(count, header, bytes.data(), bytes.size());
}

int Parse(const Bytes& bytes, xbi::XbiHeader& header) {
    std::uint32_t count = 0;
    return Parse(bytes, header, count);
}

int Count(const Bytes& bytes, std::uint32_t& count) {
    return xbi::CountXbiHeaderBytes(count, bytes.data(), bytes.size());
}

TEST(DescrambleField, KeyIsTheMagicBackwardsStartingWithItsTerminator) {
    Bytes field(12, 0);
    xbi::DescrambleField(field, xbi::Scrambling::kFull);
    EXPECT_EQ(field, (Bytes{0x00, 0x65, 0x72, 0x61, 0x77, 0x74, 0x66, 0x6F, 0x53, 0x20, 0x73, 0x65}));
}

TEST(DescrambleField, KeyRepeatsEvery31Bytes) {
    Bytes field(33, 0);
    xbi::DescrambleField(field, xbi::Scrambling::kFull);
    EXPECT_EQ(field[30], 'Z');
    EXPECT_EQ(field[31], 0x00);
    EXPECT_EQ(field[32], 0x65);
}

TEST(DescrambleField, HalfTouchesOnlyTheFirstHalfRoundedUp) {
    Bytes field(5, 0);
    xbi::DescrambleField(field, xbi::Scrambling::kHalf);
    EXPECT_EQ(field, (Bytes{0x00, 0x65, 0x72, 0x00, 0x00}));
}

TEST(DescrambleField, EmptyAndOneByteFieldsStayAsTheyAre) {
    Bytes empty;
    xbi::DescrambleField(empty, xbi::Scrambling::kFull);
    EXPECT_TRUE(empty.empty());
    Bytes a = Text("A");
    xbi::DescrambleField(a, xbi::Scrambling::kFull);
    EXPECT_EQ(a, Text("A"));
}

// Format 95, project name "ABCD" fully scrambled, the compile date record fully scrambled.
const Bytes kFormat95 = Concat({
    Magic(),
    {0xFF, 0xFF, 0xFE, 0x03, 0x10, 0x00, 0x5F, 0xB2},
    {0xFF, 0xFF, 0xFE, 0x05, 0x17, 0x41, 0x27, 0x31, 0x25, 0x9E},
    {0xFF, 0xFF, 0xFE, 0x12, 0x12, 0x31, 0x5D, 0x5C, 0x50, 0x46, 0x5A, 0x56, 0x5D, 0x73,
     0x11, 0x41, 0x5F, 0x5D, 0x5B, 0x52, 0x65, 0x16, 0xD2},
    {0xFF, 0xFF, 0xFE, 0x01, 0x04, 0xFB},
});

// Format 94, the same texts scrambled with the half variant.
const Bytes kFormat94 = Concat({
    Magic(),
    {0xFF, 0xFF, 0xFE, 0x03, 0x10, 0x00, 0x5E, 0xB3},
    {0xFF, 0xFF, 0xFE, 0x05, 0x17, 0x41, 0x27, 0x43, 0x44, 0x8D},
    {0xFF, 0xFF, 0xFE, 0x12, 0x12, 0x31, 0x5D, 0x5C, 0x50, 0x46, 0x5A, 0x56, 0x5D, 0x73,
     0x31, 0x32, 0x3A, 0x33, 0x34, 0x3A, 0x35, 0x36, 0xFD},
    {0xFF, 0xFF, 0xFE, 0x01, 0x04, 0xFB},
});

TEST(ParseXbiHeader, Format95IsReadOnceWithFullDescrambling) {
    InitHeap();
    xbi::XbiHeader header;
    std::uint32_t count = 0;
    ASSERT_EQ(Parse(kFormat95, header, count), xbi::kParseOk);
    EXPECT_EQ(count, kFormat95.size());
    EXPECT_EQ(header.formatVersion, 95);
    EXPECT_STREQ(header.projectName, "ABCD");
    EXPECT_STREQ(header.compileDate, "18.11.02");
    EXPECT_STREQ(header.compileTime, "12:34:56");
}

TEST(ParseXbiHeader, Format94IsReadTwiceAndEndsWithHalfDescrambling) {
    InitHeap();
    xbi::XbiHeader header;
    std::uint32_t count = 0;
    ASSERT_EQ(Parse(kFormat94, header, count), xbi::kParseOk);
    EXPECT_EQ(count, kFormat94.size());
    EXPECT_EQ(header.formatVersion, 94);
    EXPECT_STREQ(header.projectName, "ABCD");
    EXPECT_STREQ(header.compileDate, "18.11.02");
    EXPECT_STREQ(header.compileTime, "12:34:56");
}

TEST(ParseXbiHeader, WithoutFormatVersionThePassFieldsEndHalfDescrambled) {
    InitHeap();
    // "ABCD" stored half scrambled, no tag 16.
    const Bytes bytes = Concat({Magic(), {0xFF, 0xFF, 0xFE, 0x05, 0x17, 0x41, 0x27, 0x43, 0x44, 0x8D}, End()});
    xbi::XbiHeader header;
    ASSERT_EQ(Parse(bytes, header), xbi::kParseOk);
    EXPECT_STREQ(header.projectName, "ABCD");
}

TEST(ParseXbiHeader, SecondPassStartsFromAFreshRecord) {
    InitHeap();
    // Erase ranges, text elements and additional data of the first pass must not be doubled.
    const Bytes bytes = Concat({Magic(), Record(48, {0, 0, 0, 1, 0, 0, 0, 2}), Record(45, Text("A")),
                                Record(34, {0, 0, 0, 8}), Record(32, {0x10}), Record(33), End()});
    xbi::XbiHeader header;
    ASSERT_EQ(Parse(bytes, header), xbi::kParseOk);
    EXPECT_EQ(header.eraseList.size(), 1u);
    EXPECT_EQ(header.textElementList.size(), 1u);
    EXPECT_EQ(header.additionalDataLength, 1u);
}

TEST(ParseXbiHeader, FreshRecordHoldsTheInitialValues) {
    InitHeap();
    xbi::XbiHeader header;
    header.svn = 0x77;
    ASSERT_EQ(Parse(Concat({Magic(), End()}), header), xbi::kParseOk);
    EXPECT_EQ(header.svn, 0);
    EXPECT_EQ(header.requiredLibraryVersion, 9999);
    EXPECT_EQ(header.splitId, 0xFFFFFFFFu);
    EXPECT_EQ(header.splitBase, 0x7FFE0u);
    EXPECT_EQ(header.parameterA0, 1u);
    EXPECT_EQ(header.compressionValue2, 2u);
    EXPECT_EQ(header.compressionValue3, 2u);
}

TEST(ParseXbiHeader, NeedsAnInitialisedHeapWithData) {
    const Bytes bad = Text("no header");
    ASSERT_NE(xbi::HeapInit(bad.data(), static_cast<std::uint32_t>(bad.size())), xbi::kHeapOk);
    xbi::XbiHeader header;
    EXPECT_EQ(Parse(kFormat95, header), xbi::kParseHeapNotReady);
}

TEST(ParseXbiHeader, NumbersAreBigEndianAndCutToTheirFields) {
    InitHeap();
    const Bytes bytes = Concat({Magic(),
                                Record(16, {0, 95}),
                                Record(17, {2, 31}),
                                Record(27, {0x12, 0x34, 0x56, 0x78}),
                                Record(29, {0x00, 0x21}),
                                Record(35, {0x00, 0x10, 0x00, 0x00}),
                                Record(37, {0x00, 0x20, 0x00, 0x00}),
                                Record(50, {0x07}),
                                Record(52, {0x05}),
                                Record(54, {0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4}),
                                Record(55, {0x00, 0x07, 0xFF, 0xE0, 0xAB, 0xCD, 0xEF, 0x01}),
                                Record(56, {0x01, 0x02}),
                                Record(58, {0x00, 0x11, 0x00, 0x22, 0x03, 0x04, 0x00, 0x05, 0x00, 0x06, 0x00, 0x07}),
                                Record(64, {0x03}),
                                Record(20, {0, 1, 0, 2, 0, 3, 0, 4}),
                                Record(21),
                                End()});
    xbi::XbiHeader header;
    ASSERT_EQ(Parse(bytes, header), xbi::kParseOk);
    EXPECT_EQ(header.requiredLibraryVersion, 231);
    EXPECT_EQ(header.versionWord, 0x12345678u);
    EXPECT_EQ(header.svn, 0x21);
    EXPECT_EQ(header.softwareSize, 0x100000u);
    EXPECT_EQ(header.bgjAddress, 0x200000u);
    EXPECT_EQ(header.flashCodeRequest, 7u);
    EXPECT_EQ(header.projectClass, 5u);
    EXPECT_EQ(header.languageGroup[0], 1u);
    EXPECT_EQ(header.languageGroup[3], 4u);
    EXPECT_EQ(header.splitBase, 0x7FFE0u);
    EXPECT_EQ(header.splitId, 0xABCDEF01u);
    EXPECT_EQ(header.parameterA0, 0x0102u);
    EXPECT_EQ(header.compressionValue1, 0x11u);
    EXPECT_EQ(header.word58, 0x22u);
    EXPECT_EQ(header.compressionValue2, 3u);
    EXPECT_EQ(header.compressionValue3, 4u);
    EXPECT_EQ(header.compressionValues4To6[2], 7);
    EXPECT_EQ(header.swType, 3u);
    ASSERT_EQ(header.locatorList.size(), 1u);
    EXPECT_EQ(header.locatorList[0].values[3], 4u);
}

TEST(ParseXbiHeader, UnknownTagsAreCountedAndSkipped) {
    InitHeap();
    const Bytes bytes = Concat({Magic(), Record(200, Text("whatever")), Record(29, {0x00, 0x42}), End()});
    xbi::XbiHeader header;
    std::uint32_t count = 0;
    ASSERT_EQ(Parse(bytes, header, count), xbi::kParseOk);
    EXPECT_EQ(count, 31u + 14 + 8 + 6);
    EXPECT_EQ(header.svn, 0x42);
}

TEST(ParseXbiHeader, HashAreaSizeSkipsBits16To19) {
    const std::uint8_t tenThousand[4] = {0x10, 0x27, 0x00, 0x00};
    EXPECT_EQ(xbi::DecodeHashAreaSize(tenThousand), 10000u);
    const std::uint8_t d2[4] = {0x00, 0x00, 0x01, 0x00};
    EXPECT_EQ(xbi::DecodeHashAreaSize(d2), 1u << 20);
    const std::uint8_t d3[4] = {0x00, 0x00, 0x00, 0x11};
    EXPECT_EQ(xbi::DecodeHashAreaSize(d3), 1u << 28);  // 17 << 28 modulo 2^32
}

TEST(ParseXbiHeader, MapInfoInTwoChunksIsComplete) {
    InitHeap();
    const Bytes bytes = Concat({Magic(), Record(80, {0, 100}), Record(81, Bytes(60, 0xAA)), Record(81, Bytes(40, 0xBB)),
                                Record(82), End()});
    xbi::XbiHeader header;
    ASSERT_EQ(Parse(bytes, header), xbi::kParseOk);
    EXPECT_EQ(header.mapInfoLength, 100u);
    EXPECT_EQ(header.mapInfoComplete, 1u);
    ASSERT_EQ(header.mapInfo.size(), 100u);
    EXPECT_EQ(header.mapInfo[59], 0xAA);
    EXPECT_EQ(header.mapInfo[60], 0xBB);
}

TEST(ParseXbiHeader, AdditionalDataDropsChunksThatDoNotFit) {
    InitHeap();
    const Bytes bytes = Concat({Magic(), Record(16, {0, 95}), Record(34, {0, 0, 0, 3}), Record(32, {0x00, 0x00}),
                                Record(32, {0x00, 0x00}), Record(32, {0x41}), Record(33), End()});
    xbi::XbiHeader header;
    ASSERT_EQ(Parse(bytes, header), xbi::kParseOk);
    EXPECT_EQ(header.additionalDataLength, 3u);
    // The chunks are descrambled each from its own start: 00 00 -> 00 65.
    EXPECT_EQ(header.additionalData, (Bytes{0x00, 0x65, 0x41}));
}

TEST(ParseXbiHeader, TextsAreCutToTheirFields) {
    InitHeap();
    // Scrambled with the reader's own routine; the byte-for-byte fixtures above pin the routine.
    Bytes longName = Text("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    xbi::DescrambleField(longName, xbi::Scrambling::kFull);
    Bytes longProduct = Text("0123456789abcdefghij");
    xbi::DescrambleField(longProduct, xbi::Scrambling::kFull);
    const Bytes bytes = Concat({Magic(), Record(16, {0, 95}), Record(23, longName), Record(40, longProduct), End()});
    xbi::XbiHeader header;
    ASSERT_EQ(Parse(bytes, header), xbi::kParseOk);
    EXPECT_STREQ(header.projectName, "ABCDEFGH");
    EXPECT_STREQ(header.productType, "0123456789abcdef");
    EXPECT_EQ(header.thirdNameText[0], '\0');  // the next field is untouched
}

TEST(ParseXbiHeader, Tag112TextWithoutTerminatorEndsWithTheRecord) {
    InitHeap();
    const Bytes bytes = Concat({Magic(), Record(112, Concat({{0x09}, Text("ABC")})), End()});
    xbi::XbiHeader header;
    ASSERT_EQ(Parse(bytes, header), xbi::kParseOk);
    EXPECT_EQ(header.byte112, 0x09);
    EXPECT_STREQ(header.text112, "ABC");
}

TEST(ParseXbiHeader, Tag112TextLongerThanItsFieldIsCut) {
    InitHeap();
    const Bytes bytes = Concat({Magic(), Record(112, Concat({{0x01}, Text("0123456789abcdefXYZ"), {0}})), End()});
    xbi::XbiHeader header;
    ASSERT_EQ(Parse(bytes, header), xbi::kParseOk);
    EXPECT_STREQ(header.text112, "0123456789abcdef");
}

TEST(ParseXbiHeader, TextElementsAndSplitElementsAreListedInOrder) {
    InitHeap();
    Bytes name = Text("Split Name 1");
    name.resize(20, 0);
    xbi::DescrambleField(name, xbi::Scrambling::kFull);
    Bytes first = Text("first");
    xbi::DescrambleField(first, xbi::Scrambling::kFull);
    Bytes second = Text("second");
    xbi::DescrambleField(second, xbi::Scrambling::kFull);
    const Bytes bytes = Concat({Magic(), Record(16, {0, 95}), Record(45, first), Record(46, second),
                                Record(83, {0, 0x10, 0, 0, 0, 0x1F, 0xFF, 0xFF, 0, 0, 0, 3, 0, 4, 0, 1}),
                                Record(84, name), Record(48, {0, 0x10, 0, 0, 0, 0x1F, 0xFF, 0xFF}), End()});
    xbi::XbiHeader header;
    ASSERT_EQ(Parse(bytes, header), xbi::kParseOk);
    ASSERT_EQ(header.textElementList.size(), 1u);
    EXPECT_STREQ(header.textElementList[0].first, "first");
    EXPECT_STREQ(header.textElementList[0].second, "second");
    ASSERT_EQ(header.splitList.size(), 1u);
    EXPECT_EQ(header.splitList[0].start, 0x100000u);
    EXPECT_EQ(header.splitList[0].end, 0x1FFFFFu);
    EXPECT_EQ(header.splitList[0].kind, xbi::kSplitAndRest);
    EXPECT_STREQ(header.splitList[0].name, "Split Name 1");
    ASSERT_EQ(header.eraseList.size(), 1u);
    EXPECT_EQ(header.eraseList[0].end, 0x1FFFFFu);
}

// Records that cannot be stored end the parse with 7 and their error code.
struct ElementCase {
    const char* name;
    Bytes records;
    std::int32_t code;
};

class ElementFailure : public testing::TestWithParam<ElementCase> {};

TEST_P(ElementFailure, EndsWithSevenAndItsCode) {
    InitHeap();
    const ElementCase& c = GetParam();
    xbi::XbiHeader header;
    EXPECT_EQ(Parse(Concat({Magic(), c.records, End()}), header), xbi::kParseElementFailed);
    for (std::uint32_t slot = 0; slot < 4; ++slot) EXPECT_EQ(updlib::GetLastSlotError(slot).code, c.code);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ElementFailure,
    testing::Values(ElementCase{"TextElementPartWithoutElement", Record(46, Text("x")), 0x0901},
                    ElementCase{"SplitNameBeforeAnySplitElement", Record(84, Bytes(20, 0x41)), 0x0901},
                    ElementCase{"ThirdMapInfoChunk",
                                Concat({Record(80, {0, 100}), Record(81, Bytes(60, 1)), Record(81, Bytes(40, 2)),
                                        Record(81, Bytes(1, 3))}),
                                0x0903},
                    ElementCase{"MapInfoIncomplete", Concat({Record(80, {0, 100}), Record(81, Bytes(60, 1)), Record(82)}),
                                0x0903},
                    ElementCase{"MapInfoChunkWithoutLength", Record(81, Bytes(4, 1)), 0x0903}),
    [](const testing::TestParamInfo<ElementCase>& info) { return std::string(info.param.name); });

// Malformed headers: ParseXbiHeader gives 1, CountXbiHeaderBytes its own result, and neither reads
// outside the bytes it is given (the sanitizer build watches that).
struct MalformedCase {
    const char* name;
    Bytes bytes;
    int countResult;
};

Bytes WithByte(Bytes bytes, std::size_t index, std::uint8_t value) {
    bytes[index] = value;
    return bytes;
}

const Bytes kGood = Concat({Magic(), Record(29, {0x00, 0x21}), End()});
constexpr std::size_t kFirstRecord = 31;

class MalformedHeader : public testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedHeader, EndsInItsResultCode) {
    InitHeap();
    const MalformedCase& c = GetParam();
    // An exact-size copy, so that any read behind it is a heap overflow.
    auto* exact = new std::uint8_t[c.bytes.size() + 1];
    if (!c.bytes.empty()) std::memcpy(exact, c.bytes.data(), c.bytes.size());
    std::uint32_t count = 99;
    EXPECT_EQ(xbi::CountXbiHeaderBytes(count, exact, c.bytes.size()), c.countResult);
    EXPECT_EQ(count, 0u);
    xbi::XbiHeader header;
    EXPECT_EQ(xbi::ParseXbiHeader(count, header, exact, c.bytes.size()), xbi::kParseBadHeader);
    delete[] exact;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedHeader,
    testing::Values(
        MalformedCase{"Empty", {}, xbi::kCountBadMagic},
        MalformedCase{"ShortMagic", Text("Zelmora Mobile"), xbi::kCountBadMagic},
        MalformedCase{"WrongMagic", WithByte(kGood, 0, 'X'), xbi::kCountBadMagic},
        MalformedCase{"MagicWithoutEnd", Text("Zelmora Mobile Phones Software"), xbi::kCountNoMagicEnd},
        MalformedCase{"Wrong1A", WithByte(kGood, 30, 0x1B), xbi::kCountNoMagicEnd},
        MalformedCase{"FirstByteNotFF", WithByte(kGood, kFirstRecord, 0xFE), xbi::kCountBadRecord},
        MalformedCase{"ThirdByteNotFE", WithByte(kGood, kFirstRecord + 2, 0xFF), xbi::kCountBadRecord},
        MalformedCase{"A65", Concat({Magic(), {0xFF, 0xFF, 0xFE, 65, 29}, Bytes(64, 0), End()}), xbi::kCountBadRecord},
        MalformedCase{"A0", Concat({Magic(), {0xFF, 0xFF, 0xFE, 0x00, 0x1D, 0x1D}, End()}), xbi::kCountBadRecord},
        MalformedCase{"WrongCheckByte", WithByte(kGood, kFirstRecord + 7, 0x00), xbi::kCountBadRecord},
        MalformedCase{"NoEndRecord", Concat({Magic(), Record(29, {0x00, 0x21})}), xbi::kCountBadRecord},
        MalformedCase{"RecordCutShort", Bytes(kGood.begin(), kGood.end() - 8), xbi::kCountBadRecord},
        MalformedCase{"EndRecordCutShort", Bytes(kGood.begin(), kGood.end() - 1), xbi::kCountBadRecord},
        MalformedCase{"RecordLongerThanTheBuffer", Concat({Magic(), {0xFF, 0xFF, 0xFE, 64, 23, 0x41}}),
                      xbi::kCountBadRecord}),
    [](const testing::TestParamInfo<MalformedCase>& info) { return std::string(info.param.name); });

TEST(CountXbiHeaderBytes, MeasuresTheHeaderAndStoresTheHashAreaSize) {
    const Bytes bytes = Concat({Magic(), Record(86, {0x10, 0x27, 0x00, 0x00}), End(), Bytes(10, 0)});
    std::uint32_t count = 0;
    ASSERT_EQ(Count(bytes, count), xbi::kCountOk);
    EXPECT_EQ(count, 31u + 10 + 6);
    EXPECT_EQ(xbi::GetHeapLibState().hashAreaSize, 10000u);
}

}  // namespace
