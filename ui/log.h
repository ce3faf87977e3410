// The presentation's entries in the diagnostic log. The application installs the writer of its
// log (and whether the log is on); without one nothing is written.
#pragma once

#include <functional>
#include <string_view>

namespace ui {

struct LogSink {
  std::function<void(std::string_view)> write;  // one log entry
  std::function<bool()> enabled;                // the log file is in use
};

void SetLogSink(LogSink sink);
// Writes one entry when a writer is installed.
void Log(std::string_view entry);
// True when a writer is installed and reports the log as on.
bool LogEnabled();

}  // namespace ui
