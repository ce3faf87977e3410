// The search worker and the library's host side (search thread, callbacks, error presentation)
// as the view and the initialisation reach them: through pointers that the program sets at
// start-up, before the view is created. A pointer left empty is skipped: without a search worker,
// Continue on the connect screen reaches STATE_SEARCH and the wizard stays there.
#pragma once

#include "updlib/callbacks.h"

struct WorkerHooks {
  // The search and update worker; gets the view's window handle, posts one WM_WORKER_RESULT.
  unsigned (*searchThreadProc)(void* viewWindowHandle) = nullptr;
  // Sets g_strErrorLine1 from the newest error of the slot's list.
  void (*showLibraryError)(int slot) = nullptr;
  // Installed by the initialisation for the BFB pre-check and test.
  updlib::StepProgressCallback onPrecheckProgress = nullptr;
  updlib::StepProgressCallback onTestProgress = nullptr;
  updlib::SoftwareInfoCallback onSoftwareInfo = nullptr;
};

// Window thread, before the view exists (tests: between runs).
void SetWorkerHooks(const WorkerHooks& hooks);
const WorkerHooks& GetWorkerHooks();
