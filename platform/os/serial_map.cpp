#include "platform/os/serial_map.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <string_view>

namespace os {
namespace {

constexpr long kMapInvalidParameter = 87;

std::string DefaultValueName(std::size_t position) {
    return "\\Device\\Serial" + std::to_string(position);
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// "[valueName:]data=path"; nullopt when data or path is missing.
std::optional<SerialMapEntry> ParseEntry(std::string_view entry, std::size_t position) {
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    std::string_view head = Trim(entry.substr(0, equals));
    const std::string_view path = Trim(entry.substr(equals + 1));
    std::string valueName = DefaultValueName(position);
    if (const std::size_t colon = head.rfind(':'); colon != std::string_view::npos) {
        valueName = std::string(Trim(head.substr(0, colon)));
        head = Trim(head.substr(colon + 1));
    }
    if (head.empty() || path.empty() || valueName.empty()) return std::nullopt;
    return SerialMapEntry{valueName, std::string(head), std::string(path)};
}

// Device names of one kind ("ttyUSB" -> ttyUSB0, ttyUSB1, ...) in numeric order.
std::vector<std::string> DevicesOfKind(const std::vector<std::string>& names,
                                       std::string_view prefix) {
    std::vector<std::pair<unsigned long, std::string>> found;
    for (const auto& name : names) {
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string number = name.substr(prefix.size());
        if (!std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        found.emplace_back(std::stoul(number), name);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> result;
    for (auto& entry : found) result.push_back(std::move(entry.second));
    return result;
}

// A ttyS line has a real UART behind it when its port type is not 0 ("unknown").
bool HasUart(const std::string& directory, const std::string& name) {
    std::ifstream in(directory + "/" + name + "/type");
    int type = 0;
    return static_cast<bool>(in >> type) && type != 0;
}

std::vector<std::string> ListDirectory(const char* directory) {
    std::vector<std::string> names;
    DIR* dir = opendir(directory);
    if (dir == nullptr) return names;
    while (const dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
    closedir(dir);
    return names;
}

std::mutex snapshotLock;
std::optional<std::vector<SerialMapEntry>> snapshot;  // the open map, guarded by snapshotLock

// Copies text cut to a buffer of size bytes, terminated; false when it had to be cut.
bool CopyCut(const std::string& text, char* out, std::uint32_t size, std::uint32_t& stored) {
    stored = 0;
    if (size == 0) return false;
    stored = static_cast<std::uint32_t>(std::min<std::size_t>(text.size(), size - 1));
    std::memcpy(out, text.data(), stored);
    out[stored] = '\0';
    return stored == text.size();
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::vector<SerialMapEntry> ParseComPortList(const char* text) {
    std::vector<SerialMapEntry> entries;
    if (text == nullptr) return entries;
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        if (auto entry = ParseEntry(rest.substr(0, comma), entries.size()))
            entries.push_back(std::move(*entry));
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    return entries;
}

std::vector<SerialMapEntry> DetectSerialDevices(const char* sysClassTtyDirectory) {
    const std::vector<std::string> names = ListDirectory(sysClassTtyDirectory);
    std::vector<std::string> devices;
    for (auto& name : DevicesOfKind(names, "ttyS"))
        if (HasUart(sysClassTtyDirectory, name)) devices.push_back(name);
    for (const char* kind : {"ttyUSB", "ttyACM"})
        for (auto& name : DevicesOfKind(names, kind)) devices.push_back(name);
    std::vector<SerialMapEntry> entries;
    for (const auto& device : devices)
        entries.push_back({DefaultValueName(entries.size()),
                           "COM" + std::to_string(entries.size() + 1), "/dev/" + device});
    return entries;
}

std::vector<SerialMapEntry> CurrentSerialDeviceMap() {
    if (const char* list = std::getenv("VQ_COMPORTS")) return ParseComPortList(list);
    return DetectSerialDevices("/sys/class/tty");
}

bool OpenSerialDeviceMap() {
    auto entries = CurrentSerialDeviceMap();
    std::lock_guard guard(snapshotLock);
    if (entries.empty()) {
        snapshot.reset();
        return false;
    }
    snapshot = std::move(entries);
    return true;
}

void CloseSerialDeviceMap() {
    std::lock_guard guard(snapshotLock);
    snapshot.reset();
}

long EnumSerialDeviceMapValue(std::uint32_t index, char* name, std::uint32_t* nameSize, char* data,
                              std::uint32_t* dataSize) {
    std::lock_guard guard(snapshotLock);
    if (!snapshot) return kMapInvalidHandle;
    if (index >= snapshot->size()) return kMapNoMoreItems;
    if (name == nullptr || nameSize == nullptr) return kMapInvalidParameter;
    const SerialMapEntry& entry = (*snapshot)[index];
    std::uint32_t stored = 0;
    bool whole = CopyCut(entry.valueName, name, *nameSize, stored);
    *nameSize = stored;
    if (data != nullptr && dataSize != nullptr) {
        whole = CopyCut(entry.data, data, *dataSize, stored) && whole;
        *dataSize = *dataSize == 0 ? 0 : stored + 1;
    }
    return whole ? kMapSuccess : kMapMoreData;
}

std::string ResolveSerialDevice(const char* comName) {
    if (comName == nullptr) return {};
    for (const auto& entry : CurrentSerialDeviceMap())
        if (EqualIgnoringCase(entry.data, comName)) return entry.devicePath;
    return {};
}

}  // namespace os
