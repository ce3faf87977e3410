// CMainFrame: the main window. A fixed 450-pixel-wide window in the middle of the screen with a
// title bar and close box, the status bar with the three software-information panes, and the
// guard of the update: in the protected wizard states closing, ending the session and suspending
// are refused.
#pragma once

#include "platform/gui/docview.h"

inline constexpr const char* kMainWindowTitle = "VQ20/VQ2X UpdateTool V. 1.05";
// The status bar's panes: product type, product version, compile date and time.
inline constexpr UINT kStatusPaneIds[] = {0xEF14, 0xEF15, 0xEF16};

class CMainFrame : public CFrameWnd {
 public:
  CMainFrame() = default;

  BOOL PreCreateWindow(CREATESTRUCT& cs) override;
  void ActivateFrame(int nCmdShow = -1) override;
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  CStatusBar& StatusBar() { return m_wndStatusBar; }

  // The normal window rectangle for a screen of this size, a non-client height nc (caption and
  // borders) and a status bar of height sb.
  static CRect PlacementRect(int screenWidth, int screenHeight, int nc, int sb);

 protected:
  int OnCreate(LPCREATESTRUCT lpCreateStruct) override;
  void OnClose() override;
  BOOL OnQueryEndSession() override;

 private:
  CStatusBar m_wndStatusBar;
};
