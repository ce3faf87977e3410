// CQ17App: the application object. Only one instance runs per user: a second start brings the
// running instance's main window to the front and ends. It registers the built-in resources and
// creates the frame, document and wizard view.
#pragma once

#include <string_view>

#include "app/worker_hooks.h"
#include "platform/gui/docview.h"
#include "platform/gui/instance_lock.h"

// The single-instance lock "Q17" of this process (nullptr without an application object) and
// whether another process held it when this one started.
extern gui::CInstanceLock* g_hInstanceMutex;
extern bool g_bOtherInstance;

// A permitted close gives the lock up first, so a new start is possible at once.
void ReleaseInstanceLock();

class CQ17App : public CWinApp {
 public:
  // hooks: the search worker and the host callbacks the wizard starts and installs.
  explicit CQ17App(const WorkerHooks& hooks);
  ~CQ17App() override;

  BOOL InitInstance() override;
  bool IsInProtectedState() const override;
  void OnPlatformNotice(std::string_view text) override;

 private:
  gui::CInstanceLock m_instanceLock;
  WorkerHooks m_hooks;
};
