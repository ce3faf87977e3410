// The main window's guard: closing, ending the session and suspending are refused in the
// protected states, with the refusal dialog and a time-stamped log entry; its fixed placement.
#include <string>

#include <gtest/gtest.h>

#include "app/main_frame.h"
#include "app/wizard_globals.h"
#include "platform/gui/dialog.h"
#include "platform/gui/testing.h"
#include "tests/app/wizard_fixture.h"
#include "ui/resource_ids.h"

namespace {

namespace gt = gui::testing;
using apptest::ReadLog;

class MainFrame : public apptest::WizardTest {
 protected:
  // Arms the next modal run to note its template and end with Escape.
  void ExpectRefusalDialog() {
    m_refusalTemplate = 0;
    gt::OnNextModal([this](CDialog& dialog) {
      m_refusalTemplate = dialog.GetTemplateId();
      gt::PressKey(dialog, gt::Key::Escape);
    });
  }
  UINT m_refusalTemplate = 0;
};

TEST_F(MainFrame, CloseIsRefusedInTheProtectedStates) {
  const std::pair<int, const char*> cases[] = {
      {STATE_INIT, "Try to break at Initialisation "}, {STATE_FOUND, "Try to break at Mobile Found "},
      {STATE_ERASE, "Try to break at Erase Flash "},   {STATE_TRANSFER, "Try to break at Transfering SW "},
      {STATE_TEST, "Try to break at Testing SW "},
  };
  for (const auto& [state, entry] : cases) {
    g_nWizardState = state;
    ExpectRefusalDialog();
    gt::RequestClose(*frame);
    Settle();
    EXPECT_EQ(m_refusalTemplate, static_cast<UINT>(ui::IDD_CLOSE)) << state;
    EXPECT_FALSE(FrameClosed()) << state;
    EXPECT_EQ(g_nWizardState, state);
    EXPECT_TRUE(apptest::LogEndsWithTimedEntry(std::string(entry) + "\r\n")) << state;
  }
}

TEST_F(MainFrame, CloseDuringTheManualOnOffStepEndsTheProgram) {
  g_nWizardState = STATE_PRESS_ON_OFF;
  gt::RequestClose(*frame);
  Settle();
  EXPECT_TRUE(FrameClosed());
  EXPECT_TRUE(apptest::LogEndsWithTimedEntry("BREAK at Manuel Update On/Off"));
}

TEST_F(MainFrame, ContinueOnTheResultScreenEndsTheLogWithReady) {
  ASSERT_EQ(g_nWizardState, STATE_RESULT);
  gt::Click(*view, CPoint(340, 315));
  Settle();
  EXPECT_TRUE(FrameClosed());
  EXPECT_TRUE(apptest::LogEndsWithTimedEntry("READY!!!"));
}

TEST_F(MainFrame, AnUnknownStateClosesAsAnImpossibleBreak) {
  g_nWizardState = 9;
  gt::RequestClose(*frame);
  Settle();
  EXPECT_TRUE(FrameClosed());
  EXPECT_TRUE(apptest::LogEndsWithTimedEntry("Impossible Break!!!"));
}

TEST_F(MainFrame, SessionEndIsRefusedAfterTheDialogWhileTransferring) {
  g_nWizardState = STATE_TRANSFER;
  ExpectRefusalDialog();
  EXPECT_FALSE(gt::QueryEndSession());
  EXPECT_EQ(m_refusalTemplate, static_cast<UINT>(ui::IDD_CLOSE));
  EXPECT_TRUE(apptest::LogEndsWithTimedEntry("Exit Windows Query Deny"));

  g_nWizardState = STATE_CONNECT;
  EXPECT_TRUE(gt::QueryEndSession());
}

TEST_F(MainFrame, SuspendIsDeniedOnlyInProtectedStates) {
  g_nWizardState = STATE_ERASE;
  EXPECT_EQ(frame->SendMessage(WM_POWERBROADCAST, PBT_APMQUERYSUSPEND), BROADCAST_QUERY_DENY);
  EXPECT_TRUE(apptest::LogEndsWithTimedEntry("Power down Broadcast Query Deny"));
  g_nWizardState = STATE_RESULT;
  EXPECT_NE(frame->SendMessage(WM_POWERBROADCAST, PBT_APMQUERYSUSPEND), BROADCAST_QUERY_DENY);
}

TEST_F(MainFrame, WindowIsCentredAtItsFixedSize) {
  const CRect r = CMainFrame::PlacementRect(1025, 769, 30, 20);
  EXPECT_EQ(r, CRect(512 - 225, 384 - 216 - 30, 512 + 225, 384 + 217 + 20));
  EXPECT_EQ(frame->GetWindowText(), "VQ20/VQ2X UpdateTool V. 1.05");
  CRect client;
  view->GetClientRect(&client);
  EXPECT_EQ(client.Width(), 450);
  EXPECT_EQ(client.Height(), 433);
}

}  // namespace
