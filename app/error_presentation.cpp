#include "app/error_presentation.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "app/diag_log.h"
#include "ui/catalogue.h"

namespace {

constexpr std::string_view kConversionEnds = "DIOXUCSFEGPN%";

bool EndsConversion(char c) {
  return kConversionEnds.find(static_cast<char>(std::toupper(static_cast<unsigned char>(c)))) !=
         std::string_view::npos;
}

// The conversion without length modifiers and "*" widths: every argument is 32 bits or a text.
std::string SafeConversion(std::string_view conversion) {
  std::string safe;
  for (char c : conversion) {
    if (std::strchr("hlLqjzt*", c) == nullptr) safe += c;
  }
  return safe;
}

// One conversion printed with one argument of the entry.
class ArgumentPrinter {
 public:
  explicit ArgumentPrinter(const updlib::ErrorEntry& entry) : m_entry(entry) {}

  std::string Print(std::string_view conversion) {
    const char type = static_cast<char>(std::tolower(static_cast<unsigned char>(conversion.back())));
    if (type == '%') return "%%";
    if (type == 'n') return {};  // never writes through an argument
    const bool takesText = NextLetter() == 'S';
    const std::string format = SafeConversion(conversion);
    const char* text = takesText ? NextText() : nullptr;
    const std::int32_t integer = takesText ? 0 : NextInteger();
    char out[updlib::kTextArgSize + 64];
    if (type == 's') {
      const std::string number = std::to_string(integer);
      std::snprintf(out, sizeof out, format.c_str(), text != nullptr ? text : number.c_str());
    } else if (type == 'f' || type == 'e' || type == 'g') {
      std::snprintf(out, sizeof out, format.c_str(), static_cast<double>(integer));
    } else if (type == 'p') {
      std::snprintf(out, sizeof out, "%x", static_cast<unsigned>(integer));
    } else {
      std::snprintf(out, sizeof out, format.c_str(), integer);
    }
    return out;
  }

 private:
  char NextLetter() {
    return m_letter < updlib::kArgTypesScanned ? m_entry.argTypes[m_letter++] : '\0';
  }
  const char* NextText() {
    return m_text < updlib::kTextArgCount ? m_entry.textArgs[m_text++] : "";
  }
  std::int32_t NextInteger() { return m_integer < updlib::kIntArgCount ? m_entry.intArgs[m_integer++] : 0; }

  const updlib::ErrorEntry& m_entry;
  std::size_t m_letter = 0;
  std::size_t m_text = 0;
  std::size_t m_integer = 0;
};

std::string ClassText(std::uint32_t errorClass) {
  switch (errorClass) {
    case 0x0F00: return g_strErrClass0;
    case 0x0F01: return g_strErrClass1;
    case 0x0F02: return g_strErrClass2;
    case 0x0F03: return g_strErrClass3;
    case 0x0F04: return g_strErrClass4;
    case 0x0F05: return g_strErrClass5;
    case 0x0F06: return g_strErrClass6;
    case 0x0F07: return g_strErrClass7;
    case 0x0FFF: return g_strErrListOverflow;
    default: {
      char line[64];
      std::snprintf(line, sizeof line, "Unknown Alternate Error Number %u occured", errorClass);
      return line;
    }
  }
}

}  // namespace

std::string FormatErrorMessage(const char* messageTemplate, const updlib::ErrorEntry& entry) {
  std::string message;
  ArgumentPrinter printer(entry);
  for (const char* p = messageTemplate; *p != '\0' && message.size() < kErrorMessageSize - 1;) {
    if (*p != '%') {
      message += *p++;
      continue;
    }
    const char* end = p + 1;
    while (*end != '\0' && !EndsConversion(*end)) ++end;
    if (*end == '\0') break;  // an unfinished conversion at the end prints nothing
    message += printer.Print(std::string_view(p, static_cast<std::size_t>(end - p + 1)));
    p = end + 1;
  }
  if (message.size() > kErrorMessageSize - 1) message.resize(kErrorMessageSize - 1);
  return message;
}

std::string ShowLibraryError(int slot) {
  const updlib::ErrorEntry entry = updlib::GetLastSlotError(static_cast<std::uint32_t>(slot));
  const std::uint32_t code = static_cast<std::uint32_t>(entry.code) & 0xFFFF;
  const updlib::ErrorTableRow* row = updlib::FindErrorTableRow(entry.code);
  if (row == nullptr) {
    char unknown[64];
    std::snprintf(unknown, sizeof unknown, "Unknown Error Number %u occured", code);
    // An empty first line would make the result screen read as success.
    if (g_strErrorLine1.IsEmpty()) g_strErrorLine1 = unknown;
    return unknown;
  }
  const std::string message = FormatErrorMessage(row->message, entry);
  if (g_bLogEnabled) AppendLog("Lib Error %x: %s\r\n", code, message.c_str());
  if (row->errorClass != 0) {
    g_strErrorLine1 = ClassText(row->errorClass);
  } else {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%x ", code);
    g_strErrorLine1 = prefix + message;
  }
  return message;
}

void ShowLibraryErrorLine(int slot) { ShowLibraryError(slot); }
