// The calling thread's last-error value, as the crypto engine and the serial layer report it.
#pragma once

#include <cstdint>

namespace os {

std::uint32_t GetLastError();
void SetLastError(std::uint32_t code);

}  // namespace os
