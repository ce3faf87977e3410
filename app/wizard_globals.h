// The values the wizard shares between the window thread, the initialisation and search workers
// and the library's callbacks. Numbers are atomics, each read and written whole; the error lines
// are locked texts (ui/catalogue.h). A worker's last act is to post WM_WORKER_RESULT: everything
// it wrote before is visible to the handler of that message.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/gui/messages.h"
#include "ui/wizard_states.h"
#include "xbi/software_file.h"

// Posted by a worker as its last act: wParam the phase, lParam the result.
inline constexpr UINT WM_WORKER_RESULT = WM_USER + 5;

// The wizard's timer (percentage, blinking line).
inline constexpr UINT_PTR kWizardTimer = 1;
inline constexpr UINT kInitTimerPeriod = 100;    // ms, while the initialisation runs
inline constexpr UINT kSearchTimerPeriod = 750;  // ms, while the search worker runs

inline constexpr int kComPortCount = 12;  // COM1 to COM12

// ---- wizard ---------------------------------------------------------------------------------
extern std::atomic<int> g_nWizardState;   // STATE_* of ui/wizard_states.h
extern std::atomic<float> g_fProgress;    // percent shown by the timer
extern std::atomic<int> g_bRedraw;        // a worker asks the timer for a full repaint
extern std::atomic<bool> g_bManualMode;   // the user chose the port by hand
extern std::atomic<bool> g_bSwInfoValid;  // g_SwInfoPackage is filled
extern std::atomic<bool> g_bBlinkOn;      // the blinking line is drawn now
extern std::string g_strTemp;             // window thread only: scratch text of the timer

// ---- package and ports (initialisation) -----------------------------------------------------
extern xbi::SwInfo g_SwInfoPackage;  // written by the initialisation before g_bSwInfoValid is set
extern std::atomic<int> g_nPortCount;
extern std::array<std::atomic<int>, kComPortCount> g_abPortAvailable;

// ---- search --------------------------------------------------------------------------------
extern std::atomic<int> g_nPortIndex;   // 0..11, the port probed or used
extern std::atomic<int> g_nBaudRate;
extern std::atomic<std::uint16_t> g_wVoltage;  // mV; 0: none read

// ---- progress counters of the library callbacks --------------------------------------------
extern std::atomic<int> g_nProgressPhase;
extern std::atomic<std::uint16_t> g_wEraseTotal;
extern std::atomic<std::uint16_t> g_wEraseDone;
extern std::atomic<std::uint32_t> g_dwTransferTotal;
extern std::atomic<std::uint32_t> g_dwTransferDone;
extern std::atomic<int> g_bUpdateDone;
extern std::atomic<int> g_bUpdateFailed;

// The states in which the library is being initialised or the phone's flash is being changed:
// closing, ending the session and suspending are refused.
bool IsProtectedState(int state);

// The usable ports as flags, COM1 first.
std::array<bool, kComPortCount> AvailablePorts();
