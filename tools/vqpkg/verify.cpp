#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <openssl/evp.h>

#include "package/builtin_constants.h"
#include "package/package_reader.h"
#include "tools/vqpkg/commands.h"
#include "tools/vqpkg/key_constants.h"
#include "tools/vqpkg/key_set.h"

namespace {

std::string Sha1Hex(const std::uint8_t* data, std::size_t length) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    EVP_Digest(data, length, digest, &digestLength, EVP_sha1(), nullptr);
    std::string hex;
    char text[3];
    for (unsigned i = 0; i < digestLength; ++i) {
        std::snprintf(text, sizeof text, "%02x", digest[i]);
        hex += text;
    }
    return hex;
}

// The reader's lines as they would stand in the log, with CR LF shown as a line end.
void PrintLog(const std::string& log) {
    std::string shown;
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (!(log[i] == '\r' && i + 1 < log.size() && log[i + 1] == '\n')) {
            shown += log[i];
        }
    }
    if (!shown.empty() && shown.back() != '\n') {
        shown += '\n';
    }
    std::fputs(shown.c_str(), stdout);
}

}  // namespace

int RunVerify(const CommandArgs& args) {
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, {"keys"}, &parsed, &error) || parsed.positional.size() != 1) {
        if (!error.empty()) {
            std::fprintf(stderr, "vqpkg verify: %s\n", error.c_str());
        }
        std::fprintf(stderr, "usage: vqpkg verify FILE [--keys DIR]\n");
        return 2;
    }
    KeySet keys;
    std::unique_ptr<LoadedKeyConstants> loaded;
    const PackageConstants* constants = &kBuiltInPackageConstants;
    if (parsed.options.count("keys")) {
        if (!LoadKeySet(parsed.options["keys"], &keys, &error)) {
            std::fprintf(stderr, "vqpkg verify: %s\n", error.c_str());
            return 2;
        }
        loaded = std::make_unique<LoadedKeyConstants>(keys);
        constants = &loaded->constants;
    }

    std::string log;
    PackageSource source{parsed.positional[0].c_str(), constants, [&log](const char* text) { log += text; }};
    std::uint32_t bodyLength = 0;
    std::uint8_t* body = nullptr;
    const bool accepted = ReadUpdatePackage(source, &bodyLength, &body);
    PrintLog(log);
    if (!accepted) {
        std::printf("verdict: refused\n");
        return 1;
    }
    std::printf("verdict: accepted\nbody length: %u\nbody sha1: %s\n", bodyLength, Sha1Hex(body, bodyLength).c_str());
    std::free(body);
    return 0;
}
