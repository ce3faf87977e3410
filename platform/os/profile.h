// Private profile (INI) files: "[section]" lines, "key=value" lines, ";" comments. Section and key
// are compared without regard to letter case; blanks around keys and values are dropped, and a
// value wholly enclosed in a pair of double or single quotes loses them. The first match counts.
#pragma once

#include <cstdint>
#include <string>

namespace os {

// Copies the value of key in section (or defaultValue, null meaning "", when the file, section or
// key is missing) into out, cut to size - 1 characters and terminated. Returns the characters
// copied, terminator not counted. fileName with a '/' is used as it is; a bare file name is looked
// up in the current directory, then in the user's config directory ($XDG_CONFIG_HOME, else
// ~/.config). section and key must not be null.
std::uint32_t GetPrivateProfileString(const char* section, const char* key,
                                      const char* defaultValue, char* out, std::uint32_t size,
                                      const char* fileName);

// The file a profile name refers to by the rules above; empty when none exists.
std::string FindProfileFile(const char* fileName);

}  // namespace os
