#include "app/main_frame.h"

#include <iterator>

#include "app/diag_log.h"
#include "app/q17_app.h"
#include "app/wizard_globals.h"
#include "ui/close_dlg.h"

namespace {

// What a close request does in a state, and the log entry it leaves.
struct CloseRule {
  bool allowed;
  const char* logEntry;
};

CloseRule CloseRuleFor(int state) {
  switch (state) {
    case STATE_LANGUAGE: return {true, "BREAK at the Beginning"};
    case STATE_CONNECT: return {true, "BREAK after Looking for Mobile"};
    case STATE_SEARCH: return {true, "BREAK at Looking for Mobile"};
    case STATE_RESULT: return {true, "READY!!!"};
    case STATE_NOT_FOUND: return {true, "BREAK at 'No Mobile Found'"};
    case STATE_CHOOSE_PORT: return {true, "BREAK at Manuel Update Start"};
    case STATE_MANUAL_CHECK: return {true, "BREAK at Manuel Update Pre-Check"};
    case STATE_PRESS_ON_OFF: return {true, "BREAK at Manuel Update On/Off"};
    case STATE_INIT: return {false, "Try to break at Initialisation \r\n"};
    case STATE_FOUND: return {false, "Try to break at Mobile Found \r\n"};
    case STATE_ERASE: return {false, "Try to break at Erase Flash \r\n"};
    case STATE_TRANSFER: return {false, "Try to break at Transfering SW \r\n"};
    case STATE_TEST: return {false, "Try to break at Testing SW \r\n"};
    default: return {true, "Impossible Break!!!"};
  }
}

void LogTimed(const char* entry) {
  if (g_bLogEnabled) WriteTimedLogEntry(entry);
}

}  // namespace

BOOL CMainFrame::PreCreateWindow(CREATESTRUCT& cs) {
  if (!CFrameWnd::PreCreateWindow(cs)) return FALSE;
  cs.style = WS_CAPTION | WS_SYSMENU;
  cs.lpszName = kMainWindowTitle;
  return TRUE;
}

int CMainFrame::OnCreate(LPCREATESTRUCT lpCreateStruct) {
  if (CFrameWnd::OnCreate(lpCreateStruct) == -1) return -1;
  if (!m_wndStatusBar.Create(this, WS_CHILD | WS_VISIBLE | CBRS_BOTTOM, AFX_IDW_STATUS_BAR)) return -1;
  if (!m_wndStatusBar.SetIndicators(kStatusPaneIds, static_cast<int>(std::size(kStatusPaneIds)))) return -1;
  return 0;
}

CRect CMainFrame::PlacementRect(int screenWidth, int screenHeight, int nc, int sb) {
  const int cx = screenWidth / 2;
  const int cy = screenHeight / 2;
  return CRect(cx - 225, cy - 216 - nc, cx + 225, cy + 217 + sb);
}

void CMainFrame::ActivateFrame(int nCmdShow) {
  CRect statusRect;
  m_wndStatusBar.GetWindowRect(&statusRect);
  CRect windowRect;
  CRect clientRect;
  GetWindowRect(&windowRect);
  GetClientRect(&clientRect);
  const int nc = windowRect.Height() - clientRect.Height();

  WINDOWPLACEMENT placement;
  placement.flags = WPF_SETMINPOSITION;
  placement.showCmd = static_cast<UINT>(nCmdShow);
  placement.ptMinPosition = POINT{0, 0};
  placement.ptMaxPosition = POINT{-GetSystemMetrics(SM_CXBORDER), -GetSystemMetrics(SM_CYBORDER)};
  placement.rcNormalPosition =
      PlacementRect(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nc, statusRect.Height());
  SetWindowPlacement(&placement);
  CFrameWnd::ActivateFrame(nCmdShow);
}

LRESULT CMainFrame::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_POWERBROADCAST && wParam == PBT_APMQUERYSUSPEND && IsProtectedState(g_nWizardState)) {
    LogTimed("Power down Broadcast Query Deny");
    return BROADCAST_QUERY_DENY;
  }
  return CFrameWnd::DefWindowProc(message, wParam, lParam);
}

BOOL CMainFrame::OnQueryEndSession() {
  if (!CFrameWnd::OnQueryEndSession()) return FALSE;
  if (!IsProtectedState(g_nWizardState)) return TRUE;
  CCloseDlg dialog(this);
  dialog.DoModal();
  LogTimed("Exit Windows Query Deny");
  return FALSE;
}

void CMainFrame::OnClose() {
  const CloseRule rule = CloseRuleFor(g_nWizardState);
  if (rule.allowed) {
    ReleaseInstanceLock();
    LogTimed(rule.logEntry);
    CFrameWnd::OnClose();
    return;
  }
  LogTimed(rule.logEntry);
  CCloseDlg dialog(this);
  dialog.DoModal();
}
