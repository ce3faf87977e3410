// CCloseDlg: the notice shown when the user tries to close the program while the update must not
// be interrupted (template 130). It paints its three lines and its Cancel button itself.
#pragma once

#include "platform/gui/dialog.h"
#include "platform/gui/gdi.h"

class CCloseDlg : public CDialog {
 public:
  explicit CCloseDlg(CWnd* pParentWnd = nullptr);

  bool IsPressed() const { return m_bPressed; }
  static void Paint(CDC* pDC, bool pressed);

 protected:
  BOOL OnInitDialog() override;
  void OnPaint() override;
  void OnLButtonDown(UINT nFlags, CPoint point) override;
  void OnLButtonUp(UINT nFlags, CPoint point) override;

 private:
  bool m_bPressed = false;
};
