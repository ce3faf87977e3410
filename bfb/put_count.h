// Mode 2 only: whether the phone's software can take the update through its own update loader,
// judged by the directory its software was built from and the number of puts of that build.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace bfb {

struct PutCountRow {
    std::string_view directoryPrefix;  // lower case, 4 to 9 characters
    std::uint32_t threshold;           // the put count must be greater
};

// Builds of the maker's software directories from which on the update loader takes updates.
inline constexpr std::array<PutCountRow, 7> kPutCountTable = {{
    {"vq20main", 2100},
    {"vq2xmain", 2100},
    {"vq20_", 1100},
    {"vq2x_", 1100},
    {"vq20rel", 1500},
    {"vqbase", 4000},
    {"zelmora", 8589},
}};

// True when the directory (any letter case) begins with a row's prefix and the put count is
// greater than the row's threshold.
bool PutCountAllowsUpdateLoader(const char* directory, std::uint32_t putCount);

}  // namespace bfb
