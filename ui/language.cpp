#include "ui/language.h"

#include <cstdio>
#include <string_view>

#include "platform/gui/sysinfo.h"
#include "platform/os/codepage.h"
#include "ui/catalogue.h"
#include "ui/log.h"

BYTE g_nCharSet = 0;
UINT g_nCodePage = 0;
std::string g_strFontFace;
std::string g_strLanguageName;

std::array<FontTableEntry, kFontTableSize> g_FontTable = {{
    {ANSI_CHARSET, 1252, "Arial", false, false},
    {GB2312_CHARSET, 936, "SimSun", false, false},
    {CHINESEBIG5_CHARSET, 950, "MingLiU", false, false},
    {HEBREW_CHARSET, 1255, "Arial", false, false},
    {ARABIC_CHARSET, 1256, "Arial", false, false},
    {GREEK_CHARSET, 1253, "Arial", false, false},
    {TURKISH_CHARSET, 1254, "Arial", false, false},
    {THAI_CHARSET, 874, "Angsana New", false, false},
    {EASTEUROPE_CHARSET, 1250, "Arial", false, false},
    {RUSSIAN_CHARSET, 1251, "Arial", false, false},
}};

const std::array<LanguageRow, kLanguageCount> g_LanguageTable = {{
    {"Arabic", 0x0001, 138, ARABIC_CHARSET, 1256, "Arabic.txt", "Arabic.txt"},
    {"Bulgarian", 0x0002, 143, RUSSIAN_CHARSET, 1251, "Bulgarian.txt", "Bulgarian.txt"},
    {"Catalan", 0x0003, 144, ANSI_CHARSET, 1252, "Catalan.txt", "Catalan.txt"},
    {"Chinese Traditional", 0x0404, 145, CHINESEBIG5_CHARSET, 950, "ChineseT.txt", "ChineseT.txt"},
    {"Chinese Simplified", 0x0804, 141, GB2312_CHARSET, 936, "Chinese.txt", "ChineseS.txt"},
    {"Croatian", 0x001a, 146, EASTEUROPE_CHARSET, 1250, "Croatian.txt", "Croatian.txt"},
    {"Czech", 0x0005, 147, EASTEUROPE_CHARSET, 1250, "Czech.txt", "Czech.txt"},
    {"Danish", 0x0006, 148, ANSI_CHARSET, 1252, "Danish.txt", "Danish.txt"},
    {"Dutch", 0x0013, 149, ANSI_CHARSET, 1252, "Dutch.txt", "Dutch.txt"},
    {"English", 0x0009, 139, ANSI_CHARSET, 1252, "English.txt", "English.txt"},
    {"Finnish", 0x000b, 150, ANSI_CHARSET, 1252, "Finnish.txt", "Finnish.txt"},
    {"French", 0x000c, 151, ANSI_CHARSET, 1252, "French.txt", "French.txt"},
    {"German", 0x0007, 135, ANSI_CHARSET, 1252, "German.txt", "German.txt"},
    {"Greek", 0x0008, 152, GREEK_CHARSET, 1253, "Greek.txt", "Greek.txt"},
    {"Hebrew", 0x000d, 153, HEBREW_CHARSET, 1255, "Hebrew.txt", "Hebrew.txt"},
    {"Hungarian", 0x000e, 154, EASTEUROPE_CHARSET, 1250, "Hungarian.txt", "Hungarian.txt"},
    {"Indonesian", 0x0021, 155, ANSI_CHARSET, 1252, "Indonesian.txt", "Indonesian.txt"},
    {"Italian", 0x0010, 156, ANSI_CHARSET, 1252, "Italian.txt", "Italian.txt"},
    {"Malay", 0x003e, 157, ANSI_CHARSET, 1252, "Malay.txt", "Malay.txt"},
    {"Norwegian", 0x0014, 158, ANSI_CHARSET, 1252, "Norwegian.txt", "Norwegian.txt"},
    {"Polish", 0x0015, 159, EASTEUROPE_CHARSET, 1250, "Polish.txt", "Polish.txt"},
    {"Portuguese", 0x0016, 160, ANSI_CHARSET, 1252, "Portuguese.txt", "Portuguese.txt"},
    {"Brazilian", 0, 142, ANSI_CHARSET, 1252, "Brazilian.txt", "Brazilian.txt"},
    {"Russian", 0x0019, 140, RUSSIAN_CHARSET, 1251, "Russian.txt", "Russian.txt"},
    {"Spanish", 0x000a, 162, ANSI_CHARSET, 1252, "Spanish.txt", "Spanish.txt"},
    {"Slovak", 0x001b, 166, EASTEUROPE_CHARSET, 1250, "Slovak.txt", "Slovak.txt"},
    {"Slovenian", 0x0024, 161, EASTEUROPE_CHARSET, 1250, "Slovenian.txt", "Slovenian.txt"},
    {"Swedish", 0x001d, 163, ANSI_CHARSET, 1252, "Swedish.txt", "Swedish.txt"},
    {"Thai", 0x001e, 164, THAI_CHARSET, 874, "Thai.txt", "Thai.txt"},
    {"Turkish", 0x001f, 165, TURKISH_CHARSET, 1254, "Turkish.txt", "Turkish.txt"},
}};

namespace {

constexpr DWORD kLocaleChineseSimplified = 0x0804;
constexpr DWORD kLocaleChineseSingapore = 0x1004;
constexpr DWORD kLocaleBrazil = 0x0416;
constexpr int kMaxNativeName = 17;
constexpr int kMaxListText = 19;

const LanguageRow* FindRow(std::string_view englishName) {
  for (const LanguageRow& row : g_LanguageTable) {
    if (englishName == row.englishName) return &row;
  }
  return nullptr;
}

FontTableEntry* FindFontEntry(BYTE charSet) {
  for (FontTableEntry& entry : g_FontTable) {
    if (entry.charSet == charSet) return &entry;
  }
  return nullptr;
}

// The native name of a locale as the list shows it: converted with the system code page, at most
// 17 characters, first letter a..z turned to upper case. Empty when the system has none.
std::string NativeName(DWORD lcid) {
  if (lcid == 0) return {};
  char buffer[kMaxNativeName + 1] = {};
  if (os::GetNativeLanguageNameA(lcid, os::GetSystemAnsiCodePage(), buffer, sizeof buffer) == 0) return {};
  std::string name(buffer);
  if (!name.empty() && name[0] >= 'a' && name[0] <= 'z') name[0] = static_cast<char>(name[0] - 'a' + 'A');
  return name;
}

std::string ListName(const LanguageRow& row, bool native) {
  std::string name = native ? NativeName(row.lcid) : std::string();
  return name.empty() ? std::string(row.englishName) : name;
}

std::string Format(const char* format, long value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

void LogSystemVersion() {
  OSVERSIONINFO info;
  if (!GetVersionEx(&info)) info = OSVERSIONINFO{};
  if (!ui::LogEnabled()) return;
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "OS Version: \t%u.%u\r\n\t\tPlatformID: %u\r\n\t\tCSDVersion: %s",
                static_cast<unsigned>(info.dwMajorVersion), static_cast<unsigned>(info.dwMinorVersion),
                static_cast<unsigned>(info.dwPlatformId), info.szCSDVersion);
  ui::Log(buffer);
  const char* name = "OS: Win NT";
  if (info.dwPlatformId == VER_PLATFORM_WIN32s) {
    name = "OS: Win 3.1";
  } else if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
    if (info.dwMinorVersion == 0) name = "OS: Win 95";
    else if (info.dwMinorVersion < 90) name = std::string_view(info.szCSDVersion) == "A" ? "OS: Win 98SE" : "OS: Win 98";
    else name = "OS: Win ME";
  } else if (info.dwMajorVersion == 5) {
    name = info.dwMinorVersion == 0 ? "OS: Win 2000" : "OS: Win XP";
  }
  ui::Log(name);
}

DWORD PlatformId() {
  OSVERSIONINFO info;
  return GetVersionEx(&info) ? info.dwPlatformId : 0;
}

void MarkSystemCodePage() {
  for (FontTableEntry& entry : g_FontTable) entry.bSystemCodePage = false;
  FontTableEntry* entry = FindFontEntry(ANSI_CHARSET);
  for (FontTableEntry& candidate : g_FontTable) {
    if (candidate.codePage == g_nCodePage) entry = &candidate;
  }
  entry->bSystemCodePage = true;
}

// Outside the NT family a system shows either the double-byte Chinese sets or the others.
void RestrictToPlatform(DWORD platformId) {
  if (platformId == VER_PLATFORM_WIN32_NT) return;
  const bool eastAsian = g_nCodePage == 936 || g_nCodePage == 950 || g_nCodePage == 932 ||
                         g_nCodePage == 949 || g_nCodePage == 1361;
  for (FontTableEntry& entry : g_FontTable) {
    const bool chinese = entry.charSet == GB2312_CHARSET || entry.charSet == CHINESEBIG5_CHARSET;
    const bool western = entry.charSet == ANSI_CHARSET;
    if (eastAsian ? (!chinese && !western) : chinese) entry.bFontUsable = false;
  }
}

// When the log is on: the face the DC really uses for the wizard font becomes g_strFontFace.
void LogSelectedFont(CDC* pDC) {
  if (!ui::LogEnabled() || pDC == nullptr) return;
  CFont font;
  ui::CreateWizardFont(font, 16, FW_NORMAL);
  CFont* previous = pDC->SelectObject(&font);
  char face[256] = {};
  pDC->GetTextFace(sizeof face, face);
  pDC->SelectObject(previous);
  g_strFontFace = face;
  ui::Log("Selected Font: " + g_strFontFace);
}

CFont& ListFont() {
  static CFont font;
  return font;
}

void GiveListItsFont(CComboBox& list) {
  CFont& font = ListFont();
  font.DeleteObject();
  font.CreateFont(16, 0, 0, 0, FW_NORMAL, 0, 0, 0, g_nCharSet, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                  DEFAULT_QUALITY, DEFAULT_PITCH, g_strFontFace.c_str());
  list.SetFont(&font, TRUE);
  list.ResetContent();
}

}  // namespace

namespace ui {

void CreateWizardFont(CFont& font, int height, int weight) {
  font.CreateFont(height, 0, 0, 0, weight, 0, 0, 0, g_nCharSet, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                  DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, g_strFontFace.c_str());
}

}  // namespace ui

const LanguageRow& EnglishLanguage() { return *FindRow("English"); }

const LanguageRow* LanguageForLocale(DWORD lcid) {
  const DWORD primary = lcid & 0xFF;
  if (primary == 0x04) {
    const bool simplified = lcid == kLocaleChineseSimplified || lcid == kLocaleChineseSingapore;
    return FindRow(simplified ? "Chinese Simplified" : "Chinese Traditional");
  }
  if (primary == 0x16) return FindRow(lcid == kLocaleBrazil ? "Brazilian" : "Portuguese");
  for (const LanguageRow& row : g_LanguageTable) {
    if (row.lcid != 0 && row.lcid == primary) return &row;
  }
  return nullptr;
}

int CheckFontProc(const EnumeratedFont& font) {
  for (FontTableEntry& entry : g_FontTable) {
    if (entry.charSet == font.charSet && font.face.find(entry.face) != std::string::npos &&
        os::IsValidCodePage(entry.codePage)) {
      entry.bFontUsable = true;
    }
  }
  return 1;
}

void SelectFontFace() {
  const FontTableEntry* entry = FindFontEntry(g_nCharSet);
  g_strFontFace = entry != nullptr && entry->bFontUsable ? entry->face : "";
}

void DetectLanguage(CDC* pDC) {
  LogSystemVersion();
  g_nCodePage = os::GetSystemAnsiCodePage();
  const DWORD lcid = os::GetUserLocaleId();
  g_strLanguageName = NativeName(lcid);
  if (ui::LogEnabled()) {
    ui::Log(Format("Codepage: %ld", static_cast<long>(g_nCodePage)));
    ui::Log(Format("Locale ID: %lxh", static_cast<long>(lcid)));
    ui::Log("Native Language Name: " + g_strLanguageName);
  }
  MarkSystemCodePage();
  for (FontTableEntry& entry : g_FontTable) entry.bFontUsable = false;
  EnumFontFamiliesEx(pDC, DEFAULT_CHARSET, {}, CheckFontProc);
  RestrictToPlatform(PlatformId());

  const LanguageRow* row = LanguageForLocale(lcid);
  if (row != nullptr) {
    ui::Log(std::string("Language text: ") + row->logName);
  } else {
    row = &EnglishLanguage();
    ui::Log("Default text: English.txt");
  }
  g_nCharSet = row->charSet;
  LoadLanguageText(row->resourceId);
  SelectFontFace();
  LogSelectedFont(pDC);
}

void FillLanguageList(CComboBox& list) {
  GiveListItsFont(list);
  const LanguageRow& english = EnglishLanguage();
  list.AddString(ListName(english, true));
  for (const FontTableEntry& group : g_FontTable) {
    if (!group.bSystemCodePage && !group.bFontUsable) continue;
    for (const LanguageRow& row : g_LanguageTable) {
      if (row.charSet != group.charSet || &row == &english) continue;
      list.AddString(ListName(row, group.bSystemCodePage));
    }
  }
  list.SelectString(-1, g_strLanguageName);
}

void FillPortList(CComboBox& list, const std::array<bool, 12>& portAvailable) {
  GiveListItsFont(list);
  for (std::size_t port = 0; port < portAvailable.size(); ++port) {
    if (portAvailable[port]) list.AddString("COM" + std::to_string(port + 1));
  }
  list.SelectString(-1, "COM");
}

int SelectLanguageFromList(CComboBox& list, CWnd* pView) {
  const int index = list.GetCurSel();
  if (index == CB_ERR) return 0;
  char buffer[kMaxListText + 1] = {};
  list.GetLBText(index, buffer, sizeof buffer);
  const std::string chosen = buffer;
  if (chosen == g_strLanguageName) return 1;
  g_strLanguageName = chosen;

  const LanguageRow* match = nullptr;
  for (const LanguageRow& row : g_LanguageTable) {
    const std::string native = NativeName(row.lcid);
    if ((!native.empty() && native == chosen) || chosen == row.englishName) {
      match = &row;
      break;
    }
  }
  if (match != nullptr) {
    g_nCharSet = match->charSet;
    g_nCodePage = match->codePage;
    ui::Log(std::string("Select language text: ") + match->choiceLogName);
    LoadLanguageText(match->resourceId);
  } else {
    g_nCharSet = ANSI_CHARSET;
    g_nCodePage = 1252;
    ui::Log("Select default text: English.txt");
    LoadLanguageText(EnglishLanguage().resourceId);
  }
  SelectFontFace();
  if (pView != nullptr) {
    if (ui::LogEnabled()) {
      CClientDC dc(pView);
      LogSelectedFont(&dc);
    }
    pView->Invalidate();
  }
  return 1;
}
