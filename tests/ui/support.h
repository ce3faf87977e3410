// Shared set-up of the presentation tests: the Qt application, the program's resources, a
// language loaded as the wizard would load it, and a log that the test can read.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "ui/language.h"

namespace uitest {

// Resources registered, application running, fonts enumerated (the font table's flags set for
// this machine), log captured.
class UiTest : public ::testing::Test {
 protected:
  UiTest();  // the application exists before the fixtures' members draw
  void SetUp() override;
  void TearDown() override;

  // Loads a language by its English list name as the user's choice would (character set, code
  // page, texts, font face).
  static void UseLanguage(std::string_view englishName);
  static const LanguageRow& Row(std::string_view englishName);
  const std::vector<std::string>& LogLines() const { return m_log; }
  bool Logged(std::string_view line) const;

 private:
  std::vector<std::string> m_log;
};

// Sets LC_ALL while it lives and puts the old value back.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name);
  ~ScopedLocale();
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;

 private:
  std::optional<std::string> m_old;
};

// Text in a code page as UTF-8 (for messages and comparisons).
std::string ToUtf8(UINT codePage, std::string_view text);
// UTF-8 text converted to a code page.
std::string FromUtf8(UINT codePage, std::string_view utf8);
// $VQ_BINARY_DIR/screenshots (created), else the build tree's screenshots/.
std::string ScreenshotDir();

}  // namespace uitest
