// Debugger output: a sink that is off unless the environment sets VQ_DEBUG_OUTPUT=1; then stderr.
#pragma once

namespace os {

bool DebugOutputEnabled();
// Writes text as it is (no newline added) when the sink is on.
void OutputDebugString(const char* text);

}  // namespace os
