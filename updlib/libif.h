// The update library's outer surface: the interface-version handshake that must succeed before
// anything else works, the version records of its components, the update mode and the checks the
// host makes before an update. Slots, callbacks and the connect hook: updlib/slots.h and
// updlib/callbacks.h. Library operations return 1 for success and 0 for failure.
#pragma once

#include <cstdint>

#include "updlib/callbacks.h"
#include "updlib/slots.h"
#include "updlib/version_record.h"

namespace updlib {

// The interface version the library speaks.
inline constexpr std::uint16_t kInterfaceMajor = 1;
inline constexpr std::uint16_t kInterfaceMinor = 29;

// Version of the library as a whole (component type 0).
inline constexpr std::uint32_t kLibraryMajor = 2;
inline constexpr std::uint32_t kLibraryMinor = 30;

// Component types of GetVersionRecord.
enum : int {
    kComponentLibrary = 0,
    kComponentSerialLayer = 1,
    kComponentBootstrapLoader = 2,
    kComponentPhoneSoftware = 3,
};

// Update modes.
enum : std::uint32_t {
    kModeUpdateLoader = 1,   // every slot through the phone's own update loader, prepared over BFB
    kModePerSlot = 2,        // slots marked by the precheck go through a bootstrap loader
};

// 1 for exactly (1, 29): the library is initialised and the slots are reset. Otherwise 0 and the
// library is not initialised.
int CheckInterfaceVersion(std::uint16_t major, std::uint16_t minor);
int IsLibraryInitialised();

// Fills the record of a component type (0..3); 1 when filled. Before the handshake: error number
// 600 on all ports and 0x0617 in all slot lists. Types 2 and 3 have no component here: 0.
int GetVersionRecord(VersionRecord& record, int type);

int SetUpdateMode(std::uint32_t mode);  // always 1
std::uint32_t GetUpdateMode();

// Asked by the file interface whether the file can be updated (its arguments are not used):
// in mode 1 the connect hook becomes ManualConnect and the result is 1; else 0.
int CheckUpdatePossible(const char* projectName, std::uint8_t svnLow);

// Opens the port at baud without parity and closes it again, unless the open failed because this
// process holds the port open already. The result of the open.
int TestPortSpeed(int port, std::uint32_t baud);

// Starts the update procedure of a slot (0..3) on port at baud on a thread of its own; 1 when it
// was started. The outcome comes only through OnUpdateSuccess or OnUpdateFailure. Before the
// handshake: error number 600 on all ports and 0x0617 in all slot lists. 0 without a record when
// the update mutex cannot be created, no callbacks are installed, or the slot's thread still runs.
int StartUpdateSlot(std::uint32_t slot, int port, std::uint32_t baud);
// Whether the slot's thread runs; it ends right after its outcome callback and closing its port.
bool IsUpdateSlotRunning(std::uint32_t slot);

}  // namespace updlib
