#include "updlib/callbacks.h"

#include <atomic>
#include <mutex>

namespace updlib {
namespace {

// Installed by the host's threads before the slot threads that read them start.
struct Installed {
    std::mutex lock;
    ProcedureCallbacks procedure;
    SoftwareInfoHook softwareInfo;
    BfbCallbacks bfb;
    std::atomic<bool> procedureInstalled{false};
};

Installed& TheCallbacks() {
    static Installed installed;
    return installed;
}

}  // namespace

void InstallCallbacks(ConnectProgressCallback onConnectProgress, TransmitStartCallback onTransmitStart,
                      TransmitProgressCallback onTransmitProgress, FlashCodeCallback onFlashCode,
                      EraseProgressCallback onEraseProgress, TransferTotalCallback onTransferTotal,
                      TransferProgressCallback onTransferProgress, UpdateEndCallback onUpdateSuccess,
                      UpdateEndCallback onUpdateFailure, ConsistencyProblemCallback onConsistencyProblem) {
    Installed& installed = TheCallbacks();
    const std::lock_guard guard(installed.lock);
    installed.procedure = ProcedureCallbacks{onConnectProgress, onTransmitStart, onTransmitProgress,
                                             onFlashCode,       onEraseProgress, onTransferTotal,
                                             onTransferProgress, onUpdateSuccess, onUpdateFailure,
                                             onConsistencyProblem};
    installed.procedureInstalled = true;
}

void InstallSoftwareInfoCallback(SoftwareInfoCallback callback, std::uint32_t timing) {
    Installed& installed = TheCallbacks();
    const std::lock_guard guard(installed.lock);
    installed.softwareInfo = SoftwareInfoHook{callback, timing};
}

void InstallBfbCallbacks(StepProgressCallback onPrecheckProgress, StepProgressCallback onTestProgress) {
    Installed& installed = TheCallbacks();
    const std::lock_guard guard(installed.lock);
    installed.bfb = BfbCallbacks{onPrecheckProgress, onTestProgress};
}

bool CallbacksInstalled() { return TheCallbacks().procedureInstalled; }

ProcedureCallbacks GetProcedureCallbacks() {
    Installed& installed = TheCallbacks();
    const std::lock_guard guard(installed.lock);
    return installed.procedure;
}

SoftwareInfoHook GetSoftwareInfoHook() {
    Installed& installed = TheCallbacks();
    const std::lock_guard guard(installed.lock);
    return installed.softwareInfo;
}

BfbCallbacks GetBfbCallbacks() {
    Installed& installed = TheCallbacks();
    const std::lock_guard guard(installed.lock);
    return installed.bfb;
}

}  // namespace updlib
