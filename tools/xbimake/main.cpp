// xbimake DESCRIPTION OUTPUT: builds an XBI software file from a description (see README.md).
#include <cstdio>
#include <fstream>

#include "tools/xbimake/xbi_writer.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: xbimake DESCRIPTION OUTPUT\n");
        return 2;
    }
    std::string error;
    const auto xbi = xbimake::BuildXbiFromFile(argv[1], error);
    if (!xbi) {
        std::fprintf(stderr, "xbimake: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(xbi->data()), static_cast<std::streamsize>(xbi->size()));
    if (!out.flush()) {
        std::fprintf(stderr, "xbimake: cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("%s: %zu bytes\n", argv[2], xbi->size());
    return 0;
}
