#include "app/callbacks.h"

#include <cstring>
#include <string>
#include <string_view>

#include "app/diag_log.h"
#include "app/wizard_globals.h"
#include "ui/catalogue.h"

namespace {

void Log(const char* text) {
  if (g_bLogEnabled) AppendLog("%s", text);
}

// Header at step 1, a dot per step, the line end at the last step.
void LogSteps(const char* header, int steps, int step) {
  if (step == 1) Log(header);
  Log(".");
  if (step == steps) Log("\r\n");
}

// The record read as text up to its first zero byte holds sixteen 0xFF bytes in a row.
bool IsBlankProductType(const updlib::SwInfo& phone) {
  const auto* bytes = reinterpret_cast<const char*>(&phone);
  const std::string_view text(bytes, strnlen(bytes, sizeof phone));
  return text.find(std::string(16, '\xFF')) != std::string_view::npos;
}

void LogSwInfo(const updlib::SwInfo& info) {
  if (!g_bLogEnabled) return;
  AppendLog(
      "Comment about Split Entity: %.20s\r\nCompile Date: %.9s\r\nCompile Time: %.9s\r\n"
      "New Split Identifier: %.16s\r\nProduct SVN: %.10s\r\nProduct Type: %.16s\r\n"
      "Project Name: %.16s\r\nSW Type: %.20s\r\n\r\n",
      info.splitName, info.compileDate, info.compileTime, info.splitKind, info.svn, info.productType,
      info.projectName, info.swTypeName);
}

}  // namespace

int OnPrecheckProgress(int, int steps, int) { return steps; }

int OnTestProgress(int, int steps, int step) {
  LogSteps("Testing new Mobile-SW\r\n", steps, step);
  return 0;
}

int OnConnectProgress(int, int steps, int step) {
  LogSteps("Connecting to Mobile\r\n", static_cast<std::uint16_t>(steps), static_cast<std::uint16_t>(step));
  return 0;
}

int OnTransmitStart(int, std::uint32_t) {
  Log("Start Transmitting Update-SW");
  return 0;
}

int OnTransmitProgress(int, std::uint32_t) {
  Log(".");
  return 0;
}

int OnFlashCode(int, std::uint16_t flashCode, const char* text) {
  if (g_bLogEnabled) AppendLog("Flash-Code %04X %s\r\n\r\n", flashCode, text != nullptr ? text : "");
  return 0;
}

int OnEraseProgress(int, std::uint16_t total, std::uint16_t done) {
  g_wEraseTotal = total;
  g_wEraseDone = done;
  if (g_nWizardState != STATE_ERASE) {
    g_nWizardState = STATE_ERASE;
    g_bRedraw = 1;
    g_nProgressPhase = 2;
    Log("Erasing Flashblocks\r\n");
  }
  Log(".");
  if (total == done) {
    Log("\r\n");
    if (g_nProgressPhase <= 6) ++g_nProgressPhase;
    g_bRedraw = 1;
  }
  return 0;
}

int OnTransferTotal(int, std::uint32_t totalBytes) {
  g_dwTransferTotal = totalBytes;
  return 0;
}

int OnTransferProgress(int, std::uint32_t bytesSent) {
  g_dwTransferDone = bytesSent;
  if (g_nWizardState != STATE_TRANSFER) {
    g_nWizardState = STATE_TRANSFER;
    g_bRedraw = 1;
    g_nProgressPhase = g_nProgressPhase == 0 ? 1 : 7;
    Log("Transferring new Mobile-SW\r\n");
  }
  Log(".");
  if (bytesSent == g_dwTransferTotal) {
    g_nWizardState = STATE_TEST;
    g_bRedraw = 1;
    Log("\r\n");
  }
  return 0;
}

int OnUpdateSuccess(int) {
  g_fProgress = 99;
  Log("Update was successful.\r\n");
  g_bUpdateDone = 1;
  return 0;
}

int OnUpdateFailure(int) {
  Log("update error occurred.\r\n");
  g_strErrorLine1 = "unknown update error occured";
  g_bUpdateFailed = 1;
  return 0;
}

int OnConsistencyProblem(int, const updlib::SwInfo* phone, const updlib::SwInfo* file, std::uint16_t reason) {
  if (phone == nullptr || file == nullptr) return 0;
  const bool log = g_bLogEnabled != 0;
  switch (reason) {
    case 1:
      if (log) AppendLog("You are trying to update a SW for a %.16s into a %.16s\r\n", file->productType, phone->productType);
      return g_bManualMode && IsBlankProductType(*phone) ? 1 : 0;
    case 2:
      if (log) AppendLog("You are trying to update a SW Version %.10s into a Mobile with %.10s\r\n", file->svn, phone->svn);
      return 0;
    case 4:
      if (log) {
        AppendLog("You are trying to update a SW with Date %.9s into a Mobile with %.9s\r\n", file->compileDate,
                  phone->compileDate);
      }
      return 0;
    case 6:
      if (log) {
        AppendLog("You are trying to update a SW Version %.10s with Date %.9s into a Mobile with Version %.10s Date %.9s\r\n",
                  file->svn, file->compileDate, phone->svn, phone->compileDate);
      }
      return 0;
    default:
      if (log) {
        AppendLog("Default Consistence Problem :\r\nSW Type %.16s with Version %.10s; Mobile Type %.16s with Version %.10s\r\n",
                  file->productType, file->svn, phone->productType, phone->svn);
      }
      return 0;
  }
}

int OnSoftwareInfo(int, const updlib::SwInfo* phone, const updlib::SwInfo* file) {
  Log("\r\nInformation about Mobile Software:\r\n");
  if (phone != nullptr) LogSwInfo(*phone);
  Log("Information about Software File:\r\n");
  if (file != nullptr) LogSwInfo(*file);
  return 1;
}

void InstallProcedureCallbacks() {
  updlib::InstallCallbacks(OnConnectProgress, OnTransmitStart, OnTransmitProgress, OnFlashCode, OnEraseProgress,
                           OnTransferTotal, OnTransferProgress, OnUpdateSuccess, OnUpdateFailure, OnConsistencyProblem);
}
