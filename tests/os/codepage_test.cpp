#include "platform/os/codepage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

struct CodePageCase {
    std::uint32_t codePage;
    std::u16string text;     // words of the code page's languages
    char16_t probe;          // a character of the code page ...
    std::string probeBytes;  // ... and its bytes there
    char16_t lacking;        // a character the code page does not have
};

const CodePageCase kCodePages[] = {
    {874, u"ภาษาไทย", u'ก', "\xA1", u'Ж'},
    {936, u"中文简体", u'中', "\xD6\xD0", u'ก'},
    {950, u"中文繁體", u'中', "\xA4\xA4", u'ก'},
    {1250, u"čeština polski", u'č', "\xE8", u'Ж'},
    {1251, u"русский български", u'р', "\xF0", u'中'},
    {1252, u"français español", u'ç', "\xE7", u'Ж'},
    {1253, u"Ελληνικά", u'Ε', "\xC5", u'Ж'},
    {1254, u"Türkçe", u'ü', "\xFC", u'Ж'},
    {1255, u"עברית", u'ע', "\xF2", u'Ж'},
    {1256, u"العربية", u'ع', "\xDA", u'Ж'},
};

TEST(CodePage, EachCodePageRoundTripsItsTextAndTurnsWhatItLacksIntoQuestionMarks) {
    for (const auto& c : kCodePages) {
        SCOPED_TRACE(c.codePage);
        EXPECT_TRUE(os::IsValidCodePage(c.codePage));

        std::string bytes;
        ASSERT_TRUE(os::WideToCodePage(c.codePage, std::u16string(1, c.probe), bytes));
        EXPECT_EQ(bytes, c.probeBytes);

        const std::u16string mixed = u"A" + c.text + c.lacking + u"Z";
        ASSERT_TRUE(os::WideToCodePage(c.codePage, mixed, bytes));
        ASSERT_GE(bytes.size(), 3u);
        EXPECT_EQ(bytes.substr(bytes.size() - 2), "?Z");
        std::u16string back;
        ASSERT_TRUE(os::CodePageToWide(c.codePage, bytes, back));
        EXPECT_EQ(back, u"A" + c.text + u"?Z");
    }
}

TEST(CodePage, ACharacterOutsideTheBasicPlaneBecomesOneQuestionMark) {
    std::string bytes;
    ASSERT_TRUE(os::WideToCodePage(1252, u"a\U0001F600b", bytes));
    EXPECT_EQ(bytes, "a?b");
}

TEST(CodePage, BytesACodePageLeavesUndefinedBecomeQuestionMarks) {
    std::u16string text;
    ASSERT_TRUE(os::CodePageToWide(1253, "\xC5\xAA", text));  // 0xAA is undefined in 1253
    EXPECT_EQ(text, u"Ε?");
    ASSERT_TRUE(os::CodePageToWide(936, "\xD6", text));  // a lead byte cut off at the end
    EXPECT_EQ(text, u"?");
}

TEST(CodePage, AnUnknownCodePageIsRefused) {
    std::string bytes = "x";
    std::u16string text = u"x";
    EXPECT_FALSE(os::IsValidCodePage(4711));
    EXPECT_FALSE(os::WideToCodePage(4711, u"abc", bytes));
    EXPECT_FALSE(os::CodePageToWide(4711, "abc", text));
    EXPECT_TRUE(bytes.empty());
    EXPECT_TRUE(text.empty());
}

struct LocaleCase {
    const char* name;
    std::uint32_t lcid;
    std::uint32_t ansiCodePage;
};

TEST(Locale, LocaleNamesGiveTheLocaleIdAndItsAnsiCodePage) {
    const LocaleCase cases[] = {
        {"de_DE.UTF-8", 0x0407, 1252}, {"de_AT.UTF-8", 0x0c07, 1252},
        {"pt_BR.UTF-8", 0x0416, 1252}, {"pt_PT@euro", 0x0816, 1252},
        {"zh_CN.GB2312", 0x0804, 936}, {"zh_TW.Big5", 0x0404, 950},
        {"zh_HK", 0x0c04, 950},        {"ru_RU.KOI8-R", 0x0419, 1251},
        {"th_TH", 0x041e, 874},        {"ja_JP.UTF-8", 0x0411, 932},
        {"sv_FI", 0x081d, 1252},       {"hr_HR", 0x041a, 1250},
        {"tr_CY.UTF-8", 0x041f, 1254}, {"C", 0x0409, 1252},
        {"POSIX", 0x0409, 1252},       {"xx_YY", 0x0409, 1252},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(os::LocaleIdFromName(c.name), c.lcid);
        EXPECT_EQ(os::AnsiCodePageForLocale(c.lcid), c.ansiCodePage);
    }
}

TEST(Locale, TheFirstSetOfLcAllLcMessagesAndLangDecides) {
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    unsetenv("LANG");
    EXPECT_EQ(os::GetUserLocaleId(), 0x0409u);
    setenv("LANG", "el_GR.UTF-8", 1);
    EXPECT_EQ(os::GetUserLocaleId(), 0x0408u);
    EXPECT_EQ(os::GetSystemAnsiCodePage(), 1253u);
    setenv("LC_MESSAGES", "pl_PL.UTF-8", 1);
    EXPECT_EQ(os::GetUserLocaleId(), 0x0415u);
    setenv("LC_ALL", "", 1);  // empty counts as not set
    EXPECT_EQ(os::GetUserLocaleId(), 0x0415u);
    setenv("LC_ALL", "he_IL.UTF-8", 1);
    EXPECT_EQ(os::GetUserLocaleId(), 0x040du);
    EXPECT_EQ(os::GetSystemAnsiCodePage(), 1255u);
}

TEST(Locale, NativeLanguageNamesFollowThePrimaryLanguageAndTheChineseScript) {
    std::u16string name;
    ASSERT_TRUE(os::GetNativeLanguageName(0x0407, name));
    EXPECT_EQ(name, u"Deutsch");
    ASSERT_TRUE(os::GetNativeLanguageName(0x0c07, name));
    EXPECT_EQ(name, u"Deutsch");
    ASSERT_TRUE(os::GetNativeLanguageName(0x0804, name));
    EXPECT_EQ(name, u"中文(简体)");
    ASSERT_TRUE(os::GetNativeLanguageName(0x1004, name));
    EXPECT_EQ(name, u"中文(简体)");
    ASSERT_TRUE(os::GetNativeLanguageName(0x0c04, name));
    EXPECT_EQ(name, u"中文(繁體)");
    EXPECT_FALSE(os::GetNativeLanguageName(0x0436, name));  // Afrikaans: not in our table
}

TEST(Locale, EveryLanguageOfTheWizardHasANativeNameItsCodePageCanShow) {
    struct Language {
        std::uint32_t lcid;
        std::uint32_t codePage;
    };
    const Language languages[] = {
        {0x0001, 1256}, {0x0002, 1251}, {0x0003, 1252}, {0x0404, 950},  {0x0804, 936},
        {0x001a, 1250}, {0x0005, 1250}, {0x0006, 1252}, {0x0013, 1252}, {0x0009, 1252},
        {0x000b, 1252}, {0x000c, 1252}, {0x0007, 1252}, {0x0008, 1253}, {0x000d, 1255},
        {0x000e, 1250}, {0x0021, 1252}, {0x0010, 1252}, {0x003e, 1252}, {0x0014, 1252},
        {0x0015, 1250}, {0x0016, 1252}, {0x0019, 1251}, {0x000a, 1252}, {0x001b, 1250},
        {0x0024, 1250}, {0x001d, 1252}, {0x001e, 874},  {0x001f, 1254},
    };
    for (const auto& language : languages) {
        SCOPED_TRACE(language.lcid);
        char name[18];
        const std::uint32_t length =
            os::GetNativeLanguageNameA(language.lcid, language.codePage, name, sizeof name);
        ASSERT_GT(length, 0u);
        EXPECT_EQ(std::string(name).find('?'), std::string::npos) << name;
    }
}

TEST(Locale, ANativeNameCutToABufferKeepsWholeDoubleByteCharacters) {
    char name[4];
    EXPECT_EQ(os::GetNativeLanguageNameA(0x0804, 936, name, sizeof name), 2u);
    EXPECT_EQ(std::string(name), "\xD6\xD0");
    EXPECT_EQ(os::GetNativeLanguageNameA(0x0436, 1252, name, sizeof name), 0u);
    EXPECT_EQ(name[0], '\0');
}

}  // namespace
