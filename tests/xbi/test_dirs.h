// The source and build directories of the tests: VQ_SOURCE_DIR and VQ_BINARY_DIR from the
// environment, else the directories this test was configured with.
#pragma once

#include <cstdlib>
#include <filesystem>

namespace xbitest {

inline std::filesystem::path DirFromEnv(const char* name, const char* configured) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : configured;
}

inline std::filesystem::path SourceDir() { return DirFromEnv("VQ_SOURCE_DIR", XBI_TEST_SOURCE_DIR); }
inline std::filesystem::path BinaryDir() { return DirFromEnv("VQ_BINARY_DIR", XBI_TEST_BINARY_DIR); }

}  // namespace xbitest
