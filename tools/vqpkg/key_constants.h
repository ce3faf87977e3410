// A key set's constants in the form the updater's package reader takes them. Header only: users
// link `package` themselves (vqpkg_support must not, since `package` is generated with its help).
#pragma once

#include <algorithm>

#include "package/package_reader.h"
#include "tools/vqpkg/key_set.h"

struct LoadedKeyConstants {
    BigNumber modulus{};
    BigNumber exponent{};
    PackageConstants constants{};

    explicit LoadedKeyConstants(const KeySet& keys) {
        // A loaded key set holds a 1024-bit modulus, which always converts.
        BnFromBytes(keys.modulus.data(), keys.modulus.size(), &modulus);
        BnFromBytes(keys.exponent.data(), keys.exponent.size(), &exponent);
        std::copy(keys.cipherKey.begin(), keys.cipherKey.end(), constants.cipherKey);
        std::copy(keys.ivConstant.begin(), keys.ivConstant.end(), constants.ivConstant);
        constants.publicKey = {static_cast<std::uint32_t>(keys.modulus.size()), &modulus, &exponent};
    }
    LoadedKeyConstants(const LoadedKeyConstants&) = delete;
    LoadedKeyConstants& operator=(const LoadedKeyConstants&) = delete;
};
