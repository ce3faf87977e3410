// Writes update packages: version 00 01, time stamp, RSA signature (PKCS#1 v1.5, SHA-1) over
// version, time stamp and body, the body enciphered with AES-128-CBC and pad bytes, and behind it
// the 34-byte trailer with the application length spread among random filler bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/vqpkg/key_set.h"

// Everything between the application and the trailer.
bool MakePackage(const KeySet& keys, const std::vector<std::uint8_t>& body, std::uint32_t timeStamp,
                 std::vector<std::uint8_t>* package, std::string* error);

// The trailer for an application of `applicationLength` bytes.
std::vector<std::uint8_t> MakeTrailer(std::uint32_t applicationLength);

// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>* bytes);
