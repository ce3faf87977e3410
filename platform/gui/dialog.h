// Modal dialogs on dialog templates (resources.h): controls by id, WM_INITDIALOG, painting and mouse
// handlers as in any window (wnd.h).
//
//   class CCloseDlg : public CDialog {
//    public: explicit CCloseDlg(CWnd* parent) : CDialog(130, parent) {}
//    protected:
//     BOOL OnInitDialog() override {
//       CDialog::OnInitDialog();
//       SetWindowPos(nullptr, 0, 0, 360, 150, SWP_NOMOVE | SWP_NOZORDER);
//       return TRUE; }
//     void OnPaint() override { CPaintDC dc(this); ... }
//   };
//   CCloseDlg dlg(this); dlg.DoModal();
//
// The window exists during DoModal only. Keys: Enter sends the BS_DEFPUSHBUTTON button's id, or
// IDOK when the template has none, as WM_COMMAND; Escape sends IDCANCEL; the close box sends
// WM_CLOSE (default: OnCancel). OnOK and OnCancel end the dialog with IDOK / IDCANCEL.
// Sizes given to SetWindowPos/MoveWindow are of the window rectangle, caption included, as on the
// original platform; the client area is that minus the window manager's frame.
#pragma once

#include "platform/gui/wnd.h"

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  ~CDialog() override;

  // Runs the dialog until EndDialog; returns its result, -1 when the template is not registered.
  virtual INT_PTR DoModal();
  // Ends the modal run with nResult (the window is destroyed when DoModal returns).
  void EndDialog(int nResult);
  UINT GetTemplateId() const { return m_nIDTemplate; }

 protected:
  // WM_INITDIALOG, after the controls exist and before the dialog is shown. Default:
  // UpdateData(FALSE), TRUE.
  virtual BOOL OnInitDialog();
  virtual void OnOK();      // default: UpdateData(TRUE), EndDialog(IDOK)
  virtual void OnCancel();  // default: EndDialog(IDCANCEL)
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;  // IDOK -> OnOK, IDCANCEL -> OnCancel
  void OnClose() override;  // OnCancel
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;
};
