#include "xbi/software_file.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/os/global_memory.h"
#include "updlib/error_registry.h"
#include "updlib/libif.h"
#include "xbi/heaplib.h"

namespace xbi {
namespace {

constexpr std::uint32_t kMovableZeroed = os::kGmemMoveable | os::kGmemZeroInit;

// The state of the file interface. Written while a file is read or released (the host never
// does both at once); the update procedure reads it afterwards.
struct FileInterface {
    std::atomic<bool> fileRead{false};
    std::atomic<bool> signatureTableBuilt{false};
    os::GlobalBlock* signatureMemory = nullptr;
    SignatureTable* signatureTable = nullptr;
    std::atomic<bool> hashListBuilt{false};
    os::GlobalBlock* hashListMemory = nullptr;
    XbiHeader header;
    HashList hashList;
    std::atomic<std::uint32_t> dataBytesToSend{0};
};

FileInterface& Files() {
    static FileInterface files;
    return files;
}

constexpr std::string_view kSwTypeNames[] = {
    "MobSw", "Eesimu", "Voice Memo", "Code Only", "Lang Only", "Code and Lang", "DiffFile", "Extended New Split",
};
constexpr std::string_view kSplitKindNames[] = {"Split Only", "Split and Rest"};
constexpr std::string_view kNoSplitFile = "No Split File";

template <std::size_t N>
void CopyCut(char (&field)[N], std::string_view text) {
    const std::size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

int Fail(std::int32_t code) {
    updlib::AddErrorToAllSlots(code, "");
    return 0;
}

int FailWith(std::int32_t code, const char* types, std::uint32_t value) {
    updlib::AddErrorToAllSlots(code, types, value);
    return 0;
}

constexpr std::int32_t kErrNotInitialised = 0x0800;
constexpr std::int32_t kErrAlreadyRead = 0x0801;
constexpr std::int32_t kErrHeapInit = 0x0802;
constexpr std::int32_t kErrHeaderChecksum = 0x0803;
constexpr std::int32_t kErrHeapNotReady = 0x0804;
constexpr std::int32_t kErrHeapEmpty = 0x0805;
constexpr std::int32_t kErrStrange = 0x0806;
constexpr std::int32_t kErrProjectClass = 0x0807;
constexpr std::int32_t kErrNoUpdate = 0x0808;
constexpr std::int32_t kErrXbiData = 0x0809;
constexpr std::int32_t kErrLibraryOutdated = 0x080A;
constexpr std::int32_t kErrNoMemory = 0x080F;

bool IsSupportedProjectClass(std::uint32_t projectClass) {
    return projectClass == 3 || projectClass == 5 || projectClass == 6;
}

// Builds the signature table of the signature file of length bytes at data.
int ReadSignatureFile(const std::uint8_t* data, std::uint32_t length) {
    FileInterface& files = Files();
    const std::size_t bytes = SignatureTableBytes(data, length);
    files.signatureMemory = os::GlobalAlloc(kMovableZeroed, bytes);
    if (files.signatureMemory == nullptr) return FailWith(kErrNoMemory, "u", static_cast<std::uint32_t>(bytes));
    files.signatureTableBuilt = true;
    files.signatureTable = InitSignatureTable(os::GlobalLock(files.signatureMemory), bytes);
    if (const int result = BuildSignatureTable(*files.signatureTable, data, length); result != kSignatureOk) {
        return FailWith(kErrXbiData, "d", static_cast<std::uint32_t>(result));
    }
    return 1;
}

int ReadHeader(const std::uint8_t* xbiFile, std::uint32_t length, std::uint32_t& headerBytes) {
    const int result = ParseXbiHeader(headerBytes, Files().header, xbiFile, length);
    switch (result) {
    case kParseOk: return 1;
    case kParseBadHeader: return Fail(kErrHeaderChecksum);
    case kParseHeapNotReady: return Fail(kErrHeapNotReady);
    case kParseHeapEmpty: return Fail(kErrHeapEmpty);
    default: return FailWith(kErrStrange, "d", static_cast<std::uint32_t>(result));
    }
}

// Builds the hash list of the hash area of size bytes at area.
int ReadHashArea(const std::uint8_t* area, std::uint32_t size) {
    // An area too short for its own head cannot carry the magic.
    if (size < kHashAreaHead) return FailWith(kErrXbiData, "d", kHashListBadMagic);
    FileInterface& files = Files();
    const std::uint32_t listLength = size - kHashAreaHead;
    const std::size_t bytes = CommandBlockBytes(listLength);
    // An empty hash list still gets a block, so that the list exists.
    files.hashListMemory = os::GlobalAlloc(kMovableZeroed, std::max<std::size_t>(bytes, 1));
    if (files.hashListMemory == nullptr) return FailWith(kErrNoMemory, "u", listLength);
    files.hashListBuilt = true;
    files.hashList = HashList{};
    files.hashList.blockBytes = static_cast<std::uint32_t>(bytes);
    files.hashList.blocks = static_cast<std::uint8_t*>(os::GlobalLock(files.hashListMemory));
    if (const int result = BuildHashList(files.hashList, area, listLength); result != kHashListOk) {
        return FailWith(kErrXbiData, "d", static_cast<std::uint32_t>(result));
    }
    return 1;
}

void FreeBlock(os::GlobalBlock*& block) {
    os::GlobalUnlock(block);
    os::GlobalFree(block);
    block = nullptr;
}

// Frees signature table and hash list, also those a failed read left behind.
void FreeTables() {
    FileInterface& files = Files();
    if (files.signatureTableBuilt) {
        FreeBlock(files.signatureMemory);
        files.signatureTable = nullptr;
        files.signatureTableBuilt = false;
    }
    if (files.hashListBuilt) {
        FreeBlock(files.hashListMemory);
        files.hashList = HashList{};
        files.hashListBuilt = false;
    }
}

}  // namespace

int ReadSoftwareFile(SwInfo& info, const std::uint8_t* data, std::uint32_t length) {
    FileInterface& files = Files();
    if (!updlib::IsLibraryInitialised()) return Fail(kErrNotInitialised);
    if (files.fileRead) return Fail(kErrAlreadyRead);
    FreeTables();
    if (const int result = HeapInit(data, length); result != kHeapOk) {
        return FailWith(kErrHeapInit, "d", static_cast<std::uint32_t>(result));
    }

    std::uint32_t signatureLength = 0;
    GetSignatureFileLength(signatureLength);
    if (signatureLength > 0 && ReadSignatureFile(data, signatureLength) == 0) return 0;
    const std::uint8_t* xbiFile = data + signatureLength;
    const std::uint32_t xbiLength = length - signatureLength;

    std::uint32_t headerBytes = 0;
    if (ReadHeader(xbiFile, xbiLength, headerBytes) == 0) return 0;
    files.fileRead = true;

    const XbiHeader& header = files.header;
    if (!IsSupportedProjectClass(header.projectClass)) return Fail(kErrProjectClass);
    if (updlib::CheckUpdatePossible(header.projectName, static_cast<std::uint8_t>(header.svn & 0xFF)) == 0) {
        return Fail(kErrNoUpdate);
    }
    // The heap's hash area size is the one checked against the length of the data.
    const std::uint32_t hashAreaSize = GetHeapLibState().hashAreaSize;
    if (hashAreaSize != 0 && ReadHashArea(xbiFile + headerBytes, hashAreaSize) == 0) return 0;

    std::uint32_t dataLength = 0;
    if (const int result = HeapCheck(dataLength, xbiFile); result != kHeapCheckOk) {
        return FailWith(kErrXbiData, "d", static_cast<std::uint32_t>(result));
    }
    files.dataBytesToSend = dataLength;
    FillSwInfo(info);
    if (IsLibraryVersionSufficient(header.requiredLibraryVersion) == 0) return Fail(kErrLibraryOutdated);
    return 1;
}

int ReleaseSoftwareFile() {
    FileInterface& files = Files();
    if (files.fileRead) {
        ReleaseXbiHeader(files.header);
        files.fileRead = false;
    }
    FreeTables();
    // The caller's data need not stay valid any more: nothing is left to send from it.
    files.dataBytesToSend = 0;
    return 1;
}

void FillSwInfo(SwInfo& info) {
    const XbiHeader& header = Files().header;
    CopyCut(info.productType, header.productType);
    CopyCut(info.projectName, header.projectName);
    std::snprintf(info.svn, sizeof info.svn, "SVN: %X", static_cast<unsigned>(header.svn));
    CopyCut(info.compileDate, header.compileDate);
    CopyCut(info.compileTime, header.compileTime);
    if (header.swType < std::size(kSwTypeNames)) CopyCut(info.swTypeName, kSwTypeNames[header.swType]);
    if (header.splitList.empty()) {
        CopyCut(info.splitKind, kNoSplitFile);
        CopyCut(info.splitName, kNoSplitFile);
        return;
    }
    const SplitElement& first = header.splitList.front();
    CopyCut(info.splitName, first.name);
    if (first.kind < std::size(kSplitKindNames)) CopyCut(info.splitKind, kSplitKindNames[first.kind]);
}

int IsLibraryVersionSufficient(std::uint16_t required) { return required <= kLibraryVersion ? 1 : 0; }

const SignatureEntry* FindSignature(std::uint32_t keyId) {
    const SignatureTable* table = GetSignatureTable();
    return table != nullptr ? FindTableEntry(*table, keyId) : nullptr;
}

const SignatureTable* GetSignatureTable() {
    const FileInterface& files = Files();
    return files.signatureTableBuilt ? files.signatureTable : nullptr;
}

const HashList* GetHashList() {
    const FileInterface& files = Files();
    return files.hashListBuilt ? &files.hashList : nullptr;
}

const XbiHeader& GetXbiHeader() { return Files().header; }

std::uint32_t GetDataBytesToSend() { return Files().dataBytesToSend; }

void SetDataBytesToSend(std::uint32_t count) { Files().dataBytesToSend = count; }

}  // namespace xbi
