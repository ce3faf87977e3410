// Test support for code built on the window framework (library platform_gui_testing). Tests run
// the real widgets on the offscreen platform (QT_QPA_PLATFORM=offscreen) and act as a user would:
// they click and press keys at coordinates, run modal dialogs, and grab what a window shows.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gui/types.h"

class CWnd;
class CDialog;

namespace gui::testing {

// Creates the Qt application once (and a plain CWinApp when the test program has none).
void EnsureApplication();
// Runs the event loop for about ms milliseconds (posted messages, timers, paints).
void ProcessEvents(int ms = 0);
// Runs the event loop until done() is true or timeoutMs passed; returns done().
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// Mouse input at client coordinates of the window, delivered as real mouse events.
void MouseDown(CWnd& wnd, CPoint point);
void MouseUp(CWnd& wnd, CPoint point);
void MouseMove(CWnd& wnd, CPoint point);
void Click(CWnd& wnd, CPoint point);  // down and up at the same point
// The user picks entry nIndex of a drop-down list (CBN_SELCHANGE follows).
void ChooseListEntry(CWnd& comboBox, int nIndex);
// A click on a button or radio button control.
void ClickControl(CWnd& control);

enum class Key { Enter, Escape, Tab, Space };
void PressKey(CWnd& wnd, Key key);
// The close box (or Alt+F4) of a top-level window: WM_CLOSE through the window system.
void RequestClose(CWnd& wnd);
// The session manager asks whether the session may end; returns the answer.
bool QueryEndSession();

// The cursor the window shows now (nullptr: the standard arrow).
HCURSOR CurrentCursor(CWnd& wnd);
bool IsActiveWindow(CWnd& wnd);

// What a window shows, children included, in its own (logical) pixels.
struct WindowImage {
  int width = 0;
  int height = 0;
  std::vector<COLORREF> pixels;  // row by row
  COLORREF Pixel(int x, int y) const;  // 0xFFFFFFFF outside
  bool SavePng(const std::string& path) const;
  // Number of pixels in the rectangle whose colour differs from `color` by more than tolerance in
  // some channel.
  int CountDiffering(const RECT& rect, COLORREF color, int tolerance = 0) const;
};
WindowImage Grab(CWnd& wnd);
// Saves Grab(wnd) as $VQ_BINARY_DIR/screenshots/<name>.png (current directory without the
// variable); returns the path, empty on failure.
std::string SaveScreenshot(CWnd& wnd, std::string_view name);

// Calls action once, from inside the next CDialog::DoModal loop, when the dialog is shown. The
// action may click into it, grab it, end it (message boxes: SetMessageBoxHandler).
void OnNextModal(std::function<void(CDialog&)> action);

// Message boxes: while a handler is set, no box is shown; the handler gets text, caption and type
// and returns the answer. nullptr restores real boxes.
using MessageBoxHandler = std::function<int(std::string_view text, std::string_view caption, UINT type)>;
void SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace gui::testing
