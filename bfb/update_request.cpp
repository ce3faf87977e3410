#include "bfb/update_request.h"

#include "updlib/libif.h"

namespace bfb {
namespace {

constexpr std::size_t kPreviousOffset = 13;
constexpr std::size_t kPreviousSource = 2;
constexpr std::size_t kPreviousCount = 9;

// The number made of the two decimal digits at text[at]; 0 when they are not two digits.
std::uint8_t TwoDigits(const char* text, std::size_t at) {
    const char high = text[at];
    const char low = high != '\0' ? text[at + 1] : '\0';
    if (high < '0' || high > '9' || low < '0' || low > '9') return 0;
    return static_cast<std::uint8_t>((high - '0') * 10 + (low - '0'));
}

std::uint8_t XorOf(const UpdateRequest& record, std::size_t count) {
    std::uint8_t check = 0;
    for (std::size_t i = 0; i < count; ++i) check ^= record[i];
    return check;
}

}  // namespace

bool IsValidUpdateRequest(const UpdateRequest& record, std::uint16_t length) {
    return length == kUpdateRequestSize && record[1] == kUpdateRequestMarker && XorOf(record, kUpdateRequestSize) == 0;
}

UpdateRequest BuildUpdateRequest(const xbi::XbiHeader& header, const UpdateRequest* previous) {
    UpdateRequest record;
    record.fill(0xFF);
    record[1] = kUpdateRequestMarker;
    // Second time "hh:mm:ss", second date "dd.mm.yy".
    record[2] = TwoDigits(header.secondTime, 0);
    record[3] = TwoDigits(header.secondTime, 3);
    record[4] = TwoDigits(header.secondTime, 6);
    record[5] = TwoDigits(header.secondDate, 6);
    record[6] = TwoDigits(header.secondDate, 3);
    record[7] = TwoDigits(header.secondDate, 0);
    record[8] = static_cast<std::uint8_t>(header.svn);
    record[9] = static_cast<std::uint8_t>(header.versionWord >> 8);
    record[10] = static_cast<std::uint8_t>(header.versionWord);
    record[11] = static_cast<std::uint8_t>(updlib::kLibraryMajor);
    record[12] = static_cast<std::uint8_t>(updlib::kLibraryMinor);
    if (previous != nullptr) {
        for (std::size_t i = 0; i < kPreviousCount; ++i) record[kPreviousOffset + i] = (*previous)[kPreviousSource + i];
    }
    record[kUpdateRequestSize - 1] = XorOf(record, kUpdateRequestSize - 1);
    return record;
}

}  // namespace bfb
