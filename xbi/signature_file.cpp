#include "xbi/signature_file.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "xbi/xbi_header.h"

namespace xbi {
namespace {

constexpr std::uint8_t kBlockAddress = 0xFF;

bool StartsWith(const std::uint8_t* data, std::size_t size, std::string_view magic) {
    return size >= magic.size() && std::memcmp(data, magic.data(), magic.size()) == 0;
}

std::uint32_t U32BigEndian(const std::uint8_t* d) {
    return std::uint32_t{d[0]} << 24 | std::uint32_t{d[1]} << 16 | std::uint32_t{d[2]} << 8 | d[3];
}
std::uint16_t U16LittleEndian(const std::uint8_t* d) {
    return static_cast<std::uint16_t>(d[0] | d[1] << 8);
}

// One entry of the signature file, as far as it lies inside the file.
struct FileEntry {
    std::uint32_t keyId = 0;
    std::uint16_t length = 0;
    const std::uint8_t* signature = nullptr;
};

// Walks the entries of a signature file of size bytes behind its magic.
class EntryReader {
public:
    EntryReader(const std::uint8_t* data, std::uint32_t size)
        : data_(data), size_(size), pos_(kSignatureFileMagic.size()) {}

    // kSignatureOk with the next entry, or with keyId 0 at the end entry; kSignatureEntryOutside
    // when the entry reaches behind the file.
    int Next(FileEntry& entry) {
        if (size_ - pos_ < 4) return kSignatureEntryOutside;
        entry.keyId = U32BigEndian(data_ + pos_);
        pos_ += 4;
        if (entry.keyId == 0) return kSignatureOk;
        if (size_ - pos_ < 2) return kSignatureEntryOutside;
        entry.length = U16LittleEndian(data_ + pos_);
        pos_ += 2;
        if (size_ - pos_ < entry.length) return kSignatureEntryOutside;
        entry.signature = data_ + pos_;
        pos_ += entry.length;
        return kSignatureOk;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_;
};

}  // namespace

std::size_t CommandBlockBytes(std::size_t m) {
    return m + kCommandBlockOverhead * ((m + kBlockDataBytes - 1) / kBlockDataBytes);
}

std::size_t BuildCommandBlocks(std::uint8_t* out, const std::uint8_t* data, std::size_t m,
                               std::uint8_t subMore, std::uint8_t subLast) {
    std::uint8_t* p = out;
    for (std::size_t offset = 0; offset < m; offset += kBlockDataBytes) {
        const std::size_t chunk = std::min(kBlockDataBytes, m - offset);
        std::uint8_t* block = p;
        *p++ = kBlockAddress;
        *p++ = kBlockAddress;
        *p++ = kBlockAddress;
        *p++ = static_cast<std::uint8_t>(chunk + 4);
        *p++ = kSignatureMessage;
        *p++ = offset + chunk < m ? subMore : subLast;
        *p++ = static_cast<std::uint8_t>(offset & 0xFF);
        *p++ = static_cast<std::uint8_t>(offset >> 8 & 0xFF);
        std::memcpy(p, data + offset, chunk);
        p += chunk;
        std::uint8_t check = 0;
        for (const std::uint8_t* b = block; b < p; ++b) check ^= *b;
        *p++ = check;
    }
    return static_cast<std::size_t>(p - out);
}

int DetectSignatureFile(std::uint32_t& length, const std::uint8_t* data, std::uint32_t size) {
    length = 0;
    if (!StartsWith(data, size, kSignatureFileMagic)) return 1;
    const std::uint8_t* from = data + kSignatureFileMagic.size();
    const std::uint8_t* end = data + size;
    const std::uint8_t* found = std::search(from, end, kXbiMagic.begin(), kXbiMagic.end());
    length = static_cast<std::uint32_t>(found - data);
    return 0;
}

std::size_t SignatureTableBytes(const std::uint8_t* data, std::uint32_t length) {
    std::size_t bytes = sizeof(SignatureTable);
    if (!StartsWith(data, length, kSignatureFileMagic)) return bytes;
    EntryReader reader(data, length);
    FileEntry entry;
    while (reader.Next(entry) == kSignatureOk && entry.keyId != 0) {
        bytes += sizeof(SignatureEntry) + CommandBlockBytes(entry.length);
    }
    return bytes;
}

SignatureTable* InitSignatureTable(void* memory, std::size_t bytes) {
    auto* table = new (memory) SignatureTable;
    table->fill = static_cast<std::uint8_t*>(memory) + bytes;
    return table;
}

int BuildSignatureTable(SignatureTable& table, const std::uint8_t* data, std::uint32_t length) {
    if (!StartsWith(data, length, kSignatureFileMagic)) return kSignatureBadMagic;
    EntryReader reader(data, length);
    FileEntry entry;
    for (;;) {
        if (const int result = reader.Next(entry); result != kSignatureOk) return result;
        if (entry.keyId == 0) return kSignatureOk;
        const std::size_t blockBytes = CommandBlockBytes(entry.length);
        auto* slot = reinterpret_cast<std::uint8_t*>(table.entries() + table.count + 1);
        if (table.fill < slot || static_cast<std::size_t>(table.fill - slot) < blockBytes) {
            return kSignatureEntryOutside;
        }
        table.fill -= blockBytes;
        BuildCommandBlocks(table.fill, entry.signature, entry.length, kSubSignaturePart, kSubSignatureLast);
        new (table.entries() + table.count) SignatureEntry{entry.keyId, entry.length,
                                                           static_cast<std::uint32_t>(blockBytes), table.fill};
        ++table.count;
    }
}

const SignatureEntry* FindTableEntry(const SignatureTable& table, std::uint32_t keyId) {
    const SignatureEntry* entries = table.entries();
    for (std::uint32_t i = 0; i < table.count; ++i) {
        if (entries[i].keyId == keyId) return &entries[i];
    }
    return nullptr;
}

int BuildHashList(HashList& list, const std::uint8_t* area, std::uint32_t listLength) {
    if (std::memcmp(area, kHashAreaMagic.data(), kHashAreaMagic.size()) != 0) return kHashListBadMagic;
    const std::uint8_t* parameters = area + kHashAreaMagic.size();
    list.parameterByte1 = parameters[0];
    list.parameterByte2 = parameters[1];
    list.parameterWord1 = U16LittleEndian(parameters + 2);
    list.parameterWord2 = U16LittleEndian(parameters + 4);
    if (CommandBlockBytes(listLength) > list.blockBytes) return kHashListNoRoom;
    const std::size_t written =
        BuildCommandBlocks(list.blocks, area + kHashAreaHead, listLength, kSubHashListPart, kSubHashListLast);
    list.blockBytes = static_cast<std::uint32_t>(written);
    return kHashListOk;
}

}  // namespace xbi
