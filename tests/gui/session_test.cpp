// The application's run: while it says it is in a protected state the layer tries to block
// suspend and shutdown, and reports what came of it; the main window's destruction ends the run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/gui/test_windows.h"

using namespace guitest;

namespace {

constexpr UINT_PTR kStepTimer = 7;

// Protected for its first ticks, then not, then closes itself.
class SteppingFrame : public TestFrame {
 public:
  int ticks = 0;

 protected:
  int OnCreate(LPCREATESTRUCT cs) override {
    int result = TestFrame::OnCreate(cs);
    SetTimer(kStepTimer, 100);
    return result;
  }
  void OnTimer(UINT_PTR) override {
    if (++ticks == 10) PostMessage(WM_CLOSE);
  }
};

class GuardApp : public CWinApp {
 public:
  std::vector<std::string> notices;
  int exitCalls = 0;

  bool IsInProtectedState() const override {
    auto* frame = static_cast<SteppingFrame*>(m_pMainWnd);
    return frame && frame->ticks < 5;
  }
  void OnPlatformNotice(std::string_view text) override { notices.emplace_back(text); }
  BOOL InitInstance() override {
    RegisterTestTemplates();
    AddDocTemplate(CSingleDocTemplate::Make<TestDoc, SteppingFrame, TestView>(128));
    if (!OnFileNew()) return FALSE;
    m_pMainWnd->ShowWindow(SW_SHOW);
    return TRUE;
  }
  int ExitInstance() override {
    ++exitCalls;
    return 42;
  }
};

// Runs a GuardApp to its end; returns its notices.
std::vector<std::string> RunGuardApp() {
  GuardApp app;
  EXPECT_EQ(AfxGetApp(), &app);
  char name[] = "session_test";
  char* argv[] = {name, nullptr};
  EXPECT_EQ(app.Run(1, argv), 42);
  EXPECT_EQ(app.exitCalls, 1);
  EXPECT_EQ(app.m_pMainWnd, nullptr);
  return app.notices;
}

TEST(SessionTest, ProtectedStateTakesAndGivesBackTheSuspendBlockAndTheRunEndsWithTheWindow) {
  gui::testing::EnsureApplication();
  CWinApp* before = AfxGetApp();
  std::vector<std::string> notices = RunGuardApp();
  EXPECT_EQ(AfxGetApp(), before) << "a temporary application object gives the place back";
  ASSERT_FALSE(notices.empty());
  // Either logind granted the block (and it is given back later) or the layer says it could not.
  const std::string& first = notices.front();
  if (first.find("could not block") != std::string::npos) {
    EXPECT_EQ(notices.size(), 1u);
    EXPECT_NE(first.find("do not suspend or shut down"), std::string::npos);
  } else {
    ASSERT_EQ(notices.size(), 2u) << first;
    EXPECT_NE(first.find("blocked"), std::string::npos);
    EXPECT_NE(notices[1].find("allowed again"), std::string::npos);
  }
}

}  // namespace
