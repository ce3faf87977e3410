// The whole updater against simulated phones: the real wizard offscreen, clicked as a user
// would, its search and update workers, the library, the BFB and flash links, over
// pseudo-terminals in real time.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/callbacks.h"
#include "app/diag_log.h"
#include "app/error_presentation.h"
#include "app/init_thread.h"
#include "app/main_frame.h"
#include "app/q17_doc.h"
#include "app/q17_view.h"
#include "app/search_thread.h"
#include "app/wizard_globals.h"
#include "app/worker_hooks.h"
#include "package/own_path.h"
#include "platform/gui/testing.h"
#include "platform/os/pty.h"
#include "sim/link.h"
#include "sim/phone.h"
#include "sim/scenario.h"
#include "tools/demo/wizard_walk.h"
#include "ui/catalogue.h"
#include "ui/license_dlg.h"
#include "ui/resources.h"
#include "updlib/error_registry.h"
#include "updlib/libif.h"
#include "xbi/software_file.h"

namespace {
namespace gt = gui::testing;
namespace fs = std::filesystem;

constexpr int kSearchTimeout = 60000;
constexpr int kUpdateTimeout = 90000;

// A COM port of the run: a pty with a simulated phone of a scenario, or without a phone.
struct PortSpec {
  std::string com;
  std::string scenario;  // stem in sim/scenarios; empty: nothing answers
};

struct SimulatedPort {
  std::string com;
  std::unique_ptr<os::PtyMaster> pty = std::make_unique<os::PtyMaster>();
  std::unique_ptr<sim::PtyLink> link;
  std::unique_ptr<sim::Phone> phone;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The log's lines without the dots of the progress and the blank lines.
std::vector<std::string> LogLines() {
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(kLogFileName));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of('.') != std::string::npos) lines.push_back(line);
  }
  return lines;
}

// Whether the entries appear in this order in the log (each inside a line).
testing::AssertionResult InOrder(const std::vector<std::string>& entries) {
  const std::vector<std::string> lines = LogLines();
  std::size_t at = 0;
  for (const std::string& entry : entries) {
    while (at < lines.size() && lines[at].find(entry) == std::string::npos) ++at;
    if (at == lines.size()) return testing::AssertionFailure() << "missing or out of order: " << entry;
    ++at;
  }
  return testing::AssertionSuccess();
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    gt::EnsureApplication();
    ui::RegisterResources();
    m_previousDir = fs::current_path();
    m_dir = fs::temp_directory_path() / ("vq-e2e-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(m_dir);
    fs::current_path(m_dir);
    std::ofstream(kLogFileName) << "";
    ::setenv("LC_ALL", "en_US.UTF-8", 1);
    SetWorkerHooks(WorkerHooks{.searchThreadProc = SearchThreadProc,
                               .showLibraryError = ShowLibraryErrorLine,
                               .onPrecheckProgress = OnPrecheckProgress,
                               .onTestProgress = OnTestProgress,
                               .onSoftwareInfo = OnSoftwareInfo});
    g_nAgreementResult = 0;
    g_bUpdateDone = 0;
    g_bUpdateFailed = 0;
  }

  void TearDown() override {
    AfxGetApp()->m_pMainWnd = nullptr;
    m_walk.reset();
    m_template.reset();
    gt::ProcessEvents();
    // The library's update thread ends right after its outcome; a failed run may still close.
    gt::WaitUntil([] { return !updlib::IsUpdateSlotRunning(0); }, 20000);
    xbi::ReleaseSoftwareFile();
    for (SimulatedPort& port : m_ports) {
      if (port.phone) port.phone->stop();
    }
    SetWorkerHooks(WorkerHooks{});
    fs::current_path(m_previousDir);
    ::unsetenv("VQ_COMPORTS");
  }

  // Simulated ports, the wizard in its frame, the initialisation with the package: the language
  // screen.
  void Start(const std::vector<PortSpec>& portSpecs) {
    std::string map;
    for (const PortSpec& portSpec : portSpecs) {
      SimulatedPort& port = m_ports.emplace_back();
      port.com = portSpec.com;
      ASSERT_TRUE(port.pty->ok());
      if (!portSpec.scenario.empty()) {
        auto loaded = sim::loadScenario(std::string(VQ_SOURCE_DIR) + "/sim/scenarios/" + portSpec.scenario + ".scn");
        ASSERT_TRUE(loaded.scenario.has_value()) << portSpec.scenario;
        const sim::Scenario scenario = *loaded.scenario;
        port.link = std::make_unique<sim::PtyLink>(*port.pty);
        port.phone = std::make_unique<sim::Phone>(scenario);
        port.phone->start(*port.link);
      }
      map += (map.empty() ? "" : ",") + portSpec.com + "=" + port.pty->slavePath();
    }
    ::setenv("VQ_COMPORTS", map.c_str(), 1);

    m_template = CSingleDocTemplate::Make<CQ17Doc, CMainFrame, CQ17View>(128);
    ASSERT_TRUE(m_template->OpenNewDocument());
    m_frame = static_cast<CMainFrame*>(m_template->GetFrame());
    m_view = static_cast<CQ17View*>(m_frame->GetActiveView());
    AfxGetApp()->m_pMainWnd = m_frame;
    m_frame->ShowWindow(SW_SHOW);
    // The test program carries no package: its own start ends on the result screen; the
    // initialisation then runs again with the package, as the updater's own would.
    ASSERT_TRUE(gt::WaitUntil([] { return g_nWizardState == STATE_RESULT; }, 10000));
    gt::ProcessEvents(50);
    std::snprintf(g_szOwnPath, sizeof g_szOwnPath, "%s", E2E_PACKAGE);
    g_strErrorLine1.Clear();
    g_strErrorLine2.Clear();
    g_nWizardState = STATE_INIT;
    InitThreadProc(m_view->GetSafeHwnd());
    m_walk = std::make_unique<demo::WizardWalk>(*m_frame, *m_view, Shots(), [](const std::string&) {});
    ASSERT_TRUE(m_walk->WaitForState(STATE_LANGUAGE, 5000));
  }

  std::string Shots() const {
    return std::string(VQ_BINARY_DIR) + "/screenshots/e2e/" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }

  // Language, agreement, connect, Continue: the search runs.
  void StartSearch() {
    m_walk->StartAndAgree();
    ASSERT_TRUE(m_walk->WaitForState(STATE_CONNECT, 5000));
    m_walk->ClickContinue();
  }

  void ExpectSuccessScreen() {
    ASSERT_TRUE(m_walk->FollowToResult(kUpdateTimeout)) << demo::StateName(g_nWizardState);
    EXPECT_EQ(g_strErrorLine1.Get(), "");
    gt::ProcessEvents(800);
  }

  // The phone on port index holds the package's image, checked by its own hash list.
  void ExpectFlashed(std::size_t index) {
    sim::Phone& phone = *m_ports.at(index).phone;
    ASSERT_TRUE(phone.waitPhase("off", 10000));
    const sim::PhoneState state = phone.state();
    EXPECT_EQ(state.hashCheck, "passed");
    EXPECT_TRUE(state.updated);
    const std::vector<std::uint8_t> flash = phone.flash();
    const std::string image = ReadFile(E2E_IMAGE);
    ASSERT_GE(flash.size(), E2E_LOAD_ADDRESS + image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + E2E_LOAD_ADDRESS,
                           [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
  }

  // Closes the wizard from the result screen, as the program ends.
  void CloseFromResult() {
    gt::RequestClose(*m_frame);
    gt::ProcessEvents(100);
  }

  fs::path m_previousDir;
  fs::path m_dir;
  std::vector<SimulatedPort> m_ports;
  std::unique_ptr<CSingleDocTemplate> m_template;
  CMainFrame* m_frame = nullptr;
  CQ17View* m_view = nullptr;
  std::unique_ptr<demo::WizardWalk> m_walk;
};

TEST_F(EndToEnd, AutomaticUpdateFlashesThePhoneAndLogsEveryStep) {
  Start({{"COM1", "default"}});
  StartSearch();
  ExpectSuccessScreen();
  ExpectFlashed(0);
  EXPECT_EQ(m_walk->StatesSeen(),
            (std::vector<int>{STATE_LANGUAGE, STATE_CONNECT, STATE_SEARCH, STATE_FOUND, STATE_ERASE, STATE_TRANSFER,
                              STATE_TEST, STATE_RESULT}));
  CloseFromResult();
  EXPECT_TRUE(InOrder({"Begin Initialisation.", "Found 1 COM-Port(s).", "Agree with license agreements!",
                       "Looking for mobile.", "AT Request with 57600 at COM1", "IMEI: 351234567890123",
                       "Mobile found at COM1 with 57600Baud.", "Mobile Voltage: 4000mV.",
                       "Begin transmission with 115200Baud.", "Erasing Flashblocks", "Transferring new Mobile-SW",
                       "Update was successful.", "Testing new Mobile-SW", "Update success!!!", "READY!!!"}));
  EXPECT_NE(LogLines().back().find("READY!!!"), std::string::npos);
}

TEST_F(EndToEnd, PhoneOnTheThirdOfThreePorts) {
  Start({{"COM1", ""}, {"COM2", ""}, {"COM3", "default"}});
  StartSearch();
  ASSERT_TRUE(m_walk->WaitForState(STATE_FOUND, kSearchTimeout));
  const std::vector<int>& shown = m_walk->SearchPercentages();
  for (int percent : {33, 66, 100}) {
    EXPECT_NE(std::find(shown.begin(), shown.end(), percent), shown.end()) << percent;
  }
  EXPECT_TRUE(InOrder({"AT Request with 57600 at COM1", "AT Request with 57600 at COM2",
                       "AT Request with 57600 at COM3", "Mobile found at COM3 with 57600Baud."}));
  ExpectSuccessScreen();
  ExpectFlashed(2);
}

TEST_F(EndToEnd, LockedInterpreterIsUnlockedWithTheSwitchRequest) {
  Start({{"COM1", "at-locked"}});
  StartSearch();
  ExpectSuccessScreen();
  EXPECT_TRUE(InOrder({"Answer of AT request:", "ERROR", "Answer of AT^KQWE=2 request:", "Answer of AT request:",
                       "Zelmora VQ20", "Mobile found at COM1"}));
  ExpectFlashed(0);
}

TEST_F(EndToEnd, NoPhoneFoundThenManualStartOfABlankPhone) {
  Start({{"COM1", "blank"}});
  StartSearch();
  ASSERT_TRUE(m_walk->WaitForState(STATE_NOT_FOUND, kSearchTimeout));
  EXPECT_EQ(g_strErrorLine1.Get(), "");
  EXPECT_EQ(g_strErrorLine2.Get(), "");
  ASSERT_TRUE(m_walk->ChoosePortAndContinue("COM1"));
  ASSERT_TRUE(m_walk->WaitForState(STATE_PRESS_ON_OFF, 30000));
  ExpectSuccessScreen();
  EXPECT_TRUE(InOrder({"No Mobile found!", "Manuel Update Start Select = COM1!", "Pre Check No Success!",
                       "Begin transmission with 115200Baud.", "You are trying to update a SW for a VQ20 into a",
                       "Update success!!!"}));
  const std::vector<int>& seen = m_walk->StatesSeen();
  for (int state : {STATE_CHOOSE_PORT, STATE_MANUAL_CHECK, STATE_PRESS_ON_OFF, STATE_TRANSFER}) {
    EXPECT_NE(std::find(seen.begin(), seen.end(), state), seen.end()) << demo::StateName(state);
  }
  ExpectFlashed(0);
}

TEST_F(EndToEnd, BatteryOfExactly3650mVIsAccepted) {
  Start({{"COM1", "battery-3650"}});
  StartSearch();
  ASSERT_TRUE(m_walk->WaitForState(STATE_FOUND, kSearchTimeout));
  EXPECT_TRUE(InOrder({"Mobile Voltage: 3650mV."}));
  ExpectSuccessScreen();
}

// The refusals of the search: the result screen with the line of the failure.
struct RefusalCase {
  const char* name;
  PortSpec port;
  const char* secondLine;  // nullptr: not checked
  const char* logEntry;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class SearchRefusal : public EndToEnd, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(SearchRefusal, EndsOnTheResultScreenWithTheReason) {
  Start({GetParam().port});
  StartSearch();
  ASSERT_TRUE(m_walk->FollowToResult(kUpdateTimeout)) << demo::StateName(g_nWizardState);
  gt::ProcessEvents(100);
  EXPECT_NE(g_strErrorLine1.Get(), "") << "a failure must not read as success";
  if (GetParam().secondLine != nullptr) {
    EXPECT_EQ(g_strErrorLine2.Get(), GetParam().secondLine);
  }
  EXPECT_TRUE(InOrder({GetParam().logEntry}));
}

INSTANTIATE_TEST_SUITE_P(
    Phones, SearchRefusal,
    ::testing::Values(RefusalCase{"WrongProduct", {"COM1", "wrong-product"}, "",
                                  "You are trying to update a SW for a VQ20 into a VQ2X"},
                      RefusalCase{"PhoneOnCom10", {"COM10", "default"}, "0.000 V", "IMEI: 351234567890123"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EndToEnd, LowBatteryShowsTheBatteryText) {
  Start({{"COM1", "low-battery"}});
  StartSearch();
  ASSERT_TRUE(m_walk->FollowToResult(kSearchTimeout));
  EXPECT_EQ(g_strErrorLine1.Get(), g_strErrBatteryLow);
  EXPECT_EQ(g_strErrorLine2.Get(), "3.649 V");
  EXPECT_TRUE(InOrder({"Mobile Voltage: 3649mV."}));
  EXPECT_EQ(m_ports[0].phone->state().hashCheck, "none");
}

// The phone reports an error during the transfer; the library retries and records its own codes
// after the report, so the result shows the class text of the newest error of the slot.
TEST_F(EndToEnd, ErrorReportDuringTheTransferShowsTheClassTextOfTheNewestError) {
  Start({{"COM1", "error-report-transfer"}});
  StartSearch();
  ASSERT_TRUE(m_walk->FollowToResult(kUpdateTimeout));
  const updlib::ErrorEntry newest = updlib::GetLastSlotError(0);
  const updlib::ErrorTableRow* row = updlib::FindErrorTableRow(newest.code);
  ASSERT_NE(row, nullptr) << std::hex << newest.code;
  ASSERT_NE(row->errorClass, 0u);
  const std::string* classTexts[] = {&g_strErrClass0, &g_strErrClass1, &g_strErrClass2, &g_strErrClass3,
                                     &g_strErrClass4, &g_strErrClass5, &g_strErrClass6, &g_strErrClass7};
  ASSERT_LT(row->errorClass - 0x0F00, 8u);
  EXPECT_EQ(g_strErrorLine1.Get(), *classTexts[row->errorClass - 0x0F00]);
  EXPECT_EQ(g_strErrorLine2.Get(), "");
  EXPECT_TRUE(InOrder({"Transferring new Mobile-SW", "update error occurred.", "Lib Error"}));
  const std::vector<std::string> phases = m_ports[0].phone->state().phases;
  EXPECT_NE(std::find(phases.begin(), phases.end(), "error_report"), phases.end());
}

TEST_F(EndToEnd, CloseBoxIsRefusedDuringTheTransferAndTheUpdateGoesOn) {
  Start({{"COM1", "default"}});
  m_ports[0].phone->setWireThrottle(true);  // the line's real speed: the transfer takes seconds
  StartSearch();
  ASSERT_TRUE(m_walk->WaitForState(STATE_TRANSFER, kSearchTimeout));
  m_walk->PressCloseBox();
  EXPECT_TRUE(m_walk->CloseRefusalShown());
  ASSERT_FALSE(m_frame->GetSafeHwnd() == nullptr);
  ExpectSuccessScreen();
  ExpectFlashed(0);
}

}  // namespace
