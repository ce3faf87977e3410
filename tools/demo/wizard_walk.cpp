#include "tools/demo/wizard_walk.h"

#include <cstdio>
#include <filesystem>

#include "app/main_frame.h"
#include "app/q17_view.h"
#include "app/wizard_globals.h"
#include "platform/gui/dialog.h"
#include "platform/gui/testing.h"
#include "ui/catalogue.h"
#include "ui/language.h"
#include "ui/screens.h"

namespace demo {
namespace gt = gui::testing;

namespace {

const CPoint kSingleButton{340, 315};
const CPoint kLeftButton{291, 315};
const CPoint kAgreeLabel{50, 320};
const CPoint kAgreementContinue{210, 350};

bool HasPercentage(int state) { return state == STATE_SEARCH || (state >= STATE_ERASE && state <= STATE_RESULT); }

// The percentage as the view's timer shows it.
int ShownPercent(int state) {
  switch (state) {
    case STATE_SEARCH: return SearchPercentage(g_fProgress);
    case STATE_ERASE: return static_cast<int>(ui::ErasePercentage(g_nProgressPhase, g_wEraseDone, g_wEraseTotal));
    case STATE_TRANSFER:
      return static_cast<int>(ui::TransferPercentage(g_nProgressPhase, g_dwTransferDone, g_dwTransferTotal));
    default: return static_cast<int>(g_fProgress);
  }
}

}  // namespace

const char* StateName(int state) {
  switch (state) {
    case STATE_INIT: return "init";
    case STATE_LANGUAGE: return "language";
    case STATE_CONNECT: return "connect";
    case STATE_SEARCH: return "search";
    case STATE_FOUND: return "found";
    case STATE_ERASE: return "erase";
    case STATE_TRANSFER: return "transfer";
    case STATE_TEST: return "test";
    case STATE_RESULT: return "result";
    case STATE_NOT_FOUND: return "not-found";
    case STATE_CHOOSE_PORT: return "choose-port";
    case STATE_MANUAL_CHECK: return "manual-check";
    case STATE_PRESS_ON_OFF: return "press-on-off";
    default: return "unknown";
  }
}

std::vector<std::string> ScreenTexts(int state) {
  switch (state) {
    case STATE_INIT: return {g_strInitLine1, g_strInitLine2, g_strInitLine3};
    case STATE_LANGUAGE: return {g_strSelectLanguage, g_strLanguageName, g_strStart};
    case STATE_CONNECT: return {g_strConnectLine1, g_strConnectLine2, g_strConnectLine3, g_strContinue};
    case STATE_SEARCH: return {g_strSearching, ui::PortsLine(g_nPortCount), ui::PortLine(g_nPortIndex)};
    case STATE_FOUND: return {ui::FoundLine(g_nPortIndex), g_strFoundLine2, g_strFoundLine3, g_strPleaseWait};
    case STATE_ERASE: return {g_strEraseLine1, g_strEraseLine2, g_strEraseLine3};
    case STATE_TRANSFER: return {g_strTransferLine1, g_strTransferLine2, g_strTransferLine3};
    case STATE_TEST: return {g_strTestLine1, g_strTestLine2, g_strTestLine3};
    case STATE_RESULT:
      if (!g_strErrorLine1.IsEmpty()) return {g_strErrorLine1.Get(), g_strErrorLine2.Get(), g_strContinue};
      return {g_strSuccessLine1, g_strSuccessLine2, g_strSuccessLine3, g_strContinue};
    case STATE_NOT_FOUND: return {g_strNotFound1, g_strNotFound2, g_strContinue, g_strExit};
    case STATE_CHOOSE_PORT: return {g_strChoosePort1, g_strChoosePort2, g_strContinue, g_strExit};
    case STATE_MANUAL_CHECK: return {g_strPleaseWait};
    case STATE_PRESS_ON_OFF: return {g_strPressOnOff1, g_strPressOnOff2};
    default: return {};
  }
}

WizardWalk::WizardWalk(CMainFrame& frame, CQ17View& view, std::string shotDir, Printer print)
    : m_frame(frame), m_view(view), m_shotDir(std::move(shotDir)), m_print(std::move(print)) {
  if (!m_shotDir.empty()) std::filesystem::create_directories(m_shotDir);
}

void WizardWalk::SavePicture(const std::string& name) {
  if (m_shotDir.empty()) return;
  m_view.Invalidate();
  m_view.UpdateWindow();
  gt::ProcessEvents(20);
  gt::Grab(m_frame).SavePng(m_shotDir + "/" + name + ".png");
}

void WizardWalk::ReportScreen() {
  const int state = g_nWizardState;
  if (state == m_lastState) return;
  m_lastState = state;
  m_lastPercent = -1;
  m_states.push_back(state);
  m_print(std::string("[screen ") + StateName(state) + "]");
  for (const std::string& text : ScreenTexts(state)) {
    if (!text.empty()) m_print("    " + text);
  }
  char index[8];
  std::snprintf(index, sizeof index, "%02zu", m_states.size());
  SavePicture(std::string(index) + "-" + StateName(state));
}

void WizardWalk::Poll() {
  ReportScreen();
  const int state = g_nWizardState;
  if (!HasPercentage(state)) return;
  const int percent = ShownPercent(state);
  if (percent == m_lastPercent) return;
  m_lastPercent = percent;
  if (state == STATE_SEARCH) m_searchPercentages.push_back(percent);
  m_print("    " + std::to_string(percent) + "%");
}

bool WizardWalk::WaitForState(int state, int timeoutMs) {
  const bool reached = gt::WaitUntil(
      [&] {
        Poll();
        return g_nWizardState == state;
      },
      timeoutMs);
  Poll();
  return reached;
}

void WizardWalk::StartAndAgree() {
  gt::OnNextModal([this](CDialog& dialog) {
    gt::Click(dialog, kAgreeLabel);
    gt::Click(dialog, kAgreeLabel);  // the first notification after construction is absorbed
    gt::ProcessEvents(10);
    m_print("[agreement] agreed");
    if (!m_shotDir.empty()) gt::Grab(dialog).SavePng(m_shotDir + "/agreement.png");
    gt::Click(dialog, kAgreementContinue);
  });
  gt::Click(m_view, kSingleButton);
}

void WizardWalk::ClickContinue() {
  const int state = g_nWizardState;
  gt::Click(m_view, state == STATE_NOT_FOUND || state == STATE_CHOOSE_PORT ? kLeftButton : kSingleButton);
}

bool WizardWalk::ChoosePortAndContinue(const std::string& portName) {
  ClickContinue();
  if (!WaitForState(STATE_CHOOSE_PORT, 3000)) return false;
  CComboBox& list = m_view.List();
  for (int i = 0; i < list.GetCount(); ++i) {
    std::string text;
    list.GetLBText(i, text);
    if (text == portName) {
      gt::ChooseListEntry(list, i);
      m_print("[choose-port] " + portName);
      ClickContinue();
      return true;
    }
  }
  return false;
}

void WizardWalk::PressCloseBox() {
  gt::OnNextModal([this](CDialog& dialog) {
    m_refusalShown = true;
    m_print("[close box] refused");
    if (!m_shotDir.empty()) gt::Grab(dialog).SavePng(m_shotDir + "/close-refused.png");
    dialog.EndDialog(IDOK);
  });
  gt::RequestClose(m_frame);
  gt::ProcessEvents(50);
}

bool WizardWalk::FollowToResult(int timeoutMs) { return WaitForState(STATE_RESULT, timeoutMs); }

}  // namespace demo
