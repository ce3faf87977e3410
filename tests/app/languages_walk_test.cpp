// The way from the start to the connect screen in every language the list offers: choose the
// language, Start, agree, and the connect screen shows that language's texts.
#include <string>

#include <gtest/gtest.h>

#include "app/wizard_globals.h"
#include "platform/gui/testing.h"
#include "tests/app/wizard_fixture.h"
#include "ui/catalogue.h"
#include "ui/language.h"

namespace {

namespace gt = gui::testing;

constexpr int kLanguages = 30;

class LanguageWalk : public apptest::WizardTest, public ::testing::WithParamInterface<int> {
 protected:
  // The text file the choice loaded, from its log line; "unchanged" when the choice was the
  // language already shown.
  static std::string ChosenLanguage(std::size_t logFrom) {
    const std::string log = apptest::ReadLog();
    const std::string marker = "Select language text: ";
    const std::size_t at = log.find(marker, logFrom);
    if (at == std::string::npos) return "unchanged";
    const std::size_t start = at + marker.size();
    return log.substr(start, log.find(".txt", start) - start);
  }
};

TEST_P(LanguageWalk, ChooseAgreeAndReachTheConnectScreen) {
  Initialise();
  ASSERT_EQ(g_nWizardState, STATE_LANGUAGE);
  CComboBox& list = view->List();
  ASSERT_EQ(list.GetCount(), kLanguages) << "a language is not offered: its font is missing";
  const std::size_t logFrom = apptest::ReadLog().size();
  gt::ChooseListEntry(list, GetParam());
  Settle();
  std::string entry;
  list.GetLBText(GetParam(), entry);
  EXPECT_EQ(g_strLanguageName, entry);
  std::string language = ChosenLanguage(logFrom);
  if (language == "unchanged") language = "English";  // the start-up language of the fixture
  Screenshot("walk/" + std::to_string(GetParam()) + "_" + language + "_language");

  const std::string englishConnect = "Switch your mobile phone off and on again and";
  apptest::AnswerNextAgreement(true, "walk/" + std::to_string(GetParam()) + "_" + language + "_agreement");
  gt::Click(*view, CPoint(340, 315));
  Settle();
  ASSERT_EQ(g_nWizardState, STATE_CONNECT) << language;
  EXPECT_FALSE(g_strConnectLine1.empty());
  EXPECT_EQ(g_strConnectLine1 == englishConnect, language == "English") << language;
  Screenshot("walk/" + std::to_string(GetParam()) + "_" + language + "_connect");
}

INSTANTIATE_TEST_SUITE_P(EveryListedLanguage, LanguageWalk, ::testing::Range(0, kLanguages));

}  // namespace
