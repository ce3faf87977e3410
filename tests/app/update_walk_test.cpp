// The whole road of an update through the wizard, against the simulated phone on a pty: language,
// agreement, connect, search, found, erase, transfer, test, success. Real waits (about 30 s).
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "app/callbacks.h"
#include "app/error_presentation.h"
#include "app/search_thread.h"
#include "app/wizard_globals.h"
#include "app/worker_hooks.h"
#include "platform/gui/testing.h"
#include "platform/os/pty.h"
#include "sim/link.h"
#include "sim/phone.h"
#include "sim/scenario.h"
#include "tests/app/wizard_fixture.h"
#include "ui/catalogue.h"

namespace {

namespace gt = gui::testing;
using apptest::ReadLog;

class UpdateWalk : public apptest::WizardTest {};

TEST_F(UpdateWalk, AnUpdateRunsFromTheLanguageScreenToSuccess) {
  os::PtyMaster pty;
  ASSERT_TRUE(pty.ok());
  const auto scenario = sim::loadScenario(std::string(VQ_SOURCE_DIR) + "/sim/scenarios/default.scn");
  ASSERT_TRUE(scenario.scenario.has_value());
  sim::PtyLink link(pty);
  sim::Phone phone(scenario.scenario.value());
  phone.start(link);

  const std::string ports = "COM2=" + pty.slavePath();
  apptest::ScopedEnv port("VQ_COMPORTS", ports.c_str());
  SetWorkerHooks(WorkerHooks{.searchThreadProc = SearchThreadProc,
                             .showLibraryError = ShowLibraryErrorLine,
                             .onPrecheckProgress = OnPrecheckProgress,
                             .onTestProgress = OnTestProgress,
                             .onSoftwareInfo = OnSoftwareInfo});
  RunInitialisation(apptest::PackagedFile("phone_update"));
  ASSERT_EQ(g_nWizardState, STATE_LANGUAGE);

  apptest::AnswerNextAgreement(true);
  gt::PressKey(*view, gt::Key::Enter);  // agreement, then straight on to the search
  Settle();
  std::set<int> seen;
  for (int waited = 0; waited < 120000 && g_nWizardState != STATE_RESULT; waited += 100) {
    const int state = g_nWizardState;
    if (seen.insert(state).second) Screenshot("update_state_" + std::to_string(state) + "_en");
    Settle(100);
  }
  ASSERT_EQ(g_nWizardState, STATE_RESULT) << ReadLog();
  EXPECT_TRUE(gt::WaitUntil([] { return g_fProgress == 100.0f; }, 2000));
  Screenshot("update_result_en");
  EXPECT_EQ(g_strErrorLine1.Get(), "") << ReadLog();
  // Search, found and test last seconds each; the transfer of the small image can pass between two
  // samples on a loaded machine, so it is checked through the log the transfer callback writes.
  for (int state : {STATE_SEARCH, STATE_FOUND, STATE_TEST}) EXPECT_TRUE(seen.count(state)) << state;
  const std::string log = ReadLog();
  const auto transfer = log.find("Transferring new Mobile-SW\r\n");
  EXPECT_NE(transfer, std::string::npos) << log;
  EXPECT_LT(transfer, log.find("Testing new Mobile-SW\r\n")) << log;
  EXPECT_NE(log.find("Update success!!!\r\n"), std::string::npos);
  phone.stop();
  EXPECT_TRUE(phone.state().updated);
}

}  // namespace
