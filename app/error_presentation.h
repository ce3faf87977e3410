// How a library failure reaches the user: the newest error of an update slot becomes the first
// error line of the result screen, as the text of its error class in the user's language or, for
// errors without a class, as the code and the formatted message.
#pragma once

#include <cstddef>
#include <string>

#include "updlib/error_registry.h"

// Size of the message buffer, terminator included: longer messages are cut.
inline constexpr std::size_t kErrorMessageSize = 2000;

// Fills the conversions of a message template with the entry's arguments, in the order of its
// type letters: an upper-case S takes the next text argument, any other letter the next integer.
// Length modifiers are dropped (every integer argument is 32 bits), "*" widths and "%n" are
// never honoured, and a conversion without an argument letter left prints as with 0 or "".
std::string FormatErrorMessage(const char* messageTemplate, const updlib::ErrorEntry& entry);

// Sets g_strErrorLine1 from the newest error of the slot and logs "Lib Error %x: %s". A code the
// table does not know leaves the line as it is, unless the line is empty: then it says
// "Unknown Error Number %d occured", so that a failure never reads as success. Never touches
// g_strErrorLine2. Returns the formatted message.
std::string ShowLibraryError(int slot);

// ShowLibraryError for the worker hooks, which ignore the message.
void ShowLibraryErrorLine(int slot);
