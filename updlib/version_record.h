// The version record a component of the library fills on request (140 bytes; the caller sets the
// size field first).
#pragma once

#include <cstddef>
#include <cstdint>

namespace updlib {

struct VersionRecord {
    std::uint32_t size = sizeof(VersionRecord);
    char description[100] = {};
    char author[10] = {};
    char buildDate[18] = {};  // e.g. "Nov 18 2002"
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
};

static_assert(sizeof(VersionRecord) == 140);
static_assert(offsetof(VersionRecord, description) == 4);
static_assert(offsetof(VersionRecord, author) == 104);
static_assert(offsetof(VersionRecord, buildDate) == 114);
static_assert(offsetof(VersionRecord, major) == 132);
static_assert(offsetof(VersionRecord, minor) == 136);

}  // namespace updlib
