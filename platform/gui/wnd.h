// CWnd: a window of the framework, with its message handlers, timers, painting and children.
//
// Threads: every window belongs to the window thread (the thread that runs CWinApp). All member
// functions are for that thread, except PostMessage: a worker thread posts with
// ::PostMessage(hwnd, message, wParam, lParam); the message is queued and handled by the window's
// WindowProc on the window thread, messages from one thread in the order they were posted.
// Everything the poster wrote before posting is visible to the handler.
//
// Messages and handlers: each message arrives in WindowProc, which calls the handler named in
// messages.h; a handler's base version does the framework's default handling (for most messages:
// nothing; for WM_CLOSE: destroy the window). Override a handler to handle its message and call the
// base version where the default handling should follow.
//
// Painting: Invalidate/InvalidateRect mark a part of the window as needing paint; the framework
// then sends WM_PAINT once (erasing the marked part with the window's background colour first when
// any invalidation since the last paint asked for erase). OnPaint draws with a CPaintDC.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/gui/gdi.h"
#include "platform/gui/messages.h"
#include "platform/gui/types.h"

namespace gui::detail {
struct WindowImpl;
}

// The creation record a frame's PreCreateWindow adjusts (frames have no menus on this platform).
struct CREATESTRUCT {
  int x = 0;    // placement of the window rectangle; CW_USEDEFAULT lets the layer choose
  int y = 0;
  int cx = 0;
  int cy = 0;
  DWORD style = 0;      // WS_ flags; WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX, WS_SYSMENU honoured
  DWORD dwExStyle = 0;
  std::string lpszName;  // window title (UTF-8)
  CWnd* hwndParent = nullptr;
};
using LPCREATESTRUCT = CREATESTRUCT*;
inline constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);

struct WINDOWPLACEMENT {
  UINT length = sizeof(WINDOWPLACEMENT);
  UINT flags = 0;
  UINT showCmd = SW_SHOWNORMAL;  // applied after the move; (UINT)-1 keeps the window's visibility
  POINT ptMinPosition;           // accepted, not used
  POINT ptMaxPosition;           // accepted, not used
  RECT rcNormalPosition;         // the window rectangle (caption and borders included) on the screen
};

class CWnd;
// Data exchange between a window's members and its controls (DoDataExchange).
class CDataExchange {
 public:
  CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_pDlgWnd(pDlgWnd), m_bSaveAndValidate(bSaveAndValidate) {}
  CWnd* m_pDlgWnd;
  BOOL m_bSaveAndValidate;
};
// Binds a member control object to the template's control nID: afterwards the member is that
// control (GetDlgItem(nID) returns &rControl). Binding twice is harmless.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

class CWnd {
 public:
  CWnd();
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  // The window's handle; nullptr before creation and after destruction.
  HWND m_hWnd = nullptr;
  HWND GetSafeHwnd() const { return m_hWnd; }
  // The window object of a handle of this process (window thread only); nullptr when gone.
  static CWnd* FromHandle(HWND hWnd);
  // Insert-after marker for SetWindowPos: the bottom of the z-order.
  static const CWnd wndBottom;

  // --- messages -----------------------------------------------------------------------------
  // Entry point of every message; dispatches to the handlers below, the rest to DefWindowProc.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // Default handling of messages without a handler. WM_POWERBROADCAST: TRUE (granted); others: 0.
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // Queues a message for this window (any thread). FALSE when the window does not exist.
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  // Handles the message now, on the window thread; returns WindowProc's result.
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

  // --- timers -------------------------------------------------------------------------------
  // Starts (or restarts) timer nIDEvent: WM_TIMER(nIDEvent) about every nElapse ms until killed.
  // Returns nIDEvent, 0 when the window does not exist.
  UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse);
  BOOL KillTimer(UINT_PTR nIDEvent);  // FALSE when no such timer runs

  // --- painting -----------------------------------------------------------------------------
  void Invalidate(BOOL bErase = TRUE);
  void InvalidateRect(LPCRECT lpRect, BOOL bErase = TRUE);  // nullptr: the whole client area
  void UpdateWindow();  // paints now when something is invalid
  // A DC for the client area; give it back with ReleaseDC (or use CClientDC).
  CDC* GetDC();
  int ReleaseDC(CDC* pDC);

  // --- geometry and visibility --------------------------------------------------------------
  BOOL ShowWindow(int nCmdShow);  // returns whether the window was visible before
  BOOL IsWindowVisible() const;
  BOOL IsIconic() const;          // minimised
  void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE);
  void MoveWindow(LPCRECT lpRect, BOOL bRepaint = TRUE);
  // Position and size of the window rectangle (a child: in its parent's client coordinates;
  // a drop-down list keeps the height its font needs, cy bounds its opened list).
  // pWndInsertAfter: &CWnd::wndBottom lowers it below its siblings; nullptr keeps the z-order.
  BOOL SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags);
  // Window rectangle in screen coordinates (caption and borders included for top-level windows,
  // as far as the window system reports them).
  void GetWindowRect(LPRECT lpRect) const;
  // Client rectangle: (0, 0) to its width and height.
  void GetClientRect(LPRECT lpRect) const;
  BOOL SetWindowPlacement(const WINDOWPLACEMENT* lpwndpl);
  void BringWindowToTop();  // raise, restore when minimised, activate

  // --- texts, fonts, cursor -----------------------------------------------------------------
  void SetWindowText(std::string_view text);  // UTF-8 for top-level windows and buttons
  std::string GetWindowText() const;
  // The font of a control; its character set decides how the control converts code-page text.
  // The font object must live as long as the control uses it.
  void SetFont(CFont* pFont, BOOL bRedraw = TRUE);
  CFont* GetFont() const;
  void BeginWaitCursor();
  void EndWaitCursor();

  // --- relations ----------------------------------------------------------------------------
  CWnd* GetParent() const;
  class CFrameWnd* GetParentFrame() const;
  CWnd* GetDlgItem(int nID) const;  // the child window with this id; nullptr when none
  int GetDlgCtrlID() const;
  void CheckDlgButton(int nIDButton, UINT nCheck);
  UINT IsDlgButtonChecked(int nIDButton) const;

  // Modal message box owned by this window (text and caption UTF-8); returns IDOK, IDYES...
  int MessageBox(std::string_view text, std::string_view caption = {}, UINT nType = MB_OK);

  // Destroys the window (WM_DESTROY first); the C++ object stays. The main window's destruction
  // ends the application's message loop.
  virtual BOOL DestroyWindow();

  // Data exchange (controls of dialogs and form views): calls DoDataExchange.
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

  gui::detail::WindowImpl* Impl() const { return m_pImpl.get(); }

 protected:
  virtual int OnCreate(LPCREATESTRUCT lpCreateStruct);  // 0 to go on, -1 to fail the creation
  virtual void OnDestroy();
  virtual void OnShowWindow(BOOL bShow, UINT nStatus);
  virtual void OnPaint();  // default: validates
  virtual void OnTimer(UINT_PTR nIDEvent);
  virtual void OnLButtonDown(UINT nFlags, CPoint point);
  virtual void OnLButtonUp(UINT nFlags, CPoint point);
  virtual void OnMouseMove(UINT nFlags, CPoint point);
  // WM_COMMAND: LOWORD(wParam) the id, HIWORD(wParam) the notification, lParam the sender's
  // handle. Return TRUE when handled. Default: FALSE.
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual void OnClose();  // default: DestroyWindow
  virtual BOOL OnQueryEndSession();  // default: TRUE
  virtual void DoDataExchange(CDataExchange* pDX);

 private:
  friend struct gui::detail::WindowImpl;
  friend void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
  std::unique_ptr<gui::detail::WindowImpl> m_pImpl;
};

// Posts to a window by handle, from any thread (see the top of this file).
BOOL PostMessage(HWND hWnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// The cursor for the window under the mouse until the mouse moves again (a mouse move first
// restores the arrow, so a WM_MOUSEMOVE handler sets it anew where it wants another).
HCURSOR SetCursor(HCURSOR hCursor);
int GetSystemMetrics(int nIndex);
// Message box without an owner (text UTF-8).
int AfxMessageBox(std::string_view text, UINT nType = MB_OK);

// Shows the wait cursor for the whole application while it lives.
class CWaitCursor {
 public:
  CWaitCursor();
  ~CWaitCursor();
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
};
