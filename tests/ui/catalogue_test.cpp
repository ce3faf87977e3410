// The language text catalogue: loading, line layout, code pages, and the failure paths.
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "platform/gui/resources.h"
#include "tests/ui/support.h"
#include "ui/catalogue.h"

namespace {

using uitest::UiTest;

class UiCatalogue : public UiTest {};

// A "LangText" resource made from UTF-16 text (with byte-order mark).
void RegisterLangText(int id, std::u16string_view text) {
  std::vector<std::uint8_t> bytes = {0xFF, 0xFE};
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  gui::RegisterResource("LANGTEXT", id, bytes);
}

std::u16string NumberedLines(int count, bool terminateLast) {
  std::u16string text;
  for (int k = 1; k <= count; ++k) {
    for (char c : "line " + std::to_string(k)) text += static_cast<char16_t>(c);
    if (k < count || terminateLast) text += u"\r\n";
  }
  return text;
}

std::vector<std::string> Snapshot() {
  std::vector<std::string> texts;
  for (const std::string* entry : g_apCatalogue) texts.push_back(*entry);
  return texts;
}

std::size_t NonEmptyTexts() {
  return static_cast<std::size_t>(std::count_if(g_apCatalogue.begin(), g_apCatalogue.end(),
                                                [](const std::string* t) { return !t->empty(); }));
}

std::unique_ptr<char[]> NoMemory(std::size_t) { return nullptr; }

// The lines of a built-in resource as UTF-16, byte-order mark dropped.
std::vector<std::u16string> ResourceLines(int id) {
  const gui::ResourceData data = gui::FindResource("LangText", id);
  std::u16string text;
  for (std::size_t i = 2; i + 1 < data.size; i += 2) text += static_cast<char16_t>(data.data[i] | data.data[i + 1] << 8);
  std::vector<std::u16string> lines;
  for (std::size_t end; (end = text.find(u"\r\n")) != std::u16string::npos; text.erase(0, end + 2)) {
    lines.push_back(text.substr(0, end));
  }
  return lines;
}

TEST_F(UiCatalogue, EnglishFillsTheNamedTexts) {
  ASSERT_EQ(LoadLanguageText(139), 1);
  EXPECT_EQ(g_strTitle, "UpdateTool");  // no converted byte-order mark in front
  EXPECT_EQ(g_strSelectLanguage, "Select your language ...");
  EXPECT_EQ(g_strInitLine1, "");
  EXPECT_EQ(g_strInitLine2, "Initialisation - please wait ...");
  EXPECT_EQ(g_strErrNoMemory, "Not enough memory available");
  EXPECT_EQ(g_strPressOnOff2, "");
  EXPECT_EQ(g_strAgreement13, "Additional terms you find in the file \"LicenceAgreement.txt\"");
  EXPECT_EQ(g_strAgreement14, "on the CD-ROM or in the internet.");
  EXPECT_TRUE(Logged("Looking for languagedata"));
  EXPECT_TRUE(Logged("Languagedata found"));
}

TEST_F(UiCatalogue, SeventyFourthEmptyLineChangesNothing) {
  std::u16string exact = NumberedLines(73, true);
  RegisterLangText(9001, exact);
  RegisterLangText(9002, exact + u"\r\n");
  LoadLanguageText(9001);
  const auto seventyThree = Snapshot();
  LoadLanguageText(9002);
  EXPECT_EQ(Snapshot(), seventyThree);
  EXPECT_EQ(g_strTitle, "line 1");
  EXPECT_EQ(g_strAgreement14, "line 73");
}

TEST_F(UiCatalogue, MissingAndUnterminatedLinesBecomeEmpty) {
  RegisterLangText(9003, NumberedLines(40, false));  // 39 terminated lines and an open 40th
  ASSERT_EQ(LoadLanguageText(9003), 1);
  EXPECT_EQ(*g_apCatalogue[38], "line 39");
  EXPECT_EQ(*g_apCatalogue[39], "");
  EXPECT_EQ(NonEmptyTexts(), 39u);
}

TEST_F(UiCatalogue, UnknownResourceGivesEmptyTexts) {
  EXPECT_EQ(LoadLanguageText(9999), 1);
  EXPECT_EQ(NonEmptyTexts(), 0u);
}

TEST_F(UiCatalogue, NextLanguageLeavesNoTraceOfThePrevious) {
  LoadLanguageText(139);
  const auto english = Snapshot();
  UseLanguage("Chinese Simplified");
  EXPECT_NE(Snapshot(), english);
  EXPECT_EQ(uitest::ToUtf8(936, g_strSelectLanguage), "请选择语言 ...");
  UseLanguage("English");
  EXPECT_EQ(Snapshot(), english);
}

TEST_F(UiCatalogue, CyrillicThroughWesternCodePageBecomesDefaultCharacters) {
  g_nCodePage = 1252;
  ASSERT_EQ(LoadLanguageText(140), 1);
  EXPECT_EQ(g_strTitle, "UpdateTool");
  EXPECT_EQ(g_strStart, "??????");  // "Начать"
  for (char c : g_strSelectLanguage) EXPECT_TRUE(c == '?' || c == ' ' || c == '.') << g_strSelectLanguage;
  EXPECT_FALSE(g_strAgreement03.empty());
  EXPECT_EQ(g_strPortsFound.find("COM"), 0u);
}

TEST_F(UiCatalogue, InvalidCodePageEmptiesEveryText) {
  g_nCodePage = 4711;
  EXPECT_EQ(LoadLanguageText(139), 1);
  EXPECT_EQ(NonEmptyTexts(), 0u);
  EXPECT_TRUE(Logged("Error on convert WideChar to Multibyte - Invalid Parameter Error-"));
}

TEST_F(UiCatalogue, FailedBufferRequestKeepsTheTextsAndShowsNoMemory) {
  UseLanguage("German");
  const auto german = Snapshot();
  g_strErrorLine2.Set("stale");
  ui::SetTextBufferAllocator(NoMemory);
  g_nCodePage = 1252;
  EXPECT_EQ(LoadLanguageText(139), 0);
  EXPECT_EQ(Snapshot(), german);
  EXPECT_EQ(g_strErrorLine1.Get(), g_strErrNoMemory);
  EXPECT_EQ(uitest::ToUtf8(1252, g_strErrorLine1.Get()), "Nicht genügend Speicher verfügbar");
  EXPECT_EQ(g_strErrorLine2.Get(), "");
  EXPECT_TRUE(Logged("Error on loading Text(No memory for malloc).\r\n"));
}

TEST_F(UiCatalogue, FailedFirstLoadLeavesAnEmptyErrorLine) {
  for (std::string* entry : g_apCatalogue) entry->clear();
  ui::SetTextBufferAllocator(NoMemory);
  EXPECT_EQ(LoadLanguageText(139), 0);
  EXPECT_EQ(g_strErrorLine1.Get(), "");
  EXPECT_EQ(NonEmptyTexts(), 0u);
}

// Every built-in language, converted with its own code page: the layout of the English resource
// and no character the code page lacks.
TEST_F(UiCatalogue, EveryLanguageHasTheLayoutAndFitsItsCodePage) {
  constexpr std::array<int, 8> kAlwaysEmpty = {15, 17, 26, 28, 31, 34, 38, 59};
  for (const LanguageRow& row : g_LanguageTable) {
    SCOPED_TRACE(row.englishName);
    UseLanguage(row.englishName);
    const std::vector<std::u16string> source = ResourceLines(row.resourceId);
    ASSERT_GE(source.size(), kCatalogueSize);
    for (int k = 1; k <= static_cast<int>(kCatalogueSize); ++k) {
      const std::string& text = *g_apCatalogue[k - 1];
      const auto questionMarks = std::count(source[k - 1].begin(), source[k - 1].end(), u'?');
      const bool mustBeEmpty = std::find(kAlwaysEmpty.begin(), kAlwaysEmpty.end(), k) != kAlwaysEmpty.end();
      if (mustBeEmpty) {
        EXPECT_EQ(text, "") << "line " << k;
      } else if (k < 59) {
        EXPECT_NE(text, "") << "line " << k;
      }
      EXPECT_EQ(std::count(text.begin(), text.end(), '?'), questionMarks)
          << "line " << k << ": " << uitest::ToUtf8(row.codePage, text);
    }
    EXPECT_EQ(g_strTitle, "UpdateTool");
  }
}

}  // namespace
