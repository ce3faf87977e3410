// HeapLib: locates the parts of the XBI data (signature file, header, hash area, data part),
// checks the data part and serves it to the update procedure.
//
// Data part: a gapless sequence of flash blocks, each 3 address bytes (FF FF FF for a command
// block), a length n, n data bytes and the XOR of the 4 + n bytes before it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace xbi {

inline constexpr std::uint32_t kHeapInitialised = 2;
inline constexpr std::size_t kBlockOverhead = 5;  // address, n, check byte

// HeapInit results.
enum : int { kHeapOk = 0, kHeapNoHeader = 3 };
// HeapCheck results.
enum : int { kHeapCheckOk = 0, kHeapCorrupt = 1, kHeapNotInitialised = 2, kHeapNoData = 3 };

// The process-wide state. The parts are told by offsets and lengths into the XBI data; the data
// position is a real pointer into the caller's buffer.
struct HeapLibState {
    std::uint32_t totalLength = 0;           // the whole XBI data
    std::uint32_t dataLength = 0;            // the data part
    std::uint32_t headerBytes = 0;
    std::uint32_t hashAreaSize = 0;          // from tag 86, 0 when absent
    std::uint32_t signatureFileLength = 0;   // 0 without a signature file
    std::uint32_t dataOffset = 0;            // of the data part, behind the signature file
    std::uint32_t totalLengthCopy = 0;
    std::uint32_t state = 0;                 // kHeapInitialised once HeapInit succeeded
    const std::uint8_t* dataPosition = nullptr;
};

const HeapLibState& GetHeapLibState();

// Locates the parts of the XBI data of total bytes. Fails with kHeapNoHeader when the header
// cannot be measured, or when header, hash area and signature file do not fit into the data.
int HeapInit(const std::uint8_t* data, std::uint32_t total);

// Walks the blocks of the data part of xbiFile (the XBI data behind the signature file). On
// success dataLength is the length of the data part. A block with a wrong check byte, or one that
// would end behind the data part, is corrupt (error 0x0906 raised with its location).
int HeapCheck(std::uint32_t& dataLength, const std::uint8_t* xbiFile);

// The current position in the data part; nullptr when not initialised.
const std::uint8_t* GetHeapData();

// Moves the data position behind the command blocks it stands on, lowering remaining (the count
// of data bytes still to send) by their size. 1, or 0 when not initialised.
int SkipCommandBlocks(std::uint32_t& remaining);

// The signature file length HeapInit found (0 without a signature file).
void GetSignatureFileLength(std::uint32_t& length);

// Called by the header walk: the hash area size of a tag 86 record.
void SetHeapHashAreaSize(std::uint32_t size);

}  // namespace xbi
