#include "xbi_fixture.h"

#include "updlib/libif.h"
#include "xbi/software_file.h"

namespace bfbtest {
namespace {

const std::string kMagic = "Zelmora Mobile Phones Software";

// Text fields are stored XORed with the magic read backwards, its terminating 0 first.
std::vector<std::uint8_t> Scrambled(const std::string& text) {
    std::vector<std::uint8_t> field(text.begin(), text.end());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const std::size_t k = 30 - (i % 31);
        const std::uint8_t key = k < kMagic.size() ? static_cast<std::uint8_t>(kMagic[k]) : 0;
        field[i] ^= key;
    }
    return field;
}

void AddRecord(std::vector<std::uint8_t>& out, std::uint8_t tag, const std::vector<std::uint8_t>& data) {
    const std::size_t start = out.size();
    out.insert(out.end(), {0xFF, 0xFF, 0xFE, static_cast<std::uint8_t>(data.size() + 1), tag});
    out.insert(out.end(), data.begin(), data.end());
    std::uint8_t check = 0;
    for (std::size_t i = start; i < out.size(); ++i) check ^= out[i];
    out.push_back(check);
}

std::vector<std::uint8_t> BigEndian(std::uint32_t value, int bytes) {
    std::vector<std::uint8_t> out;
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return out;
}

std::vector<std::uint8_t> g_loaded;

}  // namespace

std::vector<std::uint8_t> BuildXbi(const SoftwareFields& f) {
    std::vector<std::uint8_t> out(kMagic.begin(), kMagic.end());
    out.push_back(0x1A);
    AddRecord(out, 16, {0, 95});  // format version 95: one pass, pass fields fully scrambled
    AddRecord(out, 17, {2, 30});  // required library version 230
    AddRecord(out, 18, Scrambled(f.compileDate + " " + f.compileTime));
    AddRecord(out, 19, Scrambled(f.secondDate + " " + f.secondTime));
    AddRecord(out, 23, Scrambled(f.projectName));
    AddRecord(out, 27, BigEndian(f.versionWord, 4));
    AddRecord(out, 29, BigEndian(f.svn, 2));
    AddRecord(out, 40, Scrambled(f.productType));
    AddRecord(out, 52, {3});
    AddRecord(out, 64, {static_cast<std::uint8_t>(f.swType)});
    AddRecord(out, 4, {});
    out.insert(out.end(), {0x01, 0x00, 0x00, 0x01, 0x55, 0x01 ^ 0x01 ^ 0x55});
    return out;
}

bool LoadSoftware(const SoftwareFields& fields, std::uint32_t mode) {
    xbi::ReleaseSoftwareFile();
    if (!updlib::CheckInterfaceVersion(updlib::kInterfaceMajor, updlib::kInterfaceMinor)) return false;
    updlib::SetUpdateMode(1);  // the file is only taken in mode 1
    g_loaded = BuildXbi(fields);
    xbi::SwInfo info{};
    const bool read = xbi::ReadSoftwareFile(info, g_loaded.data(), static_cast<std::uint32_t>(g_loaded.size())) != 0;
    updlib::SetUpdateMode(mode);
    return read;
}

}  // namespace bfbtest
