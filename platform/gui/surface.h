// Internal: the Qt widget behind a window the application paints itself (frame, view, dialog).
// It keeps the window's picture in an image: handlers and direct DCs draw into the image, the
// widget shows it. Qt events become the window's messages.
#pragma once

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include "platform/gui/window_impl.h"

namespace gui::detail {

// Enter and Escape as a dialog handles them: the default push button's (or IDOK's) command,
// IDCANCEL. True when the key was one of them.
bool HandleDialogKey(WindowImpl* impl, int qtKey);
LPARAM PointParam(const QPointF& p);
WPARAM MouseFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);

template <class Base>
class Surface : public Base {
 public:
  template <class... Args>
  explicit Surface(WindowImpl* impl, Args&&... args) : Base(std::forward<Args>(args)...), m_impl(impl) {
    this->setAttribute(Qt::WA_OpaquePaintEvent);
    this->setAttribute(Qt::WA_NoSystemBackground);
    this->setMouseTracking(true);
    this->setFocusPolicy(Qt::StrongFocus);
  }
  bool dialogKeys = false;  // Enter/Escape become commands (dialogs, form views)

 protected:
  void paintEvent(QPaintEvent* e) override {
    m_impl->PaintPending();
    QPainter p(this);
    p.setClipRegion(e->region());
    p.drawImage(QPoint(0, 0), m_impl->surface);
  }
  void resizeEvent(QResizeEvent* e) override {
    Base::resizeEvent(e);
    m_impl->EnsureSurfaceSize();
    if (m_impl->onResized) m_impl->onResized();
  }
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton)
      m_impl->Dispatch(WM_LBUTTONDOWN, MouseFlags(e->buttons(), e->modifiers()), PointParam(e->position()));
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton)
      m_impl->Dispatch(WM_LBUTTONUP, MouseFlags(e->buttons(), e->modifiers()), PointParam(e->position()));
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    this->unsetCursor();  // the class cursor first; the handler may set another
    m_impl->cursor = nullptr;
    m_impl->Dispatch(WM_MOUSEMOVE, MouseFlags(e->buttons(), e->modifiers()), PointParam(e->position()));
  }
  void keyPressEvent(QKeyEvent* e) override {
    if (dialogKeys && HandleDialogKey(m_impl, e->key())) return;
    Base::keyPressEvent(e);
  }
  void closeEvent(QCloseEvent* e) override {
    e->ignore();  // the window closes only through DestroyWindow
    m_impl->Dispatch(WM_CLOSE, 0, 0);
  }

 private:
  WindowImpl* m_impl;
};

}  // namespace gui::detail
