// Realistic software files made by xbimake, read back by the library's file interface: every tag,
// both scrambling variants, a signature file with two keys, hash area, erase list and a 1 MB data
// part. The signatures are checked the way the phone simulator checks them.
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/sha.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include <unistd.h>

#include "tests/xbi/test_dirs.h"
#include "tests/xbi/xbi_fixture.h"
#include "tools/xbimake/xbi_writer.h"
#include "updlib/error_registry.h"
#include "updlib/libif.h"
#include "xbi/heaplib.h"
#include "xbi/software_file.h"

namespace {

using xbitest::Bytes;

constexpr std::uint32_t kLoadAddress = 0x200000;
constexpr std::size_t kImageBytes = 1u << 20;
constexpr std::uint32_t kKey1 = 0x5A4D0001;
constexpr std::uint32_t kKey2 = 0x5A4D0002;

using xbitest::SourceDir;

std::string Description(int formatVersion) {
    return "[header]\n"
           "project_name = VQ20PRJ\n"  // before the format version: both passes must find it
           "format_version = " + std::to_string(formatVersion) + "\n"
           "library_version = 230\n"
           "compile = 18.11.02 12:34:56\n"
           "second = 19.11.02 01:02:03\n"
           "locator = 1, 2, 3, 4\n"
           "locator = 5, 6, 7, 8\n"
           "locator_list = 1\n"
           "third_name = Third name text of the software\n"
           "fourth_name = Fourth name\n"
           "version_word = 0x00010203\n"
           "svn = 0x21\n"
           "additional_data = 00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF\n"
           "software_size = 1048576\n"
           "value36 = 0x3636\n"
           "bgj_address = 0x2FFE00\n"
           "value39 = 39\n"
           "product_type = VQ20\n"
           "second_product = Second product\n"
           "third_product = Third product text\n"
           "text_element = first part | second part\n"
           "erase = 0x200000, 0x27FFFF\n"
           "erase = 0x280000, 0x2FFFFF\n"
           "value49 = 49\n"
           "flash_code_request = 0x07\n"
           "value51 = 0x5151\n"
           "project_class = 5\n"
           "value53 = 53\n"
           "language_groups = 1, 2, 3, 4\n"
           "split = 0x7FFE0, 0x12345678\n"
           "parameter_a0 = 0x0A0A\n"
           "compression_type = 3\n"
           "compression = 11, 58, 2, 3, 4, 5, 6\n"
           "old = 01.01.02 00:00:01\n"
           "fourth = 02.02.02 00:00:02\n"
           "fifth_name = Fifth\n"
           "sixth_name = Sixth name\n"
           "sw_type = 0\n"
           "map_info = " + std::string(200, 'A') + "\n"
           "split_element = 0x200000, 0x2FFFFF, 3, 4, 1, Split and rest part\n"
           "tag112 = 0x70, Text 112\n"
           "record = 200: 0102030405\n"
           "\n[data]\n"
           "load_address = 0x200000\n"
           "image_pattern = 1048576\n"
           "command = 0A 01 02\n"
           "\n[hash_area]\n"
           "present = 1\n"
           "\n[signature]\n"
           "key_id = 0x5A4D0001\n"
           "private_key = sim/keys/phone-key-5a4d0001.pem\n"
           "\n[signature]\n"
           "key_id = 0x5A4D0002\n"
           "private_key = sim/keys/phone-key-5a4d0002.pem\n";
}

Bytes Build(const std::string& description) {
    std::string error;
    const auto xbi = xbimake::BuildXbi(description, SourceDir(), error);
    EXPECT_TRUE(xbi.has_value()) << error;
    return xbi.value_or(Bytes{});
}

// The data bytes of consecutive prebuilt 0x60 blocks.
Bytes Unblock(const std::uint8_t* blocks, std::size_t bytes) {
    Bytes data;
    for (std::size_t at = 0; at < bytes;) {
        const std::size_t n = blocks[at + 3];
        data.insert(data.end(), blocks + at + 8, blocks + at + 4 + n);
        at += n + 5;
    }
    return data;
}

// Whether the signature verifies over message under the public half of the key file.
bool Verifies(const std::filesystem::path& keyFile, const Bytes& signature, const Bytes& message) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(keyFile.c_str(), "rb"), std::fclose);
    if (!file) return false;
    std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> key(PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr),
                                                      EVP_PKEY_free);
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    return key && context && EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha1(), nullptr, key.get()) == 1 &&
           EVP_DigestVerify(context.get(), signature.data(), signature.size(), message.data(), message.size()) == 1;
}

// The flash contents the data blocks write, by address.
std::map<std::uint32_t, std::uint8_t> Flash(const std::uint8_t* data, std::size_t length) {
    std::map<std::uint32_t, std::uint8_t> flash;
    for (std::size_t at = 0; at < length;) {
        const std::uint32_t address = std::uint32_t{data[at]} << 16 | data[at + 1] << 8 | data[at + 2];
        const std::size_t n = data[at + 3];
        if (address != 0xFFFFFF) {
            for (std::size_t i = 0; i < n; ++i) flash[address + static_cast<std::uint32_t>(i)] = data[at + 4 + i];
        }
        at += n + 5;
    }
    return flash;
}

class RoundTrip : public testing::TestWithParam<int> {
protected:
    void SetUp() override {
        xbi::ReleaseSoftwareFile();
        ASSERT_EQ(updlib::CheckInterfaceVersion(1, 29), 1);
        updlib::SetUpdateMode(updlib::kModeUpdateLoader);
    }
    void TearDown() override { xbi::ReleaseSoftwareFile(); }
};

TEST_P(RoundTrip, EveryTagReadsBack) {
    const Bytes file = Build(Description(GetParam()));
    ASSERT_FALSE(file.empty());
    xbi::SwInfo info{};
    ASSERT_EQ(xbi::ReadSoftwareFile(info, file.data(), static_cast<std::uint32_t>(file.size())), 1)
        << std::hex << updlib::GetLastSlotError(0).code;
    const xbi::XbiHeader& h = xbi::GetXbiHeader();
    EXPECT_EQ(h.formatVersion, GetParam());
    EXPECT_EQ(h.requiredLibraryVersion, 230);
    EXPECT_STREQ(h.projectName, "VQ20PRJ");
    EXPECT_STREQ(h.compileDate, "18.11.02");
    EXPECT_STREQ(h.compileTime, "12:34:56");
    EXPECT_STREQ(h.secondDate, "19.11.02");
    EXPECT_STREQ(h.secondTime, "01:02:03");
    ASSERT_EQ(h.locatorList.size(), 2u);
    EXPECT_EQ(h.locatorList[1].values[3], 8u);
    EXPECT_STREQ(h.thirdNameText, "Third name text of the software");
    EXPECT_STREQ(h.fourthNameText, "Fourth name");
    EXPECT_EQ(h.versionWord, 0x00010203u);
    EXPECT_EQ(h.svn, 0x21);
    ASSERT_EQ(h.additionalDataLength, 64u);
    EXPECT_EQ(h.additionalData[63], 0xFF);
    EXPECT_EQ(h.additionalData[17], 0x11);
    EXPECT_EQ(h.softwareSize, kImageBytes);
    EXPECT_EQ(h.value36, 0x3636);
    EXPECT_EQ(h.bgjAddress, 0x2FFE00u);
    EXPECT_EQ(h.value39, 39u);
    EXPECT_STREQ(h.productType, "VQ20");
    EXPECT_STREQ(h.secondProductText, "Second product");
    EXPECT_STREQ(h.thirdProductText, "Third product text");
    ASSERT_EQ(h.textElementList.size(), 1u);
    EXPECT_STREQ(h.textElementList[0].first, "first part");
    EXPECT_STREQ(h.textElementList[0].second, "second part");
    ASSERT_EQ(h.eraseList.size(), 2u);
    EXPECT_EQ(h.eraseList[1].start, 0x280000u);
    EXPECT_EQ(h.eraseList[1].end, 0x2FFFFFu);
    EXPECT_EQ(h.value49, 49u);
    EXPECT_EQ(h.flashCodeRequest, 7u);
    EXPECT_EQ(h.value51, 0x5151);
    EXPECT_EQ(h.projectClass, 5u);
    EXPECT_EQ(h.value53, 53u);
    EXPECT_EQ(h.languageGroup[2], 3u);
    EXPECT_EQ(h.splitBase, 0x7FFE0u);
    EXPECT_EQ(h.splitId, 0x12345678u);
    EXPECT_EQ(h.parameterA0, 0x0A0Au);
    EXPECT_EQ(h.compressionType, 3u);
    EXPECT_EQ(h.compressionValue1, 11u);
    EXPECT_EQ(h.word58, 58u);
    EXPECT_EQ(h.compressionValue2, 2u);
    EXPECT_EQ(h.compressionValue3, 3u);
    EXPECT_EQ(h.compressionValues4To6[0], 4);
    EXPECT_EQ(h.compressionValues4To6[2], 6);
    EXPECT_STREQ(h.oldDate, "01.01.02");
    EXPECT_STREQ(h.oldTime, "00:00:01");
    EXPECT_STREQ(h.fourthDate, "02.02.02");
    EXPECT_STREQ(h.fourthTime, "00:00:02");
    EXPECT_STREQ(h.fifthNameText, "Fifth");
    EXPECT_STREQ(h.sixthNameText, "Sixth name");
    EXPECT_EQ(h.swType, 0u);
    EXPECT_EQ(h.mapInfoLength, 100u);
    EXPECT_EQ(h.mapInfoComplete, 1u);
    EXPECT_EQ(h.mapInfo[99], 0xAA);
    ASSERT_EQ(h.splitList.size(), 1u);
    EXPECT_EQ(h.splitList[0].end, 0x2FFFFFu);
    EXPECT_EQ(h.splitList[0].third, 3u);
    EXPECT_EQ(h.splitList[0].fourth, 4);
    EXPECT_EQ(h.splitList[0].kind, xbi::kSplitAndRest);
    EXPECT_STREQ(h.splitList[0].name, "Split and rest part");
    EXPECT_EQ(h.byte112, 0x70);
    EXPECT_STREQ(h.text112, "Text 112");
    EXPECT_STREQ(info.splitKind, "Split and Rest");
    EXPECT_STREQ(info.splitName, "Split and rest part");
}

TEST_P(RoundTrip, SignaturesAndHashListAreTheOnesThePhoneChecks) {
    const Bytes file = Build(Description(GetParam()));
    xbi::SwInfo info{};
    ASSERT_EQ(xbi::ReadSoftwareFile(info, file.data(), static_cast<std::uint32_t>(file.size())), 1);

    const xbi::HashList* hashList = xbi::GetHashList();
    ASSERT_NE(hashList, nullptr);
    EXPECT_EQ(hashList->parameterByte1, 1);
    EXPECT_EQ(hashList->parameterByte2, 0);
    EXPECT_EQ(hashList->parameterWord1, 28);
    EXPECT_EQ(hashList->parameterWord2, 16);  // 1 MB in runs of 64 KiB
    const Bytes list = Unblock(hashList->blocks, hashList->blockBytes);
    ASSERT_EQ(list.size(), 16u * 28);

    // Each entry covers flash bytes that the data part writes, with their SHA-1.
    const auto flash = Flash(xbi::GetHeapData(), xbi::GetDataBytesToSend());
    ASSERT_EQ(flash.size(), kImageBytes);
    for (std::size_t e = 0; e < 16; ++e) {
        const std::uint8_t* entry = list.data() + 28 * e;
        const std::uint32_t start = std::uint32_t{entry[0]} << 24 | entry[1] << 16 | entry[2] << 8 | entry[3];
        const std::uint32_t length = std::uint32_t{entry[4]} << 24 | entry[5] << 16 | entry[6] << 8 | entry[7];
        EXPECT_EQ(start, kLoadAddress + 0x10000 * e);
        EXPECT_EQ(length, 0x10000u);
        Bytes bytes;
        for (std::uint32_t a = start; a < start + length; ++a) bytes.push_back(flash.at(a));
        std::uint8_t digest[SHA_DIGEST_LENGTH];
        SHA1(bytes.data(), bytes.size(), digest);
        EXPECT_EQ(Bytes(digest, digest + 20), Bytes(entry + 8, entry + 28)) << "entry " << e;
    }

    const std::filesystem::path keys = SourceDir() / "sim" / "keys";
    for (const auto& [keyId, keyFile] : {std::pair{kKey1, "phone-key-5a4d0001.pem"}, std::pair{kKey2, "phone-key-5a4d0002.pem"}}) {
        const xbi::SignatureEntry* entry = xbi::FindSignature(keyId);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->signatureLength, 128);
        EXPECT_EQ(entry->blockBytes, 155u);
        const Bytes signature = Unblock(entry->blocks, entry->blockBytes);
        EXPECT_TRUE(Verifies(keys / keyFile, signature, list));
    }
    EXPECT_FALSE(Verifies(keys / "phone-key-5a4d0002.pem", Unblock(xbi::FindSignature(kKey1)->blocks, 155), list));
    EXPECT_EQ(xbi::FindSignature(0x5A4D0003), nullptr);
}

TEST_P(RoundTrip, DataPartIsSixtyFourByteBlocksBehindTheCommandBlock) {
    const Bytes file = Build(Description(GetParam()));
    xbi::SwInfo info{};
    ASSERT_EQ(xbi::ReadSoftwareFile(info, file.data(), static_cast<std::uint32_t>(file.size())), 1);
    const std::uint32_t blocks = kImageBytes / 64;
    EXPECT_EQ(xbi::GetDataBytesToSend(), (3 + 5) + blocks * (64 + 5));
    const std::uint8_t* data = xbi::GetHeapData();
    EXPECT_EQ(Bytes(data, data + 8), (Bytes{0xFF, 0xFF, 0xFF, 3, 0x0A, 0x01, 0x02, 0xFF ^ 0xFF ^ 0xFF ^ 3 ^ 0x0A ^ 0x01 ^ 0x02}));
    EXPECT_EQ(Bytes(data + 8, data + 12), (Bytes{0x20, 0x00, 0x00, 64}));
    std::uint32_t remaining = xbi::GetDataBytesToSend();
    EXPECT_EQ(xbi::SkipCommandBlocks(remaining), 1);
    EXPECT_EQ(remaining, blocks * 69u);
    EXPECT_EQ(xbi::GetHeapData(), data + 8);
}

INSTANTIATE_TEST_SUITE_P(FormatVersions, RoundTrip, testing::Values(95, 94),
                         [](const testing::TestParamInfo<int>& info) { return "Format" + std::to_string(info.param); });

// Broken variants that xbimake writes for tests, and where the read ends.
struct BrokenCase {
    const char* name;
    const char* breakage;
    std::int32_t code;
    std::int32_t argument;
};

class BrokenFiles : public testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenFiles, EndInTheirErrorCode) {
    xbi::ReleaseSoftwareFile();
    ASSERT_EQ(updlib::CheckInterfaceVersion(1, 29), 1);
    updlib::SetUpdateMode(updlib::kModeUpdateLoader);
    const std::string base =
        "[header]\nformat_version = 95\nlibrary_version = 230\nproject_class = 5\nproduct_type = VQ20\n"
        "[data]\nload_address = 0x100000\nimage_pattern = 1000\n[hash_area]\npresent = 1\n";
    Bytes file = Build(base + "[broken]\n" + GetParam().breakage + "\n");
    ASSERT_FALSE(file.empty());
    file.shrink_to_fit();
    xbi::SwInfo info{};
    EXPECT_EQ(xbi::ReadSoftwareFile(info, file.data(), static_cast<std::uint32_t>(file.size())), 0);
    const updlib::ErrorEntry entry = updlib::GetLastSlotError(0);
    EXPECT_EQ(entry.code, GetParam().code);
    EXPECT_EQ(entry.intArgs[0], GetParam().argument);
    xbi::ReleaseSoftwareFile();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BrokenFiles,
    testing::Values(BrokenCase{"WrongHeaderCheckByte", "header_check = 2", 0x0802, 3},
                    BrokenCase{"A65", "header_a65 = 1", 0x0802, 3},
                    BrokenCase{"NoEndRecord", "omit_end = 1", 0x0802, 3},
                    BrokenCase{"HashAreaSizeBeyondTheData", "hash_area_size = 0x8000", 0x0802, 3},
                    BrokenCase{"WrongBlockCheckByte", "data_check = 3", 0x0809, 1},
                    BrokenCase{"TruncatedBlock", "truncate_data = 10", 0x0809, 1}),
    [](const testing::TestParamInfo<BrokenCase>& info) { return std::string(info.param.name); });

TEST(XbimakeTool, WritesTheFileOfADescription) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("xbimake-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::filesystem::path description = dir / "file.desc";
    std::ofstream(description) << Description(95);
    const std::filesystem::path keys = dir / "sim" / "keys";
    std::filesystem::create_directories(keys);
    for (const char* key : {"phone-key-5a4d0001.pem", "phone-key-5a4d0002.pem"}) {
        std::filesystem::copy_file(SourceDir() / "sim" / "keys" / key, keys / key);
    }
    const std::filesystem::path output = dir / "file.xbi";
    const std::string command = (xbitest::BinaryDir() / "tools" / "xbimake" / "xbimake").string() + " " +
                                description.string() + " " + output.string() + " > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(output, std::ios::binary);
    const Bytes written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(written, Build(Description(95)));
    std::filesystem::remove_all(dir);
}

TEST(XbimakeTool, RefusesABadDescription) {
    std::string error;
    EXPECT_FALSE(xbimake::BuildXbi("[header]\nno_such_key = 1\n", ".", error).has_value());
    EXPECT_NE(error.find("line 2"), std::string::npos);
}

}  // namespace
