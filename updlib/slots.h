// The update slots: four parallel update contexts, 0 to 3, each bound to one serial port and one
// baud rate for the time of its update. The BFB precheck leaves the slot's state and bootstrap flag
// here for the update procedure; the connect hook connects a phone that BFB did not prepare.
#pragma once

#include <cstdint>

#include "updlib/callbacks.h"

namespace os {
class NamedMutex;
}

namespace updlib {

// Slot states, written by the BFB precheck.
enum : std::uint32_t {
    SLOT_NONE = 0,               // nothing done since ResetSlots
    SLOT_PRECHECK = 1,           // a BFB precheck has started on this slot
    SLOT_READY = 2,              // the phone is prepared; the port may be opened directly
    SLOT_MANUAL = 3,             // the phone did not answer BFB: only ManualConnect may connect it
    SLOT_SWITCH_ON_FAILED = 4,   // the precheck failed to switch the phone on
};

// The argument of a slot's update thread.
struct SlotStartRecord {
    std::uint16_t slot = 0;
    std::int32_t port = 0;
    std::uint32_t baud = 0;
};

// Handed to a bootstrap loader (mode 2); never filled in this system.
struct BootstrapParameters {
    std::uint32_t count = 0;
    std::uint8_t bytes[16] = {};
};
static_assert(sizeof(BootstrapParameters) == 20);

// Connects the phone of a slot and leaves its port open: 1 on success. waitCode tells the update
// procedure how long to wait for the phone's first message (1: 3000 ms, 3: 30000 ms).
using ConnectHook = int (*)(std::uint32_t* waitCode, int slot, int port, std::uint32_t baud,
                            ConnectProgressCallback progress);

// Connect hook := ManualConnect; all slot states := 0; bootstrap parameter counts := 0. The
// bootstrap flags stay.
void ResetSlots();

// The low 16 bits of slot are used; slots outside 0..3 are ignored (and read as 0).
void SetSlotState(std::uint32_t slot, std::uint32_t state);
std::uint32_t GetSlotState(std::uint32_t slot);
void SetBootstrapFlag(std::uint32_t slot);
void ClearBootstrapFlag(std::uint32_t slot);
std::uint32_t GetBootstrapFlag(std::uint32_t slot);
// A copy of the slot's bootstrap parameters.
BootstrapParameters GetBootstrapParameters(std::uint32_t slot);

// Whether the slot goes through the phone's own update loader: always in mode 1; in mode 2 unless
// its bootstrap flag is set; never in any other mode.
int UsesUpdateLoader(std::uint32_t slot);

void SetConnectHook(ConnectHook hook);
ConnectHook GetConnectHook();

// The default connect hook: opens the port at 115200 baud for a slot in SLOT_MANUAL (waitCode 3).
// Ignores baud and progress.
int ManualConnect(std::uint32_t* waitCode, int slot, int port, std::uint32_t baud,
                  ConnectProgressCallback progress);

// The start record of a slot (0..3); nullptr for any other slot.
SlotStartRecord* GetSlotStartRecord(std::uint32_t slot);

// The update mutex "mvx_mutex" that serialises the connect step of all slots: created (not owned)
// on the first call, the same handle afterwards; nullptr when it cannot be created.
os::NamedMutex* GetUpdateMutex();

}  // namespace updlib
