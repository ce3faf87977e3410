#include "platform/os/command_line.h"

#include <unistd.h>

#include <climits>
#include <fstream>
#include <iterator>

namespace os {
namespace {

std::string OwnExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0) return {};
    return std::string(buffer, static_cast<std::size_t>(length));
}

// The arguments after the program name, from /proc/self/cmdline (NUL separated).
std::string Arguments() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t programEnd = all.find('\0');
    if (programEnd == std::string::npos) return {};
    std::string result;
    std::size_t start = programEnd + 1;
    while (start < all.size()) {
        std::size_t end = all.find('\0', start);
        if (end == std::string::npos) end = all.size();
        result += ' ';
        result.append(all, start, end - start);
        start = end + 1;
    }
    return result;
}

}  // namespace

std::string GetCommandLine() {
    return '"' + OwnExecutablePath() + '"' + Arguments();
}

const char* ExecutableSuffix() {
    return "";
}

}  // namespace os
