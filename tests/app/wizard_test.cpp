// The wizard's state machine on the real view: worker pairs, the painted buttons, Enter, the
// timer's percentages, with a picture of each screen passed.
#include <string>

#include <gtest/gtest.h>

#include "app/diag_log.h"
#include "app/q17_view.h"
#include "app/wizard_globals.h"
#include "platform/gui/resources.h"
#include "platform/gui/testing.h"
#include "tests/app/wizard_fixture.h"
#include "ui/catalogue.h"
#include "ui/resource_ids.h"

namespace {

namespace gt = gui::testing;
using apptest::AnswerNextAgreement;
using apptest::g_searchStarts;
using apptest::ReadLog;

constexpr CPoint kSingle{340, 315};
constexpr CPoint kLeft{291, 315};
constexpr CPoint kRight{386, 315};
constexpr CPoint kOutside{200, 200};

class Wizard : public apptest::WizardTest {
 protected:
  void SetUp() override {
    apptest::WizardTest::SetUp();
    Initialise();
    ASSERT_EQ(g_nWizardState, STATE_LANGUAGE);
  }
  void Enter() {
    gt::PressKey(*view, gt::Key::Enter);
    Settle();
  }
  void Click(CPoint p) {
    gt::Click(*view, p);
    Settle();
  }
  void GoTo(int state) {
    g_nWizardState = state;
    view->Invalidate();
    Settle();
  }
};

TEST(SearchPercentage, ShowsTheIntegerPartRoundedUpFromNinetyNineHundredths) {
  const std::pair<float, int> cases[] = {{0.0f, 0},      {33.3333f, 33}, {66.6666f, 66}, {99.999f, 100},
                                         {33.333f * 3, 100}, {98.995f, 99},  {50.5f, 50}};
  for (const auto& [progress, shown] : cases) EXPECT_EQ(SearchPercentage(progress), shown) << progress;
}

TEST(PortIndexOfName, ExactPortNamesOnly) {
  EXPECT_EQ(PortIndexOfName("COM1"), 0);
  EXPECT_EQ(PortIndexOfName("COM12"), 11);
  EXPECT_EQ(PortIndexOfName("COM13"), -1);
  EXPECT_EQ(PortIndexOfName("com1"), -1);
}

struct PairCase {
  int from;
  WPARAM phase;
  LPARAM result;
  int to;
};

TEST_F(Wizard, WorkerPairsDecideTheNextState) {
  const PairCase cases[] = {
      {STATE_INIT, 0, 1, STATE_RESULT},     {STATE_INIT, 0, 6, STATE_RESULT},
      {STATE_INIT, 0, 7, STATE_INIT},       {STATE_LANGUAGE, 1, 0, STATE_LANGUAGE},
      {STATE_INIT, 1, 3, STATE_RESULT},     {STATE_SEARCH, 2, 0, STATE_SEARCH},
      {STATE_SEARCH, 3, 1, STATE_NOT_FOUND}, {STATE_SEARCH, 3, 2, STATE_RESULT},
      {STATE_SEARCH, 3, 3, STATE_RESULT},   {STATE_FOUND, 4, 1, STATE_RESULT},
      {STATE_FOUND, 4, 0, STATE_FOUND},     {STATE_TRANSFER, 6, 1, STATE_RESULT},
      {STATE_TEST, 7, 1, STATE_RESULT},     {STATE_RESULT, 8, 0, STATE_RESULT},
      {STATE_TEST, 5, 0, STATE_TEST},
  };
  for (const PairCase& c : cases) {
    g_nWizardState = c.from;
    Post(c.phase, c.result);
    EXPECT_EQ(g_nWizardState, c.to) << "(" << c.phase << ", " << c.result << ") from " << c.from;
  }
  g_strErrorLine1.Clear();
  g_nWizardState = STATE_SEARCH;
  Post(9, 0);
  EXPECT_EQ(g_nWizardState, STATE_RESULT);
  EXPECT_EQ(g_strErrorLine1.Get(), "Default Error");
  EXPECT_TRUE(g_strErrorLine2.IsEmpty());
  Screenshot("result_default_error_en");
}

TEST_F(Wizard, AVq2xPackageShowsTheVq2xPhone) {
  std::snprintf(g_SwInfoPackage.productType, sizeof g_SwInfoPackage.productType, "VQ2X");
  Post(1, 0);
  const gui::ResourceData vq2x = gui::FindResource(gui::RT_BITMAP, ui::IDB_PHONE_VQ2X);
  EXPECT_EQ(static_cast<const void*>(view->PhonePicture().GetColorTable()), vq2x.data + 40);
}

TEST_F(Wizard, StartWithAgreementLeadsToTheConnectScreenAndContinueStartsTheSearch) {
  Screenshot("language_en");
  AnswerNextAgreement(false);
  Click(kSingle);
  EXPECT_EQ(g_nWizardState, STATE_LANGUAGE);  // declined

  AnswerNextAgreement(true, "agreement_en");
  Click(kSingle);
  EXPECT_EQ(g_nWizardState, STATE_CONNECT);
  EXPECT_EQ(g_searchStarts, 0);  // the mouse needs a second click
  EXPECT_NE(ReadLog().find("\r\nAgree with license agreements!\r\n\r\n"), std::string::npos);
  Screenshot("connect_en");

  g_strErrorLine1 = "an earlier error";
  Click(kSingle);
  EXPECT_EQ(g_nWizardState, STATE_SEARCH);
  EXPECT_TRUE(g_strErrorLine1.IsEmpty());
  ASSERT_TRUE(gt::WaitUntil([] { return g_searchStarts == 1; }));
  Screenshot("search_en");
}

TEST_F(Wizard, EnterInTheLanguageScreenWithAgreementGoesStraightToTheSearch) {
  AnswerNextAgreement(true);
  Enter();
  EXPECT_EQ(g_nWizardState, STATE_SEARCH);
  EXPECT_TRUE(gt::WaitUntil([] { return g_searchStarts == 1; }));
}

TEST_F(Wizard, EnterOnTheConnectScreenStartsTheSearch) {
  GoTo(STATE_CONNECT);
  Enter();
  EXPECT_EQ(g_nWizardState, STATE_SEARCH);
  EXPECT_TRUE(gt::WaitUntil([] { return g_searchStarts == 1; }));
}

TEST_F(Wizard, EnterEndsTheProgramOnTheResultNotFoundAndPortChoiceScreens) {
  for (int state : {STATE_RESULT, STATE_NOT_FOUND, STATE_CHOOSE_PORT}) {
    TearDown();
    apptest::WizardTest::SetUp();
    GoTo(state);
    Enter();
    EXPECT_TRUE(FrameClosed()) << state;
  }
}

TEST_F(Wizard, AReleaseOutsideThePressedButtonOnlyClearsThePressedLook) {
  GoTo(STATE_CONNECT);
  gt::MouseDown(*view, kSingle);
  Settle();
  EXPECT_TRUE(view->IsContinueDown());
  Screenshot("connect_pressed_en");
  gt::MouseUp(*view, kOutside);
  Settle();
  EXPECT_FALSE(view->IsContinueDown());
  EXPECT_EQ(g_nWizardState, STATE_CONNECT);

  // Pressed on the right button, released on the left one: nothing.
  GoTo(STATE_NOT_FOUND);
  gt::MouseDown(*view, kRight);
  EXPECT_TRUE(view->IsExitDown());
  EXPECT_FALSE(view->IsContinueDown());
  gt::MouseUp(*view, kLeft);
  Settle();
  EXPECT_FALSE(view->IsExitDown());
  EXPECT_EQ(g_nWizardState, STATE_NOT_FOUND);
  EXPECT_FALSE(FrameClosed());
  EXPECT_EQ(g_searchStarts, 0);
}

TEST_F(Wizard, AReleaseAfterTheStateMovedOnDoesNothingButClearTheFlag) {
  GoTo(STATE_CONNECT);
  gt::MouseDown(*view, kSingle);
  g_nWizardState = STATE_SEARCH;  // a worker moved the wizard meanwhile
  gt::MouseUp(*view, kSingle);
  Settle();
  EXPECT_FALSE(view->IsContinueDown());
  EXPECT_EQ(g_nWizardState, STATE_SEARCH);
  EXPECT_EQ(g_searchStarts, 0);
}

TEST_F(Wizard, ButtonsOfOtherScreensDoNotPress) {
  for (int state : {STATE_INIT, STATE_SEARCH, STATE_FOUND, STATE_ERASE, STATE_MANUAL_CHECK, STATE_PRESS_ON_OFF}) {
    GoTo(state);
    gt::MouseDown(*view, kSingle);
    EXPECT_FALSE(view->IsStartDown() || view->IsContinueDown() || view->IsExitDown()) << state;
    gt::MouseUp(*view, kSingle);
  }
}

TEST_F(Wizard, NotFoundOffersThePortsAndAManualStartOnTheChosenOne) {
  g_nWizardState = STATE_SEARCH;
  Post(3, 1);
  ASSERT_EQ(g_nWizardState, STATE_NOT_FOUND);
  Screenshot("not_found_en");
  Click(kLeft);
  ASSERT_EQ(g_nWizardState, STATE_CHOOSE_PORT);
  CComboBox& list = view->List();
  ASSERT_EQ(list.GetCount(), 3);
  std::string first;
  list.GetLBText(0, first);
  EXPECT_EQ(first, "COM1");
  EXPECT_EQ(list.GetCurSel(), 0);
  Screenshot("choose_port_en");

  gt::ChooseListEntry(list, 2);  // sorted by text: COM1, COM10, COM3
  Click(kLeft);
  EXPECT_EQ(g_nWizardState, STATE_MANUAL_CHECK);
  EXPECT_EQ(g_nPortIndex, 2);
  EXPECT_TRUE(g_bManualMode);
  EXPECT_TRUE(gt::WaitUntil([] { return g_searchStarts == 1; }));
  EXPECT_NE(ReadLog().find("Manuel Update Start Select = COM3!\r\n"), std::string::npos);
  Screenshot("manual_check_en");
}

TEST_F(Wizard, ContinueWithoutAPortChosenStaysOnThePortChoice) {
  g_nWizardState = STATE_SEARCH;
  Post(3, 1);
  Click(kLeft);
  ASSERT_EQ(g_nWizardState, STATE_CHOOSE_PORT);
  view->List().SetCurSel(-1);
  Click(kLeft);
  EXPECT_EQ(g_nWizardState, STATE_CHOOSE_PORT);
  EXPECT_NE(ReadLog().find("Error on Combo Box select! (COM-1)\r\n"), std::string::npos);
  EXPECT_EQ(g_searchStarts, 0);
}

TEST_F(Wizard, ExitOnTheNotFoundScreenEndsTheProgram) {
  GoTo(STATE_NOT_FOUND);
  Click(kRight);
  EXPECT_TRUE(FrameClosed());
  EXPECT_NE(ReadLog().find("BREAK at 'No Mobile Found'"), std::string::npos);
}

TEST_F(Wizard, TheHandCursorShowsOverTheButtonsOfTheScreen) {
  const HCURSOR hand = AfxGetApp()->LoadCursor(ui::IDC_HAND);
  ASSERT_NE(hand, nullptr);
  GoTo(STATE_NOT_FOUND);
  gt::MouseMove(*view, kRight);
  EXPECT_EQ(gt::CurrentCursor(*view), hand);
  gt::MouseMove(*view, CPoint(339, 315));  // between the two buttons
  EXPECT_NE(gt::CurrentCursor(*view), hand);
  GoTo(STATE_SEARCH);
  gt::MouseMove(*view, kSingle);
  EXPECT_NE(gt::CurrentCursor(*view), hand);
}

// The timer is running from the start of the search until the next worker pair.
class WizardTimer : public Wizard {
 protected:
  void SetUp() override {
    Wizard::SetUp();
    GoTo(STATE_CONNECT);
    Click(kSingle);
    ASSERT_EQ(g_nWizardState, STATE_SEARCH);
  }
  void Tick() { Settle(900); }
};

TEST_F(WizardTimer, TransferPercentages) {
  struct Case {
    int phase;
    std::uint32_t done;
    std::uint32_t total;
    float shown;
  };
  const Case cases[] = {
      {1, 32000, 100000, 1.0f},           // transfer without erase: the first 64000 bytes give 2
      {7, 4100, 100000, 20.0f},           // after an erase, fewer than 64000 bytes done
      {7, 64000 + 50000, 100000, 59.0f},  // half of the total past 64000
  };
  g_nWizardState = STATE_TRANSFER;
  for (const Case& c : cases) {
    g_nProgressPhase = c.phase;
    g_dwTransferDone = c.done;
    g_dwTransferTotal = c.total;
    Tick();
    EXPECT_FLOAT_EQ(g_fProgress, c.shown) << c.done;
    EXPECT_EQ(view->ProgressBar().GetPos(), static_cast<int>(c.shown));
  }
  Screenshot("transfer_en");
}

TEST_F(WizardTimer, ErasePercentagesAndResult) {
  g_nWizardState = STATE_ERASE;
  g_nProgressPhase = 2;
  g_wEraseDone = 50;
  g_wEraseTotal = 100;
  Tick();
  EXPECT_FLOAT_EQ(g_fProgress, 10.5f);
  EXPECT_EQ(view->ProgressBar().GetPos(), 10);
  Screenshot("erase_en");
  g_nWizardState = STATE_RESULT;
  Tick();
  EXPECT_FLOAT_EQ(g_fProgress, 100.0f);
  Post(8, 0);
  Screenshot("result_success_en");
}

TEST_F(WizardTimer, SearchBarFollowsTheProgressAndTheFoundScreenBlinks) {
  g_fProgress = 66.6667f;
  Tick();
  EXPECT_EQ(view->ProgressBar().GetPos(), 66);
  g_nWizardState = STATE_FOUND;
  g_bRedraw = 1;
  // The line shows for one tick and disappears for the next.
  EXPECT_TRUE(gt::WaitUntil([] { return g_bBlinkOn.load(); }, 2000));
  EXPECT_TRUE(gt::WaitUntil([] { return !g_bBlinkOn.load(); }, 2000));
  EXPECT_EQ(g_fProgress, 0.0f);
  EXPECT_EQ(g_bRedraw, 0);  // the timer's full repaint took it
  Screenshot("found_en");
}

TEST_F(WizardTimer, AWorkerPairStopsTheTimer) {
  Post(3, 2);
  g_nWizardState = STATE_ERASE;
  g_nProgressPhase = 2;
  g_wEraseDone = 50;
  g_wEraseTotal = 100;
  g_fProgress = 0;
  Tick();
  EXPECT_EQ(g_fProgress, 0.0f);
}

}  // namespace
