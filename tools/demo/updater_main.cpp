// The updater with its search worker and host callbacks wired, for the demo (a user clicks).
#include "app/callbacks.h"
#include "app/error_presentation.h"
#include "app/q17_app.h"
#include "app/search_thread.h"

CQ17App theApp(WorkerHooks{.searchThreadProc = SearchThreadProc,
                           .showLibraryError = ShowLibraryErrorLine,
                           .onPrecheckProgress = OnPrecheckProgress,
                           .onTestProgress = OnTestProgress,
                           .onSoftwareInfo = OnSoftwareInfo});
