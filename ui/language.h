// Language selection and fonts: the start-up preselection from the user's locale, the language
// list of the language screen, the user's choice, and the font face every text is drawn with.
// Window thread only.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "platform/gui/controls.h"
#include "platform/gui/gdi.h"
#include "platform/gui/types.h"

// Character set of every font the screens and dialogs create (initially 0).
extern BYTE g_nCharSet;
// Code page the language texts are converted with (system ANSI code page at start-up).
extern UINT g_nCodePage;
// Face of every font; empty lets the system pick one for g_nCharSet.
extern std::string g_strFontFace;
// The current language as the list shows it.
extern std::string g_strLanguageName;

// One character set the wizard can show, and whether this system can show it.
struct FontTableEntry {
  BYTE charSet;
  UINT codePage;
  const char* face;
  bool bSystemCodePage;  // its code page is the system's (exactly one entry)
  bool bFontUsable;      // a font of the face is installed and the code page is valid
};
inline constexpr std::size_t kFontTableSize = 10;
// Western, GB2312, Big5, Hebrew, Arabic, Greek, Turkish, Thai, Central European, Cyrillic.
extern std::array<FontTableEntry, kFontTableSize> g_FontTable;

struct LanguageRow {
  const char* englishName;  // list name where no native name is shown
  DWORD lcid;               // locale whose native name the list shows; 0: English name only
  WORD resourceId;          // "LangText" resource
  BYTE charSet;
  UINT codePage;
  const char* logName;        // behind "Language text: " at start-up
  const char* choiceLogName;  // behind "Select language text: " on a choice
};
inline constexpr std::size_t kLanguageCount = 30;
// In the order in which a choice is matched.
extern const std::array<LanguageRow, kLanguageCount> g_LanguageTable;

// The row the start-up preselects for a user locale; nullptr when its primary language is not
// in the table (English is then used).
const LanguageRow* LanguageForLocale(DWORD lcid);
const LanguageRow& EnglishLanguage();

// Start-up: code page, locale, font table, texts and font face (needs a DC for the fonts).
void DetectLanguage(CDC* pDC);
// Font enumeration callback: marks the entries the font can serve. Always asks for more.
int CheckFontProc(const EnumeratedFont& font);
// g_strFontFace from g_nCharSet and the font table.
void SelectFontFace();
// Fills the language list (sorted drop-down list) and selects the current language.
void FillLanguageList(CComboBox& list);
// The port-choice screen's content of the same list: "COM1".."COM12" for the available ports,
// the first entry selected.
void FillPortList(CComboBox& list, const std::array<bool, 12>& portAvailable);
// Applies the list's selection: 0 when nothing is selected, else 1. Repaints pView when the
// language changed.
int SelectLanguageFromList(CComboBox& list, CWnd* pView);

namespace ui {
// A font of the wizard: height, weight, g_nCharSet, swiss family, g_strFontFace.
void CreateWizardFont(CFont& font, int height, int weight);
}  // namespace ui
