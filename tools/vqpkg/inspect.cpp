#include "tools/vqpkg/inspect.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "package/builtin_constants.h"
#include "package/package_reader.h"
#include "tools/vqpkg/key_constants.h"
#include "tools/vqpkg/key_set.h"
#include "updlib/error_registry.h"
#include "updlib/libif.h"
#include "xbi/heaplib.h"
#include "xbi/software_file.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A small JSON writer: objects and arrays with members in the order they are added.
class Json {
public:
    void Open(const char* name, char bracket) {
        Key(name);
        out_ += bracket;
        first_ = true;
    }
    void Close(char bracket) {
        out_ += bracket;
        first_ = false;
    }
    void Number(const char* name, std::uint64_t value) {
        Key(name);
        out_ += std::to_string(value);
    }
    void Hex(const char* name, std::uint32_t value, int digits) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%0*X", digits, value);
        String(name, text);
    }
    void String(const char* name, std::string_view text) {
        Key(name);
        out_ += '"';
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                out_ += '\\';
                out_ += c;
            } else if (byte < 0x20 || byte >= 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                out_ += escaped;
            } else {
                out_ += c;
            }
        }
        out_ += '"';
    }
    void Null(const char* name) {
        Key(name);
        out_ += "null";
    }
    const std::string& text() const { return out_; }

private:
    void Key(const char* name) {
        if (!first_) out_ += ',';
        first_ = false;
        if (name != nullptr) {
            out_ += '"';
            out_ += name;
            out_ += "\":";
        }
    }
    std::string out_;
    bool first_ = true;
};

bool StartsWith(const Bytes& data, std::string_view magic) {
    return data.size() >= magic.size() && std::memcmp(data.data(), magic.data(), magic.size()) == 0;
}

// The message of an error entry with its arguments filled in, conversion by conversion.
std::string FormatMessage(const char* format, const updlib::ErrorEntry& entry) {
    std::string out;
    std::size_t letter = 0, integers = 0, texts = 0;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        const char* start = p++;
        while (*p != '\0' && std::strchr("diouxXcsfegpn%", *p) == nullptr) ++p;
        if (*p == '\0') break;
        if (*p == '%') {
            out += '%';
            continue;
        }
        const std::string conversion(start, p + 1);
        const char type = letter < std::strlen(entry.argTypes) ? entry.argTypes[letter++] : 'd';
        char text[2100];
        if (type == 's' || type == 'S') {
            std::snprintf(text, sizeof text, "%s", texts < updlib::kTextArgCount ? entry.textArgs[texts++] : "");
        } else {
            // Size letters of the template (l, h) do not change a 32-bit argument.
            std::string plain;
            for (const char c : conversion) {
                if (c != 'l' && c != 'h') plain += c;
            }
            if (plain.back() == 's' || plain.back() == 'S') plain.back() = 'd';
            const int value = integers < updlib::kIntArgCount ? entry.intArgs[integers++] : 0;
            std::snprintf(text, sizeof text, plain.c_str(), value);
        }
        out += text;
    }
    return out;
}

void PrintHeader(Json& json, const xbi::XbiHeader& h) {
    json.Open("header", '{');
    json.Number("formatVersion", h.formatVersion);
    json.Number("requiredLibraryVersion", h.requiredLibraryVersion);
    json.String("projectName", h.projectName);
    json.String("productType", h.productType);
    json.String("secondProductText", h.secondProductText);
    json.String("thirdProductText", h.thirdProductText);
    json.String("thirdNameText", h.thirdNameText);
    json.String("fourthNameText", h.fourthNameText);
    json.String("fifthNameText", h.fifthNameText);
    json.String("sixthNameText", h.sixthNameText);
    json.String("compileDate", h.compileDate);
    json.String("compileTime", h.compileTime);
    json.String("secondDate", h.secondDate);
    json.String("secondTime", h.secondTime);
    json.String("oldDate", h.oldDate);
    json.String("oldTime", h.oldTime);
    json.String("fourthDate", h.fourthDate);
    json.String("fourthTime", h.fourthTime);
    json.Hex("svn", h.svn, 2);
    json.Hex("versionWord", h.versionWord, 8);
    json.Number("swType", h.swType);
    json.Number("projectClass", h.projectClass);
    json.Number("softwareSize", h.softwareSize);
    json.Hex("bgjAddress", h.bgjAddress, 6);
    json.Hex("flashCodeRequest", h.flashCodeRequest, 2);
    json.Hex("splitBase", h.splitBase, 8);
    json.Hex("splitId", h.splitId, 8);
    json.Number("parameterA0", h.parameterA0);
    json.Number("compressionType", h.compressionType);
    json.Open("languageGroups", '[');
    for (const auto value : h.languageGroup) json.Number(nullptr, value);
    json.Close(']');
    json.Number("additionalDataLength", h.additionalDataLength);
    json.Number("mapInfoLength", h.mapInfoLength);
    json.Number("mapInfoComplete", h.mapInfoComplete);
    json.Number("hashAreaSize", h.hashAreaSize);
    json.Number("locators", h.locatorList.size());
    json.Number("textElements", h.textElementList.size());
    json.Open("eraseList", '[');
    for (const auto& range : h.eraseList) {
        json.Open(nullptr, '{');
        json.Hex("start", range.start, 6);
        json.Hex("end", range.end, 6);
        json.Close('}');
    }
    json.Close(']');
    json.Open("splitList", '[');
    for (const auto& split : h.splitList) {
        json.Open(nullptr, '{');
        json.Hex("start", split.start, 6);
        json.Hex("end", split.end, 6);
        json.Number("kind", split.kind);
        json.String("name", split.name);
        json.Close('}');
    }
    json.Close(']');
    json.Close('}');
}

void PrintSwInfo(Json& json, const xbi::SwInfo& info) {
    json.Open("swInfo", '{');
    json.String("productType", info.productType);
    json.String("projectName", info.projectName);
    json.String("svn", info.svn);
    json.String("compileDate", info.compileDate);
    json.String("compileTime", info.compileTime);
    json.String("swType", info.swTypeName);
    json.String("splitKind", info.splitKind);
    json.String("splitName", info.splitName);
    json.Close('}');
}

std::size_t BlockCount(std::uint32_t bytes) { return (bytes + xbi::kBlockDataBytes - 1) / xbi::kBlockDataBytes; }

void PrintSignatures(Json& json) {
    const xbi::SignatureTable* table = xbi::GetSignatureTable();
    if (table == nullptr) {
        json.Null("signatureTable");
        return;
    }
    json.Open("signatureTable", '[');
    for (std::uint32_t i = 0; i < table->count; ++i) {
        const xbi::SignatureEntry& entry = table->entries()[i];
        json.Open(nullptr, '{');
        json.Hex("keyId", entry.keyId, 8);
        json.Number("signatureLength", entry.signatureLength);
        json.Number("blockBytes", entry.blockBytes);
        json.Number("blocks", BlockCount(entry.signatureLength));
        json.Close('}');
    }
    json.Close(']');
}

void PrintHashList(Json& json, std::uint32_t hashAreaSize) {
    const xbi::HashList* list = xbi::GetHashList();
    if (list == nullptr) {
        json.Null("hashList");
        return;
    }
    json.Open("hashList", '{');
    json.Number("parameterByte1", list->parameterByte1);
    json.Number("parameterByte2", list->parameterByte2);
    json.Number("parameterWord1", list->parameterWord1);
    json.Number("parameterWord2", list->parameterWord2);
    json.Number("blockBytes", list->blockBytes);
    const std::uint32_t listLength = hashAreaSize - xbi::kHashAreaHead;
    json.Number("listLength", listLength);
    json.Number("blocks", BlockCount(listLength));
    json.Close('}');
}

void PrintDataPart(Json& json) {
    const std::uint8_t* data = xbi::GetHeapData();
    const std::uint32_t length = xbi::GetDataBytesToSend();
    std::size_t blocks = 0, commandBlocks = 0, dataBytes = 0;
    bool haveFirst = false;
    std::uint32_t firstAddress = 0;
    // The data part was checked block by block when the file was read.
    for (std::uint32_t at = 0; at < length; at += data[at + 3] + 5u) {
        ++blocks;
        const std::uint32_t address = std::uint32_t{data[at]} << 16 | data[at + 1] << 8 | data[at + 2];
        if (address == 0xFFFFFF) {
            ++commandBlocks;
            continue;
        }
        dataBytes += data[at + 3];
        if (!haveFirst) firstAddress = address;
        haveFirst = true;
    }
    json.Open("dataPart", '{');
    json.Number("length", length);
    json.Number("blocks", blocks);
    json.Number("commandBlocks", commandBlocks);
    json.Number("dataBytes", dataBytes);
    if (haveFirst) json.Hex("firstAddress", firstAddress, 6);
    else json.Null("firstAddress");
    json.Close('}');
}

int Report(const Json& json, int exitCode) {
    std::printf("%s\n", json.text().c_str());
    return exitCode;
}

}  // namespace

int RunInspect(const CommandArgs& args) {
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, {"keys"}, &parsed, &error) || parsed.positional.size() != 1) {
        if (!error.empty()) std::fprintf(stderr, "vqpkg inspect: %s\n", error.c_str());
        std::fprintf(stderr, "usage: vqpkg inspect FILE [--keys DIR]\n");
        return 2;
    }
    const std::string& path = parsed.positional[0];
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "vqpkg inspect: cannot read %s\n", path.c_str());
        return 2;
    }
    Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    Json json;
    json.Open(nullptr, '{');
    json.String("file", path);
    const bool isXbi = StartsWith(data, xbi::kXbiMagic) || StartsWith(data, xbi::kSignatureFileMagic);
    json.String("kind", isXbi ? "xbi" : "package");
    if (!isXbi) {
        KeySet keys;
        std::unique_ptr<LoadedKeyConstants> loaded;
        const PackageConstants* constants = &kBuiltInPackageConstants;
        if (parsed.options.count("keys")) {
            if (!LoadKeySet(parsed.options["keys"], &keys, &error)) {
                std::fprintf(stderr, "vqpkg inspect: %s\n", error.c_str());
                return 2;
            }
            loaded = std::make_unique<LoadedKeyConstants>(keys);
            constants = &loaded->constants;
        }
        std::string log;
        const PackageSource source{path.c_str(), constants, [&log](const char* text) { log += text; }};
        std::uint32_t bodyLength = 0;
        std::uint8_t* body = nullptr;
        if (!ReadUpdatePackage(source, &bodyLength, &body)) {
            json.String("package", "refused");
            json.String("log", log);
            json.Close('}');
            return Report(json, 1);
        }
        data.assign(body, body + bodyLength);
        std::free(body);
    }

    updlib::CheckInterfaceVersion(updlib::kInterfaceMajor, updlib::kInterfaceMinor);
    updlib::SetUpdateMode(updlib::kModeUpdateLoader);
    xbi::SwInfo info{};
    const int result = xbi::ReadSoftwareFile(info, data.data(), static_cast<std::uint32_t>(data.size()));
    json.Number("result", static_cast<std::uint64_t>(result));
    if (result == 0) {
        const updlib::ErrorEntry entry = updlib::GetLastSlotError(0);
        const updlib::ErrorTableRow* row = updlib::FindErrorTableRow(entry.code);
        json.Hex("errorCode", static_cast<std::uint32_t>(entry.code), 4);
        json.String("message", row != nullptr ? FormatMessage(row->message, entry) : std::string());
        json.Close('}');
        xbi::ReleaseSoftwareFile();
        return Report(json, 1);
    }
    PrintHeader(json, xbi::GetXbiHeader());
    PrintSwInfo(json, info);
    PrintSignatures(json);
    PrintHashList(json, xbi::GetXbiHeader().hashAreaSize);
    PrintDataPart(json);
    json.Close('}');
    xbi::ReleaseSoftwareFile();
    return Report(json, 0);
}
