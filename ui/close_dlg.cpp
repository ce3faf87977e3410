#include "ui/close_dlg.h"

#include "ui/catalogue.h"
#include "ui/language.h"
#include "ui/paint.h"
#include "ui/resource_ids.h"

namespace {

constexpr int kWidth = 360;
constexpr int kHeight = 150;
constexpr int kCentreX = 180;
constexpr CRect kButton{143, 90, 218, 113};
constexpr CRect kRepaint{140, 85, 220, 115};
constexpr int kLineWidth = 350;

bool InButton(CPoint p) { return p.x >= kButton.left && p.x <= kButton.right && p.y >= kButton.top && p.y <= kButton.bottom; }

}  // namespace

CCloseDlg::CCloseDlg(CWnd* pParentWnd) : CDialog(ui::IDD_CLOSE, pParentWnd) {}

BOOL CCloseDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetWindowPos(nullptr, 0, 0, kWidth, kHeight, SWP_NOMOVE | SWP_NOZORDER);
  return TRUE;
}

void CCloseDlg::Paint(CDC* pDC, bool pressed) {
  CFont font;
  ui::CreateWizardFont(font, 16, FW_NORMAL);
  CFont* previous = pDC->SelectObject(&font);
  pDC->SetTextAlign(TA_CENTER | TA_TOP);
  pDC->SetBkMode(TRANSPARENT);
  ui::DrawFittedText(pDC, kCentreX, 10, g_strEarlyEnd1, kLineWidth);
  ui::DrawFittedText(pDC, kCentreX, 30, g_strEarlyEnd2, kLineWidth);
  ui::DrawFittedText(pDC, kCentreX, 50, g_strEarlyEnd3, kLineWidth);
  ui::DrawFittedText(pDC, kCentreX, 93, g_strCancel, kButton.Width() - 4);
  ui::DrawButtonFrame(pDC, kButton, pressed);
  pDC->SelectObject(previous);
}

void CCloseDlg::OnPaint() {
  CPaintDC dc(this);
  Paint(&dc, m_bPressed);
}

void CCloseDlg::OnLButtonDown(UINT nFlags, CPoint point) {
  if (InButton(point)) {
    m_bPressed = true;
    InvalidateRect(&kRepaint);
  }
  CDialog::OnLButtonDown(nFlags, point);
}

void CCloseDlg::OnLButtonUp(UINT nFlags, CPoint point) {
  m_bPressed = false;
  if (InButton(point)) EndDialog(IDOK);
  InvalidateRect(&kRepaint);
  CDialog::OnLButtonUp(nFlags, point);
}
