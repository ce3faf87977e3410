// The library's file interface: takes the software file as one buffer of XBI data, checks and
// digests it (signature table, header, hash list, data part) and fills the SW info record.
// Only one software file is read at a time.
#pragma once

#include <cstdint>

#include "xbi/signature_file.h"
#include "xbi/xbi_header.h"

namespace xbi {

// Texts describing a software, each 0-terminated; filled from the file or from the phone's
// answers, so that host and update procedure can compare them field by field.
struct SwInfo {
    char productType[16];
    char projectName[16];
    char svn[10];          // "SVN: %X"
    char compileDate[9];
    char compileTime[9];
    char swTypeName[20];
    char splitKind[16];    // "Split Only", "Split and Rest" or "No Split File"
    char splitName[20];    // name of the first split element, or "No Split File"
};
static_assert(sizeof(SwInfo) == 116);

// The newest library version that reads files of any required library version up to it.
inline constexpr std::uint16_t kLibraryVersion = 230;

// 1 on success; 0 with an error code raised for all slots. data (length bytes) must stay valid
// until ReleaseSoftwareFile: the data part is served from it. A failure after the header was
// parsed leaves the file read: ReleaseSoftwareFile comes before the next read.
int ReadSoftwareFile(SwInfo& info, const std::uint8_t* data, std::uint32_t length);
// Gives back what the read built. Always 1; harmless when nothing is read.
int ReleaseSoftwareFile();

// Fills info from the library's header record. The SW type name and the split kind are left as
// they were for values without a name.
void FillSwInfo(SwInfo& info);
// 1 when required is at most kLibraryVersion.
int IsLibraryVersionSufficient(std::uint16_t required);

// The signature table entry of the key ID; nullptr when none, or no table was built.
const SignatureEntry* FindSignature(std::uint32_t keyId);
// The hash list; nullptr when the file has none.
const HashList* GetHashList();
// The whole signature table; nullptr when none was built.
const SignatureTable* GetSignatureTable();

// The header record of the file read (fresh when none is read).
const XbiHeader& GetXbiHeader();
// The count of data bytes still to send: set by the read, consumed by the update procedure.
std::uint32_t GetDataBytesToSend();
void SetDataBytesToSend(std::uint32_t count);

}  // namespace xbi
