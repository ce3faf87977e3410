#include "xbi/heaplib.h"

#include <algorithm>

#include "updlib/error_registry.h"
#include "updlib/trace.h"
#include "xbi/signature_file.h"
#include "xbi/xbi_header.h"

namespace xbi {
namespace {

HeapLibState g_heap;
// End of the data part: bounds the skipping of command blocks.
const std::uint8_t* g_dataEnd = nullptr;

constexpr std::uint8_t kCommandAddress = 0xFF;

bool IsCommandBlock(const std::uint8_t* block) {
    return block[0] == kCommandAddress && block[1] == kCommandAddress && block[2] == kCommandAddress;
}

int ReportCorrupt(std::uint32_t location) {
    updlib::TraceLog(0, updlib::kTraceDetails, updlib::kTraceXbi, "heap data corrupt at location %d",
                     static_cast<int>(location));
    updlib::AddErrorToAllSlots(0x0906, "d", location);
    return kHeapCorrupt;
}

}  // namespace

const HeapLibState& GetHeapLibState() { return g_heap; }

void SetHeapHashAreaSize(std::uint32_t size) { g_heap.hashAreaSize = size; }

int HeapInit(const std::uint8_t* data, std::uint32_t total) {
    const std::uint8_t* position = g_heap.dataPosition;
    g_heap = HeapLibState{};
    g_heap.dataPosition = position;
    g_dataEnd = nullptr;
    g_heap.totalLength = total;

    std::uint32_t signatureLength = 0;
    DetectSignatureFile(signatureLength, data, total);
    g_heap.signatureFileLength = signatureLength;

    std::uint32_t headerBytes = 0;
    if (CountXbiHeaderBytes(headerBytes, data + signatureLength, total - signatureLength) != kCountOk) {
        return kHeapNoHeader;
    }
    g_heap.headerBytes = headerBytes;
    // A hash area that reaches behind the data leaves no data part to locate.
    const std::uint64_t parts = std::uint64_t{signatureLength} + headerBytes + g_heap.hashAreaSize;
    if (parts > total) return kHeapNoHeader;

    g_heap.dataOffset = headerBytes + g_heap.hashAreaSize;
    g_heap.dataPosition = data + signatureLength + g_heap.dataOffset;
    g_heap.dataLength = total - static_cast<std::uint32_t>(parts);
    g_heap.totalLengthCopy = total;
    g_dataEnd = g_heap.dataPosition + g_heap.dataLength;
    g_heap.state = kHeapInitialised;
    return kHeapOk;
}

int HeapCheck(std::uint32_t& dataLength, const std::uint8_t* xbiFile) {
    if (g_heap.state != kHeapInitialised) return kHeapNotInitialised;
    if (g_heap.totalLength == 0) return kHeapNoData;

    const std::uint8_t* part = xbiFile + g_heap.dataOffset;
    std::uint32_t sum = 0;
    while (sum < g_heap.dataLength) {
        const std::uint32_t left = g_heap.dataLength - sum;
        const std::uint8_t* block = part + sum;
        if (left < kBlockOverhead || block[3] + kBlockOverhead > left) return ReportCorrupt(sum);
        const std::uint32_t n = block[3];
        std::uint8_t check = 0;
        for (std::uint32_t i = 0; i < n + 4; ++i) check ^= block[i];
        if (check != block[n + 4]) return ReportCorrupt(sum);
        sum += n + static_cast<std::uint32_t>(kBlockOverhead);
    }
    dataLength = sum;
    return kHeapCheckOk;
}

const std::uint8_t* GetHeapData() {
    return g_heap.state == kHeapInitialised ? g_heap.dataPosition : nullptr;
}

int SkipCommandBlocks(std::uint32_t& remaining) {
    if (g_heap.state != kHeapInitialised) return 0;
    for (;;) {
        const auto available = static_cast<std::size_t>(g_dataEnd - g_heap.dataPosition);
        const std::size_t left = std::min<std::size_t>(remaining, available);
        const std::uint8_t* block = g_heap.dataPosition;
        if (left < kBlockOverhead || !IsCommandBlock(block)) break;
        const std::uint32_t size = block[3] + static_cast<std::uint32_t>(kBlockOverhead);
        if (size > left) break;
        remaining -= size;
        g_heap.dataPosition += size;
    }
    return 1;
}

void GetSignatureFileLength(std::uint32_t& length) { length = g_heap.signatureFileLength; }

}  // namespace xbi
