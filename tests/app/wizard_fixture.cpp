#include "tests/app/wizard_fixture.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "app/diag_log.h"
#include "app/init_thread.h"
#include "app/q17_doc.h"
#include "app/wizard_globals.h"
#include "app/worker_hooks.h"
#include "package/own_path.h"
#include "platform/gui/dialog.h"
#include "platform/gui/testing.h"
#include "platform/os/clock.h"
#include "ui/catalogue.h"
#include "ui/license_dlg.h"
#include "ui/resources.h"
#include "ui/screens.h"
#include "xbi/software_file.h"

namespace apptest {
namespace gt = gui::testing;
namespace fs = std::filesystem;

namespace {

// The test program's scratch directory, removed when the program ends.
struct ScratchRoot {
  fs::path path = fs::temp_directory_path() / ("vq-app-test-" + std::to_string(::getpid()));
  ScratchRoot() { fs::create_directories(path); }
  ~ScratchRoot() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

fs::path WorkDir() {
  static const ScratchRoot root;
  return root.path;
}

// SaveScreenshot makes screenshots/ but not the directory of this program's pictures.
void MakeScreenshotDir() {
  const char* root = std::getenv("VQ_BINARY_DIR");
  fs::create_directories(fs::path(root && *root ? root : ".") / "screenshots" / "app" / "walk");
}

}  // namespace

std::atomic<int> g_searchStarts{0};

unsigned FakeSearchThread(void*) {
  ++g_searchStarts;
  return 0;
}

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

fs::path PackagedFile(const std::string& description) {
  static std::map<std::string, fs::path> made;
  if (auto it = made.find(description); it != made.end()) return it->second;
  const fs::path xbi = WorkDir() / (description + ".xbi");
  const fs::path stub = WorkDir() / "updater-stub";
  const fs::path out = WorkDir() / (description + "-package");
  std::ofstream(stub, std::ios::binary) << "an updater program stands here";
  const bool ok = Run(std::string(XBIMAKE_PATH) + " " + APP_FIXTURES_DIR "/" + description + ".desc " + xbi.string() +
                      " > /dev/null") &&
                  Run(std::string(VQPKG_PATH) + " build --updater " + stub.string() + " --xbi " + xbi.string() +
                      " --out " + out.string() + " > /dev/null");
  EXPECT_TRUE(ok) << "could not build the test package " << description;
  made[description] = out;
  return out;
}

fs::path TamperedPackage() {
  const fs::path tampered = WorkDir() / "tampered-package";
  std::ifstream in(PackagedFile(), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The enciphered body lies between the stub and the trailer; change a byte in its middle.
  const std::size_t stubLength = 30;
  bytes[stubLength + (bytes.size() - stubLength) / 2] ^= 0x01;
  std::ofstream(tampered, std::ios::binary) << bytes;
  return tampered;
}

std::string ReadLog() {
  std::ifstream in(kLogFileName, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool MatchesWithDigits(std::string_view text, std::string_view pattern) {
  if (text.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (pattern[i] == '#' ? !digit : pattern[i] != text[i]) return false;
  }
  return true;
}

bool LogEndsWithTimedEntry(std::string_view entry) {
  const std::string log = ReadLog();
  const std::string pattern = "\r\n##:##:## " + std::string(entry) + "\r\n";
  return log.size() >= pattern.size() && MatchesWithDigits(std::string_view(log).substr(log.size() - pattern.size()), pattern);
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
  if (const char* old = std::getenv(name)) {
    m_had = true;
    m_old = old;
  }
  if (value != nullptr) ::setenv(name, value, 1);
  else ::unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (m_had) ::setenv(m_name.c_str(), m_old.c_str(), 1);
  else ::unsetenv(m_name.c_str());
}

ScratchDir::ScratchDir(bool withLog) : m_previous(fs::current_path()) {
  static int counter = 0;
  m_path = WorkDir() / ("run-" + std::to_string(++counter));
  fs::create_directories(m_path);
  fs::current_path(m_path);
  if (withLog) std::ofstream(kLogFileName) << "an old run's log";
}

ScratchDir::~ScratchDir() { fs::current_path(m_previous); }

void WizardTest::SetUp() {
  gt::EnsureApplication();
  ui::RegisterResources();
  m_dir = std::make_unique<ScratchDir>();
  m_ports = std::make_unique<ScopedEnv>("VQ_COMPORTS", "COM1=/dev/null,COM3=/dev/null,COM10=/dev/null");
  m_locale = std::make_unique<ScopedEnv>("LC_ALL", "en_US.UTF-8");  // English at start-up
  g_searchStarts = 0;
  SetWorkerHooks(WorkerHooks{.searchThreadProc = FakeSearchThread});
  g_nAgreementResult = 0;
  m_template = CSingleDocTemplate::Make<CQ17Doc, CMainFrame, CQ17View>(128);
  ASSERT_TRUE(m_template->OpenNewDocument());
  frame = static_cast<CMainFrame*>(m_template->GetFrame());
  view = static_cast<CQ17View*>(frame->GetActiveView());
  AfxGetApp()->m_pMainWnd = frame;
  frame->ShowWindow(SW_SHOW);
  // The test program carries no package: its own initialisation ends on the result screen.
  ASSERT_TRUE(gt::WaitUntil([] { return g_nWizardState == STATE_RESULT; }, 10000));
  Settle();
}

void WizardTest::TearDown() {
  AfxGetApp()->m_pMainWnd = nullptr;
  m_template.reset();
  gt::ProcessEvents();
  xbi::ReleaseSoftwareFile();
  SetWorkerHooks(WorkerHooks{});
  m_locale.reset();
  m_ports.reset();
  m_dir.reset();
}

void WizardTest::RunInitialisation(const fs::path& package) {
  xbi::ReleaseSoftwareFile();
  std::snprintf(g_szOwnPath, sizeof g_szOwnPath, "%s", package.c_str());
  g_strErrorLine1.Clear();
  g_strErrorLine2.Clear();
  g_nWizardState = STATE_INIT;
  os::FakeClock clock;
  os::ScopedClock scope(clock);
  InitThreadProc(view->GetSafeHwnd());
  Settle();
}

void WizardTest::Post(WPARAM phase, LPARAM result) {
  ASSERT_TRUE(::PostMessage(view->GetSafeHwnd(), WM_WORKER_RESULT, phase, result));
  Settle();
}

void WizardTest::Settle(int ms) { gt::ProcessEvents(ms); }

void WizardTest::Screenshot(const std::string& name) {
  view->Invalidate();
  view->UpdateWindow();
  Settle(20);
  MakeScreenshotDir();
  EXPECT_FALSE(gt::SaveScreenshot(*frame, "app/" + name).empty());
}

void AnswerNextAgreement(bool agree, const std::string& shot) {
  gt::OnNextModal([agree, shot](CDialog& dialog) {
    const bool rtl = ui::IsRightToLeft();
    const CPoint agreeLabel = rtl ? CPoint(375, 320) : CPoint(50, 320);
    const CPoint disagreeLabel = rtl ? CPoint(180, 320) : CPoint(255, 320);
    if (agree) {
      gt::Click(dialog, agreeLabel);
      gt::Click(dialog, agreeLabel);
    } else {
      gt::Click(dialog, disagreeLabel);
    }
    gt::ProcessEvents(10);
    if (!shot.empty()) {
      MakeScreenshotDir();
      gt::SaveScreenshot(dialog, "app/" + shot);
    }
    gt::Click(dialog, CPoint(210, 350));
  });
}

}  // namespace apptest
