// A program on the framework that guards itself with the single-instance lock: the first start
// shows a minimised window and ends once something brings it forward; a later start asks the
// first to do so and ends without a window. Used by instance_test.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/gui/framework.h"

namespace {

constexpr char kTitle[] = "Instance Test V. 1.00";
constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMs = 50;
constexpr int kGiveUpTicks = 15000 / kPollMs;

std::string LockName() {
  const char* name = std::getenv("VQ_TEST_LOCK");
  return name && *name ? name : "Q17test";
}

class Doc : public CDocument {};

class Frame : public CFrameWnd {
 protected:
  BOOL PreCreateWindow(CREATESTRUCT& cs) override {
    cs.style = WS_CAPTION | WS_SYSMENU;
    cs.lpszName = kTitle;
    return TRUE;
  }
};

class View : public CView {
 public:
  int exitCode = 2;  // given up waiting

 protected:
  void OnDraw(CDC*) override {}
  void OnShowWindow(BOOL, UINT) override { SetTimer(kPollTimer, kPollMs); }
  void OnTimer(UINT_PTR) override {
    bool forward = !GetParentFrame()->IsIconic() && GetParentFrame()->IsWindowVisible();
    if (forward) {
      std::printf("brought forward\n");
      std::fflush(stdout);
      exitCode = 0;
    }
    if (forward || ++m_ticks > kGiveUpTicks) {
      KillTimer(kPollTimer);
      GetParentFrame()->PostMessage(WM_CLOSE);
    }
  }

 private:
  int m_ticks = 0;
};

class InstanceApp : public CWinApp {
 public:
  InstanceApp() : m_lock(LockName()) {}

  BOOL InitInstance() override {
    if (m_lock.AlreadyExists()) {
      int count = gui::CInstanceLock::ActivateRunningInstance(LockName(), "Instance Test V.");
      std::printf("activated %d\n", count);
      m_exitCode = count >= 1 ? 0 : 3;
      return FALSE;
    }
    AddDocTemplate(CSingleDocTemplate::Make<Doc, Frame, View>(128));
    if (!OnFileNew()) return FALSE;
    m_pMainWnd->ShowWindow(SW_MINIMIZE);
    std::printf("ready\n");
    std::fflush(stdout);
    return TRUE;
  }

  int ExitInstance() override {
    if (m_pMainWnd) m_exitCode = static_cast<View*>(static_cast<Frame*>(m_pMainWnd)->GetActiveView())->exitCode;
    return m_exitCode;
  }

 private:
  gui::CInstanceLock m_lock;
  int m_exitCode = 1;
};

InstanceApp theApp;

}  // namespace
