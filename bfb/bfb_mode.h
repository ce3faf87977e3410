// Getting the phone to talk BFB: switching its normal software from AT command mode into BFB
// mode, and powering it up through its boot loader.
#pragma once

#include "bfb/bfb_port.h"

namespace bfb {

// Tries "at^kqwe=1\r" at 19200, 115200, 57600 and 38400 baud, then "at^kbf" + "b=1\r" at 19200;
// 1 when the phone answered "OK\r". The port is left at the baud rate it had.
int SetBfbMode(BfbHandle handle);

// Wakes the phone's boot loader at 19200 baud with even parity and sends it the boot program that
// powers the phone up. The port gets its line settings back afterwards.
int WMobileOn(BfbHandle handle);

}  // namespace bfb
