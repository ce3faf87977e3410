#include "platform/os/debug_output.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace os {

bool DebugOutputEnabled() {
    const char* value = std::getenv("VQ_DEBUG_OUTPUT");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

void OutputDebugString(const char* text) {
    if (text == nullptr || !DebugOutputEnabled()) return;
    std::fputs(text, stderr);
    std::fflush(stderr);
}

}  // namespace os
