#include "tests/gui/test_windows.h"

#include <cstring>

namespace guitest {

void RegisterTestTemplates() {
  using Kind = gui::DialogControl::Kind;
  gui::DialogTemplate view;
  view.cx = 136;
  view.cy = 106;
  view.controls = {{1000, Kind::Progress, "Progress1", 7, 7, 58, 14, PBS_SMOOTH},
                   {kDefaultButton, Kind::DefPushButton, "Button", 79, 7, 50, 14}};
  gui::RegisterDialogTemplate(kViewTemplate, view);
  gui::DialogTemplate dialog;
  dialog.caption = "Close";
  dialog.cx = 127;
  dialog.cy = 52;
  dialog.controls = {{kRadioA, Kind::AutoRadioButton, "", 7, 30, 12, 8},
                     {kRadioB, Kind::AutoRadioButton, "", 60, 30, 12, 8}};
  gui::RegisterDialogTemplate(kDialogTemplate, dialog);
  gui::RegisterCursor(171, SolidBmpFile(16, 16, RGB(255, 0, 0)), 3, 4);
}

void TestView::OnInitialUpdate() {
  CFormView::OnInitialUpdate();
  GetParentFrame()->RecalcLayout();
  ResizeParentToFit();  // to the template's size; the frame's placement follows
  ++initialUpdates;
  CRect client;
  GetClientRect(&client);
  sizeAfterFit = client.Size();
  handCursor = AfxGetApp()->LoadCursor(171);
}

LRESULT TestView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TEST_POSTED:
    case WM_TIMER:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_COMMAND:
      received.push_back({message, wParam, lParam, std::this_thread::get_id()});
      break;
    case WM_SHOWWINDOW:
      if (initialUpdates == 0) ++showsBeforeInitialUpdate;
      break;
    default: break;
  }
  return CFormView::WindowProc(message, wParam, lParam);
}

void TestView::OnDraw(CDC* pDC) {
  ++paints;
  CRect client;
  GetClientRect(&client);
  if (fillBackground) pDC->FillSolidRect(&client, RGB(255, 255, 255));
  CFont font;
  font.CreateFont(16, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                  DEFAULT_QUALITY, FF_SWISS, "Arial");
  CFont* old = pDC->SelectObject(&font);
  pDC->SetBkMode(TRANSPARENT);
  for (const PaintedText& t : texts) {
    pDC->SetTextAlign(t.align | TA_TOP);
    pDC->SetTextColor(t.color);
    pDC->TextOut(t.x, t.y, t.text);
  }
  pDC->SelectObject(old);
}

void TestView::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, 1000, m_progress);
  DDX_Control(pDX, kDefaultButton, m_default);
}

void TestView::OnMouseMove(UINT nFlags, CPoint point) {
  if (handRegion.PtInRect(point)) ::SetCursor(handCursor);
  CFormView::OnMouseMove(nFlags, point);
}

BOOL TestFrame::PreCreateWindow(CREATESTRUCT& cs) {
  if (!CFrameWnd::PreCreateWindow(cs)) return FALSE;
  cs.style = WS_CAPTION | WS_SYSMENU;
  cs.lpszName = kFrameTitle;
  return TRUE;
}

int TestFrame::OnCreate(LPCREATESTRUCT lpCreateStruct) {
  if (CFrameWnd::OnCreate(lpCreateStruct) == -1) return -1;
  static const UINT indicators[] = {0xEF14, 0xEF15, 0xEF16};
  if (!m_wndStatusBar.Create(this) || !m_wndStatusBar.SetIndicators(indicators, 3)) return -1;
  return 0;
}

void TestFrame::ActivateFrame(int nCmdShow) {
  CRect bar;
  m_wndStatusBar.GetWindowRect(&bar);
  CRect window;
  CRect client;
  GetWindowRect(&window);
  GetClientRect(&client);
  int sb = bar.Height();
  int nc = window.Height() - client.Height();
  int cx = GetSystemMetrics(SM_CXSCREEN) / 2;
  int cy = GetSystemMetrics(SM_CYSCREEN) / 2;
  WINDOWPLACEMENT wp;
  wp.flags = WPF_SETMINPOSITION;
  wp.showCmd = static_cast<UINT>(nCmdShow);
  wp.rcNormalPosition = CRect(cx - 225, cy - 216 - nc, cx + 225, cy + 217 + sb);
  SetWindowPlacement(&wp);
  CFrameWnd::ActivateFrame(nCmdShow);
}

void TestFrame::OnClose() {
  ++closeRequests;
  if (!refuseClose) CFrameWnd::OnClose();
}

BOOL TestFrame::OnQueryEndSession() {
  if (!CFrameWnd::OnQueryEndSession()) return FALSE;
  return refuseEndSession ? FALSE : TRUE;
}

BOOL TestDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  SetWindowPos(nullptr, 0, 0, 360, 150, SWP_NOMOVE | SWP_NOZORDER);
  return TRUE;
}

void TestDialog::OnPaint() {
  CPaintDC dc(this);
  CFont font;
  font.CreateFont(16, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, FF_SWISS, "Arial");
  dc.SelectObject(&font);
  dc.SetTextAlign(TA_CENTER | TA_TOP);
  dc.SetBkMode(TRANSPARENT);
  dc.TextOut(180, 10, "The update is running.");
  dc.TextOut(180, 93, "Cancel");
  dc.Draw3dRect(143, 90, 75, 23, pressed ? RGB(0, 0, 0) : RGB(255, 255, 255), RGB(0, 0, 0));
}

void TestDialog::OnLButtonDown(UINT nFlags, CPoint point) {
  if (CRect(143, 90, 219, 114).PtInRect(point)) pressed = true;
  CDialog::OnLButtonDown(nFlags, point);
}

void TestDialog::OnLButtonUp(UINT nFlags, CPoint point) {
  bool wasPressed = pressed;
  pressed = false;
  if (wasPressed && CRect(143, 90, 219, 114).PtInRect(point)) EndDialog(IDOK);
  CDialog::OnLButtonUp(nFlags, point);
}

BOOL TestDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
  commands.push_back(LOWORD(wParam));
  return CDialog::OnCommand(wParam, lParam);
}

void FrameFixture::SetUp() {
  gui::testing::EnsureApplication();
  RegisterTestTemplates();
  m_template = CSingleDocTemplate::Make<TestDoc, TestFrame, TestView>(128);
  ASSERT_TRUE(m_template->OpenNewDocument());
  frame = static_cast<TestFrame*>(m_template->GetFrame());
  view = static_cast<TestView*>(frame->GetActiveView());
  AfxGetApp()->m_pMainWnd = frame;
  frame->ShowWindow(SW_SHOW);
  gui::testing::ProcessEvents(50);
}

void FrameFixture::TearDown() {
  AfxGetApp()->m_pMainWnd = nullptr;
  m_template.reset();
  gui::testing::ProcessEvents();
}

void FrameFixture::Repaint() {
  view->Invalidate();
  view->UpdateWindow();
  gui::testing::ProcessEvents(20);
}

std::vector<std::uint8_t> SolidBmpFile(int w, int h, COLORREF color) {
  int stride = (w * 3 + 3) / 4 * 4;
  BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(54 + stride * h), 0, 0, 54};
  BITMAPINFOHEADER ih{40, w, h, 1, 24, BI_RGB, static_cast<DWORD>(stride * h), 0, 0, 0, 0};
  std::vector<std::uint8_t> out(54 + static_cast<std::size_t>(stride * h));
  std::memcpy(out.data(), &fh, 14);
  std::memcpy(out.data() + 14, &ih, 40);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = out.data() + 54 + y * stride + x * 3;
      p[0] = GetBValue(color);
      p[1] = GetGValue(color);
      p[2] = GetRValue(color);
    }
  return out;
}

}  // namespace guitest

namespace guitest {

std::vector<std::uint8_t> CursorFile(int hotX, int hotY) {
  constexpr int kSide = 16;
  constexpr std::size_t kImage = 40 + kSide * kSide * 4 + kSide * 4;  // header, colours, AND mask
  std::vector<std::uint8_t> out(6 + 16 + kImage, 0);
  auto put16 = [&](std::size_t at, int v) {
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
  };
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  put16(2, 2);  // a cursor file
  put16(4, 1);  // one image
  out[6] = kSide;
  out[7] = kSide;
  put16(10, hotX);
  put16(12, hotY);
  put32(14, kImage);
  put32(18, 22);
  BITMAPINFOHEADER ih{40, kSide, 2 * kSide, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::memcpy(out.data() + 22, &ih, 40);
  for (std::size_t i = 0; i < kSide * kSide; ++i) put32(62 + 4 * i, 0xFF0000FFu);  // opaque blue
  return out;
}

}  // namespace guitest
