// Windows the framework tests drive: a form view that paints texts and records its messages, a
// frame placed like the updater's main window, and a dialog with a painted button.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/gui/framework.h"
#include "platform/gui/testing.h"

namespace guitest {

inline constexpr int kViewTemplate = 901;
inline constexpr int kDialogTemplate = 902;
inline constexpr int kDefaultButton = 1014;
inline constexpr int kRadioA = 1002;
inline constexpr int kRadioB = 1003;
inline constexpr UINT WM_TEST_POSTED = WM_USER + 5;

// Templates shaped like the updater's: a form with a progress control and a default push button,
// a dialog with two radio buttons.
void RegisterTestTemplates();

struct PaintedText {
  int x;
  int y;
  UINT align;
  COLORREF color;
  std::string text;
};

struct Received {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  std::thread::id thread;
};

class TestView : public CFormView {
 public:
  TestView() : CFormView(kViewTemplate) {}
  std::vector<PaintedText> texts;  // painted on every repaint
  bool fillBackground = true;      // white before the texts
  std::vector<Received> received;
  int paints = 0;
  int initialUpdates = 0;
  int showsBeforeInitialUpdate = 0;
  CSize sizeAfterFit;
  CProgressCtrl m_progress;
  CButton m_default;
  HCURSOR handCursor = nullptr;
  CRect handRegion{300, 294, 380, 336};

  void OnInitialUpdate() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  void OnDraw(CDC* pDC) override;
  void DoDataExchange(CDataExchange* pDX) override;
  void OnMouseMove(UINT nFlags, CPoint point) override;
};

class TestDoc : public CDocument {};

// Placed as the updater's main window: title bar and close box only, a status bar with three
// panes, the client area above the status bar 450 x 433.
class TestFrame : public CFrameWnd {
 public:
  CStatusBar m_wndStatusBar;
  bool refuseClose = false;
  bool refuseEndSession = false;
  int closeRequests = 0;

 protected:
  BOOL PreCreateWindow(CREATESTRUCT& cs) override;
  int OnCreate(LPCREATESTRUCT lpCreateStruct) override;
  void ActivateFrame(int nCmdShow) override;
  void OnClose() override;
  BOOL OnQueryEndSession() override;
};

inline constexpr const char* kFrameTitle = "VQ Framework Test V. 1.00";

// A dialog on template 902 with a painted button at (143, 90) 75 x 23 that ends it with IDOK.
class TestDialog : public CDialog {
 public:
  explicit TestDialog(CWnd* parent) : CDialog(kDialogTemplate, parent) {}
  std::vector<int> commands;
  bool pressed = false;

 protected:
  BOOL OnInitDialog() override;
  void OnPaint() override;
  void OnLButtonDown(UINT nFlags, CPoint point) override;
  void OnLButtonUp(UINT nFlags, CPoint point) override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
};

// A frame with its view made by the single-document template, shown, as the main window.
class FrameFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  void Repaint();

  std::unique_ptr<CSingleDocTemplate> m_template;
  TestFrame* frame = nullptr;
  TestView* view = nullptr;
};

// A 24-bit BMP file of w x h pixels in one colour (a cursor picture).
std::vector<std::uint8_t> SolidBmpFile(int w, int h, COLORREF color);
// A Windows cursor file with one 16 x 16 32-bit image and its hot spot.
std::vector<std::uint8_t> CursorFile(int hotX, int hotY);

}  // namespace guitest
