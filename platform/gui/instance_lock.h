// The single-instance lock: one per user and name ("Q17"). The first process to take it owns it; a
// later start finds it taken and asks the owner, over a local socket, to bring its windows forward.
//
//   CQ17App::CQ17App() : m_instance("Q17") { g_bOtherInstance = m_instance.AlreadyExists(); }
//   ... InitInstance: if (g_bOtherInstance) {
//         gui::CInstanceLock::ActivateRunningInstance("Q17", "VQ20/VQ2X UpdateTool V.");
//         return FALSE; }
//   ... permitted close: m_instance.Release();
//
// The lock is an flock on a file in $XDG_RUNTIME_DIR (else /tmp), so it ends with the process in
// every case. The owner answers activation requests once AfxWinMain has started the application.
#pragma once

#include <string>
#include <string_view>

namespace gui {

class CInstanceLock {
 public:
  // Takes the lock when free. Needs no running application (safe in static constructors).
  explicit CInstanceLock(std::string_view name);
  ~CInstanceLock();
  CInstanceLock(const CInstanceLock&) = delete;
  CInstanceLock& operator=(const CInstanceLock&) = delete;

  // True when another process of this user held the lock at construction.
  bool AlreadyExists() const { return m_alreadyExists; }
  bool IsOwner() const { return m_fd >= 0; }
  // Gives the lock up (a second start then finds it free). Harmless when not owner.
  void Release();

  // From a second start: asks the owner of `name` to restore, raise and activate each of its
  // top-level windows whose title contains titlePart. Returns the number of windows it brought
  // forward, -1 when no owner answered within timeoutMs. Needs the application (InitInstance).
  static int ActivateRunningInstance(std::string_view name, std::string_view titlePart,
                                     int timeoutMs = 3000);

  // Where the lock file and the socket of `name` live (for diagnostics).
  static std::string LockPath(std::string_view name);
  static std::string SocketPath(std::string_view name);

 private:
  std::string m_name;
  int m_fd = -1;
  bool m_alreadyExists = false;
};

}  // namespace gui
