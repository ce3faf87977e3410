// Every screen and both dialogs as a person sees them, in the languages of the screenshot list,
// saved under $VQ_BINARY_DIR/screenshots; and, for all 30 languages, every text inside the window
// and clear of the buttons.
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "platform/gui/controls.h"
#include "platform/gui/dialog.h"
#include "platform/gui/recording_dc.h"
#include "platform/gui/resources.h"
#include "platform/gui/testing.h"
#include "tests/ui/support.h"
#include "ui/catalogue.h"
#include "ui/close_dlg.h"
#include "ui/dib.h"
#include "ui/license_dlg.h"
#include "ui/resource_ids.h"
#include "ui/screens.h"
#include "ui/wizard_states.h"

namespace {

using uitest::UiTest;

struct Screen {
  const char* name;
  std::function<void(ui::WizardScreenValues&)> prepare;
};

const std::vector<Screen>& Screens() {
  static const std::vector<Screen> screens = {
      {"00_init", [](auto& v) { v.state = STATE_INIT; }},
      {"01_language", [](auto& v) { v.state = STATE_LANGUAGE; }},
      {"02_connect", [](auto& v) { v.state = STATE_CONNECT; v.continueDown = true; }},
      {"03_search", [](auto& v) { v.state = STATE_SEARCH; v.portCount = 3; v.portIndex = 1; v.progress = 33.4f; }},
      {"04_found", [](auto& v) { v.state = STATE_FOUND; v.portIndex = 3; }},
      {"05_erase", [](auto& v) { v.state = STATE_ERASE; v.progressPhase = 2; v.eraseDone = 50; v.eraseTotal = 100; }},
      {"06_transfer", [](auto& v) { v.state = STATE_TRANSFER; v.progressPhase = 7; v.transferDone = 564000; v.transferTotal = 1000000; }},
      {"07_test", [](auto& v) { v.state = STATE_TEST; }},
      {"08_success", [](auto& v) { v.state = STATE_RESULT; }},
      {"08_error", [](auto& v) {
         v.state = STATE_RESULT;
         g_strErrorLine1.Set(g_strErrBatteryLow);
         g_strErrorLine2.Set("3.412 V");
       }},
      {"10_not_found", [](auto& v) { v.state = STATE_NOT_FOUND; }},
      {"11_choose_port", [](auto& v) { v.state = STATE_CHOOSE_PORT; v.exitDown = true; }},
      {"12_manual_check", [](auto& v) { v.state = STATE_MANUAL_CHECK; }},
      {"13_press_on_off", [](auto& v) { v.state = STATE_PRESS_ON_OFF; }},
  };
  return screens;
}

struct ScreenshotLanguage {
  const char* name;
  const char* locale;  // a user of this language starts the wizard
};
const ScreenshotLanguage kScreenshotLanguages[] = {
    {"English", "en_US.UTF-8"}, {"German", "de_DE.UTF-8"}, {"Russian", "ru_RU.UTF-8"},
    {"Greek", "el_GR.UTF-8"},   {"Hebrew", "he_IL.UTF-8"}, {"Arabic", "ar_SA.UTF-8"},
    {"Thai", "th_TH.UTF-8"},    {"Chinese Simplified", "zh_CN.UTF-8"}, {"Chinese Traditional", "zh_TW.UTF-8"}};

std::string FileStem(std::string_view language) {
  std::string stem;
  for (char c : language) stem += c == ' ' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return stem;
}

class UiScreenshots : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    Attach(m_background, ui::IDB_BACKGROUND);
    Attach(m_phone, ui::IDB_PHONE_VQ20);
  }
  static void Attach(CDib& dib, int id) {
    const gui::ResourceData data = gui::FindResource(gui::RT_BITMAP, id);
    ASSERT_TRUE(dib.AttachMemory(data.data, FALSE, nullptr, data.size));
  }
  void PaintScreen(CRecordingDC& dc, const Screen& screen) {
    g_strErrorLine1.Clear();
    g_strErrorLine2.Clear();
    ui::WizardScreenValues values;
    screen.prepare(values);
    ui::DrawWizardScreen(&dc, values, {&m_background, values.state == STATE_INIT ? nullptr : &m_phone});
  }
  CDib m_background;
  CDib m_phone;
};

// A window laid out like the wizard view: its picture, the progress bar at (15, 400) and the
// drop-down list at (145, 370), painted by the screen code.
class ScreenHost : public CDialog {
 public:
  ScreenHost(const CDib& background, const CDib& phone, ui::WizardScreenValues values)
      : CDialog(ui::IDD_CLOSE), m_background(background), m_phone(phone), m_values(values) {}

 protected:
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    SetWindowPos(nullptr, 0, 0, 440, 429, SWP_NOMOVE | SWP_NOZORDER);
    m_progress.Create(WS_CHILD | PBS_SMOOTH, CRect(15, 400, 315, 420), this, ui::IDC_PROGRESS);
    m_progress.SetRange(0, 100);
    m_progress.SetBarColor(RGB(160, 211, 26));
    m_progress.SetBkColor(RGB(255, 255, 255));
    m_list.Create(WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_SORT | CBS_DROPDOWNLIST, CRect(145, 370, 295, 450), this, 4000);
    if (m_values.state == STATE_CHOOSE_PORT) {
      std::array<bool, 12> ports{};
      ports[0] = ports[2] = ports[9] = true;
      m_list.MoveWindow(145, 390, 150, 80);
      FillPortList(m_list, ports);
    } else {
      FillLanguageList(m_list);
    }
    return TRUE;
  }
  void OnPaint() override {
    CPaintDC dc(this);
    ui::WizardScreenValues values = m_values;
    ui::DrawWizardScreen(&dc, values, {&m_background, &m_phone, &m_progress, &m_list});
  }

 private:
  const CDib& m_background;
  const CDib& m_phone;
  ui::WizardScreenValues m_values;
  CProgressCtrl m_progress;
  CComboBox m_list;
};

// What the window shows, saved under the screenshot directory; the path, empty on failure.
std::string SaveWindow(CWnd& wnd, const std::string& name) {
  const std::string path = uitest::ScreenshotDir() + "/" + name + ".png";
  return gui::testing::Grab(wnd).SavePng(path) ? path : std::string();
}

bool Overlaps(const CRect& a, const CRect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

TEST_F(UiScreenshots, EveryScreenInEveryLanguageKeepsItsTextsInPlace) {
  const CRect buttons(250, 292, 430, 338);
  for (const LanguageRow& row : g_LanguageTable) {
    UseLanguage(row.englishName);
    for (const Screen& screen : Screens()) {
      SCOPED_TRACE(std::string(row.englishName) + " " + screen.name);
      CRecordingDC dc(440, 429);
      PaintScreen(dc, screen);
      for (const DcCall& text : dc.Calls(DcOp::TextOut)) {
        if (text.text.empty()) continue;
        const std::string what = uitest::ToUtf8(row.codePage, text.text);
        EXPECT_GE(text.rect.left, 2) << what;
        EXPECT_LE(text.rect.right, 438) << what;
        const bool label = text.point.y == 307;
        if (label) {
          EXPECT_GE(text.rect.left, text.point.x - 38) << what;  // inside the button face
          EXPECT_LE(text.rect.right, text.point.x + 38) << what;
        } else if (text.point.y > 100) {
          EXPECT_FALSE(Overlaps(text.rect, buttons)) << what;
        }
      }
    }
  }
}

TEST_F(UiScreenshots, DialogTextsKeepInsideInEveryLanguage) {
  for (const LanguageRow& row : g_LanguageTable) {
    SCOPED_TRACE(row.englishName);
    UseLanguage(row.englishName);
    CRecordingDC license(438, 400);
    CLicenseDlg::Paint(&license, true, false);
    const auto texts = license.Calls(DcOp::TextOut);
    for (std::size_t i = 4; i < texts.size(); ++i) {
      EXPECT_GE(texts[i].rect.left, 11) << uitest::ToUtf8(row.codePage, texts[i].text);
      EXPECT_LE(texts[i].rect.right, 419) << uitest::ToUtf8(row.codePage, texts[i].text);
      EXPECT_GE(texts[i].state.font.height, 12);
    }
    // The choice labels stay clear of the other choice's radio button and region.
    const bool rtl = g_nCharSet == HEBREW_CHARSET || g_nCharSet == ARABIC_CHARSET;
    EXPECT_LE(texts[1].rect.right, rtl ? 405 : 210) << uitest::ToUtf8(row.codePage, g_strAgree);
    EXPECT_GE(texts[1].rect.left, rtl ? 225 : 25);
    EXPECT_GE(texts[2].rect.left, 0);
    EXPECT_LE(texts[2].rect.right, 438);
    EXPECT_GE(texts[3].rect.left, 174);  // Continue inside its frame
    EXPECT_LE(texts[3].rect.right, 247);
    CRecordingDC close(360, 150);
    CCloseDlg::Paint(&close, false);
    for (const DcCall& text : close.Calls(DcOp::TextOut)) {
      EXPECT_GE(text.rect.left, 2) << uitest::ToUtf8(row.codePage, text.text);
      EXPECT_LE(text.rect.right, 350) << uitest::ToUtf8(row.codePage, text.text);
    }
  }
}

TEST_F(UiScreenshots, SavesEveryScreenAndBothDialogs) {
  const std::string dir = uitest::ScreenshotDir();
  for (const ScreenshotLanguage& language : kScreenshotLanguages) {
    uitest::ScopedLocale locale(language.locale);
    CRecordingDC probe(8, 8);
    DetectLanguage(&probe);
    const std::string stem = FileStem(language.name);
    for (const Screen& screen : Screens()) {
      CRecordingDC dc(440, 429);
      PaintScreen(dc, screen);
      EXPECT_TRUE(dc.SavePng(dir + "/screen_" + stem + "_" + screen.name + ".png")) << screen.name;
    }
    std::string saved;
    for (const char* name : {"01_language", "03_search", "11_choose_port"}) {
      for (const Screen& screen : Screens()) {
        if (std::string_view(screen.name) != name) continue;
        ui::WizardScreenValues values;
        screen.prepare(values);
        ScreenHost host(m_background, m_phone, values);
        gui::testing::OnNextModal([&](CDialog& shown) {
          gui::testing::ProcessEvents(50);
          saved = SaveWindow(shown, "view_" + stem + "_" + name);
          gui::testing::PressKey(shown, gui::testing::Key::Escape);
        });
        host.DoModal();
        EXPECT_FALSE(saved.empty()) << name;
      }
    }
    CLicenseDlg license;
    gui::testing::OnNextModal([&](CDialog& shown) {
      gui::testing::Click(shown, {60, 320});  // Agree, so that Continue shows enabled
      gui::testing::Click(shown, {380, 320});
      gui::testing::ProcessEvents(50);
      saved = SaveWindow(shown, "license_" + stem);
      gui::testing::PressKey(shown, gui::testing::Key::Escape);
    });
    license.DoModal();
    EXPECT_FALSE(saved.empty());
    CCloseDlg close;
    gui::testing::OnNextModal([&](CDialog& shown) {
      gui::testing::ProcessEvents(50);
      saved = SaveWindow(shown, "close_" + stem);
      gui::testing::PressKey(shown, gui::testing::Key::Escape);
    });
    close.DoModal();
    EXPECT_FALSE(saved.empty());
  }
}

}  // namespace
