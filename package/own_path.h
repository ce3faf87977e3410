// The path of the program's own file, which carries the update package.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline constexpr std::size_t kOwnPathSize = 1024;

// Filled by FillOwnPath before the package is read.
extern char g_szOwnPath[kOwnPathSize];

// The path as the command line gives it: a text that begins with a double quote is cut at its last
// double quote and loses the first; an unquoted command line is the path whole, arguments
// included. `executableSuffix` (".exe" where executables carry one, else empty) is appended when
// the path does not contain it in any letter case. The result is at most kOwnPathSize - 1 long.
std::string OwnPathFromCommandLine(std::string_view commandLine, std::string_view executableSuffix);

// g_szOwnPath from the process command line and the platform's executable suffix; returns it.
const char* FillOwnPath();
