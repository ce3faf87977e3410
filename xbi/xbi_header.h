// The XBI header: the magic text, then tagged records up to the end record. ParseXbiHeader fills
// the XbiHeader record the library keeps for the software file; CountXbiHeaderBytes only measures
// the header for the data heap.
//
// Every read stays inside the buffer the caller names: a header that runs past it is a bad record.
// Text fields are cut to their size and always terminated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace xbi {

// "Zelmora Mobile Phones Software": starts the header, and (read backwards, with its terminating
// 0 byte) is the key of the scrambled text fields.
inline constexpr std::string_view kXbiMagic = "Zelmora Mobile Phones Software";
inline constexpr std::uint8_t kMagicEnd = 0x1A;
inline constexpr std::uint32_t kMagicBytes = 31;  // the magic and 0x1A

// A header record of data length L occupies L + 6 bytes: FF FF FE, a = L + 1, tag, data, check.
inline constexpr std::size_t kRecordOverhead = 6;
inline constexpr std::uint8_t kMaxRecordA = 64;
inline constexpr std::uint8_t kEndTag = 4;

// The format version from which the header is read once and the pass fields are fully scrambled.
inline constexpr std::uint16_t kSinglePassFormat = 95;

enum class Scrambling { kFull, kHalf };

// XORs the field with the backwards magic: byte i with M[30 - (i mod 31)] (M[30] = 0). kHalf
// touches only the first ceil(n / 2) bytes. Scrambling and descrambling are the same operation.
void DescrambleField(std::span<std::uint8_t> field, Scrambling variant);

// ParseXbiHeader results.
enum : int {
    kParseOk = 0,
    kParseBadHeader = 1,      // wrong magic, missing 0x1A, or a record failing framing or check
    kParseHeapNotReady = 2,   // the data heap was not set up
    kParseHeapEmpty = 3,      // the data heap knows an XBI data length of 0
    kParseElementFailed = 7,  // a list element was not stored (error code raised)
};

// CountXbiHeaderBytes results.
enum : int {
    kCountOk = 0,
    kCountBadMagic = 1,
    kCountNoMagicEnd = 2,
    kCountBadRecord = 7,
};

inline constexpr std::size_t kDateSize = 9;  // 8 characters and the terminator

struct LocatorEntry {
    std::uint32_t values[4] = {};
};

struct EraseRange {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
};

// Tag 45 fills the first part, tag 46 the second part of the newest element.
struct TextElement {
    char first[48] = {};
    char second[36] = {};
};

enum : std::uint32_t { kSplitOnly = 0, kSplitAndRest = 1 };

struct SplitElement {
    std::uint32_t start = 0;  // flash range of the split part
    std::uint32_t end = 0;
    std::uint32_t third = 0;
    std::uint16_t fourth = 0;
    std::uint32_t kind = 0;     // kSplitOnly or kSplitAndRest
    char name[21] = {};         // 20 characters from tag 84, empty until then
};

// SW type values.
enum : std::uint32_t {
    kSwMobSw = 0,
    kSwEesimu = 1,
    kSwVoiceMemo = 2,
    kSwCodeOnly = 3,
    kSwLangOnly = 4,
    kSwCodeAndLang = 5,
    kSwDiffFile = 6,
    kSwExtendedNewSplit = 7,
};

// The software file's description, with the values a fresh record holds.
struct XbiHeader {
    char compileDate[kDateSize] = {};
    char compileTime[kDateSize] = {};
    char secondDate[kDateSize] = {};
    char secondTime[kDateSize] = {};
    char projectName[9] = {};
    char thirdNameText[45] = {};
    char fourthNameText[17] = {};
    char productType[17] = {};
    char secondProductText[17] = {};
    char thirdProductText[19] = {};
    std::uint32_t swType = 0;
    std::uint16_t svn = 0;
    std::uint32_t versionWord = 0;
    std::uint32_t value39 = 0;
    std::uint32_t bgjAddress = 0;
    std::uint16_t value36 = 0;
    std::uint32_t softwareSize = 0;
    std::uint32_t reservedWord = 0;
    std::vector<LocatorEntry> locatorList;
    std::uint16_t requiredLibraryVersion = 9999;
    char text112[17] = {};
    std::uint8_t byte112 = 0;
    std::uint16_t formatVersion = 0;
    bool additionalDataAllocated = false;     // tag 34 seen
    std::uint32_t additionalDataCapacity = 0;  // size given by tag 34
    std::vector<std::uint8_t> additionalData;  // chunks of tag 32 that fitted
    std::uint32_t additionalDataLength = 0;    // tag 33
    std::vector<EraseRange> eraseList;
    std::vector<TextElement> textElementList;
    std::uint32_t value49 = 0;
    std::uint32_t flashCodeRequest = 0;
    std::uint16_t value51 = 0;
    std::uint32_t projectClass = 0;
    std::uint32_t value53 = 0;
    std::uint32_t languageGroup[4] = {};  // language group values 1 to 4
    std::uint32_t splitId = 0xFFFFFFFFu;
    std::uint32_t splitBase = 0x7FFE0;
    std::uint32_t parameterA0 = 1;
    std::uint32_t compressionType = 0;
    std::uint32_t compressionValue1 = 0;
    std::uint32_t word58 = 0;
    std::uint16_t compressionValues4To6[3] = {};
    std::uint32_t compressionValue2 = 2;
    std::uint32_t compressionValue3 = 2;
    char oldDate[kDateSize] = {};
    char oldTime[kDateSize] = {};
    char fourthDate[kDateSize] = {};
    char fourthTime[kDateSize] = {};
    char fifthNameText[9] = {};
    char sixthNameText[11] = {};
    std::uint32_t mapInfoLength = 0;
    std::vector<std::uint8_t> mapInfo;  // the map info buffer, allocated by tag 80
    std::uint32_t mapInfoComplete = 0;
    std::vector<SplitElement> splitList;
    std::uint32_t hashAreaSize = 0;
};

// Fills header from the header at data (size bytes available). For a format version below 95 the
// header is read twice; the second pass descrambles the pass fields with the half variant.
// headerBytes gets the header byte count on success. Needs HeapInit to have succeeded.
int ParseXbiHeader(std::uint32_t& headerBytes, XbiHeader& header, const std::uint8_t* data,
                   std::size_t size);

// Measures the header at data (size bytes available): headerBytes is the byte count, or 0 on
// failure. Stores the hash area size of a tag 86 record in the data heap.
int CountXbiHeaderBytes(std::uint32_t& headerBytes, const std::uint8_t* data, std::size_t size);

// The hash area size a tag 86 record encodes: d0 + d1 * 2^8 + d2 * 2^20 + d3 * 2^28, mod 2^32.
std::uint32_t DecodeHashAreaSize(const std::uint8_t d[4]);

// Gives back the buffers and lists of the record and leaves it freshly initialised.
void ReleaseXbiHeader(XbiHeader& header);

}  // namespace xbi
