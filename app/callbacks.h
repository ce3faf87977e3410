// The host's callbacks for the update library: they log the library's steps, move the wizard
// through erase, transfer and test, keep the counters of the percentage and answer the library's
// two questions (consistency problem, software information). Slot first; the host uses slot 0.
#pragma once

#include <cstdint>

#include "updlib/callbacks.h"

// BFB pre-check and final test (search thread).
int OnPrecheckProgress(int slot, int steps, int step);
int OnTestProgress(int slot, int steps, int step);

// The update procedure (the library's update thread).
int OnConnectProgress(int slot, int steps, int step);
int OnTransmitStart(int slot, std::uint32_t length);
int OnTransmitProgress(int slot, std::uint32_t bytesSent);
int OnFlashCode(int slot, std::uint16_t flashCode, const char* text);
int OnEraseProgress(int slot, std::uint16_t total, std::uint16_t done);
int OnTransferTotal(int slot, std::uint32_t totalBytes);
int OnTransferProgress(int slot, std::uint32_t bytesSent);
int OnUpdateSuccess(int slot);
int OnUpdateFailure(int slot);

// Non-zero lets the update go on: only a blank phone (product type of sixteen 0xFF bytes) in the
// manual start is accepted for a product-type mismatch (reason 1); every other mismatch is refused.
int OnConsistencyProblem(int slot, const updlib::SwInfo* phone, const updlib::SwInfo* file,
                         std::uint16_t reason);
// Logs both software descriptions; always 1.
int OnSoftwareInfo(int slot, const updlib::SwInfo* phone, const updlib::SwInfo* file);

// The ten procedure callbacks, in the order of updlib::InstallCallbacks.
void InstallProcedureCallbacks();
