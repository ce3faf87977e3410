// Builds XBI software files from a description (see README.md): signature file, header records
// with their text fields scrambled as the format version demands, hash area with the hash list
// the phone checks, and the data part of flash blocks. Written from the file format alone: it
// shares no code with the updater's reader.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace xbimake {

// The XBI data of the description, or nullopt with a message in error. Relative paths in the
// description are taken from baseDir.
std::optional<std::vector<std::uint8_t>> BuildXbi(const std::string& description,
                                                  const std::filesystem::path& baseDir, std::string& error);

// Reads the description file and builds from it (paths relative to the file's directory).
std::optional<std::vector<std::uint8_t>> BuildXbiFromFile(const std::filesystem::path& descriptionFile,
                                                          std::string& error);

}  // namespace xbimake
