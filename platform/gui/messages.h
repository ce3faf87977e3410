// Message numbers, notification codes and style flags of the window framework.
//
// Every message a window receives passes through CWnd::WindowProc(message, wParam, lParam), which
// calls the matching On... handler (see wnd.h) and hands every other message to DefWindowProc.
// A class that handles a message of its own (WM_USER + n) overrides WindowProc:
//
//   LRESULT CQ17View::WindowProc(UINT m, WPARAM w, LPARAM l) {
//     if (m == WM_WORKER_RESULT) return OnWorkerResult(w, l);
//     return CFormView::WindowProc(m, w, l);
//   }
#pragma once

#include "platform/gui/types.h"

// Messages. Parameters as they arrive in WindowProc; the handler named is what CWnd::WindowProc calls.
inline constexpr UINT WM_CREATE = 0x0001;          // lParam CREATESTRUCT*; OnCreate
inline constexpr UINT WM_DESTROY = 0x0002;         // OnDestroy
inline constexpr UINT WM_PAINT = 0x000F;           // OnPaint
inline constexpr UINT WM_CLOSE = 0x0010;           // OnClose (close box, Alt+F4, posted WM_CLOSE)
inline constexpr UINT WM_QUERYENDSESSION = 0x0011; // OnQueryEndSession; result TRUE = may end
inline constexpr UINT WM_SHOWWINDOW = 0x0018;      // wParam TRUE shown / FALSE hidden; OnShowWindow
inline constexpr UINT WM_INITDIALOG = 0x0110;      // OnInitDialog (dialogs)
inline constexpr UINT WM_COMMAND = 0x0111;         // wParam MAKEWPARAM(id, code), lParam sender's HWND; OnCommand
inline constexpr UINT WM_TIMER = 0x0113;           // wParam timer id; OnTimer
inline constexpr UINT WM_MOUSEMOVE = 0x0200;       // wParam MK_ flags, lParam MAKELPARAM(x, y); OnMouseMove
inline constexpr UINT WM_LBUTTONDOWN = 0x0201;     // as WM_MOUSEMOVE; OnLButtonDown
inline constexpr UINT WM_LBUTTONUP = 0x0202;       // as WM_MOUSEMOVE; OnLButtonUp
inline constexpr UINT WM_POWERBROADCAST = 0x0218;  // wParam PBT_ event; no handler: DefWindowProc
inline constexpr UINT WM_USER = 0x0400;            // first message number free for the application

// WM_POWERBROADCAST
inline constexpr WPARAM PBT_APMQUERYSUSPEND = 0x0000;  // may the system suspend?
inline constexpr LRESULT BROADCAST_QUERY_DENY = 0x424D5144;

// Mouse key flags (wParam of mouse messages)
inline constexpr UINT MK_LBUTTON = 0x0001;
inline constexpr UINT MK_RBUTTON = 0x0002;
inline constexpr UINT MK_SHIFT = 0x0004;
inline constexpr UINT MK_CONTROL = 0x0008;

// Notification codes (HIWORD of WM_COMMAND's wParam)
inline constexpr WORD BN_CLICKED = 0;     // a button or radio button was clicked
inline constexpr WORD CBN_SELCHANGE = 1;  // the user changed the drop-down list's selection

// Command ids and dialog results
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Framework window ids
inline constexpr UINT AFX_IDW_STATUS_BAR = 0xE801;
inline constexpr UINT AFX_IDW_PANE_FIRST = 0xE900;

// Window styles (CREATESTRUCT::style, Create of controls)
inline constexpr DWORD WS_OVERLAPPED = 0x00000000;
inline constexpr DWORD WS_TABSTOP = 0x00010000;
inline constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
inline constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
inline constexpr DWORD WS_THICKFRAME = 0x00040000;
inline constexpr DWORD WS_SYSMENU = 0x00080000;
inline constexpr DWORD WS_VSCROLL = 0x00200000;
inline constexpr DWORD WS_BORDER = 0x00800000;
inline constexpr DWORD WS_CAPTION = 0x00C00000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_POPUP = 0x80000000;
inline constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
inline constexpr DWORD FWS_ADDTOTITLE = 0x00008000;  // frame title from the document (ignored)
inline constexpr DWORD CBRS_BOTTOM = 0x00008000;     // status bar docked at the bottom

// Button styles (dialog templates and CButton::Create)
inline constexpr DWORD BS_PUSHBUTTON = 0x0;
inline constexpr DWORD BS_DEFPUSHBUTTON = 0x1;  // receives Enter as WM_COMMAND(id, BN_CLICKED), even hidden
inline constexpr DWORD BS_RADIOBUTTON = 0x4;    // reports clicks; the owner marks it
inline constexpr DWORD BS_AUTORADIOBUTTON = 0x9;  // a click marks it and unmarks its sibling radios
inline constexpr UINT BST_UNCHECKED = 0;
inline constexpr UINT BST_CHECKED = 1;

// Combo box styles and results
inline constexpr DWORD CBS_DROPDOWNLIST = 0x0003;
inline constexpr DWORD CBS_SORT = 0x0100;  // entries ordered by text, ignoring letter case
inline constexpr int CB_ERR = -1;

// Progress bar styles
inline constexpr DWORD PBS_SMOOTH = 0x01;

// ShowWindow commands
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWMINIMIZED = 2;
inline constexpr int SW_SHOWMAXIMIZED = 3;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr int SW_RESTORE = 9;

// SetWindowPos flags
inline constexpr UINT SWP_NOSIZE = 0x0001;
inline constexpr UINT SWP_NOMOVE = 0x0002;
inline constexpr UINT SWP_NOZORDER = 0x0004;
inline constexpr UINT SWP_NOREDRAW = 0x0008;
inline constexpr UINT SWP_NOACTIVATE = 0x0010;
inline constexpr UINT SWP_SHOWWINDOW = 0x0040;
inline constexpr UINT SWP_HIDEWINDOW = 0x0080;

// Window placement
inline constexpr UINT WPF_SETMINPOSITION = 0x0001;

// System metrics (GetSystemMetrics)
inline constexpr int SM_CXSCREEN = 0;
inline constexpr int SM_CYSCREEN = 1;
inline constexpr int SM_CXBORDER = 5;
inline constexpr int SM_CYBORDER = 6;

// Message box types and icons
inline constexpr UINT MB_OK = 0x0000;
inline constexpr UINT MB_OKCANCEL = 0x0001;
inline constexpr UINT MB_YESNO = 0x0004;
inline constexpr UINT MB_ICONERROR = 0x0010;
inline constexpr UINT MB_ICONQUESTION = 0x0020;
inline constexpr UINT MB_ICONWARNING = 0x0030;
inline constexpr UINT MB_ICONINFORMATION = 0x0040;

// Standard cursors (CWinApp::LoadStandardCursor)
inline constexpr int IDC_ARROW = 32512;
inline constexpr int IDC_WAIT = 32514;
inline constexpr int IDC_HAND = 32649;
