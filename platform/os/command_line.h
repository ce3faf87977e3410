// The process command line as the own-file step reads it: the absolute path of the running
// executable (/proc/self/exe) in double quotes, then each argument after a blank, as given.
#pragma once

#include <string>

namespace os {

std::string GetCommandLine();
// The suffix executables carry on this platform ("" on Linux).
const char* ExecutableSuffix();

}  // namespace os
