#include "platform/os/last_error.h"

namespace os {
namespace {
thread_local std::uint32_t lastError = kErrorSuccess;
}

std::uint32_t GetLastError() {
    return lastError;
}

void SetLastError(std::uint32_t code) {
    lastError = code;
}

}  // namespace os
