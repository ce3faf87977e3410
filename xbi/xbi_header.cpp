#include "xbi/xbi_header.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "updlib/error_registry.h"
#include "updlib/trace.h"
#include "xbi/heaplib.h"

namespace xbi {
namespace {

// The magic with its terminating 0 byte: the scrambling key, read backwards.
constexpr std::size_t kKeyLength = 31;

constexpr std::size_t kDateRecordBytes = 17;  // date d0..d7, separator, time d9..d16
constexpr std::size_t kSplitNameBytes = 20;

struct Record {
    std::uint8_t tag = 0;
    std::size_t length = 0;             // L
    std::uint8_t data[kMaxRecordA] = {};  // the L data bytes, zero behind them
};

// Reads the record at data[pos]; false when it is bad or does not fit into size.
bool ReadRecord(const std::uint8_t* data, std::size_t size, std::size_t pos, Record& record) {
    if (pos > size || size - pos < kRecordOverhead) return false;
    const std::uint8_t* r = data + pos;
    if (r[0] != 0xFF || r[1] != 0xFF || r[2] != 0xFE) return false;
    const std::uint8_t a = r[3];
    // a = 0 would mean a negative data length.
    if (a == 0 || a > kMaxRecordA) return false;
    const std::size_t length = a - 1u;
    if (size - pos < length + kRecordOverhead) return false;
    std::uint8_t check = 0;
    for (std::size_t i = 0; i < length + 5; ++i) check ^= r[i];
    if (check != r[length + 5]) return false;
    record.tag = r[4];
    record.length = length;
    std::memset(record.data, 0, sizeof record.data);
    std::memcpy(record.data, r + 5, length);
    return true;
}

// 0 when the magic and 0x1A open the header, else kCountBadMagic or kCountNoMagicEnd.
int CheckMagic(const std::uint8_t* data, std::size_t size) {
    if (size < kXbiMagic.size() || std::memcmp(data, kXbiMagic.data(), kXbiMagic.size()) != 0) {
        return kCountBadMagic;
    }
    if (size < kMagicBytes || data[kXbiMagic.size()] != kMagicEnd) return kCountNoMagicEnd;
    return 0;
}

std::uint16_t U16(const std::uint8_t* d) { return static_cast<std::uint16_t>(d[0] << 8 | d[1]); }
std::uint32_t U32(const std::uint8_t* d) {
    return std::uint32_t{d[0]} << 24 | std::uint32_t{d[1]} << 16 | std::uint32_t{d[2]} << 8 | d[3];
}

// Copies a text of length bytes into a field of fieldSize characters, cut so that the
// terminator fits.
void CopyText(char* field, std::size_t fieldSize, const std::uint8_t* text, std::size_t length) {
    const std::size_t n = std::min(length, fieldSize - 1);
    std::memcpy(field, text, n);
    field[n] = '\0';
}

template <std::size_t N>
void CopyText(char (&field)[N], const std::uint8_t* text, std::size_t length) {
    CopyText(field, N, text, length);
}

template <typename T>
bool Append(std::vector<T>& list, const T& element) {
    try {
        list.push_back(element);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Ends the parse with kParseElementFailed after the trace line and the error code.
int ElementFailed(const char* trace, std::int32_t code) {
    updlib::TraceLog(0, updlib::kTraceDetails, updlib::kTraceXbi, "%s", trace);
    updlib::AddErrorToAllSlots(code, "");
    return kParseElementFailed;
}

constexpr const char* kCannotAddElement = "can't add element for erase info!";
constexpr const char* kCannotCopyElement = "could not copy element to list!";
constexpr const char* kCannotMallocMapInfo = "can't malloc heap for add. map info!";
constexpr const char* kTooMuchMapInfo = "more map info in xbi header as expected!";
constexpr const char* kCannotMallocLocator = "error mallocing heap for locater entry!";
constexpr const char* kSplitInsertFailed = "SplitElementInsert returns error!";

// One pass over the records: fills the header; the pass fields are descrambled with passVariant.
class HeaderPass {
public:
    HeaderPass(XbiHeader& header, Scrambling passVariant) : header_(header), pass_(passVariant) {}

    // kParseOk with the end record reached, or a failure result.
    int Run(const std::uint8_t* data, std::size_t size, std::uint32_t& byteCount) {
        if (CheckMagic(data, size) != 0) return kParseBadHeader;
        std::size_t pos = kMagicBytes;
        Record record;
        for (;;) {
            if (!ReadRecord(data, size, pos, record)) return kParseBadHeader;
            pos += record.length + kRecordOverhead;
            if (record.tag == kEndTag) break;
            if (const int result = Handle(record); result != kParseOk) return result;
        }
        byteCount = static_cast<std::uint32_t>(pos);
        return kParseOk;
    }

private:
    int Handle(Record& r) {
        std::uint8_t* d = r.data;
        const std::size_t n = r.length;
        switch (r.tag) {
        case 16: header_.formatVersion = static_cast<std::uint16_t>(d[0] * 100 + d[1]); break;
        case 17: header_.requiredLibraryVersion = static_cast<std::uint16_t>(d[0] * 100 + d[1]); break;
        case 18: DateRecord(d, pass_, header_.compileDate, header_.compileTime); break;
        case 19: DateRecord(d, pass_, header_.secondDate, header_.secondTime); break;
        case 20: return AppendLocator(d);
        case 21: header_.locatorList = std::move(pendingLocators_); pendingLocators_.clear(); break;
        case 22: PassText(d, n, header_.thirdNameText); break;
        case 23: PassText(d, n, header_.projectName); break;
        case 26: PassText(d, n, header_.fourthNameText); break;
        case 27: header_.versionWord = U32(d); break;
        case 29: header_.svn = U16(d); break;
        case 32: AppendAdditionalData(d, n); break;
        case 33: header_.additionalDataLength = static_cast<std::uint32_t>(header_.additionalData.size()); break;
        case 34: AllocateAdditionalData(U32(d)); break;
        case 35: header_.softwareSize = U32(d); break;
        case 36: header_.value36 = U16(d); break;
        case 37: header_.bgjAddress = U32(d); break;
        case 39: header_.value39 = U32(d); break;
        case 40: PassText(d, n, header_.productType); break;
        case 41: PassText(d, n, header_.secondProductText); break;
        case 42: PassText(d, n, header_.thirdProductText); break;
        case 45: return AppendTextElement(d, n);
        case 46: return FillTextElement(d, n);
        case 48: return AppendEraseRange(d);
        case 49: header_.value49 = d[0]; break;
        case 50: header_.flashCodeRequest = d[0]; break;
        case 51: header_.value51 = U16(d); break;
        case 52: header_.projectClass = d[0]; break;
        case 53: header_.value53 = d[0]; break;
        case 54:
            for (int i = 0; i < 4; ++i) header_.languageGroup[i] = U32(d + 4 * i);
            break;
        case 55: header_.splitBase = U32(d); header_.splitId = U32(d + 4); break;
        case 56: header_.parameterA0 = U16(d); break;
        case 57: header_.compressionType = d[0]; break;
        case 58: CompressionRecord(d); break;
        case 59: DateRecord(d, Scrambling::kFull, header_.oldDate, header_.oldTime); break;
        case 60: DateRecord(d, Scrambling::kFull, header_.fourthDate, header_.fourthTime); break;
        case 61: FullText(d, n, header_.fifthNameText); break;
        case 62: FullText(d, n, header_.sixthNameText); break;
        case 64: header_.swType = d[0]; break;
        case 80: return AllocateMapInfo(U16(d));
        case 81: return AppendMapInfo(d, n);
        case 82: return CompleteMapInfo();
        case 83: return AppendSplitElement(d);
        case 84: return NameSplitElement(d);
        case 86: header_.hashAreaSize = DecodeHashAreaSize(d); break;
        case 112: Tag112(d, n); break;
        default: break;  // tags not in the table are skipped
        }
        return kParseOk;
    }

    template <std::size_t N>
    static void PassTextImpl(std::uint8_t* d, std::size_t n, Scrambling variant, char (&field)[N]) {
        DescrambleField({d, n}, variant);
        CopyText(field, d, n);
    }
    template <std::size_t N>
    void PassText(std::uint8_t* d, std::size_t n, char (&field)[N]) { PassTextImpl(d, n, pass_, field); }
    template <std::size_t N>
    void FullText(std::uint8_t* d, std::size_t n, char (&field)[N]) {
        PassTextImpl(d, n, Scrambling::kFull, field);
    }

    static void DateRecord(std::uint8_t* d, Scrambling variant, char (&date)[kDateSize],
                           char (&time)[kDateSize]) {
        DescrambleField({d, kDateRecordBytes}, variant);
        CopyText(date, d, 8);
        CopyText(time, d + 9, 8);
    }

    void CompressionRecord(const std::uint8_t* d) {
        header_.compressionValue1 = U16(d);
        header_.word58 = U16(d + 2);
        header_.compressionValue2 = d[4];
        header_.compressionValue3 = d[5];
        for (int i = 0; i < 3; ++i) header_.compressionValues4To6[i] = U16(d + 6 + 2 * i);
    }

    void Tag112(const std::uint8_t* d, std::size_t n) {
        header_.byte112 = d[0];
        // The text ends at its terminator or at the end of the record, whichever comes first.
        const std::uint8_t* text = d + 1;
        const std::size_t available = n > 0 ? n - 1 : 0;
        const auto* end = std::find(text, text + available, std::uint8_t{0});
        CopyText(header_.text112, text, static_cast<std::size_t>(end - text));
    }

    int AppendLocator(const std::uint8_t* d) {
        LocatorEntry entry;
        for (int i = 0; i < 4; ++i) entry.values[i] = U16(d + 2 * i);
        if (!Append(pendingLocators_, entry)) return ElementFailed(kCannotMallocLocator, 0x0904);
        return kParseOk;
    }

    void AllocateAdditionalData(std::uint32_t capacity) {
        // The buffer grows with the chunks; only the capacity is taken from the record, so a
        // large size costs nothing until chunks arrive.
        header_.additionalData.clear();
        header_.additionalDataCapacity = capacity;
        header_.additionalDataAllocated = true;
    }

    void AppendAdditionalData(std::uint8_t* d, std::size_t n) {
        DescrambleField({d, n}, pass_);
        auto& buffer = header_.additionalData;
        if (!header_.additionalDataAllocated || buffer.size() + n > header_.additionalDataCapacity) {
            return;  // the chunk does not fit: dropped
        }
        try {
            buffer.insert(buffer.end(), d, d + n);
        } catch (const std::bad_alloc&) {
            header_.additionalDataAllocated = false;  // later chunks are dropped
        }
    }

    int AppendTextElement(std::uint8_t* d, std::size_t n) {
        DescrambleField({d, n}, Scrambling::kFull);
        TextElement element;
        CopyText(element.first, d, n);
        if (!Append(header_.textElementList, element)) return ElementFailed(kCannotAddElement, 0x0900);
        return kParseOk;
    }

    int FillTextElement(std::uint8_t* d, std::size_t n) {
        if (header_.textElementList.empty()) return ElementFailed(kCannotCopyElement, 0x0901);
        DescrambleField({d, n}, Scrambling::kFull);
        CopyText(header_.textElementList.back().second, d, n);
        return kParseOk;
    }

    int AppendEraseRange(const std::uint8_t* d) {
        if (!Append(header_.eraseList, EraseRange{U32(d), U32(d + 4)})) {
            return ElementFailed(kCannotAddElement, 0x0900);
        }
        return kParseOk;
    }

    int AllocateMapInfo(std::uint16_t length) {
        header_.mapInfoLength = length;
        header_.mapInfo.clear();
        if (length != 0) {
            try {
                header_.mapInfo.reserve(length);
            } catch (const std::bad_alloc&) {
                return ElementFailed(kCannotMallocMapInfo, 0x0902);
            }
        }
        return kParseOk;
    }

    int AppendMapInfo(const std::uint8_t* d, std::size_t n) {
        auto& buffer = header_.mapInfo;
        if (buffer.size() + n > header_.mapInfoLength) return ElementFailed(kTooMuchMapInfo, 0x0903);
        buffer.insert(buffer.end(), d, d + n);  // within the capacity reserved by tag 80
        return kParseOk;
    }

    int CompleteMapInfo() {
        if (header_.mapInfo.size() != header_.mapInfoLength) return ElementFailed(kTooMuchMapInfo, 0x0903);
        header_.mapInfoComplete = 1;
        return kParseOk;
    }

    int AppendSplitElement(const std::uint8_t* d) {
        SplitElement element;
        element.start = U32(d);
        element.end = U32(d + 4);
        element.third = U32(d + 8);
        element.fourth = U16(d + 12);
        element.kind = U16(d + 14);
        if (!Append(header_.splitList, element)) return ElementFailed(kSplitInsertFailed, 0x0905);
        return kParseOk;
    }

    // A name with no split element to carry it is refused like a tag 46 without a text element.
    int NameSplitElement(std::uint8_t* d) {
        if (header_.splitList.empty()) return ElementFailed(kCannotCopyElement, 0x0901);
        DescrambleField({d, kSplitNameBytes}, Scrambling::kFull);
        CopyText(header_.splitList.back().name, d, kSplitNameBytes);
        return kParseOk;
    }

    XbiHeader& header_;
    Scrambling pass_;
    std::vector<LocatorEntry> pendingLocators_;  // tag 20 entries until tag 21 stores them
};

}  // namespace

void DescrambleField(std::span<std::uint8_t> field, Scrambling variant) {
    const std::size_t count = variant == Scrambling::kFull ? field.size() : (field.size() + 1) / 2;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t k = kKeyLength - 1 - i % kKeyLength;  // M[30] is the terminator
        const std::uint8_t key = k < kXbiMagic.size() ? static_cast<std::uint8_t>(kXbiMagic[k]) : 0;
        field[i] ^= key;
    }
}

std::uint32_t DecodeHashAreaSize(const std::uint8_t d[4]) {
    return std::uint32_t{d[0]} + (std::uint32_t{d[1]} << 8) + (std::uint32_t{d[2]} << 20) +
           (std::uint32_t{d[3]} << 28);
}

int ParseXbiHeader(std::uint32_t& headerBytes, XbiHeader& header, const std::uint8_t* data,
                   std::size_t size) {
    const HeapLibState& heap = GetHeapLibState();
    if (heap.state != kHeapInitialised) return kParseHeapNotReady;
    if (heap.totalLength == 0) return kParseHeapEmpty;

    bool secondPass = false;
    for (;;) {
        ReleaseXbiHeader(header);
        HeaderPass pass(header, secondPass ? Scrambling::kHalf : Scrambling::kFull);
        std::uint32_t byteCount = 0;
        if (const int result = pass.Run(data, size, byteCount); result != kParseOk) return result;
        if (secondPass || header.formatVersion >= kSinglePassFormat) {
            headerBytes = byteCount;
            return kParseOk;
        }
        secondPass = true;
    }
}

int CountXbiHeaderBytes(std::uint32_t& headerBytes, const std::uint8_t* data, std::size_t size) {
    headerBytes = 0;
    if (const int magic = CheckMagic(data, size); magic != 0) return magic;
    std::size_t pos = kMagicBytes;
    Record record;
    for (;;) {
        if (!ReadRecord(data, size, pos, record)) return kCountBadRecord;
        pos += record.length + kRecordOverhead;
        if (record.tag == 86) SetHeapHashAreaSize(DecodeHashAreaSize(record.data));
        if (record.tag == kEndTag) break;
    }
    headerBytes = static_cast<std::uint32_t>(pos);
    return kCountOk;
}

void ReleaseXbiHeader(XbiHeader& header) { header = XbiHeader{}; }

}  // namespace xbi
