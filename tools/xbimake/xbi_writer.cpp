#include "tools/xbimake/xbi_writer.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string_view>

namespace xbimake {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Thrown for a description that cannot be built; caught by BuildXbi.
struct DescriptionError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

constexpr std::string_view kXbiMagic = "Zelmora Mobile Phones Software";
constexpr std::string_view kSignatureMagic{"Zelmora Mobile Phones Signature File\0", 37};
constexpr std::string_view kHashMagic{"EXT_SIGNATURE_HASH_AREA\0", 24};
constexpr std::size_t kMaxRecordData = 63;
constexpr std::size_t kDataBlockBytes = 64;
constexpr std::uint32_t kRunBoundary = 0x10000;
constexpr std::size_t kHashEntryBytes = 28;

// ---- description -------------------------------------------------------------------------------

struct Line {
    std::string section;
    std::string key;
    std::string value;
    int number = 0;
};

std::string Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

std::vector<Line> ParseDescription(const std::string& text) {
    std::vector<Line> lines;
    std::istringstream in(text);
    std::string raw;
    std::string section;
    int number = 0;
    while (std::getline(in, raw)) {
        ++number;
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line.front() == '[') {
            if (line.back() != ']') throw DescriptionError("line " + std::to_string(number) + ": bad section");
            section = Trim(std::string_view(line).substr(1, line.size() - 2));
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            throw DescriptionError("line " + std::to_string(number) + ": expected key = value");
        }
        lines.push_back({section, Trim(std::string_view(line).substr(0, equals)),
                         Trim(std::string_view(line).substr(equals + 1)), number});
    }
    return lines;
}

[[noreturn]] void Fail(const Line& line, const std::string& what) {
    throw DescriptionError("line " + std::to_string(line.number) + " (" + line.key + "): " + what);
}

std::uint64_t Number(const Line& line, std::string_view text) {
    const std::string s = Trim(text);
    try {
        std::size_t used = 0;
        const unsigned long long value = std::stoull(s, &used, 0);
        if (used != s.size()) Fail(line, "not a number: " + s);
        return value;
    } catch (const std::logic_error&) {
        Fail(line, "not a number: " + s);
    }
}

std::uint64_t Number(const Line& line) { return Number(line, line.value); }

std::vector<std::string> Split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto at = text.find(separator, start);
        parts.push_back(Trim(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start)));
        if (at == std::string_view::npos) return parts;
        start = at + 1;
    }
}

std::vector<std::uint64_t> Numbers(const Line& line, std::size_t count) {
    const auto parts = Split(line.value, ',');
    if (parts.size() != count) Fail(line, "expected " + std::to_string(count) + " comma-separated values");
    std::vector<std::uint64_t> values;
    for (const auto& part : parts) values.push_back(Number(line, part));
    return values;
}

Bytes Hex(const Line& line, std::string_view text) {
    std::string digits;
    for (const char c : text) {
        if (c == ' ' || c == '\t') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) Fail(line, "not hexadecimal");
        digits += c;
    }
    if (digits.size() % 2 != 0) Fail(line, "odd number of hex digits");
    Bytes bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

void PutU16(Bytes& out, std::uint64_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}
void PutU32(Bytes& out, std::uint64_t v) {
    PutU16(out, v >> 16);
    PutU16(out, v & 0xFFFF);
}
void PutU16Le(Bytes& out, std::uint64_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw DescriptionError("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- scrambling --------------------------------------------------------------------------------

enum class Variant { kFull, kHalf };

// Byte i is XORed with the magic (and its terminating 0) read backwards: M[30 - i mod 31].
void Scramble(Bytes& field, std::size_t from, std::size_t n, Variant variant) {
    static constexpr std::string_view key{"Zelmora Mobile Phones Software\0", 31};
    const std::size_t count = variant == Variant::kFull ? n : (n + 1) / 2;
    for (std::size_t i = 0; i < count; ++i) {
        field[from + i] ^= static_cast<std::uint8_t>(key[30 - i % 31]);
    }
}

// ---- header ------------------------------------------------------------------------------------

class HeaderWriter {
public:
    explicit HeaderWriter(Variant pass) : pass_(pass) {
        bytes_.assign(kXbiMagic.begin(), kXbiMagic.end());
        bytes_.push_back(0x1A);
    }

    void Record(std::uint8_t tag, const Bytes& data) {
        if (data.size() > kMaxRecordData) throw DescriptionError("record of tag " + std::to_string(tag) + " too long");
        recordStarts_.push_back(bytes_.size());
        const std::size_t start = bytes_.size();
        bytes_.insert(bytes_.end(), {0xFF, 0xFF, 0xFE, static_cast<std::uint8_t>(data.size() + 1), tag});
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        std::uint8_t check = 0;
        for (std::size_t i = start; i < bytes_.size(); ++i) check ^= bytes_[i];
        bytes_.push_back(check);
    }

    void Scrambled(std::uint8_t tag, Bytes data, Variant variant) {
        Scramble(data, 0, data.size(), variant);
        Record(tag, data);
    }
    void PassText(std::uint8_t tag, const std::string& text) { Scrambled(tag, Bytes(text.begin(), text.end()), pass_); }
    void FullText(std::uint8_t tag, const std::string& text) {
        Scrambled(tag, Bytes(text.begin(), text.end()), Variant::kFull);
    }

    Variant pass() const { return pass_; }
    Bytes& bytes() { return bytes_; }
    const std::vector<std::size_t>& recordStarts() const { return recordStarts_; }

private:
    Variant pass_;
    Bytes bytes_;
    std::vector<std::size_t> recordStarts_;
};

// "DD.MM.YY HH:MM:SS": 8 date characters, a separator, 8 time characters.
Bytes DateTime(const Line& line) {
    if (line.value.size() != 17) Fail(line, "expected DD.MM.YY HH:MM:SS");
    return Bytes(line.value.begin(), line.value.end());
}

Bytes Chunk(const Bytes& data, std::size_t offset, std::size_t size) {
    return Bytes(data.begin() + static_cast<std::ptrdiff_t>(offset),
                 data.begin() + static_cast<std::ptrdiff_t>(std::min(data.size(), offset + size)));
}

void WriteChunked(HeaderWriter& header, std::uint8_t tag, const Bytes& data, std::size_t chunk, bool scrambled) {
    for (std::size_t offset = 0; offset < data.size(); offset += chunk) {
        const Bytes part = Chunk(data, offset, chunk);
        if (scrambled) header.Scrambled(tag, part, header.pass());
        else header.Record(tag, part);
    }
}

// Header keys whose value is one number written as a record of that many bytes.
struct NumberKey {
    std::uint8_t tag;
    int bytes;
};
const std::map<std::string, NumberKey, std::less<>> kNumberKeys = {
    {"version_word", {27, 4}}, {"svn", {29, 2}},          {"software_size", {35, 4}},
    {"value36", {36, 2}},      {"bgj_address", {37, 4}},  {"value39", {39, 4}},
    {"value49", {49, 1}},      {"flash_code_request", {50, 1}}, {"value51", {51, 2}},
    {"project_class", {52, 1}}, {"value53", {53, 1}},     {"parameter_a0", {56, 2}},
    {"compression_type", {57, 1}}, {"sw_type", {64, 1}},
};
const std::map<std::string, std::uint8_t, std::less<>> kPassTexts = {
    {"third_name", 22}, {"project_name", 23}, {"fourth_name", 26},
    {"product_type", 40}, {"second_product", 41}, {"third_product", 42},
};
const std::map<std::string, std::uint8_t, std::less<>> kFullTexts = {{"fifth_name", 61}, {"sixth_name", 62}};

Bytes NumberBytes(std::uint64_t value, int bytes) {
    Bytes out;
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return out;
}

void WriteHeaderLine(HeaderWriter& header, const Line& line) {
    const std::string& key = line.key;
    if (const auto it = kNumberKeys.find(key); it != kNumberKeys.end()) {
        header.Record(it->second.tag, NumberBytes(Number(line), it->second.bytes));
    } else if (const auto pass = kPassTexts.find(key); pass != kPassTexts.end()) {
        header.PassText(pass->second, line.value);
    } else if (const auto full = kFullTexts.find(key); full != kFullTexts.end()) {
        header.FullText(full->second, line.value);
    } else if (key == "format_version" || key == "library_version") {
        const std::uint64_t v = Number(line);
        header.Record(key == "format_version" ? 16 : 17, {static_cast<std::uint8_t>(v / 100), static_cast<std::uint8_t>(v % 100)});
    } else if (key == "compile" || key == "second") {
        header.Scrambled(key == "compile" ? 18 : 19, DateTime(line), header.pass());
    } else if (key == "old" || key == "fourth") {
        header.Scrambled(key == "old" ? 59 : 60, DateTime(line), Variant::kFull);
    } else if (key == "locator") {
        Bytes data;
        for (const auto v : Numbers(line, 4)) PutU16(data, v);
        header.Record(20, data);
    } else if (key == "locator_list") {
        header.Record(21, {});
    } else if (key == "additional_data") {
        const Bytes data = Hex(line, line.value);
        header.Record(34, NumberBytes(data.size(), 4));
        WriteChunked(header, 32, data, kMaxRecordData, true);
        header.Record(33, {});
    } else if (key == "text_element") {
        const auto parts = Split(line.value, '|');
        header.FullText(45, parts[0]);
        if (parts.size() > 1) header.FullText(46, parts[1]);
    } else if (key == "erase") {
        Bytes data;
        for (const auto v : Numbers(line, 2)) PutU32(data, v);
        header.Record(48, data);
    } else if (key == "language_groups") {
        Bytes data;
        for (const auto v : Numbers(line, 4)) PutU32(data, v);
        header.Record(54, data);
    } else if (key == "split") {
        Bytes data;
        for (const auto v : Numbers(line, 2)) PutU32(data, v);
        header.Record(55, data);
    } else if (key == "compression") {
        const auto v = Numbers(line, 7);
        Bytes data;
        PutU16(data, v[0]);
        PutU16(data, v[1]);
        data.push_back(static_cast<std::uint8_t>(v[2]));
        data.push_back(static_cast<std::uint8_t>(v[3]));
        for (int i = 4; i < 7; ++i) PutU16(data, v[i]);
        header.Record(58, data);
    } else if (key == "map_info") {
        const Bytes data = Hex(line, line.value);
        header.Record(80, NumberBytes(data.size(), 2));
        WriteChunked(header, 81, data, 60, false);
        header.Record(82, {});
    } else if (key == "split_element") {
        const auto parts = Split(line.value, ',');
        if (parts.size() != 6) Fail(line, "expected start, end, third, fourth, kind, name");
        Bytes data;
        PutU32(data, Number(line, parts[0]));
        PutU32(data, Number(line, parts[1]));
        PutU32(data, Number(line, parts[2]));
        PutU16(data, Number(line, parts[3]));
        PutU16(data, Number(line, parts[4]));
        header.Record(83, data);
        Bytes name(parts[5].begin(), parts[5].end());
        name.resize(20, 0);
        header.Scrambled(84, name, Variant::kFull);
    } else if (key == "tag112") {
        const auto parts = Split(line.value, ',');
        if (parts.size() != 2) Fail(line, "expected byte, text");
        Bytes data{static_cast<std::uint8_t>(Number(line, parts[0]))};
        data.insert(data.end(), parts[1].begin(), parts[1].end());
        data.push_back(0);
        header.Record(112, data);
    } else if (key == "record") {
        const auto colon = line.value.find(':');
        if (colon == std::string::npos) Fail(line, "expected TAG: HEX");
        header.Record(static_cast<std::uint8_t>(Number(line, line.value.substr(0, colon))),
                      Hex(line, std::string_view(line.value).substr(colon + 1)));
    } else {
        Fail(line, "unknown header key");
    }
}

// ---- data part and hash list -------------------------------------------------------------------

void AppendBlock(Bytes& out, std::uint32_t address, const std::uint8_t* data, std::size_t n) {
    const std::size_t start = out.size();
    out.push_back(static_cast<std::uint8_t>(address >> 16));
    out.push_back(static_cast<std::uint8_t>(address >> 8));
    out.push_back(static_cast<std::uint8_t>(address));
    out.push_back(static_cast<std::uint8_t>(n));
    out.insert(out.end(), data, data + n);
    std::uint8_t check = 0;
    for (std::size_t i = start; i < out.size(); ++i) check ^= out[i];
    out.push_back(check);
}

struct Image {
    std::uint32_t loadAddress = 0;
    Bytes bytes;
};

struct DataPart {
    Bytes blocks;
    std::vector<std::size_t> blockStarts;
};

DataPart BuildDataPart(const std::vector<Bytes>& commands, const Image& image) {
    DataPart part;
    for (const Bytes& command : commands) {
        part.blockStarts.push_back(part.blocks.size());
        AppendBlock(part.blocks, 0xFFFFFF, command.data(), command.size());
    }
    for (std::size_t offset = 0; offset < image.bytes.size(); offset += kDataBlockBytes) {
        const std::size_t n = std::min(kDataBlockBytes, image.bytes.size() - offset);
        part.blockStarts.push_back(part.blocks.size());
        AppendBlock(part.blocks, image.loadAddress + static_cast<std::uint32_t>(offset), image.bytes.data() + offset, n);
    }
    return part;
}

// One entry per contiguous run of the image, split at 64 KiB boundaries: start, length, SHA-1.
Bytes BuildHashList(const Image& image) {
    Bytes list;
    const std::uint64_t end = std::uint64_t{image.loadAddress} + image.bytes.size();
    for (std::uint64_t start = image.loadAddress; start < end;) {
        const std::uint64_t stop = std::min(end, (start / kRunBoundary + 1) * kRunBoundary);
        PutU32(list, start);
        PutU32(list, stop - start);
        std::uint8_t digest[SHA_DIGEST_LENGTH];
        SHA1(image.bytes.data() + (start - image.loadAddress), stop - start, digest);
        list.insert(list.end(), digest, digest + SHA_DIGEST_LENGTH);
        start = stop;
    }
    return list;
}

Bytes Sign(const std::filesystem::path& keyFile, const Bytes& message) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(keyFile.c_str(), "rb"), std::fclose);
    if (!file) throw DescriptionError("cannot read key " + keyFile.string());
    std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> key(PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr),
                                                      EVP_PKEY_free);
    if (!key) throw DescriptionError("no private key in " + keyFile.string());
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    std::size_t length = 0;
    if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha1(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &length, message.data(), message.size()) != 1) {
        throw DescriptionError("cannot sign with " + keyFile.string());
    }
    Bytes signature(length);
    if (EVP_DigestSign(context.get(), signature.data(), &length, message.data(), message.size()) != 1) {
        throw DescriptionError("cannot sign with " + keyFile.string());
    }
    signature.resize(length);
    return signature;
}

// ---- the whole file ----------------------------------------------------------------------------

struct HashArea {
    bool present = false;
    std::uint8_t byte1 = 1;   // SHA-1
    std::uint8_t byte2 = 0;
    std::uint16_t word1 = kHashEntryBytes;
    std::optional<std::uint16_t> word2;  // entry count unless given
    std::optional<Bytes> list;           // computed from the image unless given
};

struct SignatureSpec {
    std::uint32_t keyId = 0;
    std::filesystem::path privateKey;
    Bytes raw;
};

struct Breakage {
    std::optional<std::size_t> headerCheck;   // wrong check byte in this header record
    std::optional<std::size_t> headerA65;     // a = 65 in this header record
    std::optional<std::size_t> dataCheck;     // wrong check byte in this data block
    std::size_t truncateData = 0;             // bytes cut from the end of the data part
    std::optional<std::uint32_t> hashAreaSize;  // tag 86 value instead of the real size
    bool omitEnd = false;                     // no end record
};

class Builder {
public:
    explicit Builder(std::filesystem::path baseDir) : baseDir_(std::move(baseDir)) {}

    Bytes Build(const std::vector<Line>& lines) {
        Collect(lines);
        const DataPart data = BuildDataPart(commands_, image_);
        const Bytes hashArea = BuildHashArea();
        const Bytes header = BuildHeader(lines, hashArea.size());
        Bytes out = BuildSignatureFile();
        out.insert(out.end(), header.begin(), header.end());
        out.insert(out.end(), hashArea.begin(), hashArea.end());
        Bytes blocks = data.blocks;
        if (breakage_.dataCheck) {
            if (*breakage_.dataCheck >= data.blockStarts.size()) throw DescriptionError("data_check: no such block");
            const std::size_t start = data.blockStarts[*breakage_.dataCheck];
            blocks[start + blocks[start + 3] + 4] ^= 0x01;
        }
        blocks.resize(blocks.size() - std::min(blocks.size(), breakage_.truncateData));
        out.insert(out.end(), blocks.begin(), blocks.end());
        return out;
    }

private:
    std::filesystem::path Resolve(const std::string& path) const {
        const std::filesystem::path p(path);
        return p.is_absolute() ? p : baseDir_ / p;
    }

    void Collect(const std::vector<Line>& lines) {
        for (const Line& line : lines) {
            if (line.section == "header") {
                if (line.key == "format_version") formatVersion_ = static_cast<std::uint16_t>(Number(line));
            } else if (line.section == "signature") {
                CollectSignature(line);
            } else if (line.section == "hash_area") {
                CollectHashArea(line);
            } else if (line.section == "data") {
                CollectData(line);
            } else if (line.section == "broken") {
                CollectBreakage(line);
            } else {
                Fail(line, "unknown section [" + line.section + "]");
            }
        }
    }

    void CollectSignature(const Line& line) {
        if (line.key == "key_id") {
            signatures_.push_back({static_cast<std::uint32_t>(Number(line)), {}, {}});
            return;
        }
        if (signatures_.empty()) Fail(line, "key_id must come first in [signature]");
        if (line.key == "private_key") signatures_.back().privateKey = Resolve(line.value);
        else if (line.key == "raw") signatures_.back().raw = Hex(line, line.value);
        else Fail(line, "unknown signature key");
    }

    void CollectHashArea(const Line& line) {
        hash_.present = true;
        if (line.key == "byte1") hash_.byte1 = static_cast<std::uint8_t>(Number(line));
        else if (line.key == "byte2") hash_.byte2 = static_cast<std::uint8_t>(Number(line));
        else if (line.key == "word1") hash_.word1 = static_cast<std::uint16_t>(Number(line));
        else if (line.key == "word2") hash_.word2 = static_cast<std::uint16_t>(Number(line));
        else if (line.key == "list") hash_.list = Hex(line, line.value);
        else if (line.key != "present") Fail(line, "unknown hash area key");
    }

    void CollectData(const Line& line) {
        if (line.key == "load_address") {
            image_.loadAddress = static_cast<std::uint32_t>(Number(line));
        } else if (line.key == "image") {
            image_.bytes = ReadFile(Resolve(line.value));
        } else if (line.key == "image_pattern") {
            // A reproducible image of that many bytes, for tests and demos.
            image_.bytes.resize(Number(line));
            for (std::size_t i = 0; i < image_.bytes.size(); ++i) {
                image_.bytes[i] = static_cast<std::uint8_t>((i * 7 + (i >> 8) * 13 + (i >> 16)) & 0xFF);
            }
        } else if (line.key == "command") {
            commands_.push_back(Hex(line, line.value));
            if (commands_.back().size() > 255) Fail(line, "command block data longer than 255 bytes");
        } else {
            Fail(line, "unknown data key");
        }
        if (std::uint64_t{image_.loadAddress} + image_.bytes.size() > 0xFFFFFF) {
            Fail(line, "image does not fit below address FFFFFF");
        }
    }

    void CollectBreakage(const Line& line) {
        if (line.key == "header_check") breakage_.headerCheck = Number(line);
        else if (line.key == "header_a65") breakage_.headerA65 = Number(line);
        else if (line.key == "data_check") breakage_.dataCheck = Number(line);
        else if (line.key == "truncate_data") breakage_.truncateData = Number(line);
        else if (line.key == "hash_area_size") breakage_.hashAreaSize = static_cast<std::uint32_t>(Number(line));
        else if (line.key == "omit_end") breakage_.omitEnd = Number(line) != 0;
        else Fail(line, "unknown breakage");
    }

    const Bytes& HashListBytes() {
        if (!hashList_) hashList_ = hash_.list ? *hash_.list : BuildHashList(image_);
        return *hashList_;
    }

    Bytes BuildHashArea() {
        if (!hash_.present) return {};
        const Bytes& list = HashListBytes();
        Bytes area(kHashMagic.begin(), kHashMagic.end());
        area.push_back(hash_.byte1);
        area.push_back(hash_.byte2);
        PutU16Le(area, hash_.word1);
        PutU16Le(area, hash_.word2.value_or(static_cast<std::uint16_t>(list.size() / kHashEntryBytes)));
        area.insert(area.end(), list.begin(), list.end());
        return area;
    }

    // d0 + d1 * 2^8 + d2 * 2^20 + d3 * 2^28: bits 16 to 19 cannot be told.
    static Bytes HashAreaSizeRecord(std::uint32_t size) {
        if ((size & 0x000F0000u) != 0) throw DescriptionError("hash area size has bits 16 to 19 set");
        return {static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
                static_cast<std::uint8_t>(size >> 20), static_cast<std::uint8_t>(size >> 28)};
    }

    Bytes BuildHeader(const std::vector<Line>& lines, std::size_t hashAreaBytes) {
        HeaderWriter header(formatVersion_ >= 95 ? Variant::kFull : Variant::kHalf);
        for (const Line& line : lines) {
            if (line.section == "header") WriteHeaderLine(header, line);
        }
        if (hashAreaBytes > 0 || breakage_.hashAreaSize) {
            header.Record(86, HashAreaSizeRecord(breakage_.hashAreaSize.value_or(static_cast<std::uint32_t>(hashAreaBytes))));
        }
        if (!breakage_.omitEnd) header.Record(4, {});
        Bytes& bytes = header.bytes();
        const auto& starts = header.recordStarts();
        if (breakage_.headerCheck) {
            const std::size_t start = RecordStart(starts, *breakage_.headerCheck);
            bytes[start + 5 + (bytes[start + 3] - 1u)] ^= 0x01;  // the check byte behind the data
        }
        if (breakage_.headerA65) {
            const std::size_t start = RecordStart(starts, *breakage_.headerA65);
            bytes[start + 3] = 65;
        }
        return bytes;
    }

    static std::size_t RecordStart(const std::vector<std::size_t>& starts, std::size_t index) {
        if (index >= starts.size()) throw DescriptionError("broken: no header record " + std::to_string(index));
        return starts[index];
    }

    Bytes BuildSignatureFile() {
        if (signatures_.empty()) return {};
        Bytes out(kSignatureMagic.begin(), kSignatureMagic.end());
        for (const SignatureSpec& entry : signatures_) {
            Bytes signature = entry.raw;
            if (!entry.privateKey.empty()) {
                if (!hash_.present) throw DescriptionError("a signature needs a [hash_area] to sign");
                signature = Sign(entry.privateKey, HashListBytes());
            }
            PutU32(out, entry.keyId);
            PutU16Le(out, signature.size());
            out.insert(out.end(), signature.begin(), signature.end());
        }
        PutU32(out, 0);
        return out;
    }

    std::filesystem::path baseDir_;
    std::uint16_t formatVersion_ = 0;
    std::vector<SignatureSpec> signatures_;
    HashArea hash_;
    std::optional<Bytes> hashList_;
    Image image_;
    std::vector<Bytes> commands_;
    Breakage breakage_;
};

}  // namespace

std::optional<std::vector<std::uint8_t>> BuildXbi(const std::string& description,
                                                  const std::filesystem::path& baseDir, std::string& error) {
    try {
        return Builder(baseDir).Build(ParseDescription(description));
    } catch (const DescriptionError& e) {
        error = e.what();
        return std::nullopt;
    }
}

std::optional<std::vector<std::uint8_t>> BuildXbiFromFile(const std::filesystem::path& descriptionFile,
                                                          std::string& error) {
    std::ifstream in(descriptionFile);
    if (!in) {
        error = "cannot read " + descriptionFile.string();
        return std::nullopt;
    }
    std::stringstream text;
    text << in.rdbuf();
    return BuildXbi(text.str(), descriptionFile.parent_path(), error);
}

}  // namespace xbimake
