#include "updlib/slots.h"

#include <atomic>
#include <mutex>

#include "flashlink/wseril1.h"
#include "platform/os/named_mutex.h"
#include "updlib/error_registry.h"
#include "updlib/libif.h"
#include "updlib/trace.h"

namespace updlib {
namespace {

// The connect step belongs to the update procedure's module.
constexpr const char* kModule = "swupwork";
constexpr const char* kUpdateMutexName = "mvx_mutex";
constexpr std::uint32_t kManualBaud = 115200;
constexpr std::uint32_t kManualWaitCode = 3;  // the phone's first message may take 30000 ms

struct Slots {
    std::atomic<std::uint32_t> state[kSlotCount] = {};
    std::atomic<std::uint32_t> bootstrapFlag[kSlotCount] = {};
    std::mutex lock;  // guards the records below
    BootstrapParameters bootstrapParameters[kSlotCount];
    SlotStartRecord startRecords[kSlotCount];
    os::NamedMutex* updateMutex = nullptr;
    std::atomic<ConnectHook> connectHook{ManualConnect};
};

Slots& TheSlots() {
    static Slots slots;
    return slots;
}

// The slot index of the low 16 bits; -1 when that is no slot.
int SlotIndex(std::uint32_t slot) {
    const auto index = static_cast<int>(slot & 0xFFFFu);
    return index < kSlotCount ? index : -1;
}

}  // namespace

void ResetSlots() {
    Slots& slots = TheSlots();
    slots.connectHook = ManualConnect;
    for (auto& state : slots.state) state = SLOT_NONE;
    const std::lock_guard guard(slots.lock);
    for (auto& parameters : slots.bootstrapParameters) parameters.count = 0;
}

void SetSlotState(std::uint32_t slot, std::uint32_t state) {
    if (const int index = SlotIndex(slot); index >= 0) TheSlots().state[index] = state;
}

std::uint32_t GetSlotState(std::uint32_t slot) {
    const int index = SlotIndex(slot);
    return index >= 0 ? TheSlots().state[index].load() : SLOT_NONE;
}

void SetBootstrapFlag(std::uint32_t slot) {
    if (const int index = SlotIndex(slot); index >= 0) TheSlots().bootstrapFlag[index] = 1;
}

void ClearBootstrapFlag(std::uint32_t slot) {
    if (const int index = SlotIndex(slot); index >= 0) TheSlots().bootstrapFlag[index] = 0;
}

std::uint32_t GetBootstrapFlag(std::uint32_t slot) {
    const int index = SlotIndex(slot);
    return index >= 0 ? TheSlots().bootstrapFlag[index].load() : 0;
}

BootstrapParameters GetBootstrapParameters(std::uint32_t slot) {
    const int index = SlotIndex(slot);
    if (index < 0) return {};
    Slots& slots = TheSlots();
    const std::lock_guard guard(slots.lock);
    return slots.bootstrapParameters[index];
}

int UsesUpdateLoader(std::uint32_t slot) {
    switch (GetUpdateMode()) {
    case kModeUpdateLoader: return 1;
    case kModePerSlot: return GetBootstrapFlag(slot) == 1 ? 0 : 1;
    default: return 0;
    }
}

void SetConnectHook(ConnectHook hook) { TheSlots().connectHook = hook; }

ConnectHook GetConnectHook() { return TheSlots().connectHook; }

int ManualConnect(std::uint32_t* waitCode, int slot, int port, std::uint32_t /*baud*/,
                  ConnectProgressCallback /*progress*/) {
    const auto slotIndex = static_cast<std::uint32_t>(slot);
    if (GetSlotState(slotIndex) != SLOT_MANUAL) {
        SetErrorNumber(port, 1, kModule, __LINE__);
        SetAdditionalErrorInfo(port, "Cannot init manual update mode, precheck condition failed");
        return 0;
    }
    *waitCode = kManualWaitCode;
    TraceLog(slotIndex, kTraceDetails, kTraceSerial, "Opening Comport %d with Speed %ld\n", port + 1,
             static_cast<long>(kManualBaud));
    if (flashlink::ComOpen(port, kManualBaud, flashlink::kComNoParity) != 0) return 1;
    TraceLog(slotIndex, kTraceDetails, kTraceSerial, "Not possible to open Comport\n");
    SetErrorNumber(port, 1, kModule, __LINE__);
    SetAdditionalErrorInfo(port, "Opening Comport %d with Speed %d Baud not possible", port + 1,
                           static_cast<int>(kManualBaud));
    AddError(slotIndex, 0x0A00, "dd", port + 1, kManualBaud);
    return 0;
}

SlotStartRecord* GetSlotStartRecord(std::uint32_t slot) {
    if (slot >= static_cast<std::uint32_t>(kSlotCount)) return nullptr;
    return &TheSlots().startRecords[slot];
}

os::NamedMutex* GetUpdateMutex() {
    Slots& slots = TheSlots();
    const std::lock_guard guard(slots.lock);
    if (slots.updateMutex == nullptr) slots.updateMutex = os::CreateNamedMutex(kUpdateMutexName, false);
    return slots.updateMutex;
}

}  // namespace updlib
