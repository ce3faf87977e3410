// The update package appended to the updater's own file: finding it behind the program, checking
// its trailer and header, deciphering its body (AES-128-CBC with pad bytes) and checking the RSA
// signature over version, time stamp and body.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "package/rsa.h"

inline constexpr std::size_t kPackageKeyLength = 16;
inline constexpr std::size_t kPackageIvConstantLength = 12;  // the IV bytes behind the time stamp
inline constexpr std::size_t kPackageSignatureLength = 128;
inline constexpr std::size_t kPackageTrailerLength = 34;
// Version, time stamp, signature length and signature in front of the body.
inline constexpr std::size_t kPackageHeaderLength = 2 + 4 + 4 + kPackageSignatureLength;
inline constexpr char kPackageKennung[] = "KRT_UDT";

// The constants a package is read with: the build's own (kBuiltInPackageConstants), or another
// key set's.
struct PackageConstants {
    std::uint8_t cipherKey[kPackageKeyLength];
    std::uint8_t ivConstant[kPackageIvConstantLength];
    RsaPublicKey publicKey;
};

// Receives each log line of the reader, formatted, with its own line end where it has one.
using PackageLogSink = void (*)(const char* text);

// The sink of ReadUpdatePackage without a source; none by default. Set it before the reading
// thread starts.
void SetPackageLogSink(PackageLogSink sink);

struct PackageSource {
    const char* path;
    const PackageConstants* constants;
    std::function<void(const char* text)> log;  // may be empty
};

// Reads the package of the program's own file (g_szOwnPath) with the built-in constants, logging
// to the sink set by SetPackageLogSink. On success the body (pad bytes removed) is in a buffer
// from std::malloc that the caller frees with std::free.
bool ReadUpdatePackage(std::uint32_t* bodyLength, std::uint8_t** body);
bool ReadUpdatePackage(const PackageSource& source, std::uint32_t* bodyLength, std::uint8_t** body);

// Copies `length` bytes of `source` into a new buffer from std::malloc. Returns 1, or 0 when the
// allocation fails (with a line on the standard output).
int CopyPackageBody(std::uint8_t** buffer, std::uint32_t* bufferLength, std::uint32_t length,
                    const std::uint8_t* source);
