#include "app/q17_view.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/diag_log.h"
#include "app/init_thread.h"
#include "app/wizard_globals.h"
#include "app/worker_hooks.h"
#include "package/own_path.h"
#include "package/package_reader.h"
#include "platform/gui/resources.h"
#include "platform/os/thread.h"
#include "ui/catalogue.h"
#include "ui/language.h"
#include "ui/license_dlg.h"
#include "ui/log.h"
#include "ui/resource_ids.h"
#include "ui/screens.h"
#include "xbi/software_file.h"

namespace {

constexpr UINT kListId = 1001;
constexpr UINT kSystemProgressId = 1005;
constexpr COLORREF kBarColour = RGB(160, 211, 26);
constexpr CRect kLanguageListRect{145, 370, 295, 450};
constexpr CRect kPortListPlace{145, 390, 295, 470};
constexpr int kPortTextLength = 7;

void PackageLogSink(const char* text) {
  if (g_bLogEnabled) AppendLogText(text);
}

void InstallLogSinks() {
  ui::SetLogSink({[](std::string_view entry) { WriteLogEntry(entry); }, [] { return g_bLogEnabled != 0; }});
  SetPackageLogSink(PackageLogSink);
}

void StartWorker(unsigned (*proc)(void*), HWND view) {
  os::StartDetachedThread([proc, view] { proc(view); });
}

bool InRegion(int left, CPoint point) { return ui::InButtonPressRegion(left, point); }

}  // namespace

int SearchPercentage(float progress) {
  const int whole = static_cast<int>(progress);
  const int decimals = static_cast<int>((progress - static_cast<float>(whole)) * 100);
  return decimals >= 99 ? whole + 1 : whole;
}

int PortIndexOfName(const char* name) {
  for (int port = 0; port < kComPortCount; ++port) {
    if (std::string(name) == "COM" + std::to_string(port + 1)) return port;
  }
  return -1;
}

CQ17View::CQ17View() : CFormView(ui::IDD_WIZARD_FORM) {
  g_nWizardState = STATE_INIT;
  g_bSwInfoValid = false;
  g_bBlinkOn = false;
  g_bManualMode = false;
  g_strErrorLine1.Clear();
  g_strErrorLine2.Clear();
}

CQ17View::~CQ17View() = default;

void CQ17View::DoDataExchange(CDataExchange* pDX) {
  CFormView::DoDataExchange(pDX);
  DDX_Control(pDX, ui::IDC_PROGRESS, m_progress);
  DDX_Control(pDX, ui::IDC_DEFAULT_BUTTON, m_defaultButton);
}

// ---- start-up ---------------------------------------------------------------------------------

void CQ17View::OnShowWindow(BOOL bShow, UINT nStatus) {
  CFormView::OnShowWindow(bShow, nStatus);
  if (m_bStarted) return;
  m_bStarted = true;
  StartUp();
}

void CQ17View::StartUp() {
  InstallLogSinks();
  g_bLogEnabled = OpenLogFile() ? 1 : 0;
  WriteLogEntry(FillOwnPath());
  {
    CClientDC dc(this);
    DetectLanguage(&dc);
  }
  g_fProgress = 0;
  SetTimer(kWizardTimer, kInitTimerPeriod);
  StartWorker(InitThreadProc, GetSafeHwnd());
}

void CQ17View::OnInitialUpdate() {
  CFormView::OnInitialUpdate();
  if (CFrameWnd* frame = GetParentFrame()) {
    frame->RecalcLayout();
    ResizeParentToFit();
    m_pStatusBar = frame->GetMessageBar();
  }
  CreateControls();
}

void CQ17View::CreateControls() {
  const gui::ResourceData background = gui::FindResource(gui::RT_BITMAP, ui::IDB_BACKGROUND);
  if (!background.empty()) m_dibBackground.AttachMemory(background.data, FALSE, nullptr, background.size);

  m_bCommonProgress =
      m_systemProgress.Create(WS_CHILD | WS_VISIBLE | PBS_SMOOTH, CRect(15, 300, 315, 320), this, kSystemProgressId);
  if (m_bCommonProgress) {
    m_systemProgress.SetWindowPos(&CWnd::wndBottom, 15, 400, 300, 20, 0);
    m_systemProgress.ShowWindow(SW_HIDE);
    m_systemProgress.SetBarColor(kBarColour);
    m_systemProgress.SetBkColor(RGB(255, 255, 255));
    m_pProgress = &m_systemProgress;
  }
  m_progress.SetWindowPos(nullptr, 15, 400, 300, 20, 0);
  m_progress.ShowWindow(SW_HIDE);

  m_list.Create(WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_SORT | CBS_DROPDOWNLIST, kLanguageListRect, this, kListId);
  FillLanguageList(m_list);
  m_defaultButton.ShowWindow(SW_HIDE);
}

// ---- worker results ---------------------------------------------------------------------------

LRESULT CQ17View::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_WORKER_RESULT) {
    OnWorkerResult(wParam, lParam);
    return 0;
  }
  return CFormView::WindowProc(message, wParam, lParam);
}

void CQ17View::OnWorkerResult(WPARAM phase, LPARAM result) {
  m_pProgress->SetRange(0, 100);
  KillTimer(kWizardTimer);
  switch (phase) {
    case 0:
      if (result >= 0 && result <= 6) g_nWizardState = STATE_RESULT;
      break;
    case 1:
      LoadPhonePicture();
      ShowSoftwareInfo();
      if (result != 0) g_nWizardState = STATE_RESULT;
      break;
    case 2:
      m_pProgress->SetPos(0);
      break;
    case 3:
      g_nWizardState = result == 1 ? STATE_NOT_FOUND : STATE_RESULT;
      break;
    case 4:
    case 5:
    case 6:
    case 7:
    case 8:
      if (result != 0) g_nWizardState = STATE_RESULT;
      break;
    default:
      g_strErrorLine1 = "Default Error";
      g_strErrorLine2.Clear();
      g_nWizardState = STATE_RESULT;
      break;
  }
  Invalidate(TRUE);
}

void CQ17View::ShowSoftwareInfo() {
  if (!g_bSwInfoValid || m_pStatusBar == nullptr) return;
  ui::ShowSoftwareInfo(*m_pStatusBar, g_SwInfoPackage.productType, g_SwInfoPackage.svn, g_SwInfoPackage.compileDate,
                       g_SwInfoPackage.compileTime);
}

void CQ17View::LoadPhonePicture() {
  const bool vq2x = std::strstr(g_SwInfoPackage.productType, "VQ2X") != nullptr;
  const gui::ResourceData picture =
      gui::FindResource(gui::RT_BITMAP, vq2x ? ui::IDB_PHONE_VQ2X : ui::IDB_PHONE_VQ20);
  if (!picture.empty()) m_dibPhone.AttachMemory(picture.data, FALSE, nullptr, picture.size);
}

// ---- mouse and keys ---------------------------------------------------------------------------

void CQ17View::OnLButtonDown(UINT nFlags, CPoint point) {
  const int state = g_nWizardState;
  bool pressed = false;
  if (state == STATE_LANGUAGE && InRegion(ui::kSingleButtonLeft, point)) {
    m_bStartDown = pressed = true;
  } else if ((state == STATE_CONNECT || state == STATE_RESULT) && InRegion(ui::kSingleButtonLeft, point)) {
    m_bContinueDown = pressed = true;
  } else if (state == STATE_NOT_FOUND || state == STATE_CHOOSE_PORT) {
    if (InRegion(ui::kLeftButtonLeft, point)) m_bContinueDown = pressed = true;
    else if (InRegion(ui::kRightButtonLeft, point)) m_bExitDown = pressed = true;
  }
  if (pressed) InvalidateRect(&ui::kButtonRepaintRect, TRUE);
  CFormView::OnLButtonDown(nFlags, point);
}

void CQ17View::OnLButtonUp(UINT nFlags, CPoint point) {
  const bool single = InRegion(ui::kSingleButtonLeft, point);
  const bool left = InRegion(ui::kLeftButtonLeft, point);
  const bool right = InRegion(ui::kRightButtonLeft, point);
  // Each test reads the state anew: an action may have moved it on.
  if (g_nWizardState == STATE_LANGUAGE && single && m_bStartDown) {
    if (SelectLanguageFromList(m_list, this) == 0) WriteLogEntry("Error on Combo Box select");
    RunAgreement();
  }
  if (g_nWizardState == STATE_CONNECT && single && m_bContinueDown) StartSearch();
  if (g_nWizardState == STATE_RESULT && single && m_bContinueDown) CloseProgram(false);
  if (g_nWizardState == STATE_CHOOSE_PORT) {
    if (left && m_bContinueDown) ChoosePort();
    else if (right && m_bExitDown) CloseProgram(true);
  }
  if (g_nWizardState == STATE_NOT_FOUND) {
    if (left && m_bContinueDown) OfferPortChoice();
    else if (right && m_bExitDown) CloseProgram(true);
  }
  if (m_bStartDown || m_bContinueDown || m_bExitDown) {
    m_bStartDown = m_bContinueDown = m_bExitDown = false;
    InvalidateRect(&ui::kButtonRepaintRect, TRUE);
  }
  CFormView::OnLButtonUp(nFlags, point);
}

void CQ17View::OnMouseMove(UINT nFlags, CPoint point) {
  const int state = g_nWizardState;
  bool hand = false;
  if (state == STATE_LANGUAGE || state == STATE_CONNECT || state == STATE_RESULT) {
    hand = ui::InButtonCursorRegion(ui::kSingleButtonLeft, point);
  } else if (state == STATE_NOT_FOUND || state == STATE_CHOOSE_PORT) {
    hand = ui::InButtonCursorRegion(ui::kLeftButtonLeft, point) || ui::InButtonCursorRegion(ui::kRightButtonLeft, point);
  }
  if (hand) ::SetCursor(AfxGetApp()->LoadCursor(ui::IDC_HAND));
  CFormView::OnMouseMove(nFlags, point);
}

BOOL CQ17View::OnCommand(WPARAM wParam, LPARAM lParam) {
  const WORD id = LOWORD(wParam);
  const WORD code = HIWORD(wParam);
  if (id == ui::IDC_DEFAULT_BUTTON && code == BN_CLICKED) {
    OnEnter();
    return TRUE;
  }
  if (id == kListId && code == CBN_SELCHANGE) {
    if (g_nWizardState == STATE_LANGUAGE && SelectLanguageFromList(m_list, this) == 0) {
      WriteLogEntry("Error on Combo Box select! (Language)");
      Invalidate(TRUE);
    }
    return TRUE;
  }
  return CFormView::OnCommand(wParam, lParam);
}

void CQ17View::OnEnter() {
  if (g_nWizardState == STATE_LANGUAGE) RunAgreement();
  if (g_nWizardState == STATE_CONNECT) StartSearch();
  const int state = g_nWizardState;
  if (state == STATE_RESULT || state == STATE_NOT_FOUND || state == STATE_CHOOSE_PORT) CloseProgram(false);
}

// ---- actions ----------------------------------------------------------------------------------

bool CQ17View::RunAgreement() {
  CLicenseDlg dialog(this);
  dialog.DoModal();
  if (g_nAgreementResult != 1) return false;
  g_nWizardState = STATE_CONNECT;
  WriteLogEntry("\r\nAgree with license agreements!\r\n");
  Invalidate(TRUE);
  return true;
}

void CQ17View::StartSearch() {
  if (g_nWizardState == STATE_CONNECT) {
    if (!g_strErrorLine1.IsEmpty()) {
      g_strErrorLine1.Clear();
      g_strErrorLine2.Clear();
    }
    g_nWizardState = STATE_SEARCH;
    Invalidate(TRUE);
  }
  g_fProgress = 0;
  SetTimer(kWizardTimer, kSearchTimerPeriod);
  if (auto search = GetWorkerHooks().searchThreadProc) StartWorker(search, GetSafeHwnd());
}

void CQ17View::ChoosePort() {
  const int selection = m_list.GetCurSel();
  if (selection == CB_ERR) {
    WriteLogEntry("Error on Combo Box select! (COM-1)");
    return;
  }
  char text[kPortTextLength + 1] = {};
  m_list.GetLBText(selection, text, sizeof text);
  g_nWizardState = STATE_MANUAL_CHECK;
  Invalidate(TRUE);
  WriteLogEntry(std::string("Manuel Update Start Select = ") + text + "!");
  const int port = PortIndexOfName(text);
  g_nPortIndex = port >= 0 ? port : 0;
  if (port < 0) WriteLogEntry("Default select COM1!");
  g_bManualMode = true;
  StartSearch();
}

void CQ17View::OfferPortChoice() {
  m_list.SetWindowPos(&CWnd::wndBottom, kPortListPlace.left, kPortListPlace.top, kPortListPlace.Width(),
                      kPortListPlace.Height(), 0);
  m_list.ShowWindow(SW_SHOW);
  g_nWizardState = STATE_CHOOSE_PORT;
  FillPortList(m_list, AvailablePorts());
  Invalidate(TRUE);
}

void CQ17View::CloseProgram(bool releaseSoftware) {
  if (releaseSoftware) xbi::ReleaseSoftwareFile();
  if (CWnd* frame = GetParentFrame()) frame->PostMessage(WM_CLOSE);
}

// ---- timer and drawing ------------------------------------------------------------------------

void CQ17View::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent == kWizardTimer) {
    CClientDC dc(this);
    CFont font;
    ui::CreateWizardFont(font, 16, FW_NORMAL);
    CFont* previous = dc.SelectObject(&font);
    dc.SetTextAlign(TA_CENTER | TA_TOP);
    m_pProgress->SetRange(0, 100);
    if (g_bRedraw) Invalidate(TRUE);
    DrawTimerElements(dc, g_nWizardState);
    dc.SelectObject(previous);
  }
  CFormView::OnTimer(nIDEvent);
}

void CQ17View::DrawTimerElements(CDC& dc, int state) {
  auto drawPercent = [&](float progress) {
    dc.TextOut(ui::kPercentPosition.x, ui::kPercentPosition.y, ui::PercentText(progress));
    m_pProgress->SetPos(static_cast<int>(progress));
  };
  switch (state) {
    case STATE_SEARCH: {
      const float progress = g_fProgress;
      dc.TextOut(ui::kPercentPosition.x, ui::kPercentPosition.y,
                 ui::PercentText(static_cast<float>(SearchPercentage(progress))));
      g_strTemp = ui::PortLine(g_nPortIndex);
      dc.TextOut(ui::kPortLinePosition.x, ui::kPortLinePosition.y, g_strTemp);
      m_pProgress->SetPos(static_cast<int>(progress));
      break;
    }
    case STATE_FOUND:
      g_fProgress = 0;
      m_pProgress->SetPos(0);
      Blink(dc);
      break;
    case STATE_ERASE:
      g_fProgress = ui::ErasePercentage(g_nProgressPhase, g_wEraseDone, g_wEraseTotal);
      drawPercent(g_fProgress);
      break;
    case STATE_TRANSFER:
      g_fProgress = ui::TransferPercentage(g_nProgressPhase, g_dwTransferDone, g_dwTransferTotal);
      drawPercent(g_fProgress);
      break;
    case STATE_TEST:
      drawPercent(g_fProgress);
      break;
    case STATE_RESULT:
      g_fProgress = 100;
      drawPercent(100);
      break;
    case STATE_MANUAL_CHECK:
      Blink(dc);
      break;
    default:
      break;
  }
}

void CQ17View::Blink(CDC& dc) {
  if (g_bBlinkOn) {
    g_bBlinkOn = false;
    InvalidateRect(&ui::kBlinkRect, TRUE);
  } else {
    g_bBlinkOn = true;
    dc.TextOut(ui::kBlinkPosition.x, ui::kBlinkPosition.y, g_strPleaseWait);
  }
}

void CQ17View::OnDraw(CDC* pDC) {
  ui::WizardScreenValues values;
  values.state = g_nWizardState;
  values.progress = g_fProgress;
  values.portCount = g_nPortCount;
  values.portIndex = g_nPortIndex;
  values.progressPhase = g_nProgressPhase;
  values.eraseDone = g_wEraseDone;
  values.eraseTotal = g_wEraseTotal;
  values.transferDone = g_dwTransferDone;
  values.transferTotal = g_dwTransferTotal;
  values.startDown = m_bStartDown;
  values.continueDown = m_bContinueDown;
  values.exitDown = m_bExitDown;
  ui::WizardScreenParts parts;
  parts.background = &m_dibBackground;
  parts.phone = &m_dibPhone;
  parts.progress = m_pProgress;
  parts.list = &m_list;
  ui::DrawWizardScreen(pDC, values, parts);
  if (values.state >= STATE_ERASE && values.state <= STATE_TEST) g_fProgress = values.progress;
  g_bRedraw = 0;
}
