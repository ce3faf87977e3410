#include "tests/ui/support.h"

#include <cstdlib>
#include <filesystem>

#include "platform/gui/recording_dc.h"
#include "platform/gui/testing.h"
#include "platform/os/codepage.h"
#include "ui/catalogue.h"
#include "ui/log.h"
#include "ui/resources.h"

namespace uitest {

UiTest::UiTest() { gui::testing::EnsureApplication(); }

void UiTest::SetUp() {
  ui::RegisterResources();
  ui::SetLogSink({[this](std::string_view line) { m_log.emplace_back(line); }, [] { return true; }});
  for (FontTableEntry& entry : g_FontTable) entry.bFontUsable = false;
  CRecordingDC dc(8, 8);
  EnumFontFamiliesEx(&dc, DEFAULT_CHARSET, {}, CheckFontProc);
  g_strErrorLine1.Clear();
  g_strErrorLine2.Clear();
  UseLanguage("English");
  m_log.clear();
}

void UiTest::TearDown() {
  ui::SetLogSink({});
  ui::SetTextBufferAllocator(nullptr);
  g_strErrorLine1.Clear();
  g_strErrorLine2.Clear();
}

const LanguageRow& UiTest::Row(std::string_view englishName) {
  for (const LanguageRow& row : g_LanguageTable) {
    if (englishName == row.englishName) return row;
  }
  ADD_FAILURE() << "no language " << englishName;
  return EnglishLanguage();
}

void UiTest::UseLanguage(std::string_view englishName) {
  const LanguageRow& row = Row(englishName);
  g_nCharSet = row.charSet;
  g_nCodePage = row.codePage;
  LoadLanguageText(row.resourceId);
  SelectFontFace();
  g_strLanguageName = row.englishName;
}

bool UiTest::Logged(std::string_view line) const {
  for (const std::string& entry : m_log) {
    if (entry == line) return true;
  }
  return false;
}

ScopedLocale::ScopedLocale(const char* name) {
  if (const char* old = std::getenv("LC_ALL")) m_old = old;
  setenv("LC_ALL", name, 1);
}

ScopedLocale::~ScopedLocale() {
  if (m_old) setenv("LC_ALL", m_old->c_str(), 1);
  else unsetenv("LC_ALL");
}

std::string ToUtf8(UINT codePage, std::string_view text) {
  std::u16string wide;
  os::CodePageToWide(codePage, text, wide);
  std::string out;
  for (std::size_t i = 0; i < wide.size(); ++i) {
    char32_t c = wide[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size()) c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string FromUtf8(UINT codePage, std::string_view utf8) {
  std::u16string wide;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    char32_t c = b;
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    if (extra > 0) c = b & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k) c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += 1 + extra;
    if (c >= 0x10000) {
      c -= 0x10000;
      wide += static_cast<char16_t>(0xD800 + (c >> 10));
      wide += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      wide += static_cast<char16_t>(c);
    }
  }
  std::string out;
  os::WideToCodePage(codePage, wide, out);
  return out;
}

std::string ScreenshotDir() {
  const char* binary = std::getenv("VQ_BINARY_DIR");
  const std::filesystem::path dir = std::filesystem::path(binary ? binary : VQ_UI_BINARY_DIR) / "screenshots";
  std::filesystem::create_directories(dir);
  return dir.string();
}

}  // namespace uitest
