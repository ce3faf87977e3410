// The controls the wizard uses: the sorted drop-down list, the progress bar.
#include <gtest/gtest.h>

#include "tests/gui/test_windows.h"

using namespace guitest;
namespace gt = gui::testing;

namespace {

constexpr UINT kComboId = 1200;
constexpr UINT kBarId = 1201;

class ControlsTest : public FrameFixture {
 protected:
  void SetUp() override {
    FrameFixture::SetUp();
    ASSERT_TRUE(combo.Create(WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_SORT | CBS_DROPDOWNLIST,
                             CRect(145, 370, 295, 450), view, kComboId));
    font.CreateFont(16, 0, 0, 0, FW_NORMAL, 0, 0, 0, RUSSIAN_CHARSET, 0, 0, 0, FF_SWISS, "Arial");
    combo.SetFont(&font);
  }
  void TearDown() override {
    combo.DestroyWindow();
    FrameFixture::TearDown();
  }
  std::vector<std::string> Entries() {
    std::vector<std::string> out;
    for (int i = 0; i < combo.GetCount(); ++i) {
      std::string text;
      combo.GetLBText(i, text);
      out.push_back(text);
    }
    return out;
  }

  CComboBox combo;
  CFont font;
};

TEST_F(ControlsTest, SortedListOrdersByTextIgnoringCase) {
  for (const char* port : {"COM2", "COM12", "COM1", "COM10", "COM9"}) combo.AddString(port);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"COM1", "COM10", "COM12", "COM2", "COM9"}));
  combo.ResetContent();
  for (const char* name : {"english", "Deutsch", "Dansk", "ENGLISH2"}) combo.AddString(name);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"Dansk", "Deutsch", "english", "ENGLISH2"}));
  EXPECT_EQ(combo.GetCurSel(), CB_ERR) << "adding selects nothing";
}

TEST_F(ControlsTest, PrefixSearchIgnoresCaseAndWrapsAfterTheStart) {
  for (const char* name : {"Deutsch", "Dansk", "English", "Espa\xF1ol"}) combo.AddString(name);
  EXPECT_EQ(combo.FindString(-1, "de"), 1);
  EXPECT_EQ(combo.FindString(-1, "E"), 2);
  EXPECT_EQ(combo.FindString(2, "e"), 3);
  EXPECT_EQ(combo.FindString(3, "e"), 2) << "wraps to the start";
  EXPECT_EQ(combo.FindString(-1, "Suomi"), CB_ERR);
  EXPECT_EQ(combo.SelectString(-1, "ENGL"), 2);
  EXPECT_EQ(combo.GetCurSel(), 2);
  EXPECT_EQ(combo.SelectString(-1, "xx"), CB_ERR);
  EXPECT_EQ(combo.GetCurSel(), 2) << "a failed search keeps the selection";
  EXPECT_EQ(combo.SetCurSel(7), CB_ERR);
  EXPECT_EQ(combo.GetCurSel(), CB_ERR);
}

TEST_F(ControlsTest, CodePageTextComesBackAsGivenAndCutToTheBuffer) {
  const std::string russian = "\xD0\xF3\xF1\xF1\xEA\xE8\xE9";  // Русский in code page 1251
  combo.AddString(russian);
  combo.AddString("English");
  EXPECT_EQ(combo.FindString(-1, "\xF0\xF3"), 1) << "prefix compared as Cyrillic, ignoring case";
  std::string text;
  EXPECT_EQ(combo.GetLBText(1, text), 7);
  EXPECT_EQ(text, russian);
  char small[4];
  EXPECT_EQ(combo.GetLBText(1, small, sizeof small), 3);
  EXPECT_EQ(std::string(small), russian.substr(0, 3));
  EXPECT_EQ(combo.GetLBText(5, text), CB_ERR);
  EXPECT_EQ(combo.GetLBTextLen(0), 7);
}

TEST_F(ControlsTest, UserChoiceNotifiesTheParentButSelectionByTheProgramDoesNot) {
  combo.AddString("A");
  combo.AddString("B");
  view->received.clear();
  combo.SetCurSel(1);
  EXPECT_TRUE(view->received.empty());
  gt::ChooseListEntry(combo, 0);
  ASSERT_EQ(view->received.size(), 1u);
  EXPECT_EQ(view->received[0].message, WM_COMMAND);
  EXPECT_EQ(LOWORD(view->received[0].wParam), kComboId);
  EXPECT_EQ(HIWORD(view->received[0].wParam), CBN_SELCHANGE);
  EXPECT_EQ(reinterpret_cast<HWND>(view->received[0].lParam), combo.GetSafeHwnd());
  EXPECT_EQ(combo.GetCurSel(), 0);
}

TEST_F(ControlsTest, EnterInTheListReachesTheViewsDefaultButton) {
  view->received.clear();
  gt::PressKey(combo, gt::Key::Enter);
  ASSERT_EQ(view->received.size(), 1u);
  EXPECT_EQ(LOWORD(view->received[0].wParam), kDefaultButton);
}

TEST_F(ControlsTest, ListMovesHidesAndShows) {
  combo.ShowWindow(SW_HIDE);
  EXPECT_FALSE(combo.IsWindowVisible());
  combo.SetWindowPos(&CWnd::wndBottom, 145, 390, 150, 80, SWP_SHOWWINDOW);
  EXPECT_TRUE(combo.IsWindowVisible());
  CRect r;
  combo.GetWindowRect(&r);
  CRect view0;
  view->GetWindowRect(&view0);
  EXPECT_EQ(r.left - view0.left, 145);
  EXPECT_EQ(r.top - view0.top, 390);
  EXPECT_EQ(r.Width(), 150);
  EXPECT_LT(r.Height(), 80) << "closed, the list is as high as its font needs";
  gt::SaveScreenshot(*view, "gui_controls");
}

TEST_F(ControlsTest, ProgressBarClampsToItsRangeAndShowsItsColours) {
  CProgressCtrl bar;
  ASSERT_TRUE(bar.Create(WS_CHILD | WS_VISIBLE | PBS_SMOOTH, CRect(15, 400, 315, 420), view, kBarId));
  bar.SetRange(0, 100);
  bar.SetBarColor(RGB(160, 211, 26));
  bar.SetBkColor(RGB(255, 255, 255));
  EXPECT_EQ(bar.SetPos(50), 0);
  EXPECT_EQ(bar.SetPos(150), 50);
  EXPECT_EQ(bar.GetPos(), 100);
  bar.SetPos(50);
  int lower = -1, upper = -1;
  bar.GetRange(lower, upper);
  EXPECT_EQ(lower, 0);
  EXPECT_EQ(upper, 100);
  gt::ProcessEvents(20);
  gt::WindowImage image = gt::Grab(*view);
  gt::SaveScreenshot(*view, "gui_progress");
  EXPECT_EQ(image.CountDiffering(CRect(20, 405, 150, 415), RGB(160, 211, 26), 8), 0) << "the done half";
  EXPECT_EQ(image.CountDiffering(CRect(180, 405, 310, 415), RGB(255, 255, 255), 8), 0) << "the rest";
}

}  // namespace
