// The update procedure of one update slot: connects to the phone's update loader, checks that
// phone and software file fit, prepares and erases the flash, sends the image, closes the transfer
// and reports the outcome through exactly one of OnUpdateSuccess and OnUpdateFailure.
//
// Each slot's procedure runs on a thread of its own (StartUpdateSlot); slots on different ports
// are independent.
#pragma once

#include <cstdint>
#include <string_view>

#include "updlib/callbacks.h"
#include "updlib/slots.h"
#include "xbi/xbi_header.h"

namespace updlib {

// The body of a slot's thread.
void UpdateSlotThread(SlotStartRecord record);

// The phone's SW info record from the parameters of its version answer (0xC3): product type
// (16 characters), "SVN: %X" of the SVN byte, compile date and time (8 characters each).
void MakeMobileSwInfo(SwInfo& out, const std::uint8_t* versionParams);

// 1 when date a is earlier than date b (compile dates "dd.mm.yy"; years below 90 are 20yy).
int IsDateOlder(const char* a, const char* b);

// 1 when the phone's software (version answer parameters) is the one the difference file was made
// for: its date and time equal the file's old date and time.
int CheckDiffDate(int port, const xbi::XbiHeader& header, const std::uint8_t* versionParams);

// Makes the phone's boot code (BGJ) invalid by clearing the byte at BGJ address + 0x1FC, for files
// of project class 5 with a BGJ address; 1 when done or not needed.
int InvalidateBgj(int port, std::uint32_t projectClass);

// Whether project names whose write-enable areas are widened to whole 64 KB blocks (letter case
// ignored).
bool IsIn64kTable(std::string_view projectName);

}  // namespace updlib
