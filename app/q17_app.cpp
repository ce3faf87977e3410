#include "app/q17_app.h"

#include <string>

#include "app/diag_log.h"
#include "app/main_frame.h"
#include "app/q17_doc.h"
#include "app/q17_view.h"
#include "app/wizard_globals.h"
#include "ui/resources.h"

gui::CInstanceLock* g_hInstanceMutex = nullptr;
bool g_bOtherInstance = false;

namespace {
constexpr UINT kDocTemplateId = 128;
constexpr std::string_view kInstanceName = "Q17";
constexpr std::string_view kTitleOfRunningInstance = "VQ20/VQ2X UpdateTool V.";
}  // namespace

void ReleaseInstanceLock() {
  if (g_hInstanceMutex != nullptr) g_hInstanceMutex->Release();
}

CQ17App::CQ17App(const WorkerHooks& hooks) : m_instanceLock(kInstanceName), m_hooks(hooks) {
  g_hInstanceMutex = &m_instanceLock;
  g_bOtherInstance = m_instanceLock.AlreadyExists();
}

CQ17App::~CQ17App() { g_hInstanceMutex = nullptr; }

BOOL CQ17App::InitInstance() {
  if (g_bOtherInstance) {
    gui::CInstanceLock::ActivateRunningInstance(kInstanceName, kTitleOfRunningInstance);
    return FALSE;
  }
  ui::RegisterResources();
  SetWorkerHooks(m_hooks);
  AddDocTemplate(CSingleDocTemplate::Make<CQ17Doc, CMainFrame, CQ17View>(kDocTemplateId));
  if (!OnFileNew()) return FALSE;
  m_pMainWnd->ShowWindow(SW_SHOW);
  m_pMainWnd->UpdateWindow();
  return TRUE;
}

bool CQ17App::IsInProtectedState() const { return ::IsProtectedState(g_nWizardState); }

void CQ17App::OnPlatformNotice(std::string_view text) { WriteLogEntry(text); }
