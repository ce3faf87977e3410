// The library's error registry: the error table, one error record per serial port and one error
// list per update slot. Every failure of the library is recorded here; the host reads the newest
// entry of a slot's list and shows the message or the class text of its table row.
//
// All operations may be called from any thread; the records and lists are guarded by locks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace updlib {

constexpr int kPortCount = 12;  // ports 0..11 are COM1..COM12
constexpr int kSlotCount = 4;   // update slots 0..3

// ---- Error table -------------------------------------------------------------------------------

// An error code is 16 bits in a 32-bit field: high byte the group, low byte the index.
constexpr std::int32_t kErrorListOverflow = 0x0FFF;  // written into a full list's reserved entry

struct ErrorTableRow {
    std::uint32_t code;
    std::uint32_t errorClass;  // 0, or 0x0F00..0x0F07
    const char* message;       // printf template, filled from the entry's arguments
};

// The 147 rows in their stored order.
std::span<const ErrorTableRow> ErrorTable();
// The first row whose code equals the low 16 bits of code; nullptr when no row has it.
const ErrorTableRow* FindErrorTableRow(std::int32_t code);

// ---- Port error records ------------------------------------------------------------------------

constexpr std::size_t kAdditionalInfoSize = 1000;  // including the terminator

struct PortErrorRecord {
    std::int32_t errorNumber = 0;                   // number of the place of the newest failure
    const char* sourceModule = nullptr;             // module of that place
    std::int32_t sourceLine = 0;                    // line of that place
    char additionalInfo[kAdditionalInfoSize] = {};  // English detail text
    std::uint32_t infoPresent = 0;  // 1 after SetAdditionalErrorInfo, 0 after SetErrorNumber
};

// Records the place of a failure on a port (0..11; any other port is ignored).
void SetErrorNumber(int port, std::int32_t number, const char* module, int line);
// SetErrorNumber on all twelve ports, with this registry as the place.
void SetErrorNumberAllPorts(std::int32_t number);
// Formats the port's detail text; a text longer than the field is cut.
void SetAdditionalErrorInfo(int port, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
// The port's error number; 0 for a port outside 0..11.
std::int32_t GetErrorNumber(int port);
// A copy of the port's record; an empty record for a port outside 0..11.
PortErrorRecord GetPortErrorRecord(int port);

// ---- Slot error lists --------------------------------------------------------------------------

constexpr std::size_t kArgTypesSize = 12;     // letters plus terminator; longer lists are cut
constexpr std::size_t kArgTypesScanned = 10;  // letters looked at when taking arguments
constexpr std::size_t kIntArgCount = 5;
constexpr std::size_t kTextArgCount = 5;
constexpr std::size_t kTextArgSize = 2000;     // including the terminator
constexpr std::size_t kErrorListEntries = 50;  // the last one is reserved for the overflow marker
constexpr std::uint8_t kErrorListMaxCount = kErrorListEntries - 1;

struct ErrorEntry {
    std::int32_t code = 0;
    char argTypes[kArgTypesSize] = {};  // one letter per argument: d i o u x (any case) integer,
                                        // s S text, anything else takes no argument
    std::int32_t intArgs[kIntArgCount] = {};
    char textArgs[kTextArgCount][kTextArgSize] = {};
};

// One argument of an error entry: a 32-bit integer or a text. A text is copied when the entry is
// written, so the argument need only live for the call.
class ErrorArg {
public:
    enum class Kind { kInteger, kText };

    template <typename T>
    requires std::is_integral_v<T> ErrorArg(T value)
        : kind_(Kind::kInteger), integer_(static_cast<std::int32_t>(value)) {}
    ErrorArg(const char* text) : kind_(Kind::kText), text_(text ? text : "") {}
    ErrorArg(std::string_view text) : kind_(Kind::kText), text_(text) {}
    ErrorArg(const std::string& text) : kind_(Kind::kText), text_(text) {}

    Kind kind() const { return kind_; }
    std::int32_t integer() const { return integer_; }
    std::string_view text() const { return text_; }

private:
    Kind kind_;
    std::int32_t integer_ = 0;
    std::string_view text_;
};

using ErrorArgs = std::span<const ErrorArg>;

template <typename... Args>
concept ErrorArgList = (std::is_convertible_v<const Args&, ErrorArg> && ...);

// Appends an entry to the list of the slot (low 16 bits of slot; slots outside 0..3 are ignored).
// The arguments are taken in the order of the type letters; a letter whose argument is missing or
// of the other kind stores 0 or an empty text. A full list keeps its 49 entries and gets the
// overflow marker in its reserved entry instead.
void AddError(std::uint32_t slot, std::int32_t code, const char* argTypes, ErrorArgs args);

template <typename... Args>
requires ErrorArgList<Args...>
void AddError(std::uint32_t slot, std::int32_t code, const char* argTypes, const Args&... args) {
    const std::array<ErrorArg, sizeof...(Args)> list{ErrorArg(args)...};
    AddError(slot, code, argTypes, ErrorArgs(list));
}

// AddError on slots 0, 1, 2 and 3, each with the same arguments.
void AddErrorToAllSlots(std::int32_t code, const char* argTypes, ErrorArgs args);

template <typename... Args>
requires ErrorArgList<Args...>
void AddErrorToAllSlots(std::int32_t code, const char* argTypes, const Args&... args) {
    const std::array<ErrorArg, sizeof...(Args)> list{ErrorArg(args)...};
    AddErrorToAllSlots(code, argTypes, ErrorArgs(list));
}

// The newest entry of the slot's list; an all-zero entry (code 0) when the list is empty.
ErrorEntry GetLastSlotError(std::uint32_t slot);
// The number of entries in the slot's list (0..49).
std::uint8_t GetSlotErrorCount(std::uint32_t slot);
// Entry index (0..49, 49 being the reserved overflow entry) of the slot's list.
ErrorEntry GetSlotErrorEntry(std::uint32_t slot, std::size_t index);

}  // namespace updlib
