// The painted wizard screens: which texts stand where, the buttons, the percentages.
#include <string>
#include <vector>

#include "platform/gui/recording_dc.h"
#include "tests/ui/support.h"
#include "ui/catalogue.h"
#include "ui/dib.h"
#include "ui/resource_ids.h"
#include "platform/gui/resources.h"
#include "ui/screens.h"
#include "ui/wizard_states.h"

namespace {

using uitest::UiTest;

struct Text {
  CPoint at;
  std::string text;
  bool operator==(const Text&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Text& t) { return os << "(" << t.at.x << "," << t.at.y << ") \"" << t.text << "\""; }

class UiScreens : public UiTest {
 protected:
  std::vector<Text> Paint(ui::WizardScreenValues& values, const ui::WizardScreenParts& parts = {}) {
    m_dc.Clear();
    ui::DrawWizardScreen(&m_dc, values, parts);
    std::vector<Text> texts;
    for (const DcCall& call : m_dc.Calls(DcOp::TextOut)) texts.push_back({call.point, call.text});
    return texts;
  }
  std::vector<Text> Paint(int state) {
    ui::WizardScreenValues values;
    values.state = state;
    return Paint(values);
  }
  // The frames drawn for buttons: outer frames only (80 x 42).
  std::vector<DcCall> ButtonFrames() const {
    std::vector<DcCall> frames;
    for (const DcCall& call : m_dc.Calls(DcOp::Draw3dRect)) {
      if (call.rect.Width() == 80 && call.rect.Height() == 42) frames.push_back(call);
    }
    return frames;
  }
  CRecordingDC m_dc{440, 429};
};

const Text kHeading{{110, 25}, "UpdateTool"};

TEST_F(UiScreens, EachScreenDrawsItsTextsAtTheirPlaces) {
  struct Case {
    int state;
    std::vector<Text> texts;
  };
  const std::vector<Case> cases = {
      {STATE_INIT, {kHeading, {{220, 340}, ""}, {{220, 360}, "Initialisation - please wait ..."}, {{220, 380}, ""}}},
      {STATE_LANGUAGE, {kHeading, {{220, 350}, "Select your language ..."}, {{340, 307}, "Start"}}},
      {STATE_CONNECT,
       {kHeading, {{220, 340}, "Switch your mobile phone off and on again and"},
        {{220, 360}, "then connect it to your PC via a data cable."}, {{220, 380}, "Updating will take about 15 minutes."},
        {{340, 307}, "Continue"}}},
      {STATE_RESULT,
       {kHeading, {{220, 340}, "The update was successful!"}, {{220, 360}, "You may now use the mobile phone again."},
        {{220, 380}, ""}, {{340, 307}, "Continue"}}},
      {STATE_NOT_FOUND,
       {kHeading, {{220, 340}, "The mobile phone was not found!"},
        {{220, 360}, "Would you like to try a manual update start?"}, {{291, 307}, "Continue"}, {{386, 307}, "Exit"}}},
      {STATE_CHOOSE_PORT,
       {kHeading, {{220, 340}, "Choose the COM port! Make sure that this is not already occupied"},
        {{220, 360}, "and that your mobile phone battery is not empty."}, {{291, 307}, "Continue"}, {{386, 307}, "Exit"}}},
      {STATE_MANUAL_CHECK, {kHeading, {{220, 340}, ""}, {{220, 360}, "Initialisation - please wait ..."}, {{220, 380}, ""}}},
      {STATE_PRESS_ON_OFF, {kHeading, {{220, 340}, "Press the ON/OFF key on your phone."}, {{220, 360}, ""}}},
      {9, {kHeading}},
      {14, {kHeading}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    EXPECT_EQ(Paint(c.state), c.texts);
  }
}

TEST_F(UiScreens, TextsAreCentredTransparentAndLabelsWhite) {
  Paint(STATE_CONNECT);
  const auto calls = m_dc.Calls(DcOp::TextOut);
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].state.font.weight, FW_BOLD);
  for (const DcCall& call : calls) {
    EXPECT_EQ(call.state.textAlign, TA_CENTER | TA_TOP);
    EXPECT_EQ(call.state.bkMode, TRANSPARENT);
    EXPECT_EQ(call.state.font.height, 16);
    EXPECT_EQ(call.state.font.face, g_strFontFace);
  }
  EXPECT_EQ(calls[1].state.font.weight, FW_NORMAL);
  EXPECT_EQ(calls[1].state.textColor, RGB(0, 0, 0));
  EXPECT_EQ(calls[4].state.textColor, RGB(255, 255, 255));
}

TEST_F(UiScreens, ErrorLinesTakeThePlaceOfTheScreensTexts) {
  g_strErrorLine1.Set("Not enough memory available");
  EXPECT_EQ(Paint(STATE_LANGUAGE),
            (std::vector<Text>{kHeading, {{220, 350}, "Not enough memory available"}, {{220, 370}, ""}, {{340, 307}, "Start"}}));
  g_strErrorLine2.Set("3.412 V");
  EXPECT_EQ(Paint(STATE_RESULT), (std::vector<Text>{kHeading, {{220, 350}, "Not enough memory available"},
                                                    {{220, 370}, "3.412 V"}, {{340, 307}, "Continue"}}));
  ui::WizardScreenValues search;
  search.state = STATE_SEARCH;
  EXPECT_EQ(Paint(search)[1], (Text{{220, 340}, "Searching for the mobile ..."}));  // the search ignores them
}

TEST_F(UiScreens, SearchLinesPutTheNumberOnTheReadingSide) {
  ui::WizardScreenValues values;
  values.state = STATE_SEARCH;
  values.portCount = 3;
  values.portIndex = 1;
  values.progress = 33.3333f;
  EXPECT_EQ(Paint(values), (std::vector<Text>{kHeading, {{220, 340}, "Searching for the mobile ..."},
                                              {{220, 360}, " 3 COM port(s) found"}, {{220, 380}, " Checking COM port 2 "},
                                              {{332, 400}, "33%"}}));
  UseLanguage("Hebrew");
  const auto texts = Paint(values);
  EXPECT_EQ(texts[2].text, g_strPortsFound + " 3 ");
  EXPECT_EQ(texts[3].text, "  2 " + g_strCheckingPort);
}

TEST_F(UiScreens, FoundLineNamesThePort) {
  ui::WizardScreenValues values;
  values.state = STATE_FOUND;
  values.portIndex = 3;
  EXPECT_EQ(Paint(values)[1], (Text{{220, 340}, "The mobile is found at COM4 "}));
  UseLanguage("Arabic");
  EXPECT_EQ(Paint(values)[1].text, " COM4 " + g_strFoundAt);
}

TEST_F(UiScreens, ProgressScreensComputeAndShowTheirPercentage) {
  struct Case {
    int state;
    int phase;
    DWORD done;
    DWORD total;
    float progress;
    const char* text;
  };
  const Case cases[] = {
      {STATE_ERASE, 2, 50, 100, 10.5f, "10%"},
      {STATE_ERASE, 3, 100, 100, 20.0f, "20%"},
      {STATE_ERASE, 1, 0, 0, 20.0f, "20%"},
      {STATE_ERASE, 2, 5, 0, 2.0f, "2%"},  // no total yet: the phase's start, not a division by 0
      {STATE_TRANSFER, 1, 32000, 0, 1.0f, "1%"},
      {STATE_TRANSFER, 7, 64000 + 500000, 1000000, 59.0f, "59%"},
      {STATE_TRANSFER, 7, 4100, 1000000, 20.0f, "20%"},  // fewer than 64000 bytes after the erase
      {STATE_TRANSFER, 7, 64000 + 1000000, 1000000, 98.0f, "98%"},
      {STATE_TEST, 0, 0, 0, 98.0f, "98%"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.state) + " phase " + std::to_string(c.phase) + " done " + std::to_string(c.done));
    ui::WizardScreenValues values;
    values.state = c.state;
    values.progressPhase = c.phase;
    values.eraseDone = static_cast<WORD>(c.done);
    values.eraseTotal = static_cast<WORD>(c.total);
    values.transferDone = c.done;
    values.transferTotal = c.total;
    const auto texts = Paint(values);
    EXPECT_FLOAT_EQ(values.progress, c.progress);
    EXPECT_EQ(texts.back(), (Text{{332, 400}, c.text}));
  }
}

TEST_F(UiScreens, PercentTextShowsTheIntegerPartWithinTheBar) {
  EXPECT_EQ(ui::PercentText(33.3333f), "33%");
  EXPECT_EQ(ui::PercentText(99.999f), "99%");
  EXPECT_EQ(ui::PercentText(1e30f), "100%");
  EXPECT_EQ(ui::PercentText(-5), "0%");
}

TEST_F(UiScreens, PressedButtonLooksPressedAloneAndFacesAreFilled) {
  ui::WizardScreenValues values;
  values.state = STATE_NOT_FOUND;
  values.continueDown = true;
  Paint(values);
  const auto frames = ButtonFrames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].rect, CRect(251, 294, 331, 336));
  EXPECT_EQ(frames[0].color, RGB(0, 0, 0));  // pressed: black all round
  EXPECT_EQ(frames[0].color2, RGB(0, 0, 0));
  EXPECT_EQ(frames[1].rect, CRect(346, 294, 426, 336));
  EXPECT_EQ(frames[1].color, RGB(255, 255, 255));  // raised
  EXPECT_EQ(frames[1].color2, RGB(0, 0, 0));
  const auto fills = m_dc.Calls(DcOp::FillRect);
  ASSERT_EQ(fills.size(), 2u);
  EXPECT_EQ(fills[0].rect, CRect(253, 296, 329, 334));
  EXPECT_EQ(fills[0].color, RGB(51, 152, 203));
  EXPECT_EQ(m_dc.GetPixel(290, 320), RGB(51, 152, 203));
}

TEST_F(UiScreens, ButtonRegionsIncludeTheirEnds) {
  EXPECT_TRUE(ui::InButtonPressRegion(300, {300, 294}));
  EXPECT_TRUE(ui::InButtonPressRegion(300, {380, 336}));
  EXPECT_FALSE(ui::InButtonPressRegion(300, {381, 336}));
  EXPECT_FALSE(ui::InButtonPressRegion(300, {300, 293}));
  EXPECT_TRUE(ui::InButtonCursorRegion(251, {254, 297}));
  EXPECT_TRUE(ui::InButtonCursorRegion(251, {328, 333}));
  EXPECT_FALSE(ui::InButtonCursorRegion(251, {253, 300}));
}

TEST_F(UiScreens, PicturesAreDrawnAtTheirOwnSize) {
  const gui::ResourceData background = gui::FindResource(gui::RT_BITMAP, ui::IDB_BACKGROUND);
  const gui::ResourceData phone = gui::FindResource(gui::RT_BITMAP, ui::IDB_PHONE_VQ20);
  CDib backgroundDib;
  CDib phoneDib;
  ASSERT_TRUE(backgroundDib.AttachMemory(background.data, FALSE, nullptr, background.size));
  ASSERT_TRUE(phoneDib.AttachMemory(phone.data, FALSE, nullptr, phone.size));
  CDib unattached;
  ui::WizardScreenValues values;
  values.state = STATE_INIT;
  Paint(values, {&backgroundDib, &unattached});
  auto draws = m_dc.Calls(DcOp::StretchDIBits);
  ASSERT_EQ(draws.size(), 1u);  // the phone picture is not there before the initialisation ends
  EXPECT_EQ(draws[0].rect, CRect(0, 0, 440, 429));
  Paint(values, {&backgroundDib, &phoneDib});
  draws = m_dc.Calls(DcOp::StretchDIBits);
  ASSERT_EQ(draws.size(), 2u);
  EXPECT_EQ(draws[1].rect.TopLeft(), CPoint(0, 209));
  EXPECT_EQ(draws[1].rect.Size(), phoneDib.GetSize());
}

TEST_F(UiScreens, OverlongErrorLineKeepsInsideTheWindow) {
  g_strErrorLine1.Set("f04 Update not possible, the software that was sent does not match the phone it was sent to");
  Paint(STATE_RESULT);
  const auto calls = m_dc.Calls(DcOp::TextOut);
  ASSERT_GE(calls.size(), 2u);
  EXPECT_GE(calls[1].rect.left, 0);
  EXPECT_LE(calls[1].rect.right, 440);
  EXPECT_LT(calls[1].state.font.height, 16);
}

}  // namespace
