// The per-user single-instance lock and the local socket through which a second start asks the
// owner to bring its windows forward.
#include "platform/gui/instance_lock.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "platform/gui/window_impl.h"

namespace gui {
namespace {

constexpr char kRequest[] = "activate\n";  // then the title part and a line end
constexpr std::size_t kMaxRequest = 4096;

struct Owned {
  std::mutex mutex;
  std::set<std::string> names;  // locks this process holds
};

Owned& OwnedLocks() {
  static Owned* owned = new Owned;  // used from static constructors and destructors
  return *owned;
}

std::string RuntimeDir() {
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  struct stat st{};
  if (dir && *dir && stat(dir, &st) == 0 && S_ISDIR(st.st_mode)) return dir;
  return "/tmp";
}

std::string BaseName(std::string_view name) {
  return RuntimeDir() + "/vqupdate-" + std::string(name) + "-" + std::to_string(getuid());
}

bool SocketAddress(const std::string& path, sockaddr_un& addr) {
  addr = sockaddr_un{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  return true;
}

// Raises every top-level window whose title contains titlePart; returns how many.
int BringForward(const QString& titlePart) {
  int count = 0;
  for (detail::WindowImpl* impl : detail::TopLevelWindows()) {
    if (!impl->widget || impl->widget->isHidden() || !impl->widget->windowTitle().contains(titlePart)) continue;
    impl->owner->BringWindowToTop();
    ++count;
  }
  return count;
}

// One request on an accepted connection: read until the request is whole, answer, close.
class Connection {
 public:
  explicit Connection(int fd) : m_fd(fd), m_notifier(fd, QSocketNotifier::Read) {
    QObject::connect(&m_notifier, &QSocketNotifier::activated, [this] { Read(); });
  }
  ~Connection() { ::close(m_fd); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  bool Done() const { return m_done; }

 private:
  void Read() {
    char buffer[512];
    ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) return Finish();
    m_request.append(buffer, static_cast<std::size_t>(n));
    if (m_request.size() > kMaxRequest) return Finish();  // not one of ours
    const std::size_t head = sizeof kRequest - 1;
    std::size_t end = m_request.find('\n', head);
    if (m_request.compare(0, head, kRequest) != 0 && m_request.size() >= head) return Finish();
    if (end == std::string::npos) return;
    int count = BringForward(QString::fromStdString(m_request.substr(head, end - head)));
    std::string answer = std::to_string(count) + "\n";
    (void)!::send(m_fd, answer.data(), answer.size(), MSG_NOSIGNAL);
    Finish();
  }
  void Finish() {
    m_notifier.setEnabled(false);
    m_done = true;
  }

  int m_fd;
  QSocketNotifier m_notifier;
  std::string m_request;
  bool m_done = false;
};

class Server {
 public:
  Server(int fd, std::string path) : m_fd(fd), m_path(std::move(path)), m_notifier(fd, QSocketNotifier::Read) {
    QObject::connect(&m_notifier, &QSocketNotifier::activated, [this] { Accept(); });
  }
  ~Server() {
    m_connections.clear();
    ::close(m_fd);
    ::unlink(m_path.c_str());
  }
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

 private:
  void Accept() {
    std::erase_if(m_connections, [](const std::unique_ptr<Connection>& c) { return c->Done(); });
    int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) m_connections.push_back(std::make_unique<Connection>(fd));
  }

  int m_fd;
  std::string m_path;
  QSocketNotifier m_notifier;
  std::vector<std::unique_ptr<Connection>> m_connections;
};

std::map<std::string, std::unique_ptr<Server>>& Servers() {  // window thread only
  static auto* servers = new std::map<std::string, std::unique_ptr<Server>>;
  return *servers;
}

void StartServer(const std::string& name) {
  if (!QCoreApplication::instance() || Servers().count(name)) return;
  std::string path = CInstanceLock::SocketPath(name);
  sockaddr_un addr;
  if (!SocketAddress(path, addr)) return;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return;
  ::unlink(path.c_str());  // a socket left by an owner that died; we hold the lock now
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::chmod(path.c_str(), 0600) != 0 ||
      ::listen(fd, 4) != 0) {
    ::close(fd);
    return;
  }
  Servers()[name] = std::make_unique<Server>(fd, path);
}

void StopServer(const std::string& name) { Servers().erase(name); }

// Waits until fd is ready for `events` or the deadline passes.
bool WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, events, 0};
    int r = ::poll(&p, 1, static_cast<int>(left.count()));
    if (r > 0) return true;
    if (r < 0 && errno != EINTR) return false;
  }
}

}  // namespace

namespace detail {

void StartInstanceServers() {
  std::set<std::string> names;
  {
    std::lock_guard lock(OwnedLocks().mutex);
    names = OwnedLocks().names;
  }
  for (const std::string& name : names) StartServer(name);
}

void StopInstanceServers() { Servers().clear(); }

}  // namespace detail

std::string CInstanceLock::LockPath(std::string_view name) { return BaseName(name) + ".lock"; }
std::string CInstanceLock::SocketPath(std::string_view name) { return BaseName(name) + ".sock"; }

CInstanceLock::CInstanceLock(std::string_view name) : m_name(name) {
  int fd = ::open(LockPath(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;  // no lock file: this process runs without the guard
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    m_alreadyExists = errno == EWOULDBLOCK;
    ::close(fd);
    return;
  }
  m_fd = fd;
  {
    std::lock_guard lock(OwnedLocks().mutex);
    OwnedLocks().names.insert(m_name);
  }
  StartServer(m_name);  // only when the application runs already
}

CInstanceLock::~CInstanceLock() { Release(); }

void CInstanceLock::Release() {
  if (m_fd < 0) return;
  {
    std::lock_guard lock(OwnedLocks().mutex);
    OwnedLocks().names.erase(m_name);
  }
  if (QCoreApplication::instance()) StopServer(m_name);
  ::close(m_fd);
  m_fd = -1;
}

int CInstanceLock::ActivateRunningInstance(std::string_view name, std::string_view titlePart, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  sockaddr_un addr;
  if (!SocketAddress(SocketPath(name), addr)) return -1;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  std::string request = std::string(kRequest) + std::string(titlePart) + "\n";
  std::string answer;
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
  while (ok && answer.find('\n') == std::string::npos) {
    char buffer[64];
    ok = WaitFor(fd, POLLIN, deadline);
    ssize_t n = ok ? ::read(fd, buffer, sizeof buffer) : -1;
    ok = n > 0;
    if (ok) answer.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (!ok) return -1;
  char* end = nullptr;
  long count = std::strtol(answer.c_str(), &end, 10);
  return end != answer.c_str() && *end == '\n' ? static_cast<int>(count) : -1;
}

}  // namespace gui
