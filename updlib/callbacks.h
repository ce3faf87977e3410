// The host's callbacks through which the library reports progress and results and asks its two
// questions. All take the slot number first; results are ignored unless said otherwise.
#pragma once

#include <cstdint>

#include "xbi/software_file.h"

namespace updlib {

using SwInfo = xbi::SwInfo;

using ConnectProgressCallback = int (*)(int slot, int steps, int step);
using TransmitStartCallback = int (*)(int slot, std::uint32_t length);
using TransmitProgressCallback = int (*)(int slot, std::uint32_t bytesSent);
using FlashCodeCallback = int (*)(int slot, std::uint16_t flashCode, const char* text);
using EraseProgressCallback = int (*)(int slot, std::uint16_t total, std::uint16_t done);
using TransferTotalCallback = int (*)(int slot, std::uint32_t totalBytes);
using TransferProgressCallback = int (*)(int slot, std::uint32_t bytesSent);
using UpdateEndCallback = int (*)(int slot);
// Phone software and file do not fit (reason 1, 2, 4 or 6); non-zero lets the update go on.
using ConsistencyProblemCallback = int (*)(int slot, const SwInfo* phone, const SwInfo* file,
                                           std::uint16_t reason);
// Non-zero lets the update go on.
using SoftwareInfoCallback = int (*)(int slot, const SwInfo* phone, const SwInfo* file);
using StepProgressCallback = int (*)(int slot, int steps, int step);

// The ten procedure callbacks, in the order of InstallCallbacks.
struct ProcedureCallbacks {
    ConnectProgressCallback onConnectProgress = nullptr;
    TransmitStartCallback onTransmitStart = nullptr;
    TransmitProgressCallback onTransmitProgress = nullptr;
    FlashCodeCallback onFlashCode = nullptr;
    EraseProgressCallback onEraseProgress = nullptr;
    TransferTotalCallback onTransferTotal = nullptr;
    TransferProgressCallback onTransferProgress = nullptr;
    UpdateEndCallback onUpdateSuccess = nullptr;
    UpdateEndCallback onUpdateFailure = nullptr;
    ConsistencyProblemCallback onConsistencyProblem = nullptr;
};

// Where the software-info callback is called.
enum : std::uint32_t {
    kSoftwareInfoAtPrecheck = 0,   // during the BFB precheck, after the voltage was read
    kSoftwareInfoAtUpdate = 1,     // during the update procedure, after the phone's SW version
};

struct SoftwareInfoHook {
    SoftwareInfoCallback callback = nullptr;
    std::uint32_t timing = 0;  // kSoftwareInfoAtPrecheck, kSoftwareInfoAtUpdate, other: never
};

struct BfbCallbacks {
    StepProgressCallback onPrecheckProgress = nullptr;  // (slot, 7, step 1..7)
    StepProgressCallback onTestProgress = nullptr;      // (slot, 5, step 1..5)
};

// Stores the ten callbacks and marks them installed.
void InstallCallbacks(ConnectProgressCallback onConnectProgress, TransmitStartCallback onTransmitStart,
                      TransmitProgressCallback onTransmitProgress, FlashCodeCallback onFlashCode,
                      EraseProgressCallback onEraseProgress, TransferTotalCallback onTransferTotal,
                      TransferProgressCallback onTransferProgress, UpdateEndCallback onUpdateSuccess,
                      UpdateEndCallback onUpdateFailure, ConsistencyProblemCallback onConsistencyProblem);
void InstallSoftwareInfoCallback(SoftwareInfoCallback callback, std::uint32_t timing);
void InstallBfbCallbacks(StepProgressCallback onPrecheckProgress, StepProgressCallback onTestProgress);

bool CallbacksInstalled();
// Copies of what is installed (null pointers where nothing is).
ProcedureCallbacks GetProcedureCallbacks();
SoftwareInfoHook GetSoftwareInfoHook();
BfbCallbacks GetBfbCallbacks();

}  // namespace updlib
