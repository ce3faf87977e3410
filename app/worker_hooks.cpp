#include "app/worker_hooks.h"

namespace {
WorkerHooks g_hooks;
}

void SetWorkerHooks(const WorkerHooks& hooks) { g_hooks = hooks; }
const WorkerHooks& GetWorkerHooks() { return g_hooks; }
