#include "updlib/error_registry.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "updlib/trace.h"

namespace updlib {
namespace {

constexpr const char* kModule = "error_registry";

struct ErrorList {
    std::uint8_t count = 0;
    ErrorEntry entries[kErrorListEntries];
};

struct Registry {
    std::mutex portLock;
    PortErrorRecord ports[kPortCount];
    std::mutex listLock;
    ErrorList lists[kSlotCount];
};

// Large (about two megabytes), so it lives in static storage and is built on first use.
Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

bool ValidPort(int port) {
    return port >= 0 && port < kPortCount;
}

// The slot index an operation uses: the low 16 bits; -1 when that is no slot.
int SlotIndex(std::uint32_t slot) {
    const auto index = static_cast<int>(slot & 0xFFFFu);
    return index < kSlotCount ? index : -1;
}

bool IsIntegerLetter(char letter) {
    return std::strchr("diouxDIOUX", letter) != nullptr;
}
bool IsTextLetter(char letter) {
    return letter == 's' || letter == 'S';
}

// Copies text into a field of fieldSize characters, cut so that the terminator fits.
void CopyCut(char* field, std::size_t fieldSize, std::string_view text) {
    const std::size_t length = std::min(text.size(), fieldSize - 1);
    if (length > 0) std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

// Takes the entry's arguments in the order of its type letters.
void StoreArguments(ErrorEntry& entry, ErrorArgs args) {
    std::size_t nextArg = 0;
    std::size_t integers = 0;
    std::size_t texts = 0;
    for (std::size_t i = 0; i < kArgTypesScanned && entry.argTypes[i] != '\0'; ++i) {
        const char letter = entry.argTypes[i];
        if (IsIntegerLetter(letter) && integers < kIntArgCount) {
            const ErrorArg* arg = nextArg < args.size() ? &args[nextArg++] : nullptr;
            const bool fits = arg != nullptr && arg->kind() == ErrorArg::Kind::kInteger;
            entry.intArgs[integers++] = fits ? arg->integer() : 0;
        } else if (IsTextLetter(letter) && texts < kTextArgCount) {
            const ErrorArg* arg = nextArg < args.size() ? &args[nextArg++] : nullptr;
            const bool fits = arg != nullptr && arg->kind() == ErrorArg::Kind::kText;
            CopyCut(entry.textArgs[texts++], kTextArgSize, fits ? arg->text() : std::string_view());
        }
    }
}

}  // namespace

void SetErrorNumber(int port, std::int32_t number, const char* module, int line) {
    if (!ValidPort(port)) return;
    Registry& registry = TheRegistry();
    {
        const std::lock_guard guard(registry.portLock);
        PortErrorRecord& record = registry.ports[port];
        record.errorNumber = number;
        record.sourceModule = module;
        record.sourceLine = line;
        record.infoPresent = 0;
    }
    TraceLog(static_cast<std::uint32_t>(FindTraceSlot(port)), kTraceDetails, kTraceProcedure,
             "Setting Error Number %d\n", number);
}

void SetErrorNumberAllPorts(std::int32_t number) {
    for (int port = 0; port < kPortCount; ++port) SetErrorNumber(port, number, kModule, __LINE__);
}

void SetAdditionalErrorInfo(int port, const char* format, ...) {
    if (!ValidPort(port) || format == nullptr) return;
    char text[kAdditionalInfoSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);  // cuts a longer text
    va_end(args);

    Registry& registry = TheRegistry();
    {
        const std::lock_guard guard(registry.portLock);
        PortErrorRecord& record = registry.ports[port];
        std::memcpy(record.additionalInfo, text, sizeof text);
        record.infoPresent = 1;
    }
    TraceLog(static_cast<std::uint32_t>(FindTraceSlot(port)), kTraceDetails, kTraceProcedure,
             "Setting Additional Error Info %s\n", text);
}

std::int32_t GetErrorNumber(int port) {
    if (!ValidPort(port)) return 0;
    Registry& registry = TheRegistry();
    const std::lock_guard guard(registry.portLock);
    return registry.ports[port].errorNumber;
}

PortErrorRecord GetPortErrorRecord(int port) {
    if (!ValidPort(port)) return {};
    Registry& registry = TheRegistry();
    const std::lock_guard guard(registry.portLock);
    return registry.ports[port];
}

void AddError(std::uint32_t slot, std::int32_t code, const char* argTypes, ErrorArgs args) {
    const int index = SlotIndex(slot);
    if (index < 0) return;
    Registry& registry = TheRegistry();
    const std::lock_guard guard(registry.listLock);
    ErrorList& list = registry.lists[index];
    if (list.count == kErrorListMaxCount) {
        ErrorEntry& reserved = list.entries[kErrorListMaxCount];
        reserved.code = kErrorListOverflow;
        reserved.argTypes[0] = '\0';
        return;
    }
    ErrorEntry& entry = list.entries[list.count++];
    entry.code = code;
    CopyCut(entry.argTypes, kArgTypesSize, argTypes != nullptr ? argTypes : "");
    StoreArguments(entry, args);
}

void AddErrorToAllSlots(std::int32_t code, const char* argTypes, ErrorArgs args) {
    for (std::uint32_t slot = 0; slot < kSlotCount; ++slot) AddError(slot, code, argTypes, args);
}

ErrorEntry GetLastSlotError(std::uint32_t slot) {
    const int index = SlotIndex(slot);
    if (index < 0) return {};
    Registry& registry = TheRegistry();
    const std::lock_guard guard(registry.listLock);
    const ErrorList& list = registry.lists[index];
    return list.entries[list.count > 0 ? list.count - 1 : 0];
}

std::uint8_t GetSlotErrorCount(std::uint32_t slot) {
    const int index = SlotIndex(slot);
    if (index < 0) return 0;
    Registry& registry = TheRegistry();
    const std::lock_guard guard(registry.listLock);
    return registry.lists[index].count;
}

ErrorEntry GetSlotErrorEntry(std::uint32_t slot, std::size_t index) {
    const int slotIndex = SlotIndex(slot);
    if (slotIndex < 0 || index >= kErrorListEntries) return {};
    Registry& registry = TheRegistry();
    const std::lock_guard guard(registry.listLock);
    return registry.lists[slotIndex].entries[index];
}

}  // namespace updlib
