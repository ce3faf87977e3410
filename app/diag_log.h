// The diagnostic log "ZelmTest.txt" in the current directory. It is on for the run only when the
// file exists at start-up (OpenLogFile then empties it and writes the header); every entry opens
// the file, writes and closes it, so the log is complete up to the last entry. One lock serialises
// the writers of all threads, so no entry is lost to another one holding the file.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

inline constexpr const char* kLogFileName = "ZelmTest.txt";

// Set once by OpenLogFile.
extern std::atomic<int> g_bLogEnabled;

// Opens the existing log (never creating it), empties it and writes the header: the local date and
// time, "\r\n", "VQ20/VQ2X UpdateTool Version Nr. 1.05\r\n". False when the file does not exist.
bool OpenLogFile();
// "\r\n", the local time "%H:%M:%S ", text and "\r\n" at the end of the existing file; nothing when
// it does not exist. Callers test g_bLogEnabled first.
void WriteTimedLogEntry(std::string_view text);
// Only when g_bLogEnabled: text and "\r\n" at the end of the existing file.
void WriteLogEntry(std::string_view text);
// The formatted text exactly, appended (the file is created again when it has gone). Callers test
// g_bLogEnabled first.
void AppendLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Text from outside (an answer of the phone) appended as it is, never used as a format.
void AppendLogText(std::string_view text);

// The header's first line for a local time: "%A, %B %d,  %Y   %H:%M" with English names.
struct LogTime {
  int year, month, dayOfWeek, day, hour, minute, second;
};
std::string FormatLogHeaderTime(const LogTime& time);
