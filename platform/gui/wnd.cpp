// CWnd and the machinery every window shares: handles, posting, timers, painting, geometry.
#include "platform/gui/wnd.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QMetaObject>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "platform/gui/controls.h"
#include "platform/gui/docview.h"
#include "platform/gui/surface.h"
#include "platform/gui/window_impl.h"

namespace gui::detail {
namespace {

struct Registry {
  std::mutex mutex;
  std::unordered_map<HWND, WindowImpl*> windows;
  std::uintptr_t next = 0x10000;
};

Registry& Handles() {
  static Registry* registry = new Registry;  // lives as long as the process: workers may post late
  return *registry;
}

}  // namespace

HWND RegisterHandle(WindowImpl* impl) {
  Registry& r = Handles();
  std::lock_guard lock(r.mutex);
  r.next += 0x10;
  HWND h = reinterpret_cast<HWND>(r.next);
  r.windows[h] = impl;
  return h;
}

void UnregisterHandle(HWND hwnd) {
  Registry& r = Handles();
  std::lock_guard lock(r.mutex);
  r.windows.erase(hwnd);
}

WindowImpl* LookupHandle(HWND hwnd) {
  Registry& r = Handles();
  std::lock_guard lock(r.mutex);
  auto it = r.windows.find(hwnd);
  return it == r.windows.end() ? nullptr : it->second;
}

std::vector<WindowImpl*> ChildrenOf(const CWnd* parent) {
  Registry& r = Handles();
  std::lock_guard lock(r.mutex);
  std::vector<WindowImpl*> out;
  for (auto& [h, impl] : r.windows)
    if (impl->parent == parent) out.push_back(impl);
  return out;
}

std::vector<WindowImpl*> TopLevelWindows() {
  Registry& r = Handles();
  std::lock_guard lock(r.mutex);
  std::vector<WindowImpl*> out;
  for (auto& [h, impl] : r.windows)
    if (impl->widget && impl->widget->isWindow()) out.push_back(impl);
  return out;
}

// Posting needs the registry lock held while the call is queued, so that the receiver cannot be
// destroyed in between.
static BOOL PostToHandle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Registry& r = Handles();
  std::lock_guard lock(r.mutex);
  auto it = r.windows.find(hwnd);
  if (it == r.windows.end() || !it->second->postTarget) return FALSE;
  QMetaObject::invokeMethod(
      it->second->postTarget.get(),
      [hwnd, message, wParam, lParam] {
        if (WindowImpl* impl = LookupHandle(hwnd)) impl->Dispatch(message, wParam, lParam);
      },
      Qt::QueuedConnection);
  return TRUE;
}

WindowImpl::~WindowImpl() { Destroy(false); }

void WindowImpl::Attach(QWidget* w, WindowKind k, CWnd* parentWnd, int ctrlId, DWORD ctrlStyle) {
  widget = w;
  kind = k;
  parent = parentWnd;
  id = ctrlId;
  style = ctrlStyle;
  postTarget = std::make_unique<QObject>();
  owner->m_hWnd = RegisterHandle(this);
  QObject::connect(w, &QObject::destroyed, postTarget.get(), [this] {
    // Deleted by Qt together with its parent widget.
    UnregisterHandle(owner->m_hWnd);
    owner->m_hWnd = nullptr;
    for (auto& [timerId, timer] : timers) timer.release()->deleteLater();
    timers.clear();
    postTarget.release()->deleteLater();
  });
  if (kind == WindowKind::Surface) EnsureSurfaceSize();
}

void WindowImpl::Destroy(bool deferWidgetDeletion) {
  // Deferred: the call may come from inside this window's own events or timers.
  auto dispose = [deferWidgetDeletion](QObject* object) {
    if (deferWidgetDeletion) object->deleteLater(); else delete object;
  };
  for (auto& [timerId, timer] : timers) dispose(timer.release());
  timers.clear();
  if (owner->m_hWnd) UnregisterHandle(owner->m_hWnd);
  owner->m_hWnd = nullptr;
  if (postTarget) {
    if (widget) QObject::disconnect(widget, nullptr, postTarget.get(), nullptr);
    dispose(postTarget.release());
  }
  if (!widget) return;
  QWidget* w = widget;
  widget = nullptr;
  w->hide();
  dispose(w);
}

void WindowImpl::EnsureSurfaceSize() {
  if (!widget) return;
  QSize size = widget->size().expandedTo(QSize(1, 1));
  qreal ratio = widget->devicePixelRatioF();  // sharp on high-density screens; coordinates stay logical
  if (!surface.isNull() && surface.deviceIndependentSize().toSize() == size && surface.devicePixelRatio() == ratio)
    return;
  QImage grown(size * ratio, QImage::Format_RGB32);
  grown.setDevicePixelRatio(ratio);
  grown.fill(widget->palette().color(QPalette::Window));
  if (!surface.isNull()) {
    QPainter p(&grown);
    p.drawImage(QPoint(0, 0), surface);
  }
  surface = grown;
  AddInvalid(QRegion(QRect(QPoint(0, 0), size)), true);
}

void WindowImpl::AddInvalid(const QRegion& region, bool erase) {
  if (!widget) return;
  QRegion inside = region.intersected(QRect(QPoint(0, 0), widget->size()));
  if (inside.isEmpty()) return;
  invalid += inside;
  eraseRequested = eraseRequested || erase;
  widget->update(inside);
}

void WindowImpl::PaintPending() {
  if (invalid.isEmpty() || !widget) return;
  EnsureSurfaceSize();
  if (eraseRequested) {
    QPainter p(&surface);
    QColor fill = widget->palette().color(QPalette::Window);  // the window class's background
    for (const QRect& r : invalid) p.fillRect(r, fill);
  }
  paintRegion = invalid;
  invalid = QRegion();
  eraseRequested = false;
  inPaint = true;
  Dispatch(WM_PAINT, 0, 0);
  inPaint = false;
  paintRegion = QRegion();
}

void WindowImpl::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  bool mouse = message >= WM_MOUSEMOVE && message <= WM_LBUTTONUP;
  WindowImpl* outer = MouseWindow();
  if (mouse) MouseWindow() = this;
  owner->WindowProc(message, wParam, lParam);
  if (mouse) MouseWindow() = outer;
}

WindowImpl*& MouseWindow() {
  static WindowImpl* current = nullptr;
  return current;
}

bool HandleDialogKey(WindowImpl* impl, int qtKey) {
  if (qtKey == Qt::Key_Escape) {
    impl->owner->SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return true;
  }
  if (qtKey != Qt::Key_Return && qtKey != Qt::Key_Enter) return false;
  for (WindowImpl* child : ChildrenOf(impl->owner)) {
    if (child->kind == WindowKind::Control && (child->style & 0xF) == BS_DEFPUSHBUTTON &&
        qobject_cast<QAbstractButton*>(child->widget.data()) && child->owner->m_hWnd) {
      impl->owner->SendMessage(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(child->id), BN_CLICKED),
                               reinterpret_cast<LPARAM>(child->owner->m_hWnd));
      return true;
    }
  }
  impl->owner->SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  return true;
}

LPARAM PointParam(const QPointF& p) {
  QPoint q = p.toPoint();
  return MAKELPARAM(static_cast<WORD>(static_cast<std::int16_t>(q.x())), static_cast<WORD>(static_cast<std::int16_t>(q.y())));
}

WPARAM MouseFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
  WPARAM f = 0;
  if (buttons & Qt::LeftButton) f |= MK_LBUTTON;
  if (buttons & Qt::RightButton) f |= MK_RBUTTON;
  if (modifiers & Qt::ShiftModifier) f |= MK_SHIFT;
  if (modifiers & Qt::ControlModifier) f |= MK_CONTROL;
  return f;
}

QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
COLORREF FromQColor(const QColor& c) { return RGB(c.red(), c.green(), c.blue()); }
QRect ToQRect(const RECT& r) { return QRect(QPoint(r.left, r.top), QSize(r.right - r.left, r.bottom - r.top)); }
CRect FromQRect(const QRect& r) { return CRect(r.x(), r.y(), r.x() + r.width(), r.y() + r.height()); }
QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace gui::detail

using gui::detail::WindowImpl;
using gui::detail::WindowKind;

const CWnd CWnd::wndBottom;

CWnd::CWnd() : m_pImpl(std::make_unique<WindowImpl>(this)) {}

CWnd::~CWnd() = default;

CWnd* CWnd::FromHandle(HWND hWnd) {
  WindowImpl* impl = gui::detail::LookupHandle(hWnd);
  return impl ? impl->owner : nullptr;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  CPoint pt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
  switch (message) {
    case WM_CREATE: return OnCreate(reinterpret_cast<LPCREATESTRUCT>(lParam));
    case WM_DESTROY: OnDestroy(); return 0;
    case WM_SHOWWINDOW: OnShowWindow(static_cast<BOOL>(wParam), static_cast<UINT>(lParam)); return 0;
    case WM_PAINT: OnPaint(); return 0;
    case WM_TIMER: OnTimer(wParam); return 0;
    case WM_LBUTTONDOWN: OnLButtonDown(static_cast<UINT>(wParam), pt); return 0;
    case WM_LBUTTONUP: OnLButtonUp(static_cast<UINT>(wParam), pt); return 0;
    case WM_MOUSEMOVE: OnMouseMove(static_cast<UINT>(wParam), pt); return 0;
    case WM_COMMAND:
      if (OnCommand(wParam, lParam)) return 0;
      break;
    case WM_CLOSE: OnClose(); return 0;
    case WM_QUERYENDSESSION: return OnQueryEndSession();
    default: break;
  }
  return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_POWERBROADCAST:
    case WM_QUERYENDSESSION: return TRUE;
    default: return 0;
  }
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return gui::detail::PostToHandle(m_hWnd, message, wParam, lParam);
}

BOOL PostMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return gui::detail::PostToHandle(hWnd, message, wParam, lParam);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return m_pImpl->Exists() ? WindowProc(message, wParam, lParam) : 0;
}

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse) {
  if (!m_pImpl->Exists() || !m_pImpl->postTarget) return 0;
  auto& timer = m_pImpl->timers[nIDEvent];
  if (!timer) {
    timer = std::make_unique<QTimer>();
    timer->setTimerType(Qt::PreciseTimer);
    WindowImpl* impl = m_pImpl.get();
    QObject::connect(timer.get(), &QTimer::timeout, impl->postTarget.get(),
                     [impl, nIDEvent] { impl->Dispatch(WM_TIMER, nIDEvent, 0); });
  }
  timer->start(static_cast<int>(std::max<UINT>(nElapse, 10)));
  return nIDEvent;
}

BOOL CWnd::KillTimer(UINT_PTR nIDEvent) {
  auto it = m_pImpl->timers.find(nIDEvent);
  if (it == m_pImpl->timers.end()) return FALSE;
  it->second->stop();
  it->second.release()->deleteLater();  // may be inside its own timeout
  m_pImpl->timers.erase(it);
  return TRUE;
}

void CWnd::Invalidate(BOOL bErase) { InvalidateRect(nullptr, bErase); }

void CWnd::InvalidateRect(LPCRECT lpRect, BOOL bErase) {
  if (!m_pImpl->Exists()) return;
  QRect all(QPoint(0, 0), m_pImpl->widget->size());
  if (m_pImpl->kind != WindowKind::Surface) {
    m_pImpl->widget->update(lpRect ? gui::detail::ToQRect(*lpRect) : all);
    return;
  }
  m_pImpl->AddInvalid(QRegion(lpRect ? gui::detail::ToQRect(*lpRect) : all), bErase != FALSE);
}

void CWnd::UpdateWindow() {
  if (!m_pImpl->Exists()) return;
  if (m_pImpl->kind == WindowKind::Surface) m_pImpl->PaintPending();
  m_pImpl->widget->update();
}

CDC* CWnd::GetDC() { return m_pImpl->Exists() ? new CClientDC(this) : nullptr; }

int CWnd::ReleaseDC(CDC* pDC) {
  if (!pDC) return 0;
  delete pDC;
  return 1;
}

BOOL CWnd::ShowWindow(int nCmdShow) {
  if (!m_pImpl->Exists()) return FALSE;
  QWidget* w = m_pImpl->widget;
  BOOL wasVisible = !w->isHidden();
  switch (nCmdShow) {
    case SW_HIDE: w->hide(); break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE: w->showMinimized(); break;
    case SW_SHOWMAXIMIZED: w->showMaximized(); break;
    case SW_RESTORE:
    case SW_SHOWNORMAL:
      if (w->isWindow() && (w->isMinimized() || w->isMaximized())) w->showNormal(); else w->show();
      break;
    default: w->show(); break;
  }
  BOOL nowVisible = !w->isHidden();
  if (nowVisible != wasVisible) SendMessage(WM_SHOWWINDOW, static_cast<WPARAM>(nowVisible), 0);
  return wasVisible;
}

BOOL CWnd::IsWindowVisible() const { return m_pImpl->Exists() && m_pImpl->widget->isVisible(); }
BOOL CWnd::IsIconic() const { return m_pImpl->Exists() && m_pImpl->widget->isMinimized(); }

namespace {

// Frame margins a window manager adds around a top-level window (0 before it is shown, and on
// platforms without decorations).
QMargins FrameMargins(const QWidget* w) {
  QRect frame = w->frameGeometry();
  QRect client = w->geometry();
  return QMargins(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                  frame.bottom() - client.bottom());
}

void PlaceWidget(WindowImpl* impl, int x, int y, int cx, int cy, bool move, bool size) {
  QWidget* w = impl->widget;
  if (w->isWindow()) {
    QMargins m = FrameMargins(w);
    if (move) w->move(x, y);
    if (size) {
      QSize client(std::max(1, cx - m.left() - m.right()), std::max(1, cy - m.top() - m.bottom()));
      if (impl->style & WS_THICKFRAME) w->resize(client); else w->setFixedSize(client);
    }
    return;
  }
  if (auto* combo = qobject_cast<QComboBox*>(w)) {
    int closed = combo->sizeHint().height();
    int item = std::max(1, combo->fontMetrics().height() + 2);
    if (size) combo->setMaxVisibleItems(std::max(1, (cy - closed) / item));
    cy = closed;
  }
  QRect g = w->geometry();
  if (move) g.moveTo(x, y);
  if (size) g.setSize(QSize(std::max(0, cx), std::max(0, cy)));
  w->setGeometry(g);
}

}  // namespace

void CWnd::MoveWindow(int x, int y, int nWidth, int nHeight, BOOL) {
  if (m_pImpl->Exists()) PlaceWidget(m_pImpl.get(), x, y, nWidth, nHeight, true, true);
}

void CWnd::MoveWindow(LPCRECT lpRect, BOOL bRepaint) {
  if (lpRect) MoveWindow(lpRect->left, lpRect->top, lpRect->right - lpRect->left, lpRect->bottom - lpRect->top, bRepaint);
}

BOOL CWnd::SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags) {
  if (!m_pImpl->Exists()) return FALSE;
  PlaceWidget(m_pImpl.get(), x, y, cx, cy, !(nFlags & SWP_NOMOVE), !(nFlags & SWP_NOSIZE));
  if (!(nFlags & SWP_NOZORDER) && pWndInsertAfter == &wndBottom) m_pImpl->widget->lower();
  if (nFlags & SWP_SHOWWINDOW) ShowWindow(SW_SHOW);
  if (nFlags & SWP_HIDEWINDOW) ShowWindow(SW_HIDE);
  return TRUE;
}

void CWnd::GetWindowRect(LPRECT lpRect) const {
  if (!lpRect) return;
  *lpRect = RECT{};
  if (!m_pImpl->Exists()) return;
  QWidget* w = m_pImpl->widget;
  if (w->isWindow()) {
    *lpRect = gui::detail::FromQRect(w->frameGeometry());
    return;
  }
  *lpRect = gui::detail::FromQRect(QRect(w->mapToGlobal(QPoint(0, 0)), w->size()));
}

void CWnd::GetClientRect(LPRECT lpRect) const {
  if (!lpRect) return;
  *lpRect = RECT{};
  if (m_pImpl->Exists()) *lpRect = CRect(0, 0, m_pImpl->widget->width(), m_pImpl->widget->height());
}

BOOL CWnd::SetWindowPlacement(const WINDOWPLACEMENT* lpwndpl) {
  if (!lpwndpl || !m_pImpl->Exists()) return FALSE;
  const RECT& r = lpwndpl->rcNormalPosition;
  PlaceWidget(m_pImpl.get(), r.left, r.top, r.right - r.left, r.bottom - r.top, true, true);
  if (lpwndpl->showCmd != static_cast<UINT>(-1)) ShowWindow(static_cast<int>(lpwndpl->showCmd));
  return TRUE;
}

void CWnd::BringWindowToTop() {
  if (!m_pImpl->Exists()) return;
  QWidget* w = m_pImpl->widget->window();
  if (w->isMinimized()) w->showNormal(); else w->show();
  w->raise();
  w->activateWindow();
}

void CWnd::SetWindowText(std::string_view text) {
  if (!m_pImpl->Exists()) return;
  QString t = gui::detail::FromUtf8(text);
  if (auto* button = qobject_cast<QAbstractButton*>(m_pImpl->widget.data())) button->setText(t);
  else m_pImpl->widget->setWindowTitle(t);
}

std::string CWnd::GetWindowText() const {
  if (!m_pImpl->Exists()) return {};
  if (auto* button = qobject_cast<QAbstractButton*>(m_pImpl->widget.data())) return button->text().toStdString();
  return m_pImpl->widget->windowTitle().toStdString();
}

void CWnd::SetFont(CFont* pFont, BOOL) {
  m_pImpl->font = pFont;
  if (!m_pImpl->Exists()) return;
  m_pImpl->widget->setFont(gui::detail::QtFontOf(pFont));
  if (auto* combo = qobject_cast<QComboBox*>(m_pImpl->widget.data()))  // the closed list fits its font
    combo->resize(combo->width(), combo->sizeHint().height());
}

CFont* CWnd::GetFont() const { return m_pImpl->font; }

void CWnd::BeginWaitCursor() {
  ++m_pImpl->waitCursorDepth;
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void CWnd::EndWaitCursor() {
  if (m_pImpl->waitCursorDepth == 0) return;
  --m_pImpl->waitCursorDepth;
  QGuiApplication::restoreOverrideCursor();
}

CWnd* CWnd::GetParent() const { return m_pImpl->parent; }

CFrameWnd* CWnd::GetParentFrame() const {
  for (CWnd* p = GetParent(); p; p = p->GetParent())
    if (auto* frame = dynamic_cast<CFrameWnd*>(p)) return frame;
  return nullptr;
}

CWnd* CWnd::GetDlgItem(int nID) const {
  for (WindowImpl* child : gui::detail::ChildrenOf(this))
    if (child->id == nID) return child->owner;
  return nullptr;
}

int CWnd::GetDlgCtrlID() const { return m_pImpl->id; }

void CWnd::CheckDlgButton(int nIDButton, UINT nCheck) {
  if (auto* button = dynamic_cast<CButton*>(GetDlgItem(nIDButton))) button->SetCheck(nCheck);
}

UINT CWnd::IsDlgButtonChecked(int nIDButton) const {
  auto* button = dynamic_cast<CButton*>(GetDlgItem(nIDButton));
  return button ? button->GetCheck() : BST_UNCHECKED;
}

int CWnd::MessageBox(std::string_view text, std::string_view caption, UINT nType) {
  return gui::detail::ShowMessageBox(m_pImpl->TopLevel(), text, caption, nType);
}

int AfxMessageBox(std::string_view text, UINT nType) {
  CWnd* main = AfxGetMainWnd();
  return gui::detail::ShowMessageBox(main && main->Impl()->Exists() ? main->Impl()->TopLevel() : nullptr, text, {}, nType);
}

BOOL CWnd::DestroyWindow() {
  if (!m_pImpl->Exists()) return FALSE;
  SendMessage(WM_DESTROY);
  for (WindowImpl* child : gui::detail::ChildrenOf(this)) child->Destroy(true);
  m_pImpl->Destroy(true);
  CWinApp* app = AfxGetApp();
  if (app && app->m_pMainWnd == this) QCoreApplication::quit();
  return TRUE;
}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return TRUE;
}

int CWnd::OnCreate(LPCREATESTRUCT) { return 0; }
void CWnd::OnDestroy() {}
void CWnd::OnShowWindow(BOOL, UINT) {}
void CWnd::OnPaint() { CPaintDC dc(this); }
void CWnd::OnTimer(UINT_PTR) {}
void CWnd::OnLButtonDown(UINT, CPoint) {}
void CWnd::OnLButtonUp(UINT, CPoint) {}
void CWnd::OnMouseMove(UINT, CPoint) {}
BOOL CWnd::OnCommand(WPARAM, LPARAM) { return FALSE; }
void CWnd::OnClose() { DestroyWindow(); }
BOOL CWnd::OnQueryEndSession() { return TRUE; }
void CWnd::DoDataExchange(CDataExchange*) {}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
  if (!pDX || !pDX->m_pDlgWnd || rControl.m_hWnd) return;
  auto& pending = pDX->m_pDlgWnd->m_pImpl->templateControls;
  auto it = pending.find(nIDC);
  if (it == pending.end()) return;
  CWnd& made = *it->second;
  std::swap(rControl.m_pImpl, made.m_pImpl);
  rControl.m_pImpl->owner = &rControl;
  made.m_pImpl->owner = &made;
  rControl.m_hWnd = made.m_hWnd;
  made.m_hWnd = nullptr;
  pending.erase(it);
}

HCURSOR SetCursor(HCURSOR hCursor) {
  // The cursor belongs to the window whose mouse message is being handled, else to the window
  // under the mouse.
  WindowImpl* target = gui::detail::MouseWindow();
  QWidget* w = target ? target->widget.data() : QApplication::widgetAt(QCursor::pos());
  HCURSOR before = target ? target->cursor : nullptr;
  if (target) target->cursor = hCursor;
  if (w) {
    if (hCursor) w->setCursor(gui::detail::CursorOf(hCursor)); else w->unsetCursor();
  }
  return before;
}

int GetSystemMetrics(int nIndex) {
  QScreen* screen = QGuiApplication::primaryScreen();
  QRect g = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
  switch (nIndex) {
    case SM_CXSCREEN: return g.width();
    case SM_CYSCREEN: return g.height();
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    default: return 0;
  }
}

CWaitCursor::CWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
CWaitCursor::~CWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
