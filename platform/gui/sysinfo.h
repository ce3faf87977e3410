// The operating system version record for the start-up log.
#pragma once

#include "platform/gui/types.h"

inline constexpr DWORD VER_PLATFORM_WIN32s = 0;
inline constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
inline constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

struct OSVERSIONINFO {
  DWORD dwOSVersionInfoSize = sizeof(OSVERSIONINFO);
  DWORD dwMajorVersion = 0;
  DWORD dwMinorVersion = 0;
  DWORD dwBuildNumber = 0;
  DWORD dwPlatformId = 0;
  char szCSDVersion[128] = {};
};

// Fills the record for this system: the kernel's major and minor version (Linux 6.1 -> 6, 1), the
// platform VER_PLATFORM_WIN32_NT (a Unicode system that shows every character set), and as
// service-pack text the product name and kernel release ("Debian GNU/Linux 12 (bookworm), Linux
// 6.1.0-13-amd64"), cut to 127 characters. FALSE (record zeroed) when it cannot be read or
// dwOSVersionInfoSize is wrong.
BOOL GetVersionEx(OSVERSIONINFO* lpVersionInfo);
