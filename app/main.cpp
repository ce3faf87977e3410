// The updater program: the application object with the search worker and the host callbacks the
// wizard starts and installs.
#include "app/callbacks.h"
#include "app/error_presentation.h"
#include "app/q17_app.h"
#include "app/search_thread.h"

CQ17App theApp(WorkerHooks{.searchThreadProc = SearchThreadProc,
                           .showLibraryError = ShowLibraryErrorLine,
                           .onPrecheckProgress = OnPrecheckProgress,
                           .onTestProgress = OnTestProgress,
                           .onSoftwareInfo = OnSoftwareInfo});
