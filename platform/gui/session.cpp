// End of session and suspend: Qt's session management asks the main window (WM_QUERYENDSESSION);
// while the application is in a protected state a systemd-logind inhibitor lock blocks sleep and
// shutdown.
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusUnixFileDescriptor>
#include <QDBusArgument>
#include <QGuiApplication>
#include <QSessionManager>
#include <QTimer>

#include <optional>

#include "platform/gui/docview.h"
#include "platform/gui/window_impl.h"

namespace gui::detail {

bool AskEndSession() {
  CWnd* main = AfxGetMainWnd();
  return !main || !main->GetSafeHwnd() || main->SendMessage(WM_QUERYENDSESSION) != FALSE;
}

class SessionGuard {
 public:
  explicit SessionGuard(CWinApp* app) : m_app(app) {
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { Poll(); });
    m_timer.start(kPollMs);
#ifndef QT_NO_SESSIONMANAGER
    m_commit = QObject::connect(qGuiApp, &QGuiApplication::commitDataRequest, [](QSessionManager& manager) {
      manager.allowsInteraction();  // the refusal dialog may be shown
      if (!AskEndSession()) manager.cancel();
      manager.release();
    });
#endif
  }
  ~SessionGuard() {
    QObject::disconnect(m_commit);
    m_timer.stop();
    m_lock.reset();
  }
  SessionGuard(const SessionGuard&) = delete;
  SessionGuard& operator=(const SessionGuard&) = delete;

 private:
  static constexpr int kPollMs = 250;       // how soon a protected state blocks suspend
  static constexpr int kBusTimeoutMs = 3000;  // logind answers at once; never hang the window

  void Poll() {
    bool now = m_app->IsInProtectedState();
    if (now == m_protected) return;
    m_protected = now;
    if (now) Take(); else Release();
  }

  void Take() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
      Notice("could not block suspend and shutdown during the update (no system bus: " + bus.lastError().message() +
             "); do not suspend or shut down the computer until the update has finished");
      return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
                                                       QStringLiteral("/org/freedesktop/login1"),
                                                       QStringLiteral("org.freedesktop.login1.Manager"),
                                                       QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:shutdown") << QStringLiteral("vqupdate")
         << QStringLiteral("The phone software is being updated") << QStringLiteral("block");
    QDBusMessage reply = bus.call(call, QDBus::Block, kBusTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
      Notice("could not block suspend and shutdown during the update (logind: " + reply.errorMessage() +
             "); do not suspend or shut down the computer until the update has finished");
      return;
    }
    m_lock = qdbus_cast<QDBusUnixFileDescriptor>(reply.arguments().constFirst());
    Notice(QStringLiteral("suspend and shutdown blocked while the update runs (logind inhibitor)"));
  }

  void Release() {
    if (!m_lock) return;
    m_lock.reset();  // closing the descriptor ends the inhibitor
    Notice(QStringLiteral("suspend and shutdown allowed again"));
  }

  void Notice(const QString& text) { m_app->OnPlatformNotice(text.toStdString()); }

  CWinApp* m_app;
  QTimer m_timer;
  bool m_protected = false;
  std::optional<QDBusUnixFileDescriptor> m_lock;
  QMetaObject::Connection m_commit;
};

std::shared_ptr<void> StartSessionGuard(CWinApp* app) { return std::make_shared<SessionGuard>(app); }

}  // namespace gui::detail
