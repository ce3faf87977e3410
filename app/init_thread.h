// The initialisation worker: checks the library's interface, reads and verifies the update package
// of the program's own file, hands the software file to the library, installs the BFB and
// software-information callbacks and collects the usable serial ports. It ends by posting one
// WM_WORKER_RESULT to the view: (1, 0) on success, (0, 1..6) on a failure, with the error lines set.
#pragma once

// The failures, as the lParam of the (0, n) pair.
enum InitFailure : int {
  kInitLibraryFailed = 1,    // interface version not 1.29
  kInitPackageFailed = 2,    // package missing, tampered or unreadable
  kInitCopyFailed = 3,       // no memory for the copy of the package body
  kInitNoScanMemory = 4,     // no memory for the port scan
  kInitNoComPort = 5,        // no usable serial port
  kInitSoftwareFileFailed = 6,  // the library refused the software file
};

// Thread body; viewWindowHandle is the view's HWND. Returns 0.
unsigned InitThreadProc(void* viewWindowHandle);

// The log line format of a library component's version (component types 0 to 3).
const char* VersionLogLabel(int type);
