#include "xbi/software_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/xbi/xbi_fixture.h"
#include "updlib/error_registry.h"
#include "updlib/libif.h"

namespace {

using namespace xbitest;

// Text fields of a format-95 file are fully scrambled (pinned byte by byte in xbi_header_test).
Bytes Scrambled(std::string_view text, std::size_t size = 0) {
    Bytes b = Text(text);
    if (size > b.size()) b.resize(size, 0);
    xbi::DescrambleField(b, xbi::Scrambling::kFull);
    return b;
}

const Bytes kData = Concat({CommandBlock({0x10, 0x20}), Block(0x200000, {1, 2, 3, 4})});

Bytes File(const Bytes& records, const Bytes& data = kData) {
    return Concat({Magic(), ReadableRecords(), records, End(), data});
}

const Bytes kSignatureMagic = Concat({Text("Zelmora Mobile Phones Signature File"), {0}});
const Bytes kHashMagic = Concat({Text("EXT_SIGNATURE_HASH_AREA"), {0}});

class SoftwareFile : public testing::Test {
protected:
    void SetUp() override {
        xbi::ReleaseSoftwareFile();
        ASSERT_EQ(updlib::CheckInterfaceVersion(1, 29), 1);
        updlib::SetUpdateMode(updlib::kModeUpdateLoader);
        std::memset(&info_, 0x5A, sizeof info_);
    }
    void TearDown() override { xbi::ReleaseSoftwareFile(); }

    int Read(const Bytes& file) {
        file_ = file;
        file_.shrink_to_fit();  // a read behind the caller's data is a heap overflow
        return xbi::ReadSoftwareFile(info_, file_.data(), static_cast<std::uint32_t>(file_.size()));
    }

    static updlib::ErrorEntry Newest() { return updlib::GetLastSlotError(0); }

    xbi::SwInfo info_;
    Bytes file_;
};

TEST_F(SoftwareFile, ReadsAPlainFile) {
    const Bytes file = File(Concat({Record(23, Scrambled("VQ20")), Record(40, Scrambled("VQ20 Phone")), Record(29, {0x00, 0x21}),
                                    Record(18, Scrambled("18.11.02 12:34:56")), Record(64, {0})}));
    ASSERT_EQ(Read(file), 1);
    EXPECT_STREQ(info_.productType, "VQ20 Phone");
    EXPECT_STREQ(info_.projectName, "VQ20");
    EXPECT_STREQ(info_.svn, "SVN: 21");
    EXPECT_STREQ(info_.compileDate, "18.11.02");
    EXPECT_STREQ(info_.compileTime, "12:34:56");
    EXPECT_STREQ(info_.swTypeName, "MobSw");
    EXPECT_STREQ(info_.splitKind, "No Split File");
    EXPECT_STREQ(info_.splitName, "No Split File");
    EXPECT_EQ(xbi::GetDataBytesToSend(), kData.size());
    EXPECT_EQ(xbi::GetXbiHeader().projectClass, 5u);
    // Neither a signature file nor a hash area: no table, no hash list.
    EXPECT_EQ(xbi::FindSignature(0x5A4D0001), nullptr);
    EXPECT_EQ(xbi::GetHashList(), nullptr);
}

TEST_F(SoftwareFile, BuildsSignatureTableAndHashList) {
    const Bytes list(56, 0x77);
    const Bytes hashArea = Concat({kHashMagic, {1, 0, 28, 0, 2, 0}, list});
    const Bytes signature(128, 0x33);
    const Bytes signatureFile = Concat({kSignatureMagic, {0x5A, 0x4D, 0x00, 0x01}, {128, 0}, signature, {0, 0, 0, 0}});
    const Bytes xbiFile = Concat({Magic(), ReadableRecords(), Record(86, {86, 0, 0, 0}), End(), hashArea, kData});
    ASSERT_EQ(Read(Concat({signatureFile, xbiFile})), 1);
    const xbi::SignatureEntry* entry = xbi::FindSignature(0x5A4D0001);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->signatureLength, 128);
    EXPECT_EQ(entry->blockBytes, 155u);
    EXPECT_EQ(entry->blocks[8], 0x33);
    const xbi::HashList* hashList = xbi::GetHashList();
    ASSERT_NE(hashList, nullptr);
    EXPECT_EQ(hashList->parameterByte1, 1);
    EXPECT_EQ(hashList->parameterWord1, 28);
    EXPECT_EQ(hashList->parameterWord2, 2);
    EXPECT_EQ(hashList->blockBytes, 56u + 9);
    EXPECT_EQ(hashList->blocks[5], 6);  // a single, last hash list part
    EXPECT_EQ(xbi::GetDataBytesToSend(), kData.size());
}

TEST_F(SoftwareFile, NeedsTheInterfaceHandshake) {
    updlib::CheckInterfaceVersion(1, 28);
    EXPECT_EQ(Read(File({})), 0);
    EXPECT_EQ(Newest().code, 0x0800);
}

TEST_F(SoftwareFile, SecondReadWithoutReleaseFails) {
    ASSERT_EQ(Read(File({})), 1);
    EXPECT_EQ(Read(File({})), 0);
    EXPECT_EQ(Newest().code, 0x0801);
    xbi::ReleaseSoftwareFile();
    EXPECT_EQ(Read(File({})), 1);
}

TEST_F(SoftwareFile, ProjectClassFailureLeavesTheFileRead) {
    const Bytes file = Concat({Magic(), Record(16, {0, 95}), Record(17, {2, 30}), Record(52, {4}), End(), kData});
    EXPECT_EQ(Read(file), 0);
    EXPECT_EQ(Newest().code, 0x0807);
    EXPECT_EQ(Read(File({})), 0);
    EXPECT_EQ(Newest().code, 0x0801);
}

TEST_F(SoftwareFile, UpdateNotPossibleOutsideMode1) {
    updlib::SetUpdateMode(updlib::kModePerSlot);
    EXPECT_EQ(Read(File({})), 0);
    EXPECT_EQ(Newest().code, 0x0808);
}

struct VersionCase {
    const char* name;
    Bytes records;
    int result;
};

class RequiredVersion : public SoftwareFile, public testing::WithParamInterface<VersionCase> {};

TEST_P(RequiredVersion, DecidesTheRead) {
    const VersionCase& c = GetParam();
    const Bytes file = Concat({Magic(), Record(16, {0, 95}), Record(52, {3}), c.records, End(), kData});
    EXPECT_EQ(Read(file), c.result);
    if (c.result == 0) {
        EXPECT_EQ(Newest().code, 0x080A);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RequiredVersion,
                         testing::Values(VersionCase{"V230", Record(17, {2, 30}), 1}, VersionCase{"V231", Record(17, {2, 31}), 0},
                                         VersionCase{"None", {}, 0}),
                         [](const testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.name); });

TEST(IsLibraryVersionSufficient, UpTo230) {
    EXPECT_EQ(xbi::IsLibraryVersionSufficient(230), 1);
    EXPECT_EQ(xbi::IsLibraryVersionSufficient(0), 1);
    EXPECT_EQ(xbi::IsLibraryVersionSufficient(231), 0);
    EXPECT_EQ(xbi::IsLibraryVersionSufficient(9999), 0);
}

// Files that cannot be read: each ends in its error code, and nothing is read outside the data.
struct BadFile {
    const char* name;
    Bytes file;
    std::int32_t code;
    const char* argTypes;
    std::int32_t argument;
};

class BadFiles : public SoftwareFile, public testing::WithParamInterface<BadFile> {};

TEST_P(BadFiles, EndInTheirErrorCode) {
    const BadFile& c = GetParam();
    EXPECT_EQ(Read(c.file), 0);
    for (std::uint32_t slot = 0; slot < 4; ++slot) {
        const updlib::ErrorEntry entry = updlib::GetLastSlotError(slot);
        EXPECT_EQ(entry.code, c.code);
        EXPECT_STREQ(entry.argTypes, c.argTypes);
        EXPECT_EQ(entry.intArgs[0], c.argument);
    }
}

Bytes WithHashArea(std::uint32_t size, const Bytes& area) {
    return Concat({Magic(), ReadableRecords(),
                   Record(86, {static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8), 0, 0}), End(), area,
                   kData});
}

Bytes WrongCheck(Bytes block) {
    block.back() ^= 0x80;
    return block;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadFiles,
    testing::Values(
        BadFile{"HeaderWithoutEndRecord", Concat({Magic(), ReadableRecords()}), 0x0802, "d", 3},
        BadFile{"NotAnXbiFile", Text("MZ this is something else"), 0x0802, "d", 3},
        BadFile{"HashAreaBeyondTheData", WithHashArea(0x4000, Concat({kHashMagic, Bytes(6, 0)})), 0x0802, "d", 3},
        BadFile{"SignatureFileWithoutXbiFile", Concat({kSignatureMagic, {0, 0, 0, 0}, Bytes(100, 0x20)}), 0x0802, "d", 3},
        BadFile{"SignatureBeyondTheSignatureFile", Concat({kSignatureMagic, {0, 0, 0, 1}, {0xFF, 0x00}, Bytes(10, 1), File({})}),
                0x0809, "d", 2},
        BadFile{"HashAreaShorterThanItsHead", WithHashArea(20, Bytes(20, 0)), 0x0809, "d", 1},
        BadFile{"HashAreaWithWrongMagic", WithHashArea(40, Bytes(40, 0)), 0x0809, "d", 1},
        BadFile{"CorruptBlock", File({}, Concat({Block(0x1000, {1}), WrongCheck(Block(0x1001, {2}))})), 0x0809, "d", 1},
        BadFile{"DataEndsInsideABlock", File({}, Concat({Block(0x1000, {1}), Bytes{0x00, 0x10, 0x01, 0x08, 0x00}})), 0x0809, "d", 1},
        BadFile{"TextElementPartWithoutElement", File(Record(46, Text("x"))), 0x0806, "d", 7},
        BadFile{"SplitNameWithoutSplitElement", File(Record(84, Bytes(20, 0))), 0x0806, "d", 7}),
    [](const testing::TestParamInfo<BadFile>& info) { return std::string(info.param.name); });

TEST_F(SoftwareFile, CorruptBlockIsReportedBeforeTheReadFails) {
    EXPECT_EQ(Read(File({}, Concat({Block(0x1000, {1}), WrongCheck(Block(0x1001, {2}))}))), 0);
    const std::uint8_t count = updlib::GetSlotErrorCount(0);
    ASSERT_GE(count, 2);
    const updlib::ErrorEntry corrupt = updlib::GetSlotErrorEntry(0, count - 2u);
    EXPECT_EQ(corrupt.code, 0x0906);
    EXPECT_EQ(corrupt.intArgs[0], 6);
}

TEST_F(SoftwareFile, SixteenCharacterProductTypeStaysTerminated) {
    ASSERT_EQ(Read(File(Concat({Record(40, Scrambled("0123456789ABCDEF")), Record(23, Scrambled("PROJECT8"))}))), 1);
    EXPECT_STREQ(info_.productType, "0123456789ABCDE");
    EXPECT_STREQ(info_.projectName, "PROJECT8");
}

TEST_F(SoftwareFile, UnnamedSwTypeLeavesItsFieldAlone) {
    ASSERT_EQ(Read(File(Record(64, {9}))), 1);
    for (const char c : info_.swTypeName) EXPECT_EQ(c, 0x5A);
}

TEST_F(SoftwareFile, FirstSplitElementNamesTheSplit) {
    const Bytes split = Concat({Record(83, {0, 0x10, 0, 0, 0, 0x1F, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 1}),
                                Record(84, Scrambled("ABCDEFGHIJKLMNOPQRST")),
                                Record(83, {0, 0x20, 0, 0, 0, 0x2F, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}),
                                Record(84, Scrambled("second", 20))});
    ASSERT_EQ(Read(File(split)), 1);
    EXPECT_STREQ(info_.splitKind, "Split and Rest");
    EXPECT_STREQ(info_.splitName, "ABCDEFGHIJKLMNOPQRS");  // 20 characters do not leave room for the 0
}

TEST_F(SoftwareFile, SplitKindWithoutNameLeavesItsFieldAlone) {
    ASSERT_EQ(Read(File(Record(83, {0, 0x10, 0, 0, 0, 0x1F, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 5}))), 1);
    EXPECT_STREQ(info_.splitName, "");
    for (const char c : info_.splitKind) EXPECT_EQ(c, 0x5A);
}

TEST_F(SoftwareFile, ReleaseTwiceIsHarmlessAndForgetsTheTables) {
    const Bytes hashArea = Concat({kHashMagic, {1, 0, 28, 0, 0, 0}});
    ASSERT_EQ(Read(Concat({Magic(), ReadableRecords(), Record(86, {30, 0, 0, 0}), End(), hashArea, kData})), 1);
    EXPECT_NE(xbi::GetHashList(), nullptr);
    EXPECT_EQ(xbi::GetHashList()->blockBytes, 0u);
    EXPECT_EQ(xbi::ReleaseSoftwareFile(), 1);
    EXPECT_EQ(xbi::ReleaseSoftwareFile(), 1);
    EXPECT_EQ(xbi::GetHashList(), nullptr);
    EXPECT_EQ(xbi::GetDataBytesToSend(), 0u);
    EXPECT_EQ(xbi::GetXbiHeader().projectClass, 0u);
}

}  // namespace
