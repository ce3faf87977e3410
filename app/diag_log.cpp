#include "app/diag_log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/os/clock.h"

std::atomic<int> g_bLogEnabled{0};

namespace {

constexpr std::string_view kHeaderVersionLine = "VQ20/VQ2X UpdateTool Version Nr. 1.05\r\n";

std::mutex& LogMutex() {
  static std::mutex mutex;
  return mutex;
}

// Writes to the end of the log. mustExist: the entry never creates the file.
void WriteAtEnd(std::string_view text, bool mustExist) {
  std::lock_guard lock(LogMutex());
  std::FILE* file = std::fopen(kLogFileName, mustExist ? "r+b" : "ab");
  if (file == nullptr) return;
  if (std::fseek(file, 0, SEEK_END) == 0) std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

LogTime Now() {
  const os::LocalTime t = os::GetLocalTime();
  return {t.year, t.month, t.dayOfWeek, t.day, t.hour, t.minute, t.second};
}

}  // namespace

std::string FormatLogHeaderTime(const LogTime& time) {
  static const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  static const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                        "July",    "August",   "September", "October", "November", "December"};
  const char* day = time.dayOfWeek >= 0 && time.dayOfWeek < 7 ? kDays[time.dayOfWeek] : "";
  const char* month = time.month >= 1 && time.month <= 12 ? kMonths[time.month - 1] : "";
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%s, %s %02d,  %d   %02d:%02d", day, month, time.day, time.year, time.hour,
                time.minute);
  return buffer;
}

bool OpenLogFile() {
  std::lock_guard lock(LogMutex());
  // Only an existing file switches the log on; "r+b" never creates one.
  std::FILE* existing = std::fopen(kLogFileName, "r+b");
  if (existing == nullptr) return false;
  std::FILE* file = std::freopen(kLogFileName, "wb", existing);  // empties it
  if (file == nullptr) return false;
  const std::string header = FormatLogHeaderTime(Now()) + "\r\n" + std::string(kHeaderVersionLine);
  std::fwrite(header.data(), 1, header.size(), file);
  std::fclose(file);
  return true;
}

void WriteTimedLogEntry(std::string_view text) {
  const LogTime t = Now();
  char stamp[16];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", t.hour, t.minute, t.second);
  WriteAtEnd("\r\n" + std::string(stamp) + std::string(text) + "\r\n", true);
}

void WriteLogEntry(std::string_view text) {
  if (!g_bLogEnabled) return;
  WriteAtEnd(std::string(text) + "\r\n", true);
}

void AppendLog(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length > 0) {
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(length));
    WriteAtEnd(text, false);
  }
  va_end(args);
}

void AppendLogText(std::string_view text) { WriteAtEnd(text, false); }
