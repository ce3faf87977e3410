#include <cstdio>

#include "tools/vqpkg/commands.h"
#include "tools/vqpkg/key_set.h"

int RunKeygen(const CommandArgs& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: vqpkg keygen DIR\n");
        return 2;
    }
    std::string error;
    if (!WriteNewKeySet(args[0], &error)) {
        std::fprintf(stderr, "vqpkg keygen: %s\n", error.c_str());
        return 1;
    }
    std::printf("new key set in %s: %s, %s, %s\n", args[0].c_str(), kSigningKeyFile, kCipherKeyFile,
                kIvConstantFile);
    return 0;
}
