// Internal: what a CWnd holds on the Qt side, the handle registry and the hooks the test support
// uses. Included by the layer's own sources only.
#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRegion>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/gui/wnd.h"

class CDialog;

namespace gui::detail {

enum class WindowKind { None, Surface, Control };

struct WindowImpl {
  explicit WindowImpl(CWnd* owner) : owner(owner) {}
  ~WindowImpl();

  // Creates the handle for a widget made by the caller; the widget belongs to this window.
  void Attach(QWidget* w, WindowKind k, CWnd* parentWnd, int ctrlId, DWORD ctrlStyle);
  // Unregisters the handle, stops the timers and deletes the widget (later when inside its events).
  void Destroy(bool deferWidgetDeletion);
  bool Exists() const { return !widget.isNull(); }

  // Painting of surfaces.
  void EnsureSurfaceSize();
  void AddInvalid(const QRegion& region, bool erase);
  void PaintPending();  // sends WM_PAINT when something is invalid
  void Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  // The top-level Qt window this window is in.
  QWidget* TopLevel() const { return widget ? widget->window() : nullptr; }

  CWnd* owner;
  QPointer<QWidget> widget;
  std::unique_ptr<QObject> postTarget;  // receives queued calls; lives as long as the handle
  WindowKind kind = WindowKind::None;
  CWnd* parent = nullptr;
  int id = 0;
  DWORD style = 0;
  CFont* font = nullptr;
  HCURSOR cursor = nullptr;
  std::map<UINT_PTR, std::unique_ptr<QTimer>> timers;
  // Controls made from a template and not (yet) bound to a member by DDX_Control.
  std::map<int, std::unique_ptr<CWnd>> templateControls;

  QImage surface;
  QRegion invalid;
  bool eraseRequested = false;
  QRegion paintRegion;      // during WM_PAINT: what is being painted
  bool inPaint = false;
  int waitCursorDepth = 0;
  std::function<void()> onResized;  // frames lay out their children
};

// Handle registry (thread-safe).
HWND RegisterHandle(WindowImpl* impl);
void UnregisterHandle(HWND hwnd);
WindowImpl* LookupHandle(HWND hwnd);  // window thread only
// Every window whose parent is `parent` (window thread only).
std::vector<WindowImpl*> ChildrenOf(const CWnd* parent);
// Every top-level window (window thread only).
std::vector<WindowImpl*> TopLevelWindows();

// Conversions.
QColor ToQColor(COLORREF c);
COLORREF FromQColor(const QColor& c);
QRect ToQRect(const RECT& r);
CRect FromQRect(const QRect& r);
QString DecodeText(std::string_view bytes, BYTE charSet);
QString FromUtf8(std::string_view text);
QFont QtFontOf(const CFont* font);  // the layer's default font for nullptr / empty
BYTE CharSetOf(const CFont* font);

// Test hooks.
void SetModalHook(std::function<void(CDialog&)> hook);
std::function<void(CDialog&)> TakeModalHook();
using MessageBoxHook = std::function<int(std::string_view, std::string_view, UINT)>;
void SetMessageBoxHook(MessageBoxHook hook);
int ShowMessageBox(QWidget* owner, std::string_view text, std::string_view caption, UINT type);
bool AskEndSession();  // WM_QUERYENDSESSION to the main window
QCursor CursorOf(HCURSOR cursor);
HCURSOR LoadCursorResource(int id);
HCURSOR StandardCursor(int idc);
// The window whose mouse message is being handled (nullptr outside mouse handlers).
WindowImpl*& MouseWindow();

// Instance lock servers and the session guard, run while CWinApp::Run runs.
void StartInstanceServers();
void StopInstanceServers();

}  // namespace gui::detail
