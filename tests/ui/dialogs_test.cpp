// The agreement dialog and the close-refusal notice, run modally and clicked as a user would.
#include <functional>

#include "platform/gui/recording_dc.h"
#include "platform/gui/testing.h"
#include "tests/ui/support.h"
#include "ui/catalogue.h"
#include "ui/close_dlg.h"
#include "ui/license_dlg.h"
#include "ui/resource_ids.h"

namespace {

using gui::testing::MouseDown;
using gui::testing::MouseUp;
using uitest::UiTest;

constexpr CPoint kAgreeLabel{60, 320};
constexpr CPoint kDisagreeLabel{260, 320};
constexpr CPoint kContinue{210, 350};
constexpr CPoint kAgreeLabelRtl{380, 320};
constexpr CPoint kDisagreeLabelRtl{160, 320};

void Click(CWnd& wnd, CPoint p) {
  MouseDown(wnd, p);
  MouseUp(wnd, p);
}

enum class Ends { ByItself, ByEscape };

// Runs the agreement with the user's actions; Escape closes it afterwards when the actions
// leave it open. Returns DoModal's result.
INT_PTR RunLicense(const std::function<void(CLicenseDlg&)>& actions, Ends ends) {
  CLicenseDlg dialog;
  gui::testing::OnNextModal([&](CDialog& shown) {
    actions(static_cast<CLicenseDlg&>(shown));
    gui::testing::ProcessEvents();
    if (ends == Ends::ByEscape) gui::testing::PressKey(shown, gui::testing::Key::Escape);
  });
  return dialog.DoModal();
}

class UiDialogs : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    g_nAgreementResult = 0;
  }
};

TEST_F(UiDialogs, ContinueIsInertUntilAChoiceIsMade) {
  bool stillOpen = false;
  RunLicense([&](CLicenseDlg& dlg) {
    Click(dlg, kContinue);
    gui::testing::ProcessEvents();
    stillOpen = dlg.GetSafeHwnd() != nullptr && !dlg.IsChoiceMade();
  }, Ends::ByEscape);
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(g_nAgreementResult, 0);
}

TEST_F(UiDialogs, ResultFollowsTheLastChoice) {
  struct Case {
    std::vector<CPoint> clicks;
    int result;
  };
  const Case cases[] = {
      {{kAgreeLabel, kContinue}, 1},
      {{kDisagreeLabel, kContinue}, 0},
      {{kAgreeLabel, kDisagreeLabel, kContinue}, 0},
      {{kDisagreeLabel, kAgreeLabel, kContinue}, 1},
  };
  for (const Case& c : cases) {
    g_nAgreementResult = c.result == 1 ? 0 : 1;  // the dialog must write it
    const INT_PTR end = RunLicense([&](CLicenseDlg& dlg) {
      for (CPoint p : c.clicks) Click(dlg, p);
    }, Ends::ByItself);
    EXPECT_EQ(end, IDOK);
    EXPECT_EQ(g_nAgreementResult, c.result);
  }
}

TEST_F(UiDialogs, RadioButtonsMarkTheChoice) {
  RunLicense([&](CLicenseDlg& dlg) {
    gui::testing::ClickControl(*dlg.GetDlgItem(ui::IDC_AGREE));
    EXPECT_TRUE(dlg.IsChoiceMade());  // the user's first Agree counts
    EXPECT_EQ(dlg.IsDlgButtonChecked(ui::IDC_AGREE), BST_CHECKED);
    gui::testing::ClickControl(*dlg.GetDlgItem(ui::IDC_DISAGREE));
    EXPECT_EQ(dlg.IsDlgButtonChecked(ui::IDC_AGREE), BST_UNCHECKED);
    EXPECT_EQ(dlg.IsDlgButtonChecked(ui::IDC_DISAGREE), BST_CHECKED);
    Click(dlg, kContinue);
  }, Ends::ByItself);
  EXPECT_EQ(g_nAgreementResult, 0);
}

TEST_F(UiDialogs, AgreeBeforeTheDialogIsShownIsNotAChoice) {
  CLicenseDlg dialog;
  EXPECT_EQ(g_bIgnoreFirstAgree, 1);
  dialog.OnAgree();  // a notification before the user can act
  EXPECT_FALSE(dialog.IsChoiceMade());
  dialog.OnAgree();
  EXPECT_TRUE(dialog.IsChoiceMade());
}

TEST_F(UiDialogs, ReleaseOutsideContinueClosesNothing) {
  g_nAgreementResult = 1;
  bool open = false;
  bool pressedLookCleared = false;
  const INT_PTR end = RunLicense([&](CLicenseDlg& dlg) {
    Click(dlg, kDisagreeLabel);
    MouseDown(dlg, kContinue);
    EXPECT_TRUE(dlg.IsContinuePressed());
    MouseUp(dlg, {300, 380});
    gui::testing::ProcessEvents();
    open = dlg.GetSafeHwnd() != nullptr;
    pressedLookCleared = !dlg.IsContinuePressed();
  }, Ends::ByEscape);
  EXPECT_TRUE(open);
  EXPECT_TRUE(pressedLookCleared);
  EXPECT_EQ(end, IDCANCEL);
  EXPECT_EQ(g_nAgreementResult, 1);  // closing otherwise leaves the result alone
}

TEST_F(UiDialogs, LeftToRightLayout) {
  CRecordingDC dc(438, 400);
  CLicenseDlg::Paint(&dc, false, false);
  const auto texts = dc.Calls(DcOp::TextOut);
  ASSERT_EQ(texts.size(), 4u + kAgreementLines);
  EXPECT_EQ(texts[0].text, "License agreements");
  EXPECT_EQ(texts[0].point, CPoint(215, 10));
  EXPECT_EQ(texts[1].point, CPoint(30, 312));
  EXPECT_EQ(texts[1].state.textAlign, TA_LEFT | TA_TOP);
  EXPECT_EQ(texts[2].point, CPoint(230, 312));
  EXPECT_EQ(texts[3].text, "Continue");
  EXPECT_EQ(texts[3].state.textColor, RGB(223, 223, 223));  // not yet enabled
  for (std::size_t k = 0; k < kAgreementLines; ++k) {
    const DcCall& line = texts[4 + k];
    EXPECT_EQ(line.point, CPoint(12, 37 + 18 * static_cast<int>(k)));
    EXPECT_EQ(line.state.textAlign, TA_LEFT | TA_TOP);
    EXPECT_LE(line.rect.right, 419) << line.text;  // inside the text area
    EXPECT_GE(line.state.font.height, 12);
  }
  EXPECT_EQ(texts[4].text, "ZELMORA Enduser Agreement");
  CRecordingDC enabled(438, 400);
  CLicenseDlg::Paint(&enabled, true, false);
  EXPECT_EQ(enabled.Calls(DcOp::TextOut)[3].state.textColor, RGB(0, 0, 0));
}

TEST_F(UiDialogs, RightToLeftLayout) {
  for (const char* language : {"Hebrew", "Arabic"}) {
    SCOPED_TRACE(language);
    UseLanguage(language);
    CRecordingDC dc(438, 400);
    CLicenseDlg::Paint(&dc, true, false);
    const auto texts = dc.Calls(DcOp::TextOut);
    ASSERT_EQ(texts.size(), 4u + kAgreementLines);
    EXPECT_EQ(texts[1].point, CPoint(400, 312));
    EXPECT_EQ(texts[1].state.textAlign, TA_RIGHT | TA_TOP);
    EXPECT_EQ(texts[2].point, CPoint(205, 312));
    for (std::size_t k = 0; k < kAgreementLines; ++k) {
      EXPECT_EQ(texts[4 + k].point, CPoint(418, 37 + 18 * static_cast<int>(k)));
      EXPECT_EQ(texts[4 + k].state.textAlign, TA_RIGHT | TA_TOP);
      EXPECT_GE(texts[4 + k].rect.left, 11);
    }
    CRect agreeRadio;
    RunLicense([&](CLicenseDlg& dlg) {
      CWnd* radio = dlg.GetDlgItem(ui::IDC_AGREE);
      radio->GetWindowRect(&agreeRadio);
      Click(dlg, kAgreeLabelRtl);
      EXPECT_EQ(dlg.IsDlgButtonChecked(ui::IDC_AGREE), BST_CHECKED);
      Click(dlg, kDisagreeLabelRtl);
      EXPECT_EQ(dlg.IsDlgButtonChecked(ui::IDC_DISAGREE), BST_CHECKED);
      Click(dlg, kAgreeLabelRtl);
      Click(dlg, kContinue);
    }, Ends::ByItself);
    EXPECT_EQ(agreeRadio.Width(), 15);
    EXPECT_EQ(g_nAgreementResult, 1);
  }
}

TEST_F(UiDialogs, CloseNoticeClosesOnReleaseInsideItsButton) {
  struct Case {
    CPoint down;
    CPoint up;
    bool closes;
  };
  const Case cases[] = {
      {{180, 100}, {180, 100}, true},
      {{20, 120}, {150, 95}, true},    // pressed outside, released inside
      {{180, 100}, {250, 130}, false},
  };
  for (const Case& c : cases) {
    CCloseDlg dialog;
    bool pressed = false;
    gui::testing::OnNextModal([&](CDialog& shown) {
      auto& dlg = static_cast<CCloseDlg&>(shown);
      MouseDown(dlg, c.down);
      pressed = dlg.IsPressed();
      MouseUp(dlg, c.up);
      EXPECT_FALSE(dlg.IsPressed());
      gui::testing::ProcessEvents();
      if (!c.closes) gui::testing::PressKey(dlg, gui::testing::Key::Escape);
    });
    EXPECT_EQ(dialog.DoModal(), c.closes ? IDOK : IDCANCEL);
    EXPECT_EQ(pressed, c.down.x == 180);
  }
}

TEST_F(UiDialogs, CloseNoticeLayout) {
  CRecordingDC dc(360, 150);
  CCloseDlg::Paint(&dc, true);
  const auto texts = dc.Calls(DcOp::TextOut);
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0].text, "You tried to end the update prematurely.");
  EXPECT_EQ(texts[0].point, CPoint(180, 10));
  EXPECT_EQ(texts[1].point, CPoint(180, 30));
  EXPECT_EQ(texts[2].point, CPoint(180, 50));
  EXPECT_EQ(texts[3].text, "Cancel");
  EXPECT_EQ(texts[3].point, CPoint(180, 93));
  const auto frames = dc.Calls(DcOp::Draw3dRect);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].rect, CRect(143, 90, 218, 113));
  EXPECT_EQ(frames[0].color, RGB(0, 0, 0));
  EXPECT_EQ(frames[1].rect, CRect(144, 91, 217, 112));
  EXPECT_EQ(frames[1].color, RGB(128, 128, 128));
}

}  // namespace
