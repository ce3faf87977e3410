#include "package/cbc.h"

#include <cstring>

#include "platform/os/last_error.h"

namespace {

void XorInto(std::uint8_t* target, const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        target[i] ^= bytes[i];
    }
}

}  // namespace

int CbcMode(std::size_t blocks, const std::uint8_t* source, std::uint8_t* destination, int decipher,
            CipherDescriptor* d) {
    const std::size_t b = d->blockSize;
    std::uint8_t* chain = d->chaining;
    if (!decipher) {
        for (std::size_t i = 0; i < blocks; ++i, source += b, destination += b) {
            XorInto(chain, source, b);
            if (d->block(1, chain, destination, 0, d->cipherContext) != 0) {
                return -1;
            }
            std::memcpy(chain, destination, b);
        }
        return 0;
    }

    const bool inPlace = source == destination;
    if (inPlace && b > kCbcMaxInPlaceBlock) {
        os::SetLastError(kErrCbcInPlaceBlock);
        return -1;
    }
    std::uint8_t copy[kCbcMaxInPlaceBlock];
    for (std::size_t i = 0; i < blocks; ++i, source += b, destination += b) {
        const std::uint8_t* kept = source;
        if (inPlace) {
            std::memcpy(copy, source, b);
            kept = copy;
        }
        if (d->block(1, source, destination, 1, d->cipherContext) != 0) {
            return -1;
        }
        XorInto(destination, chain, b);
        std::memcpy(chain, kept, b);
    }
    return 0;
}
