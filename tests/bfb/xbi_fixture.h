// A small software file written out record by record, loaded into the library as the host would.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bfbtest {

struct SoftwareFields {
    std::uint32_t swType = 0;
    std::uint16_t svn = 0x23;
    std::uint32_t versionWord = 0x0102;
    std::string secondDate = "24.12.05";  // dd.mm.yy
    std::string secondTime = "13:45:56";  // hh:mm:ss
    std::string productType = "VQ20";
    std::string projectName = "VQ20";
    std::string compileDate = "20.12.05";
    std::string compileTime = "10:00:00";
};

// XBI data: magic, the header records of the fields (format version 95, project class 3,
// required library version 230) and a data part of one flash block.
std::vector<std::uint8_t> BuildXbi(const SoftwareFields& fields);

// Initialises the library in update mode `mode` and reads the file as the host does. The data
// stays alive until the next call.
bool LoadSoftware(const SoftwareFields& fields, std::uint32_t mode = 1);

}  // namespace bfbtest
