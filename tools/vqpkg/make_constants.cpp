// Build step: writes the updater's package constants (cipher key, IV constant, RSA public key)
// from a key directory into a C++ source file.
//   vqpkg_constants KEY_DIR OUTPUT.cpp
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/vqpkg/key_set.h"

namespace {

std::string Bytes(const std::uint8_t* bytes, std::size_t length) {
    std::ostringstream out;
    for (std::size_t i = 0; i < length; ++i) {
        char text[8];
        std::snprintf(text, sizeof text, "%s0x%02x", i == 0 ? "" : ", ", bytes[i]);
        out << text;
    }
    return out.str();
}

// A BigNumber initialiser: word count, then the words, least significant first.
std::string BigNumberWords(const std::vector<std::uint8_t>& bigEndian) {
    std::vector<std::uint32_t> words((bigEndian.size() + 3) / 4, 0);
    for (std::size_t i = 0; i < bigEndian.size(); ++i) {
        std::size_t fromEnd = bigEndian.size() - 1 - i;
        words[fromEnd / 4] |= std::uint32_t{bigEndian[i]} << (8 * (fromEnd % 4));
    }
    while (!words.empty() && words.back() == 0) {
        words.pop_back();
    }
    std::ostringstream out;
    out << words.size();
    for (std::size_t i = 0; i < words.size(); ++i) {
        char text[24];
        std::snprintf(text, sizeof text, ",%s0x%08xu", i % 6 == 0 ? "\n    " : " ", words[i]);
        out << text;
    }
    return out.str();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vqpkg_constants KEY_DIR OUTPUT.cpp\n");
        return 2;
    }
    KeySet keys;
    std::string error;
    if (!LoadKeySet(argv[1], &keys, &error)) {
        std::fprintf(stderr, "vqpkg_constants: %s\n", error.c_str());
        return 1;
    }
    std::ofstream out(argv[2]);
    out << "// Generated from the key directory " << argv[1] << "; do not edit.\n"
        << "#include \"package/builtin_constants.h\"\n\n"
        << "namespace {\n\n"
        << "const BigNumber kModulus = {{" << BigNumberWords(keys.modulus) << "}};\n\n"
        << "const BigNumber kExponent = {{" << BigNumberWords(keys.exponent) << "}};\n\n"
        << "}  // namespace\n\n"
        << "const PackageConstants kBuiltInPackageConstants = {\n"
        << "    {" << Bytes(keys.cipherKey.data(), keys.cipherKey.size()) << "},\n"
        << "    {" << Bytes(keys.ivConstant.data(), keys.ivConstant.size()) << "},\n"
        << "    {" << keys.modulus.size() << ", &kModulus, &kExponent},\n"
        << "};\n";
    if (!out) {
        std::fprintf(stderr, "vqpkg_constants: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
