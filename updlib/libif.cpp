#include "updlib/libif.h"

#include <atomic>
#include <cstring>

#include "flashlink/wseril1.h"
#include "platform/os/thread.h"
#include "updlib/error_registry.h"
#include "updlib/swupwork.h"

namespace updlib {
namespace {

constexpr std::int32_t kErrorNumberNotInitialised = 600;
constexpr std::int32_t kErrInterfaceVersions = 0x0617;
// The port layer's error number of a port that is open already.
constexpr std::int32_t kPortAlreadyOpen = 2;

constexpr const char* kLibraryDescription = "Main-DLL for SW-Update";
constexpr const char* kLibraryAuthor = "vqupdate";
constexpr const char* kLibraryBuildDate = "Nov 18 2002";

std::atomic<std::uint32_t> g_initialised{0};
std::atomic<std::uint32_t> g_updateMode{0};
std::atomic<bool> g_slotRunning[kSlotCount] = {};

template <std::size_t N>
void CopyText(char (&field)[N], const char* text) {
    std::strncpy(field, text, N - 1);
    field[N - 1] = '\0';
}

int FillLibraryRecord(VersionRecord& record) {
    if (record.size != sizeof(VersionRecord)) return 0;
    CopyText(record.description, kLibraryDescription);
    CopyText(record.author, kLibraryAuthor);
    CopyText(record.buildDate, kLibraryBuildDate);
    record.major = kLibraryMajor;
    record.minor = kLibraryMinor;
    return 1;
}

}  // namespace

int CheckInterfaceVersion(std::uint16_t major, std::uint16_t minor) {
    if (major != kInterfaceMajor || minor != kInterfaceMinor) {
        g_initialised = 0;
        return 0;
    }
    g_initialised = 1;
    ResetSlots();
    return 1;
}

int IsLibraryInitialised() { return static_cast<int>(g_initialised.load()); }

int GetVersionRecord(VersionRecord& record, int type) {
    if (!IsLibraryInitialised()) {
        SetErrorNumberAllPorts(kErrorNumberNotInitialised);
        AddErrorToAllSlots(kErrInterfaceVersions, "");
        return 0;
    }
    switch (type) {
    case kComponentLibrary: return FillLibraryRecord(record);
    case kComponentSerialLayer: return flashlink::GetSerialLayerVersion(record);
    default: return 0;  // no bootstrap-loader or phone-software component in this system
    }
}

int SetUpdateMode(std::uint32_t mode) {
    g_updateMode = mode;
    return 1;
}

std::uint32_t GetUpdateMode() { return g_updateMode; }

int CheckUpdatePossible(const char* /*projectName*/, std::uint8_t /*svnLow*/) {
    if (GetUpdateMode() != kModeUpdateLoader) return 0;
    SetConnectHook(ManualConnect);
    return 1;
}

int TestPortSpeed(int port, std::uint32_t baud) {
    const int opened = flashlink::ComOpen(port, baud, flashlink::kComNoParity);
    if (opened == 0 && GetErrorNumber(port) == kPortAlreadyOpen) return opened;
    flashlink::ComClose(port);
    return opened;
}

int StartUpdateSlot(std::uint32_t slot, int port, std::uint32_t baud) {
    if (!IsLibraryInitialised()) {
        SetErrorNumberAllPorts(kErrorNumberNotInitialised);
        AddErrorToAllSlots(kErrInterfaceVersions, "");
        return 0;
    }
    if (GetUpdateMutex() == nullptr || !CallbacksInstalled()) return 0;
    SlotStartRecord* record = GetSlotStartRecord(slot & 0xFFFFu);
    if (record == nullptr) return 0;
    // One thread per slot: a second one would share the slot's error list and port.
    std::atomic<bool>& running = g_slotRunning[slot & 0xFFFFu];
    if (running.exchange(true)) return 0;
    *record = SlotStartRecord{static_cast<std::uint16_t>(slot), port, baud};
    const SlotStartRecord argument = *record;  // the thread works on its own copy
    const bool started = os::StartDetachedThread([argument, &running] {
        UpdateSlotThread(argument);
        running.store(false);
    });
    if (!started) running.store(false);
    return started ? 1 : 0;
}

bool IsUpdateSlotRunning(std::uint32_t slot) {
    const std::uint32_t index = slot & 0xFFFFu;
    return index < static_cast<std::uint32_t>(kSlotCount) && g_slotRunning[index].load();
}

}  // namespace updlib
