#include "xbi/signature_file.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/xbi/xbi_fixture.h"

namespace {

using namespace xbitest;

Bytes Pattern(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 3 + 1);
    return b;
}

Bytes Blocks(const Bytes& data, std::uint8_t more, std::uint8_t last) {
    Bytes out(xbi::CommandBlockBytes(data.size()));
    EXPECT_EQ(xbi::BuildCommandBlocks(out.data(), data.data(), data.size(), more, last), out.size());
    return out;
}

// The block at offset: n, sub-command, the offset field, its check byte.
struct BlockView {
    std::uint8_t n, message, sub;
    std::uint16_t offset;
    bool checkOk;
};

BlockView ViewBlock(const Bytes& blocks, std::size_t at) {
    const std::uint8_t n = blocks[at + 3];
    std::uint8_t x = 0;
    for (std::size_t i = at; i < at + 4 + n; ++i) x ^= blocks[i];
    EXPECT_EQ(blocks[at], 0xFF);
    EXPECT_EQ(blocks[at + 1], 0xFF);
    EXPECT_EQ(blocks[at + 2], 0xFF);
    return {n, blocks[at + 4], blocks[at + 5], static_cast<std::uint16_t>(blocks[at + 6] | blocks[at + 7] << 8),
            x == blocks[at + 4 + n]};
}

TEST(CommandBlocks, SignatureOf128BytesGivesThreeBlocks) {
    const Bytes signature = Pattern(128);
    const Bytes blocks = Blocks(signature, xbi::kSubSignaturePart, xbi::kSubSignatureLast);
    ASSERT_EQ(blocks.size(), 155u);
    const BlockView b0 = ViewBlock(blocks, 0), b1 = ViewBlock(blocks, 69), b2 = ViewBlock(blocks, 138);
    EXPECT_EQ(b0.n, 64);
    EXPECT_EQ(b0.message, 0x60);
    EXPECT_EQ(b0.sub, 3);
    EXPECT_EQ(b0.offset, 0);
    EXPECT_EQ(b1.n, 64);
    EXPECT_EQ(b1.sub, 3);
    EXPECT_EQ(b1.offset, 60);
    EXPECT_EQ(b2.n, 12);
    EXPECT_EQ(b2.sub, 4);
    EXPECT_EQ(b2.offset, 120);
    EXPECT_TRUE(b0.checkOk && b1.checkOk && b2.checkOk);
    EXPECT_EQ(blocks[69 + 8], signature[60]);
    EXPECT_EQ(blocks[138 + 8 + 7], signature[127]);
}

TEST(CommandBlocks, SignatureOf120BytesGivesTwoFullBlocks) {
    const Bytes blocks = Blocks(Pattern(120), xbi::kSubSignaturePart, xbi::kSubSignatureLast);
    ASSERT_EQ(blocks.size(), 138u);
    EXPECT_EQ(ViewBlock(blocks, 0).sub, 3);
    EXPECT_EQ(ViewBlock(blocks, 69).n, 64);
    EXPECT_EQ(ViewBlock(blocks, 69).sub, 4);
}

TEST(CommandBlocks, HashListsOf61And40Bytes) {
    const Bytes b61 = Blocks(Pattern(61), xbi::kSubHashListPart, xbi::kSubHashListLast);
    ASSERT_EQ(b61.size(), 61u + 18);
    EXPECT_EQ(ViewBlock(b61, 0).sub, 5);
    EXPECT_EQ(ViewBlock(b61, 69).n, 5);
    EXPECT_EQ(ViewBlock(b61, 69).sub, 6);
    const Bytes b40 = Blocks(Pattern(40), xbi::kSubHashListPart, xbi::kSubHashListLast);
    ASSERT_EQ(b40.size(), 49u);
    EXPECT_EQ(ViewBlock(b40, 0).n, 44);
    EXPECT_EQ(ViewBlock(b40, 0).sub, 6);
    EXPECT_TRUE(ViewBlock(b40, 0).checkOk);
}

const Bytes kSignatureMagic = Concat({Text("Zelmora Mobile Phones Signature File"), {0}});

TEST(DetectSignatureFile, LengthIsTheOffsetOfTheXbiMagic) {
    const Bytes data = Concat({kSignatureMagic, {0, 0, 0, 0}, Magic()});
    std::uint32_t length = 99;
    EXPECT_EQ(xbi::DetectSignatureFile(length, data.data(), static_cast<std::uint32_t>(data.size())), 0);
    EXPECT_EQ(length, 41u);
    const Bytes plain = Concat({Magic(), End()});
    EXPECT_EQ(xbi::DetectSignatureFile(length, plain.data(), static_cast<std::uint32_t>(plain.size())), 1);
    EXPECT_EQ(length, 0u);
}

// A table in memory of the size SignatureTableBytes asks for, exactly.
struct Table {
    explicit Table(const Bytes& file)
        : bytes(xbi::SignatureTableBytes(file.data(), static_cast<std::uint32_t>(file.size()))),
          memory(new std::uint64_t[(bytes + 7) / 8]),
          table(xbi::InitSignatureTable(memory.get(), bytes)) {}
    std::size_t bytes;
    std::unique_ptr<std::uint64_t[]> memory;
    xbi::SignatureTable* table;
};

Bytes Entry(std::uint32_t keyId, const Bytes& signature) {
    return Concat({{static_cast<std::uint8_t>(keyId >> 24), static_cast<std::uint8_t>(keyId >> 16),
                    static_cast<std::uint8_t>(keyId >> 8), static_cast<std::uint8_t>(keyId)},
                   {static_cast<std::uint8_t>(signature.size()), static_cast<std::uint8_t>(signature.size() >> 8)},
                   signature});
}

TEST(BuildSignatureTable, TwoEntriesAndTheirBlocks) {
    const Bytes first = Pattern(128), second = Pattern(20);
    const Bytes file = Concat({kSignatureMagic, Entry(0x5A4D0001, first), Entry(0x5A4D0002, second), {0, 0, 0, 0}});
    Table t(file);
    ASSERT_EQ(xbi::BuildSignatureTable(*t.table, file.data(), static_cast<std::uint32_t>(file.size())), xbi::kSignatureOk);
    ASSERT_EQ(t.table->count, 2u);
    const xbi::SignatureEntry* entry = xbi::FindTableEntry(*t.table, 0x5A4D0002);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry, t.table->entries() + 1);
    EXPECT_EQ(entry->signatureLength, 20);
    EXPECT_EQ(entry->blockBytes, 29u);
    EXPECT_EQ(Bytes(entry->blocks, entry->blocks + entry->blockBytes), Blocks(second, 3, 4));
    const xbi::SignatureEntry* one = xbi::FindTableEntry(*t.table, 0x5A4D0001);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(Bytes(one->blocks, one->blocks + one->blockBytes), Blocks(first, 3, 4));
    EXPECT_EQ(xbi::FindTableEntry(*t.table, 0x12345678), nullptr);
}

TEST(BuildSignatureTable, ManySmallEntriesStillFitTheirMemory) {
    // One-byte signatures need more table than the file has bytes.
    Bytes file = kSignatureMagic;
    for (std::uint32_t key = 1; key <= 30; ++key) file = Concat({file, Entry(key, {static_cast<std::uint8_t>(key)})});
    file = Concat({file, {0, 0, 0, 0}});
    Table t(file);
    ASSERT_EQ(xbi::BuildSignatureTable(*t.table, file.data(), static_cast<std::uint32_t>(file.size())), xbi::kSignatureOk);
    EXPECT_EQ(t.table->count, 30u);
    EXPECT_EQ(xbi::FindTableEntry(*t.table, 30)->blocks[8], 30);
}

struct BadSignatureFile {
    const char* name;
    Bytes file;
    int result;
};

class BadSignatureFiles : public testing::TestWithParam<BadSignatureFile> {};

TEST_P(BadSignatureFiles, EndInTheirResult) {
    const BadSignatureFile& c = GetParam();
    std::vector<std::uint8_t> exact(c.file);
    exact.shrink_to_fit();
    Table t(exact);
    EXPECT_EQ(xbi::BuildSignatureTable(*t.table, exact.data(), static_cast<std::uint32_t>(exact.size())), c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadSignatureFiles,
    testing::Values(BadSignatureFile{"WrongMagic", Concat({Text("Zelmora Mobile Phones Signature Filx"), {0}, {0, 0, 0, 0}}),
                                     xbi::kSignatureBadMagic},
                    BadSignatureFile{"LengthBeyondTheFile", Concat({kSignatureMagic, {0, 0, 0, 1}, {200, 0}, Pattern(20)}),
                                     xbi::kSignatureEntryOutside},
                    BadSignatureFile{"NoEndEntry", Concat({kSignatureMagic, Entry(7, Pattern(3))}), xbi::kSignatureEntryOutside},
                    BadSignatureFile{"KeyIdCutShort", Concat({kSignatureMagic, {0, 0}}), xbi::kSignatureEntryOutside}),
    [](const testing::TestParamInfo<BadSignatureFile>& info) { return std::string(info.param.name); });

TEST(BuildHashList, ReadsTheParametersAndCutsTheList) {
    const Bytes list = Pattern(61);
    const Bytes area = Concat({Text("EXT_SIGNATURE_HASH_AREA"), {0}, {0x01, 0x00, 28, 0, 0x02, 0x01}, list});
    Bytes storage(xbi::CommandBlockBytes(61));
    xbi::HashList hashList;
    hashList.blocks = storage.data();
    hashList.blockBytes = static_cast<std::uint32_t>(storage.size());
    ASSERT_EQ(xbi::BuildHashList(hashList, area.data(), 61), xbi::kHashListOk);
    EXPECT_EQ(hashList.parameterByte1, 1);
    EXPECT_EQ(hashList.parameterByte2, 0);
    EXPECT_EQ(hashList.parameterWord1, 28);
    EXPECT_EQ(hashList.parameterWord2, 0x0102);
    EXPECT_EQ(hashList.blockBytes, 79u);
    EXPECT_EQ(storage, Blocks(list, 5, 6));
}

TEST(BuildHashList, WrongMagic) {
    const Bytes area = Concat({Text("EXT_SIGNATURE_HASH_AREB"), {0}, Bytes(6, 0)});
    xbi::HashList hashList;
    EXPECT_EQ(xbi::BuildHashList(hashList, area.data(), 0), xbi::kHashListBadMagic);
}

}  // namespace
