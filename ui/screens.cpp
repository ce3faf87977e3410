#include "ui/screens.h"

#include <cmath>
#include <cstdio>
#include <string_view>

#include "ui/catalogue.h"
#include "ui/dib.h"
#include "ui/language.h"
#include "ui/paint.h"
#include "ui/wizard_states.h"

namespace ui {
namespace {

constexpr CPoint kHeadingPosition{110, 25};
constexpr CPoint kPhonePosition{0, 209};
constexpr int kCentreX = 220;
constexpr int kButtonTop = 294;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 42;
constexpr int kButtonLabelY = 307;
constexpr DWORD kTransferStart = 64000;  // bytes of the first transfer phase

enum class Show { Hide, Show, Keep };

std::string FormatNumber(const char* format, int value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

void DrawPicture(CDC* pDC, const CDib* dib, CPoint origin) {
  if (dib == nullptr) return;
  dib->RealizePaletteIn(pDC, FALSE);
  dib->Draw(pDC, origin, dib->GetSize());
}

void Centred(CDC* pDC, int y, std::string_view text) { DrawFittedText(pDC, kCentreX, y, text, kScreenTextWidth); }

// The error lines take the place of a block's own texts while the first is not empty.
bool DrawErrorLines(CDC* pDC) {
  const std::string line1 = g_strErrorLine1.Get();
  if (line1.empty()) return false;
  Centred(pDC, 350, line1);
  Centred(pDC, 370, g_strErrorLine2.Get());
  return true;
}

void ThreeLineBlock(CDC* pDC, std::string_view a, std::string_view b, std::string_view c) {
  if (DrawErrorLines(pDC)) return;
  Centred(pDC, 340, a);
  Centred(pDC, 360, b);
  Centred(pDC, 380, c);
}

void TwoLineBlock(CDC* pDC, std::string_view a, std::string_view b) {
  if (DrawErrorLines(pDC)) return;
  Centred(pDC, 340, a);
  Centred(pDC, 360, b);
}

void SetVisible(CWnd* control, Show show) {
  if (control == nullptr || control->GetSafeHwnd() == nullptr || show == Show::Keep) return;
  control->ShowWindow(show == Show::Show ? SW_SHOW : SW_HIDE);
}

void SetBar(CProgressCtrl* bar, float progress) {
  if (bar != nullptr && bar->GetSafeHwnd() != nullptr) bar->SetPos(static_cast<int>(progress));
}

void DrawPercent(CDC* pDC, float progress) {
  pDC->TextOut(kPercentPosition.x, kPercentPosition.y, PercentText(progress));
}

void WhiteButtonLabels(CDC* pDC) { pDC->SetTextColor(kWhite); }

struct ScreenLayout {
  Show bar;
  Show list;
};

ScreenLayout DrawStateScreen(CDC* pDC, WizardScreenValues& v, const WizardScreenParts& parts) {
  switch (v.state) {
    case STATE_INIT:
    case STATE_MANUAL_CHECK:
      ThreeLineBlock(pDC, g_strInitLine1, g_strInitLine2, g_strInitLine3);
      return {Show::Hide, Show::Hide};
    case STATE_LANGUAGE:
      if (!DrawErrorLines(pDC)) Centred(pDC, 350, g_strSelectLanguage);
      WhiteButtonLabels(pDC);
      DrawButton(pDC, kSingleButtonLeft, g_strStart, v.startDown);
      return {Show::Hide, Show::Show};
    case STATE_CONNECT:
      ThreeLineBlock(pDC, g_strConnectLine1, g_strConnectLine2, g_strConnectLine3);
      WhiteButtonLabels(pDC);
      DrawButton(pDC, kSingleButtonLeft, g_strContinue, v.continueDown);
      return {Show::Hide, Show::Hide};
    case STATE_SEARCH:
      Centred(pDC, 340, g_strSearching);
      Centred(pDC, 360, PortsLine(v.portCount));
      Centred(pDC, 380, PortLine(v.portIndex));
      DrawPercent(pDC, v.progress);
      SetBar(parts.progress, v.progress);
      return {Show::Show, Show::Hide};
    case STATE_FOUND:
      ThreeLineBlock(pDC, FoundLine(v.portIndex), g_strFoundLine2, g_strFoundLine3);
      return {Show::Hide, Show::Hide};
    case STATE_ERASE:
      ThreeLineBlock(pDC, g_strEraseLine1, g_strEraseLine2, g_strEraseLine3);
      v.progress = ErasePercentage(v.progressPhase, v.eraseDone, v.eraseTotal);
      DrawPercent(pDC, v.progress);
      return {Show::Show, Show::Hide};
    case STATE_TRANSFER:
      ThreeLineBlock(pDC, g_strTransferLine1, g_strTransferLine2, g_strTransferLine3);
      v.progress = TransferPercentage(v.progressPhase, v.transferDone, v.transferTotal);
      DrawPercent(pDC, v.progress);
      return {Show::Show, Show::Hide};
    case STATE_TEST:
      ThreeLineBlock(pDC, g_strTestLine1, g_strTestLine2, g_strTestLine3);
      v.progress = 98;
      DrawPercent(pDC, v.progress);
      SetBar(parts.progress, v.progress);
      return {Show::Keep, Show::Hide};
    case STATE_RESULT:
      ThreeLineBlock(pDC, g_strSuccessLine1, g_strSuccessLine2, g_strSuccessLine3);
      WhiteButtonLabels(pDC);
      DrawButton(pDC, kSingleButtonLeft, g_strContinue, v.continueDown);
      return {Show::Hide, Show::Hide};
    case STATE_NOT_FOUND:
    case STATE_CHOOSE_PORT:
      if (v.state == STATE_NOT_FOUND) TwoLineBlock(pDC, g_strNotFound1, g_strNotFound2);
      else TwoLineBlock(pDC, g_strChoosePort1, g_strChoosePort2);
      WhiteButtonLabels(pDC);
      DrawButton(pDC, kLeftButtonLeft, g_strContinue, v.continueDown);
      DrawButton(pDC, kRightButtonLeft, g_strExit, v.exitDown);
      return {Show::Hide, v.state == STATE_CHOOSE_PORT ? Show::Show : Show::Hide};
    case STATE_PRESS_ON_OFF:
      TwoLineBlock(pDC, g_strPressOnOff1, g_strPressOnOff2);
      return {Show::Hide, Show::Hide};
    default:
      return {Show::Keep, Show::Keep};
  }
}

}  // namespace

bool IsRightToLeft() { return g_nCharSet == HEBREW_CHARSET || g_nCharSet == ARABIC_CHARSET; }

float ErasePercentage(int phase, WORD done, WORD total) {
  if (phase == 2) return total == 0 ? 2.0f : static_cast<float>(done) * 17 / total + 2;
  if (phase == 3) return total == 0 ? 19.0f : static_cast<float>(done) * 1 / total + 19;
  return 20;
}

float TransferPercentage(int phase, DWORD done, DWORD total) {
  if (phase == 1) return static_cast<float>(done) * 2 / kTransferStart;
  if (done < kTransferStart || total == 0) return 20;
  return static_cast<float>(done - kTransferStart) * 78 / total + 20;
}

std::string PercentText(float progress) {
  // A float outside int's range has no integer part to show; clamp to the bar's range first.
  const float shown = std::isfinite(progress) ? std::fmin(std::fmax(progress, 0.0f), 100.0f) : 0.0f;
  return FormatNumber("%d%%", static_cast<int>(shown));
}

std::string PortsLine(int portCount) {
  const std::string number = FormatNumber(" %d ", portCount);
  return IsRightToLeft() ? g_strPortsFound + number : number + g_strPortsFound;
}

std::string PortLine(int portIndex) {
  const std::string number = FormatNumber(" %d ", portIndex + 1);
  return IsRightToLeft() ? " " + number + g_strCheckingPort : " " + g_strCheckingPort + number;
}

std::string FoundLine(int portIndex) {
  const std::string port = FormatNumber(" COM%d ", portIndex + 1);
  return IsRightToLeft() ? port + g_strFoundAt : g_strFoundAt + port;
}

bool InButtonPressRegion(int left, CPoint p) {
  return p.x >= left && p.x <= left + kButtonWidth && p.y >= kButtonTop && p.y <= kButtonTop + kButtonHeight;
}

bool InButtonCursorRegion(int left, CPoint p) {
  return p.x >= left + 3 && p.x <= left + 77 && p.y >= 297 && p.y <= 333;
}

void DrawButton(CDC* pDC, int left, std::string_view label, bool pressed) {
  DrawButtonFrame(pDC, CRect(left, kButtonTop, left + kButtonWidth, kButtonTop + kButtonHeight), pressed);
  CBrush face(kButtonFace);
  const CRect faceRect(left + 2, kButtonTop + 2, left + 78, kButtonTop + 40);
  pDC->FillRect(&faceRect, &face);
  DrawFittedText(pDC, left + kButtonWidth / 2, kButtonLabelY, label, faceRect.Width() - 2);
}

void DrawWizardScreen(CDC* pDC, WizardScreenValues& values, const WizardScreenParts& parts) {
  {
    CWaitCursor wait;
    DrawPicture(pDC, parts.background, CPoint(0, 0));
    DrawPicture(pDC, parts.phone, kPhonePosition);
  }
  CBrush brush(kButtonFace);
  CBrush* previousBrush = pDC->SelectObject(&brush);

  CFont bold;
  CreateWizardFont(bold, 16, FW_BOLD);
  CFont* previousFont = pDC->SelectObject(&bold);
  pDC->SetTextAlign(TA_CENTER | TA_TOP);
  pDC->SetBkMode(TRANSPARENT);
  pDC->TextOut(kHeadingPosition.x, kHeadingPosition.y, g_strTitle);

  CFont normal;
  CreateWizardFont(normal, 16, FW_NORMAL);
  pDC->SelectObject(&normal);
  pDC->SetTextAlign(TA_CENTER | TA_TOP);
  pDC->SetBkMode(TRANSPARENT);

  const ScreenLayout layout = DrawStateScreen(pDC, values, parts);
  SetVisible(parts.progress, layout.bar);
  SetVisible(parts.list, layout.list);

  pDC->SelectObject(previousFont);
  pDC->SelectObject(previousBrush);
}

void ShowSoftwareInfo(CStatusBar& statusBar, const std::string& productType, const std::string& svn,
                      const std::string& compileDate, const std::string& compileTime) {
  const std::string panes[] = {" Software for: " + productType + " ", " " + svn + " ",
                               " Date / Time:  " + compileDate + " / " + compileTime};
  const UINT ids[] = {61204, 61205, 61206};
  for (int i = 0; i < 3; ++i) {
    const int index = statusBar.CommandToIndex(ids[i]);
    if (index >= 0) statusBar.SetPaneText(index, panes[i], TRUE);
  }
}

}  // namespace ui
