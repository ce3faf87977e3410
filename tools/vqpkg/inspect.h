// vqpkg inspect FILE [--keys DIR]: reads an XBI file, or a package whose body it deciphers with the
// key set (the build's own without --keys), through the library's file interface and prints what
// it found as JSON. A file the library refuses prints the result, the error code and its message,
// and exits with 1.
#pragma once

#include "tools/vqpkg/commands.h"

int RunInspect(const CommandArgs& args);
