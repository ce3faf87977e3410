#include "platform/os/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace os {
namespace {

const char* const kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

std::string IconvName(std::uint32_t codePage) {
    return "CP" + std::to_string(codePage);
}

// An iconv descriptor that closes itself.
class Converter {
public:
    Converter(const std::string& to, const std::string& from)
        : cd_(iconv_open(to.c_str(), from.c_str())) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts input, writing '?' (in the target's form) for every unit of unitSize input bytes
    // that starts a sequence the conversion cannot take.
    std::string run(const char* input, std::size_t length, std::size_t unitSize,
                    std::string_view question) {
        std::string out;
        char buffer[256];
        char* in = const_cast<char*>(input);
        std::size_t left = length;
        while (left > 0) {
            char* dst = buffer;
            std::size_t room = sizeof buffer;
            const std::size_t result = iconv(cd_, &in, &left, &dst, &room);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (result != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
            out.append(question);  // EILSEQ: not in the target; EINVAL: cut off at the end
            const std::size_t skip = std::min(SkipLength(in, left, unitSize), left);
            in += skip;
            left -= skip;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        char* dst = buffer;
        std::size_t room = sizeof buffer;
        iconv(cd_, nullptr, nullptr, &dst, &room);  // flushes a stateful converter
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        return out;
    }

private:
    // A UTF-16 surrogate pair is skipped whole, so that it becomes a single '?'.
    static std::size_t SkipLength(const char* in, std::size_t left, std::size_t unitSize) {
        if (unitSize != 2 || left < 4) return unitSize;
        char16_t unit;
        std::memcpy(&unit, in, 2);
        char16_t next;
        std::memcpy(&next, in + 2, 2);
        const bool pair = unit >= 0xD800 && unit < 0xDC00 && next >= 0xDC00 && next < 0xE000;
        return pair ? 4 : 2;
    }

    iconv_t cd_;
};

struct LanguageInfo {
    const char* code;        // ISO 639-1
    std::uint16_t lcid;      // the language's locale when the territory is not listed below
    std::uint16_t codePage;  // the Windows ANSI code page of the language
    const char16_t* nativeName;
};

constexpr LanguageInfo kLanguages[] = {
    {"ar", 0x0401, 1256, u"العربية"},
    {"bg", 0x0402, 1251, u"български"},
    {"ca", 0x0403, 1252, u"català"},
    {"zh", 0x0804, 936, nullptr},
    {"cs", 0x0405, 1250, u"čeština"},
    {"da", 0x0406, 1252, u"dansk"},
    {"de", 0x0407, 1252, u"Deutsch"},
    {"el", 0x0408, 1253, u"Ελληνικά"},
    {"en", 0x0409, 1252, u"English"},
    {"es", 0x0c0a, 1252, u"español"},
    {"fi", 0x040b, 1252, u"suomi"},
    {"fr", 0x040c, 1252, u"français"},
    {"he", 0x040d, 1255, u"עברית"},
    {"iw", 0x040d, 1255, u"עברית"},
    {"hu", 0x040e, 1250, u"magyar"},
    {"it", 0x0410, 1252, u"italiano"},
    {"ja", 0x0411, 932, u"日本語"},
    {"ko", 0x0412, 949, u"한국어"},
    {"nl", 0x0413, 1252, u"Nederlands"},
    {"nb", 0x0414, 1252, u"norsk"},
    {"no", 0x0414, 1252, u"norsk"},
    {"nn", 0x0814, 1252, u"norsk"},
    {"pl", 0x0415, 1250, u"polski"},
    {"pt", 0x0816, 1252, u"português"},
    {"ru", 0x0419, 1251, u"русский"},
    {"hr", 0x041a, 1250, u"hrvatski"},
    {"sk", 0x041b, 1250, u"slovenčina"},
    {"sv", 0x041d, 1252, u"svenska"},
    {"th", 0x041e, 874, u"ไทย"},
    {"tr", 0x041f, 1254, u"Türkçe"},
    {"id", 0x0421, 1252, u"Bahasa Indonesia"},
    {"sl", 0x0424, 1250, u"slovenski"},
    {"ms", 0x043e, 1252, u"Bahasa Melayu"},
};

struct TerritoryLocale {
    const char* languageAndTerritory;
    std::uint16_t lcid;
};

constexpr TerritoryLocale kTerritories[] = {
    {"zh_TW", 0x0404}, {"zh_CN", 0x0804}, {"zh_HK", 0x0c04}, {"zh_SG", 0x1004}, {"zh_MO", 0x1404},
    {"pt_BR", 0x0416}, {"pt_PT", 0x0816}, {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0c09},
    {"en_CA", 0x1009}, {"en_NZ", 0x1409}, {"en_IE", 0x1809}, {"de_CH", 0x0807}, {"de_AT", 0x0c07},
    {"de_LU", 0x1007}, {"fr_BE", 0x080c}, {"fr_CA", 0x0c0c}, {"fr_CH", 0x100c}, {"fr_LU", 0x140c},
    {"it_CH", 0x0810}, {"nl_BE", 0x0813}, {"sv_FI", 0x081d}, {"es_MX", 0x080a}, {"es_ES", 0x0c0a},
    {"ar_SA", 0x0401}, {"ar_EG", 0x0c01}, {"ms_MY", 0x043e}, {"ms_BN", 0x083e},
};

constexpr std::uint32_t kEnglishUnitedStates = 0x0409;
constexpr std::uint32_t kChinesePrimary = 0x04;

const LanguageInfo* FindLanguage(std::string_view code) {
    for (const auto& language : kLanguages)
        if (code == language.code) return &language;
    return nullptr;
}

const LanguageInfo* FindLanguageByLcid(std::uint32_t lcid) {
    const std::uint32_t primary = lcid & 0x3ff;
    for (const auto& language : kLanguages)
        if ((language.lcid & 0x3ffu) == primary) return &language;
    return nullptr;
}

bool IsSimplifiedChinese(std::uint32_t lcid) {
    return lcid == 0x0804 || lcid == 0x1004;
}

}  // namespace

bool IsValidCodePage(std::uint32_t codePage) {
    return Converter(IconvName(codePage), kUtf16).ok() &&
           Converter(kUtf16, IconvName(codePage)).ok();
}

bool WideToCodePage(std::uint32_t codePage, std::u16string_view text, std::string& out) {
    out.clear();
    Converter converter(IconvName(codePage), kUtf16);
    if (!converter.ok()) return false;
    out = converter.run(reinterpret_cast<const char*>(text.data()), text.size() * 2, 2, "?");
    return true;
}

bool CodePageToWide(std::uint32_t codePage, std::string_view text, std::u16string& out) {
    out.clear();
    Converter converter(kUtf16, IconvName(codePage));
    if (!converter.ok()) return false;
    const char16_t question = u'?';
    const std::string bytes = converter.run(
        text.data(), text.size(), 1, std::string_view(reinterpret_cast<const char*>(&question), 2));
    out.resize(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return true;
}

std::uint32_t LocaleIdFromName(std::string_view localeName) {
    const std::size_t end = localeName.find_first_of(".@");
    const std::string_view base = localeName.substr(0, end);
    const std::string_view language = base.substr(0, base.find('_'));
    for (const auto& territory : kTerritories)
        if (base == territory.languageAndTerritory) return territory.lcid;
    const LanguageInfo* info = FindLanguage(language);
    return info != nullptr ? info->lcid : kEnglishUnitedStates;
}

std::uint32_t AnsiCodePageForLocale(std::uint32_t lcid) {
    if ((lcid & 0x3ff) == kChinesePrimary) return IsSimplifiedChinese(lcid) ? 936 : 950;
    const LanguageInfo* info = FindLanguageByLcid(lcid);
    return info != nullptr ? info->codePage : 1252;
}

std::uint32_t GetUserLocaleId() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return LocaleIdFromName(value);
    }
    return kEnglishUnitedStates;
}

std::uint32_t GetSystemAnsiCodePage() {
    return AnsiCodePageForLocale(GetUserLocaleId());
}

bool GetNativeLanguageName(std::uint32_t lcid, std::u16string& out) {
    out.clear();
    if ((lcid & 0x3ff) == kChinesePrimary) {
        out = IsSimplifiedChinese(lcid) ? u"中文(简体)" : u"中文(繁體)";
        return true;
    }
    const LanguageInfo* info = FindLanguageByLcid(lcid);
    if (info == nullptr || info->nativeName == nullptr) return false;
    out = info->nativeName;
    return true;
}

std::uint32_t GetNativeLanguageNameA(std::uint32_t lcid, std::uint32_t codePage, char* out,
                                     std::uint32_t size) {
    if (out == nullptr || size == 0) return 0;
    out[0] = '\0';
    std::u16string name;
    std::string converted;
    if (!GetNativeLanguageName(lcid, name) || !WideToCodePage(codePage, name, converted)) return 0;
    // Cut at a character boundary, so that no lead byte of a double-byte code page stays alone.
    for (std::size_t units = name.size(); converted.size() > size - 1; --units) {
        if (units > 1 && name[units - 1] >= 0xDC00 && name[units - 1] < 0xE000) --units;
        WideToCodePage(codePage, std::u16string_view(name).substr(0, units - 1), converted);
    }
    std::memcpy(out, converted.data(), converted.size());
    out[converted.size()] = '\0';
    return static_cast<std::uint32_t>(converted.size());
}

}  // namespace os
