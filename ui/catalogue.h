// The language text catalogue: 73 named texts, 8-bit in the code page of the last load
// (g_nCodePage), filled from one "LangText" resource by LoadLanguageText. Only the window thread
// writes them; the workers read single texts on their failure paths, after the language is fixed.
// Besides them the two error display lines, which the workers and callbacks fill and the screens
// show in place of their own texts while the first is not empty.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>

#include "platform/gui/types.h"
#include "ui/locked_text.h"

// Line k of a resource is entry k of this list.
#define UI_CATALOGUE_TEXTS(X)                                                                \
  X(g_strTitle) X(g_strSelectLanguage) X(g_strLicenseCaption) X(g_strAgree) X(g_strDisagree) \
  X(g_strEarlyEnd1) X(g_strEarlyEnd2) X(g_strEarlyEnd3) X(g_strLanguage) X(g_strStart)       \
  X(g_strContinue) X(g_strExit) X(g_strCancel) X(g_strPleaseWait) X(g_strInitLine1)          \
  X(g_strInitLine2) X(g_strInitLine3) X(g_strConnectLine1) X(g_strConnectLine2)              \
  X(g_strConnectLine3) X(g_strSearching) X(g_strPortsFound) X(g_strCheckingPort)             \
  X(g_strFoundAt) X(g_strFoundLine2) X(g_strFoundLine3) X(g_strEraseLine1)                   \
  X(g_strEraseLine2) X(g_strEraseLine3) X(g_strTransferLine1) X(g_strTransferLine2)          \
  X(g_strTransferLine3) X(g_strTestLine1) X(g_strTestLine2) X(g_strTestLine3)                \
  X(g_strSuccessLine1) X(g_strSuccessLine2) X(g_strSuccessLine3) X(g_strErrInitLibrary)      \
  X(g_strErrOpenFile) X(g_strErrNoMemory) X(g_strErrNoComPort) X(g_strErrBatteryLow)         \
  X(g_strErrReadSwMemory) X(g_strErrClass0) X(g_strErrClass1) X(g_strErrClass2)              \
  X(g_strErrClass3) X(g_strErrClass4) X(g_strErrClass5) X(g_strErrClass6) X(g_strErrClass7)  \
  X(g_strErrListOverflow) X(g_strNotFound1) X(g_strNotFound2) X(g_strChoosePort1)            \
  X(g_strChoosePort2) X(g_strPressOnOff1) X(g_strPressOnOff2) X(g_strAgreement01)            \
  X(g_strAgreement02) X(g_strAgreement03) X(g_strAgreement04) X(g_strAgreement05)            \
  X(g_strAgreement06) X(g_strAgreement07) X(g_strAgreement08) X(g_strAgreement09)            \
  X(g_strAgreement10) X(g_strAgreement11) X(g_strAgreement12) X(g_strAgreement13)            \
  X(g_strAgreement14)

#define UI_DECLARE_TEXT(name) extern std::string name;
UI_CATALOGUE_TEXTS(UI_DECLARE_TEXT)
#undef UI_DECLARE_TEXT

inline constexpr std::size_t kCatalogueSize = 73;
// The 73 texts in line order (entry 0 is line 1).
extern const std::array<std::string*, kCatalogueSize> g_apCatalogue;
// The 14 lines of the agreement body, g_strAgreement01 first.
inline constexpr std::size_t kAgreementLines = 14;
inline constexpr std::size_t kFirstAgreementLine = 60;  // line number of g_strAgreement01

// The error display lines (empty at start; guarded, see locked_text.h).
extern CLockedText g_strErrorLine1;
extern CLockedText g_strErrorLine2;

// Loads the language text resource `id`, converting it with the code page g_nCodePage holds now,
// and replaces all 73 texts. 1 when replaced; 0 when no memory could be had for the conversion
// (texts unchanged, error lines set to g_strErrNoMemory and empty).
int LoadLanguageText(WORD id);

namespace ui {
// Where LoadLanguageText takes its conversion buffer from; nullptr means no memory. Tests replace it
// to see the failure path; nullptr restores the default (the free store).
using TextBufferAllocator = std::unique_ptr<char[]> (*)(std::size_t bytes);
void SetTextBufferAllocator(TextBufferAllocator allocator);
}  // namespace ui
