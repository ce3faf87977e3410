#include "ui/license_dlg.h"

#include <array>
#include <string_view>

#include "platform/gui/controls.h"
#include "ui/catalogue.h"
#include "ui/language.h"
#include "ui/paint.h"
#include "ui/resource_ids.h"
#include "ui/screens.h"

int g_bIgnoreFirstAgree = 0;
int g_nAgreementResult = 0;

namespace {

constexpr int kWidth = 438;
constexpr int kHeight = 400;
constexpr int kRadioSize = 15;
constexpr int kRadioY = 313;
constexpr int kLabelY = 312;
constexpr int kBodyTop = 37;
constexpr int kBodyLineHeight = 18;
constexpr int kBodyRoom = 406;  // inside the text area, x 12 to 418
constexpr CRect kTextArea{11, 37, 419, 300};
constexpr CRect kContinueFrame{173, 340, 248, 363};
constexpr CRect kRepaintBand{170, 330, 250, 365};
constexpr CPoint kContinueLabel{210, 343};

// Inclusive bounds, as the regions are given.
struct Region {
  int left, top, right, bottom;
  bool Contains(CPoint p) const { return p.x >= left && p.x <= right && p.y >= top && p.y <= bottom; }
};

struct Layout {
  int agreeRadioX;
  int agreeLabelX;
  Region agreeRegion;
  int disagreeLabelX;
  Region disagreeRegion;
  UINT labelAlign;
  int bodyX;
  UINT bodyAlign;
};

constexpr Layout kLeftToRight{10, 30, {5, 311, 105, 331}, 230, {205, 311, 305, 331}, TA_LEFT, 12, TA_LEFT};
constexpr Layout kRightToLeft{405, 400, {325, 311, 425, 331}, 205, {130, 311, 230, 331}, TA_RIGHT, 418, TA_RIGHT};
constexpr int kDisagreeRadioX = 210;
constexpr Region kContinueRegion{173, 340, 248, 363};

const Layout& CurrentLayout() { return ui::IsRightToLeft() ? kRightToLeft : kLeftToRight; }

std::array<std::string_view, kAgreementLines> BodyLines() {
  std::array<std::string_view, kAgreementLines> lines;
  for (std::size_t k = 0; k < kAgreementLines; ++k) lines[k] = *g_apCatalogue[kFirstAgreementLine - 1 + k];
  return lines;
}

void DrawBody(CDC* pDC, const Layout& layout) {
  const auto lines = BodyLines();
  CFont probe;
  ui::CreateWizardFont(probe, 14, FW_NORMAL);
  // One height for the whole body, so that its longest line keeps inside the text area.
  const int height = ui::FittingFontHeight(pDC, probe.GetSpec(), lines.data(), static_cast<int>(lines.size()), kBodyRoom);
  CFont font;
  ui::CreateWizardFont(font, height, FW_NORMAL);
  CFont* previous = pDC->SelectObject(&font);
  pDC->SetTextColor(ui::kBlack);
  pDC->SetTextAlign(layout.bodyAlign | TA_TOP);
  for (std::size_t k = 0; k < lines.size(); ++k) {
    pDC->TextOut(layout.bodyX, kBodyTop + kBodyLineHeight * static_cast<int>(k), lines[k]);
  }
  pDC->SelectObject(previous);
}

}  // namespace

CLicenseDlg::CLicenseDlg(CWnd* pParentWnd) : CDialog(ui::IDD_LICENSE, pParentWnd) { g_bIgnoreFirstAgree = 1; }

BOOL CLicenseDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetWindowPos(nullptr, 0, 0, kWidth, kHeight, SWP_NOMOVE | SWP_NOZORDER);
  return TRUE;
}

void CLicenseDlg::OnShowWindow(BOOL bShow, UINT nStatus) {
  CDialog::OnShowWindow(bShow, nStatus);
  if (!bShow) return;
  const Layout& layout = CurrentLayout();
  if (CWnd* agree = GetDlgItem(ui::IDC_AGREE)) {
    agree->SetWindowPos(nullptr, layout.agreeRadioX, kRadioY, kRadioSize, kRadioSize, SWP_NOZORDER | SWP_SHOWWINDOW);
  }
  if (CWnd* disagree = GetDlgItem(ui::IDC_DISAGREE)) {
    disagree->SetWindowPos(nullptr, kDisagreeRadioX, kRadioY, kRadioSize, kRadioSize, SWP_NOZORDER | SWP_SHOWWINDOW);
  }
  CheckDlgButton(ui::IDC_AGREE, BST_UNCHECKED);
  CheckDlgButton(ui::IDC_DISAGREE, BST_UNCHECKED);
  // This platform sends no Agree notification of its own when the dialog takes the focus, so
  // from here on every Agree comes from the user and counts as a choice.
  g_bIgnoreFirstAgree = 0;
}

void CLicenseDlg::OnAgree() {
  CheckDlgButton(ui::IDC_AGREE, BST_CHECKED);
  CheckDlgButton(ui::IDC_DISAGREE, BST_UNCHECKED);
  if (g_bIgnoreFirstAgree) {
    g_bIgnoreFirstAgree = 0;
  } else {
    m_bChoiceMade = true;
  }
  RepaintContinue();
}

void CLicenseDlg::OnDisagree() {
  CheckDlgButton(ui::IDC_AGREE, BST_UNCHECKED);
  CheckDlgButton(ui::IDC_DISAGREE, BST_CHECKED);
  m_bChoiceMade = true;
  RepaintContinue();
}

void CLicenseDlg::RepaintContinue() {
  if (GetSafeHwnd() != nullptr) InvalidateRect(&kRepaintBand);
}

BOOL CLicenseDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == ui::IDC_AGREE) {
    OnAgree();
    return TRUE;
  }
  if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == ui::IDC_DISAGREE) {
    OnDisagree();
    return TRUE;
  }
  return CDialog::OnCommand(wParam, lParam);
}

void CLicenseDlg::OnLButtonDown(UINT nFlags, CPoint point) {
  const Layout& layout = CurrentLayout();
  if (layout.agreeRegion.Contains(point)) {
    m_bAgreePressed = true;
    OnAgree();
  } else if (layout.disagreeRegion.Contains(point)) {
    m_bDisagreePressed = true;
    OnDisagree();
  } else if (kContinueRegion.Contains(point) && m_bChoiceMade) {
    m_bContinuePressed = true;
    RepaintContinue();
  }
  CDialog::OnLButtonDown(nFlags, point);
}

void CLicenseDlg::OnLButtonUp(UINT nFlags, CPoint point) {
  const Layout& layout = CurrentLayout();
  bool end = false;
  if (layout.agreeRegion.Contains(point) && m_bAgreePressed) {
    OnAgree();
  } else if (layout.disagreeRegion.Contains(point) && m_bDisagreePressed) {
    OnDisagree();
  } else if (kContinueRegion.Contains(point) && m_bChoiceMade && m_bContinuePressed) {
    g_nAgreementResult = IsDlgButtonChecked(ui::IDC_AGREE) == BST_CHECKED ? 1 : 0;
    end = true;
  }
  m_bContinuePressed = false;
  m_bAgreePressed = false;
  m_bDisagreePressed = false;
  RepaintContinue();
  CDialog::OnLButtonUp(nFlags, point);
  if (end) EndDialog(IDOK);
}

void CLicenseDlg::Paint(CDC* pDC, bool choiceMade, bool continuePressed) {
  const Layout& layout = CurrentLayout();
  CFont font;
  ui::CreateWizardFont(font, 16, FW_NORMAL);
  CFont* previous = pDC->SelectObject(&font);
  pDC->SetBkMode(TRANSPARENT);
  pDC->SetTextAlign(TA_CENTER | TA_TOP);
  ui::DrawFittedText(pDC, 215, 10, g_strLicenseCaption, kWidth - 20);
  pDC->FillSolidRect(&kTextArea, ui::kWhite);

  pDC->SetTextAlign(layout.labelAlign | TA_TOP);
  pDC->TextOut(layout.agreeLabelX, kLabelY, g_strAgree);
  pDC->TextOut(layout.disagreeLabelX, kLabelY, g_strDisagree);

  pDC->SetTextAlign(TA_CENTER | TA_TOP);
  pDC->SetTextColor(choiceMade ? ui::kBlack : ui::kLightGrey);
  ui::DrawFittedText(pDC, kContinueLabel.x, kContinueLabel.y, g_strContinue, kContinueFrame.Width() - 4);
  ui::DrawButtonFrame(pDC, kContinueFrame, continuePressed);

  DrawBody(pDC, layout);
  pDC->Draw3dRect(9, 35, 412, 267, ui::kGrey, ui::kWhite);
  pDC->Draw3dRect(10, 36, 410, 265, ui::kBlack, ui::kLightGrey);
  pDC->SelectObject(previous);
}

void CLicenseDlg::OnPaint() {
  CPaintDC dc(this);
  Paint(&dc, m_bChoiceMade, m_bContinuePressed);
}
