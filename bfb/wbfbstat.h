// The BFB connection procedure: before an update slot starts, BfbPrecheck prepares the phone on
// the port where the host found it; after the update BfbTestNewSoftware checks that the new
// software talks BFB. Both run on the host's search thread and need the callbacks of
// updlib::InstallBfbCallbacks.
#pragma once

#include <cstdint>

namespace bfb {

// Opens the port (0..8) at 57600 baud, makes sure the phone talks BFB, reads its battery voltage
// (left in *voltage, 0 without one, also on failure), hands the phone's software data to the
// host's software-info check (timing 0), writes the update request into the phone and asks it to
// reboot into its update loader at rebootBaud. Leaves the slot's state and bootstrap flag for the
// update procedure and always closes the port. 1 when the phone is ready.
int BfbPrecheck(int slot, int port, std::uint16_t* voltage, std::uint32_t rebootBaud);

// After a successful update: opens the port at 57600, pings the new software (switching it into
// BFB mode if need be) and switches the phone off. 1 when the phone answered and was switched off.
int BfbTestNewSoftware(int slot, int port);

}  // namespace bfb
