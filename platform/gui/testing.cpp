// Test support: the Qt application, input at coordinates, grabs, modal runs, message boxes.
#include "platform/gui/testing.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QTest>
#include <QThread>

#include <cstdlib>
#include <memory>

#include "platform/gui/docview.h"
#include "platform/gui/window_impl.h"

namespace gui::testing {
namespace {

QWidget* WidgetOf(CWnd& wnd) { return wnd.Impl()->widget.data(); }

QPoint At(CPoint p) { return QPoint(p.x, p.y); }

}  // namespace

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "vqupdate-test";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) {
    static auto* app = new QApplication(argc, argv);  // lives as long as the test program
    (void)app;
    QGuiApplication::setQuitOnLastWindowClosed(false);
  }
  if (!AfxGetApp()) {
    static auto* fallback = new CWinApp;  // registers itself; lives as long as the test program
    (void)fallback;
  }
}

void ProcessEvents(int ms) {
  QElapsedTimer t;
  t.start();
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (ms > 0) QThread::msleep(1);
  } while (t.elapsed() < ms);
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

void MouseDown(CWnd& wnd, CPoint point) {
  if (QWidget* w = WidgetOf(wnd)) QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, At(point));
}

void MouseUp(CWnd& wnd, CPoint point) {
  if (QWidget* w = WidgetOf(wnd)) QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, At(point));
}

void MouseMove(CWnd& wnd, CPoint point) {
  QWidget* w = WidgetOf(wnd);
  if (!w) return;
  QMouseEvent move(QEvent::MouseMove, QPointF(At(point)), w->mapToGlobal(QPointF(At(point))), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(w, &move);
}

void Click(CWnd& wnd, CPoint point) {
  MouseDown(wnd, point);
  MouseUp(wnd, point);
}

void ChooseListEntry(CWnd& comboBox, int nIndex) {
  auto* combo = qobject_cast<QComboBox*>(WidgetOf(comboBox));
  if (!combo || nIndex < 0 || nIndex >= combo->count()) return;
  combo->setCurrentIndex(nIndex);
  emit combo->activated(nIndex);  // what a choice in the opened list reports
}

void ClickControl(CWnd& control) {
  if (auto* button = qobject_cast<QAbstractButton*>(WidgetOf(control))) button->click();
}

void PressKey(CWnd& wnd, Key key) {
  QWidget* w = WidgetOf(wnd);
  if (!w) return;
  Qt::Key k = key == Key::Enter ? Qt::Key_Return : key == Key::Escape ? Qt::Key_Escape : key == Key::Tab ? Qt::Key_Tab : Qt::Key_Space;
  QTest::keyClick(w, k);
}

void RequestClose(CWnd& wnd) {
  if (QWidget* w = WidgetOf(wnd)) w->window()->close();
}

bool QueryEndSession() { return detail::AskEndSession(); }

HCURSOR CurrentCursor(CWnd& wnd) { return wnd.Impl()->cursor; }

bool IsActiveWindow(CWnd& wnd) {
  QWidget* w = WidgetOf(wnd);
  return w && w->window()->isActiveWindow();
}

COLORREF WindowImage::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return 0xFFFFFFFF;
  return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
}

bool WindowImage::SavePng(const std::string& path) const {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      COLORREF c = Pixel(x, y);
      image.setPixel(x, y, qRgb(GetRValue(c), GetGValue(c), GetBValue(c)));
    }
  return image.save(QString::fromStdString(path), "PNG");
}

int WindowImage::CountDiffering(const RECT& rect, COLORREF color, int tolerance) const {
  int count = 0;
  for (int y = rect.top; y < rect.bottom; ++y)
    for (int x = rect.left; x < rect.right; ++x) {
      COLORREF c = Pixel(x, y);
      if (c == 0xFFFFFFFF) continue;
      if (std::abs(GetRValue(c) - GetRValue(color)) > tolerance || std::abs(GetGValue(c) - GetGValue(color)) > tolerance ||
          std::abs(GetBValue(c) - GetBValue(color)) > tolerance)
        ++count;
    }
  return count;
}

WindowImage Grab(CWnd& wnd) {
  WindowImage out;
  QWidget* w = WidgetOf(wnd);
  if (!w) return out;
  QImage image = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
  if (image.size() != w->size()) image = image.scaled(w->size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
  out.width = image.width();
  out.height = image.height();
  out.pixels.reserve(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) out.pixels.push_back(detail::FromQColor(image.pixelColor(x, y)));
  return out;
}

std::string SaveScreenshot(CWnd& wnd, std::string_view name) {
  const char* root = std::getenv("VQ_BINARY_DIR");
  QString dir = QString::fromUtf8(root && *root ? root : ".") + QStringLiteral("/screenshots");
  if (!QDir().mkpath(dir)) return {};
  std::string path = (dir + QLatin1Char('/') + detail::FromUtf8(name) + QStringLiteral(".png")).toStdString();
  return Grab(wnd).SavePng(path) ? path : std::string();
}

void OnNextModal(std::function<void(CDialog&)> action) { detail::SetModalHook(std::move(action)); }

void SetMessageBoxHandler(MessageBoxHandler handler) { detail::SetMessageBoxHook(std::move(handler)); }

}  // namespace gui::testing
