// CLicenseDlg: the end-user agreement (template 131). It paints its heading, the agreement body,
// the two choice labels and the Continue button itself; the choices are the radio buttons 1002
// (Agree) and 1003 (Disagree). Hebrew and Arabic are laid out right to left.
#pragma once

#include "platform/gui/dialog.h"
#include "platform/gui/gdi.h"

// Set by each construction; absorbs an Agree notification that arrives before the user can act.
extern int g_bIgnoreFirstAgree;
// 1 when the dialog was closed by Continue with Agree marked, 0 by Continue without it; other
// ways of closing leave it as it was.
extern int g_nAgreementResult;

class CLicenseDlg : public CDialog {
 public:
  explicit CLicenseDlg(CWnd* pParentWnd = nullptr);

  void OnAgree();
  void OnDisagree();
  bool IsChoiceMade() const { return m_bChoiceMade; }
  bool IsContinuePressed() const { return m_bContinuePressed; }

  // Everything the dialog paints, in its order (client coordinates).
  static void Paint(CDC* pDC, bool choiceMade, bool continuePressed);

 protected:
  BOOL OnInitDialog() override;
  void OnShowWindow(BOOL bShow, UINT nStatus) override;
  void OnPaint() override;
  void OnLButtonDown(UINT nFlags, CPoint point) override;
  void OnLButtonUp(UINT nFlags, CPoint point) override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

 private:
  void RepaintContinue();

  bool m_bDisagreePressed = false;
  bool m_bAgreePressed = false;
  bool m_bChoiceMade = false;
  bool m_bContinuePressed = false;
};
