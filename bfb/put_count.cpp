#include "bfb/put_count.h"

#include <string>

namespace bfb {

bool PutCountAllowsUpdateLoader(const char* directory, std::uint32_t putCount) {
    std::string lower(directory);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    for (const PutCountRow& row : kPutCountTable) {
        if (lower.starts_with(row.directoryPrefix) && putCount > row.threshold) return true;
    }
    return false;
}

}  // namespace bfb
