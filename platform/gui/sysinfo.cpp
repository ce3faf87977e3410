// The operating system version record.
#include "platform/gui/sysinfo.h"

#include <sys/utsname.h>

#include <QString>
#include <QSysInfo>

#include <cstdio>
#include <cstring>
#include <string>

BOOL GetVersionEx(OSVERSIONINFO* info) {
  if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFO)) return FALSE;
  *info = OSVERSIONINFO{};
  utsname names{};
  if (uname(&names) != 0) return FALSE;
  unsigned major = 0, minor = 0, build = 0;
  if (std::sscanf(names.release, "%u.%u.%u", &major, &minor, &build) < 2) return FALSE;
  info->dwMajorVersion = major;
  info->dwMinorVersion = minor;
  info->dwBuildNumber = build;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  std::string text = QSysInfo::prettyProductName().toStdString() + ", " + names.sysname + " " + names.release;
  std::size_t n = std::min(text.size(), sizeof(info->szCSDVersion) - 1);
  std::memcpy(info->szCSDVersion, text.data(), n);
  info->szCSDVersion[n] = '\0';
  return TRUE;
}
