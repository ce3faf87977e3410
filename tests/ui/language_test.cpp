// Language preselection from the user's locale, the language list and the user's choice.
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

#include "platform/gui/controls.h"
#include "platform/gui/dialog.h"
#include "platform/gui/recording_dc.h"
#include "platform/gui/testing.h"
#include "tests/ui/support.h"
#include "ui/catalogue.h"
#include "ui/log.h"
#include "ui/resource_ids.h"

namespace {

using uitest::ScopedLocale;
using uitest::UiTest;

class UiLanguage : public UiTest {
 protected:
  void Detect(bool logOn) {
    ui::SetLogSink({[this](std::string_view line) { m_lines.emplace_back(line); }, [logOn] { return logOn; }});
    CRecordingDC dc(8, 8);
    DetectLanguage(&dc);
  }
  bool Saw(std::string_view line) const {
    for (const auto& l : m_lines) {
      if (l == line) return true;
    }
    return false;
  }
  // Runs action with a sorted drop-down list inside a shown dialog.
  static void WithList(const std::function<void(CComboBox&, CWnd&)>& action) {
    CDialog dialog(ui::IDD_CLOSE);
    gui::testing::OnNextModal([&](CDialog& shown) {
      CComboBox list;
      EXPECT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_SORT | CBS_DROPDOWNLIST, CRect(10, 10, 160, 90), &shown, 4000));
      action(list, shown);
      shown.EndDialog(IDCANCEL);
    });
    dialog.DoModal();
  }
  static std::string Entry(CComboBox& list, int index) {
    std::string text;
    list.GetLBText(index, text);
    return text;
  }
  std::vector<std::string> m_lines;
};

TEST_F(UiLanguage, StartUpLanguageFollowsThePrimaryLanguage) {
  struct Case {
    DWORD lcid;
    const char* language;
  };
  const Case cases[] = {
      {0x0407, "German"},  {0x0807, "German"},     {0x0804, "Chinese Simplified"}, {0x1004, "Chinese Simplified"},
      {0x0404, "Chinese Traditional"},             {0x0c04, "Chinese Traditional"}, {0x0416, "Brazilian"},
      {0x0816, "Portuguese"},                      {0x041a, "Croatian"},            {0x081a, "Croatian"},
      {0x040d, "Hebrew"},  {0x041e, "Thai"},       {0x0424, "Slovenian"},           {0x0409, "English"},
  };
  for (const Case& c : cases) {
    const LanguageRow* row = LanguageForLocale(c.lcid);
    ASSERT_NE(row, nullptr) << std::hex << c.lcid;
    EXPECT_STREQ(row->englishName, c.language) << std::hex << c.lcid;
  }
  EXPECT_EQ(LanguageForLocale(0x0411), nullptr);  // Japanese: not built in
  EXPECT_EQ(LanguageForLocale(0x0412), nullptr);
}

TEST_F(UiLanguage, DetectionLoadsTheUsersLanguage) {
  struct Case {
    const char* locale;
    const char* language;
    BYTE charSet;
    const char* logLine;
    const char* selectLanguage;  // line 2 as UTF-8
  };
  const Case cases[] = {
      {"de_DE.UTF-8", "German", 0, "Language text: German.txt", "Wählen Sie Ihre Sprache ..."},
      {"zh_CN.UTF-8", "Chinese Simplified", 134, "Language text: Chinese.txt", "请选择语言 ..."},
      {"zh_HK.UTF-8", "Chinese Traditional", 136, "Language text: ChineseT.txt", "請選擇語言 ..."},
      {"pt_BR.UTF-8", "Brazilian", 0, "Language text: Brazilian.txt", "Selecione o seu idioma ..."},
      {"pt_PT.UTF-8", "Portuguese", 0, "Language text: Portuguese.txt", "Seleccione o seu idioma ..."},
      {"ru_RU.UTF-8", "Russian", 204, "Language text: Russian.txt", "Выберите язык ..."},
      {"he_IL.UTF-8", "Hebrew", 177, "Language text: Hebrew.txt", "בחר את השפה שלך ..."},
      {"th_TH.UTF-8", "Thai", 222, "Language text: Thai.txt", "เลือกภาษาของคุณ ..."},
      {"ja_JP.UTF-8", "English", 0, "Default text: English.txt", "Select your language ..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.locale);
    ScopedLocale locale(c.locale);
    m_lines.clear();
    Detect(false);
    EXPECT_EQ(g_nCharSet, c.charSet);
    EXPECT_TRUE(Saw(c.logLine));
    EXPECT_EQ(uitest::ToUtf8(g_nCodePage, g_strSelectLanguage), c.selectLanguage);
    const char* face = c.charSet == 134 ? "SimSun" : c.charSet == 136 ? "MingLiU" : c.charSet == 222 ? "Angsana New" : "Arial";
    EXPECT_EQ(g_strFontFace, face);
  }
}

TEST_F(UiLanguage, SystemCodePageMarksOneFontEntry) {
  {
    ScopedLocale locale("ru_RU.UTF-8");
    Detect(false);
    EXPECT_EQ(g_nCodePage, 1251u);
    for (const FontTableEntry& entry : g_FontTable) EXPECT_EQ(entry.bSystemCodePage, entry.codePage == 1251) << entry.codePage;
  }
  {
    ScopedLocale locale("ja_JP.UTF-8");  // 932 is in no entry: the Western one counts as the system's
    Detect(false);
    EXPECT_EQ(g_nCodePage, 932u);
    for (const FontTableEntry& entry : g_FontTable) EXPECT_EQ(entry.bSystemCodePage, entry.charSet == ANSI_CHARSET);
  }
}

TEST_F(UiLanguage, LogOnRecordsTheSystemAndTheRealisedFace) {
  ScopedLocale locale("de_DE.UTF-8");
  Detect(true);
  EXPECT_TRUE(Saw("Codepage: 1252"));
  EXPECT_TRUE(Saw("Locale ID: 407h"));
  EXPECT_TRUE(Saw("Native Language Name: Deutsch"));
  ASSERT_FALSE(g_strFontFace.empty());
  EXPECT_NE(g_strFontFace, "Arial");  // the installed family that serves it
  EXPECT_TRUE(Saw("Selected Font: " + g_strFontFace));
}

TEST_F(UiLanguage, ListShowsTheSystemGroupNativelyAndPreselects) {
  ScopedLocale locale("de_DE.UTF-8");
  Detect(false);
  WithList([&](CComboBox& list, CWnd&) {
    FillLanguageList(list);
    EXPECT_EQ(Entry(list, list.GetCurSel()), "Deutsch");
    EXPECT_NE(list.FindString(-1, uitest::FromUtf8(1252, "Français")), CB_ERR);
    EXPECT_NE(list.FindString(-1, "English"), CB_ERR);
    EXPECT_NE(list.FindString(-1, "Brazilian"), CB_ERR);
    EXPECT_EQ(list.FindString(-1, "French"), CB_ERR);
    // Other groups by their English names, where this machine has a font for them.
    EXPECT_NE(list.FindString(-1, "Russian"), CB_ERR);
    EXPECT_NE(list.FindString(-1, "Greek"), CB_ERR);
    EXPECT_NE(list.FindString(-1, "Chinese Simplified"), CB_ERR);
    // Every language of a listed group, and only those.
    int listed = 0;
    for (const LanguageRow& row : g_LanguageTable) {
      for (const FontTableEntry& group : g_FontTable) {
        if (group.charSet == row.charSet && (group.bSystemCodePage || group.bFontUsable)) ++listed;
      }
    }
    EXPECT_EQ(list.GetCount(), listed);
    const bool arabicUsable = g_FontTable[4].bFontUsable;
    EXPECT_EQ(list.FindString(-1, "Arabic") != CB_ERR, arabicUsable);
  });
}

TEST_F(UiLanguage, ChoosingALanguageReloadsItsTexts) {
  ScopedLocale locale("de_DE.UTF-8");
  Detect(false);
  WithList([&](CComboBox& list, CWnd& view) {
    FillLanguageList(list);
    list.SetCurSel(list.FindString(-1, "Svenska"));
    ASSERT_NE(list.GetCurSel(), CB_ERR);
    EXPECT_EQ(SelectLanguageFromList(list, &view), 1);
    EXPECT_EQ(g_nCharSet, 0);
    EXPECT_EQ(g_nCodePage, 1252u);
    EXPECT_TRUE(Saw("Select language text: Swedish.txt"));
    EXPECT_EQ(uitest::ToUtf8(1252, g_strSelectLanguage), "Välj ditt språk ...");

    m_lines.clear();
    EXPECT_EQ(SelectLanguageFromList(list, &view), 1);  // the current one: nothing reloads
    EXPECT_TRUE(m_lines.empty());

    list.SetCurSel(list.FindString(-1, "Chinese Simplified"));
    EXPECT_EQ(SelectLanguageFromList(list, &view), 1);
    EXPECT_EQ(g_nCharSet, 134);
    EXPECT_EQ(g_nCodePage, 936u);
    EXPECT_EQ(g_strFontFace, "SimSun");
    EXPECT_TRUE(Saw("Select language text: ChineseS.txt"));

    list.SetCurSel(-1);
    EXPECT_EQ(SelectLanguageFromList(list, &view), 0);
    EXPECT_EQ(g_nCharSet, 134);
  });
}

TEST_F(UiLanguage, PortListSortsAsText) {
  std::array<bool, 12> ports{};
  ports[0] = ports[1] = ports[9] = ports[11] = true;
  WithList([&](CComboBox& list, CWnd&) {
    FillPortList(list, ports);
    ASSERT_EQ(list.GetCount(), 4);
    EXPECT_EQ(Entry(list, 0), "COM1");
    EXPECT_EQ(Entry(list, 1), "COM10");
    EXPECT_EQ(Entry(list, 2), "COM12");
    EXPECT_EQ(Entry(list, 3), "COM2");
    EXPECT_EQ(list.GetCurSel(), 0);
  });
}

}  // namespace
