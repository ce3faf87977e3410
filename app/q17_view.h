// CQ17View: the wizard. One form view that paints every screen itself (ui/screens.h) and runs the
// wizard's state machine: the mouse on the painted buttons, Enter, the worker results, the timer
// that animates the percentage and the blinking line.
#pragma once

#include "platform/gui/controls.h"
#include "platform/gui/docview.h"
#include "ui/dib.h"

// The percentage the search screen shows: the integer part of progress, one more when its first
// two decimals are 99 or more (three steps of 33.333 end on 100).
int SearchPercentage(float progress);
// The port index 0..11 of a list text "COM1".."COM12"; -1 for any other text.
int PortIndexOfName(const char* name);

class CQ17View : public CFormView {
 public:
  CQ17View();
  ~CQ17View() override;

  void OnInitialUpdate() override;

  // What the view holds, for those who look at it.
  bool IsStartDown() const { return m_bStartDown; }
  bool IsContinueDown() const { return m_bContinueDown; }
  bool IsExitDown() const { return m_bExitDown; }
  CComboBox& List() { return m_list; }
  CProgressCtrl& ProgressBar() { return *m_pProgress; }
  const CDib& PhonePicture() const { return m_dibPhone; }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnShowWindow(BOOL bShow, UINT nStatus) override;
  void OnTimer(UINT_PTR nIDEvent) override;
  void OnLButtonDown(UINT nFlags, CPoint point) override;
  void OnLButtonUp(UINT nFlags, CPoint point) override;
  void OnMouseMove(UINT nFlags, CPoint point) override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  void OnDraw(CDC* pDC) override;
  void DoDataExchange(CDataExchange* pDX) override;

 private:
  void StartUp();
  void CreateControls();
  void OnWorkerResult(WPARAM phase, LPARAM result);
  void LoadPhonePicture();
  // The package's software in the status bar panes, once it is known.
  void ShowSoftwareInfo();
  void OnEnter();
  // The agreement dialog; true when the user agreed (the wizard is then in STATE_CONNECT).
  bool RunAgreement();
  void StartSearch();
  void ChoosePort();
  void OfferPortChoice();
  void CloseProgram(bool releaseSoftware);
  void DrawTimerElements(CDC& dc, int state);
  void Blink(CDC& dc);

  CProgressCtrl m_progress;      // template control 1000, the fallback bar
  CButton m_defaultButton;       // template control 1014, hidden: Enter
  CProgressCtrl m_systemProgress;
  CProgressCtrl* m_pProgress = &m_progress;  // the bar in use
  bool m_bCommonProgress = false;            // the system bar exists
  CComboBox m_list;
  CDib m_dibBackground;
  CDib m_dibPhone;
  CStatusBar* m_pStatusBar = nullptr;
  bool m_bStartDown = false;
  bool m_bContinueDown = false;
  bool m_bExitDown = false;
  bool m_bStarted = false;  // the start-up steps of the first showing ran
};
