// The signature file in front of the XBI file and the hash area behind its header, both turned
// into ready-made command blocks of the flash link (message 0x60), so that the signature
// negotiation only picks the entry of the requested key and sends stored blocks.
//
// Signature file: "Zelmora Mobile Phones Signature File" and a 0 byte, then entries of key ID
// (u32 big-endian), length (u16 little-endian) and signature bytes, ended by key ID 0.
// Hash area: "EXT_SIGNATURE_HASH_AREA" and a 0 byte, byte 1, byte 2, word 1, word 2 (both
// little-endian), then the hash list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace xbi {

inline constexpr std::string_view kSignatureFileMagic{"Zelmora Mobile Phones Signature File\0", 37};
inline constexpr std::string_view kHashAreaMagic{"EXT_SIGNATURE_HASH_AREA\0", 24};
inline constexpr std::uint32_t kHashAreaHead = 30;  // magic and the four hash parameters

// Command blocks: FF FF FF, n, 0x60, sub-command, offset (u16 little-endian), up to 60 data
// bytes, check byte; n = data bytes + 4.
inline constexpr std::uint8_t kSignatureMessage = 0x60;
inline constexpr std::size_t kBlockDataBytes = 60;
inline constexpr std::size_t kCommandBlockOverhead = 9;
enum : std::uint8_t {
    kSubSignaturePart = 3,
    kSubSignatureLast = 4,
    kSubHashListPart = 5,
    kSubHashListLast = 6,
};

// m + 9 * ceil(m / 60): the bytes of the blocks that carry m data bytes.
std::size_t CommandBlockBytes(std::size_t m);

// Cuts data (m bytes) into blocks at out (CommandBlockBytes(m) bytes); every block but the last
// gets subMore, the last subLast. Returns the bytes written.
std::size_t BuildCommandBlocks(std::uint8_t* out, const std::uint8_t* data, std::size_t m,
                               std::uint8_t subMore, std::uint8_t subLast);

// 0 with the signature file length (the offset of the first XBI magic behind the 37 magic bytes)
// when data begins with the signature-file magic; else 1 with length 0. When no XBI magic
// follows, the whole data is signature file and nothing is left for the XBI file.
int DetectSignatureFile(std::uint32_t& length, const std::uint8_t* data, std::uint32_t size);

struct SignatureEntry {
    std::uint32_t keyId = 0;
    std::uint16_t signatureLength = 0;
    std::uint32_t blockBytes = 0;            // byte count of its prebuilt blocks
    const std::uint8_t* blocks = nullptr;    // its prebuilt blocks
};

// Lies at the start of its memory block; the entries follow it, the blocks of each entry are
// placed from the end of the memory block downwards (fill moves down by their byte count).
struct SignatureTable {
    std::uint32_t count = 0;
    std::uint8_t* fill = nullptr;
    std::uint32_t reserved = 0;

    SignatureEntry* entries() { return reinterpret_cast<SignatureEntry*>(this + 1); }
    const SignatureEntry* entries() const { return reinterpret_cast<const SignatureEntry*>(this + 1); }
};

// BuildSignatureTable results.
enum : int { kSignatureOk = 0, kSignatureBadMagic = 1, kSignatureEntryOutside = 2 };

// The bytes a memory block needs for the table of the signature file of length bytes: the table,
// its entries and their blocks, for the entries that lie inside the file.
std::size_t SignatureTableBytes(const std::uint8_t* data, std::uint32_t length);

// Sets up a table in memory (bytes long, suitably aligned) and returns it.
SignatureTable* InitSignatureTable(void* memory, std::size_t bytes);

// Fills table from the signature file at data of length bytes. kSignatureEntryOutside when an
// entry (or the missing end entry) reaches behind the signature file, or its blocks do not fit
// into the table's memory.
int BuildSignatureTable(SignatureTable& table, const std::uint8_t* data, std::uint32_t length);

// The first entry of the table with the key ID; nullptr when there is none.
const SignatureEntry* FindTableEntry(const SignatureTable& table, std::uint32_t keyId);

struct HashList {
    std::uint8_t parameterByte1 = 0;
    std::uint8_t parameterByte2 = 0;
    std::uint16_t parameterWord1 = 0;
    std::uint16_t parameterWord2 = 0;
    std::uint32_t blockBytes = 0;      // byte count of the prebuilt blocks
    std::uint8_t* blocks = nullptr;    // the prebuilt blocks
};

// BuildHashList results.
enum : int { kHashListOk = 0, kHashListBadMagic = 1, kHashListNoRoom = 2 };

// Reads the hash area at area (30 + listLength bytes) into list; the blocks go to list.blocks,
// whose size list.blockBytes gives and which becomes the byte count of the blocks.
int BuildHashList(HashList& list, const std::uint8_t* area, std::uint32_t listLength);

}  // namespace xbi
