// National language support: conversion between UTF-16 and the Windows code pages 874, 936, 950 and
// 1250..1256 (others where iconv knows "CPnnn"), the system ANSI code page and the user's locale id
// derived from the locale environment, and native language names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace os {

// True when text can be converted with this code page.
bool IsValidCodePage(std::uint32_t codePage);

// UTF-16 to the code page; a character the code page lacks becomes "?". False (out emptied) for an
// invalid code page.
bool WideToCodePage(std::uint32_t codePage, std::u16string_view text, std::string& out);
// The code page to UTF-16; a byte sequence the code page does not define becomes u'?'.
bool CodePageToWide(std::uint32_t codePage, std::string_view text, std::u16string& out);

// The locale of the user: the first non-empty of LC_ALL, LC_MESSAGES, LANG ("de_DE.UTF-8" ->
// 0x0407). "C", "POSIX", unset or unknown: 0x0409 (English, United States). A known language with
// an unknown territory gives the language's primary locale.
std::uint32_t GetUserLocaleId();
// The ANSI code page of the user's locale (the Windows one for its language, 1252 when unknown).
std::uint32_t GetSystemAnsiCodePage();
// The same derivations for an explicit locale name, for callers and tests.
std::uint32_t LocaleIdFromName(std::string_view localeName);
std::uint32_t AnsiCodePageForLocale(std::uint32_t lcid);

// The language's name in its own language for an LCID (the primary language decides, except
// Chinese: 0x0804 and 0x1004 simplified, other Chinese locales traditional). False when unknown.
bool GetNativeLanguageName(std::uint32_t lcid, std::u16string& out);
// The same, converted to a code page ("?" for what it lacks) and cut to size - 1 characters,
// terminated; returns the characters stored, 0 when unknown.
std::uint32_t GetNativeLanguageNameA(std::uint32_t lcid, std::uint32_t codePage, char* out,
                                     std::uint32_t size);

}  // namespace os
