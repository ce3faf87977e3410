// The calling thread's last-error value, as the crypto engine and the serial layer report it.
#pragma once

#include <cstdint>

namespace os {

std::uint32_t GetLastError();
void SetLastError(std::uint32_t code);

// The values this layer sets (the Windows numbers).
constexpr std::uint32_t kErrorSuccess = 0;
constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorNotEnoughMemory = 8;
constexpr std::uint32_t kErrorGenFailure = 31;
constexpr std::uint32_t kErrorSharingViolation = 32;
constexpr std::uint32_t kErrorInvalidParameter = 87;

}  // namespace os
