#include "app/init_thread.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "app/diag_log.h"
#include "app/serial_ports.h"
#include "app/wizard_globals.h"
#include "app/worker_hooks.h"
#include "package/package_reader.h"
#include "platform/gui/wnd.h"
#include "platform/os/clock.h"
#include "ui/catalogue.h"
#include "updlib/libif.h"
#include "xbi/software_file.h"

namespace {

constexpr std::uint32_t kDelayBeforeSuccess = 750;  // ms; the initialisation screen stays readable

struct FreeDeleter {
  void operator()(std::uint8_t* p) const { std::free(p); }
};
using MallocBuffer = std::unique_ptr<std::uint8_t, FreeDeleter>;

// The copy of the package body the library reads from; it must outlive the library's use of the
// file, so it lives for the process (a new initialisation replaces it).
MallocBuffer g_softwareBuffer;

void Log(const char* line) {
  if (g_bLogEnabled) AppendLog("%s", line);
}

unsigned Fail(HWND view, InitFailure failure, const std::string& line1, const char* logLine) {
  g_strErrorLine1 = line1;
  g_strErrorLine2.Clear();
  ::PostMessage(view, WM_WORKER_RESULT, 0, failure);
  Log(logLine);
  return 0;
}

void LogLibraryVersions() {
  updlib::VersionRecord record;
  record.size = sizeof record;
  for (int type = 0; type <= 3; ++type) {
    if (updlib::GetVersionRecord(record, type) != 0 && g_bLogEnabled) {
      AppendLog(VersionLogLabel(type), static_cast<int>(record.major), static_cast<int>(record.minor));
    }
  }
}

void LogSoftwareInfo(const xbi::SwInfo& info) {
  if (!g_bLogEnabled) return;
  AppendLog(
      "\r\nInformation About Software:\r\nProjekt Name %s\r\nProduct Type %s\r\nProduct Version %s\r\n"
      "Compile Date / Time:  %s / %s\r\n",
      info.projectName, info.productType, info.svn, info.compileDate, info.compileTime);
}

void InstallHostCallbacks() {
  const WorkerHooks& hooks = GetWorkerHooks();
  updlib::InstallBfbCallbacks(hooks.onPrecheckProgress, hooks.onTestProgress);
  updlib::InstallSoftwareInfoCallback(hooks.onSoftwareInfo, updlib::kSoftwareInfoAtPrecheck);
}

}  // namespace

const char* VersionLogLabel(int type) {
  switch (type) {
    case 0: return "Library Version (whole wrapper)\t%d.%d\r\n";
    case 1: return "Library Version (serial DLL)\t%d.%d\r\n";
    case 2: return "Library Version (BootStrapLoader-DLL)\t%d.%d\r\n";
    default: return "Library Version (MobileSW-Part)\t%d.%d\r\n";
  }
}

unsigned InitThreadProc(void* viewWindowHandle) {
  const HWND view = static_cast<HWND>(viewWindowHandle);
  g_nPortCount = 0;
  for (auto& flag : g_abPortAvailable) flag = 0;
  Log("\r\nBegin Initialisation.\r\n");

  if (updlib::CheckInterfaceVersion(1, 29) == 0) {
    return Fail(view, kInitLibraryFailed, g_strErrInitLibrary, "Error Initialisation (Init Library).\r\n");
  }
  updlib::SetUpdateMode(1);
  LogLibraryVersions();

  std::uint32_t packageLength = 0;
  std::uint8_t* packageBody = nullptr;
  if (!ReadUpdatePackage(&packageLength, &packageBody)) {
    std::free(packageBody);
    return Fail(view, kInitPackageFailed, g_strErrReadSwMemory, "Error Initialisation (Decoding Update File).\r\n");
  }
  const MallocBuffer package(packageBody);
  std::uint8_t* software = nullptr;
  std::uint32_t softwareLength = 0;
  if (CopyPackageBody(&software, &softwareLength, packageLength, package.get()) == 0) {
    return Fail(view, kInitCopyFailed, g_strErrOpenFile, "Error Initialisation (MallocHeap).\r\n");
  }
  g_softwareBuffer.reset(software);

  if (xbi::ReadSoftwareFile(g_SwInfoPackage, software, softwareLength) == 0) {
    if (GetWorkerHooks().showLibraryError != nullptr) GetWorkerHooks().showLibraryError(0);
    // Without an error presentation installed the line stays empty, and an empty first line
    // would make the result screen read as success.
    if (g_strErrorLine1.IsEmpty()) g_strErrorLine1 = g_strErrReadSwMemory;
    g_strErrorLine2.Clear();
    xbi::ReleaseSoftwareFile();
    ::PostMessage(view, WM_WORKER_RESULT, 0, kInitSoftwareFileFailed);
    Log("Error Initialisation (ReadFileFromHeap).\r\n");
    return 0;
  }
  LogSoftwareInfo(g_SwInfoPackage);
  g_bSwInfoValid = true;
  InstallHostCallbacks();

  Log("\r\nLooking for COM-Ports\r\n");
  if (!ScanSerialPorts()) {
    xbi::ReleaseSoftwareFile();
    return Fail(view, kInitNoScanMemory, g_strErrNoMemory, "could not allocate memory (59 bytes)!\r\n");
  }
  if (g_bLogEnabled) AppendLog("Found %d COM-Port(s).\r\n", g_nPortCount.load());
  if (g_nPortCount == 0) {
    xbi::ReleaseSoftwareFile();
    return Fail(view, kInitNoComPort, g_strErrNoComPort, "Error Initialisation (No Com-Port in Registry).\r\n");
  }

  g_nWizardState = STATE_LANGUAGE;
  os::Sleep(kDelayBeforeSuccess);
  ::PostMessage(view, WM_WORKER_RESULT, 1, 0);
  Log("End Initialisation.\r\n");
  return 0;
}
