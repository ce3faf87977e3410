#include "platform/os/profile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string_view>

namespace os {
namespace {

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string UserConfigDirectory() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0')
        return xdg;
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return std::string(home) + "/.config";
    return {};
}

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::optional<std::string> FindValue(const std::string& path, std::string_view section,
                                     std::string_view key) {
    std::ifstream in(path);
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        const std::string_view text = Trim(line);
        if (text.empty() || text.front() == ';') continue;
        if (text.front() == '[') {
            const std::size_t close = text.find(']');
            inSection = close != std::string_view::npos &&
                        EqualIgnoringCase(Trim(text.substr(1, close - 1)), section);
            continue;
        }
        const std::size_t equals = text.find('=');
        if (inSection && equals != std::string_view::npos &&
            EqualIgnoringCase(Trim(text.substr(0, equals)), key))
            return std::string(Unquote(Trim(text.substr(equals + 1))));
    }
    return std::nullopt;
}

std::uint32_t CopyCut(std::string_view value, char* out, std::uint32_t size) {
    if (out == nullptr || size == 0) return 0;
    const std::size_t count = std::min<std::size_t>(value.size(), size - 1);
    std::memcpy(out, value.data(), count);
    out[count] = '\0';
    return static_cast<std::uint32_t>(count);
}

}  // namespace

std::string FindProfileFile(const char* fileName) {
    if (fileName == nullptr || *fileName == '\0') return {};
    const std::string name = fileName;
    if (name.find('/') != std::string::npos) return IsRegularFile(name) ? name : std::string();
    if (IsRegularFile(name)) return name;
    const std::string configDirectory = UserConfigDirectory();
    if (!configDirectory.empty() && IsRegularFile(configDirectory + '/' + name))
        return configDirectory + '/' + name;
    return {};
}

std::uint32_t GetPrivateProfileString(const char* section, const char* key,
                                      const char* defaultValue, char* out, std::uint32_t size,
                                      const char* fileName) {
    const std::string path = FindProfileFile(fileName);
    if (!path.empty() && section != nullptr && key != nullptr) {
        if (const auto value = FindValue(path, section, key)) return CopyCut(*value, out, size);
    }
    return CopyCut(defaultValue != nullptr ? defaultValue : "", out, size);
}

}  // namespace os
