#include "ui/log.h"

#include <utility>

namespace ui {
namespace {

LogSink& Sink() {
  static LogSink sink;
  return sink;
}

}  // namespace

void SetLogSink(LogSink sink) { Sink() = std::move(sink); }

void Log(std::string_view entry) {
  if (Sink().write) Sink().write(entry);
}

bool LogEnabled() { return Sink().write && Sink().enabled && Sink().enabled(); }

}  // namespace ui
