#include "package/own_path.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/os/command_line.h"

char g_szOwnPath[kOwnPathSize];

namespace {

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
    auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    auto it = std::search(text.begin(), text.end(), part.begin(), part.end(),
                          [&lower](char a, char b) { return lower(a) == lower(b); });
    return it != text.end();
}

}  // namespace

std::string OwnPathFromCommandLine(std::string_view commandLine, std::string_view executableSuffix) {
    std::string_view path = commandLine.substr(0, kOwnPathSize - 1);
    if (!path.empty() && path.front() == '"') {
        std::size_t lastQuote = path.rfind('"');
        if (lastQuote > 0) {
            path = path.substr(0, lastQuote);
        }
        path.remove_prefix(1);
    }
    std::string result(path);
    // The suffix is added only where it fits: a cut path would name another file.
    if (!executableSuffix.empty() && !ContainsIgnoringCase(result, executableSuffix) &&
        result.size() + executableSuffix.size() < kOwnPathSize) {
        result += executableSuffix;
    }
    return result;
}

const char* FillOwnPath() {
    std::string path = OwnPathFromCommandLine(os::GetCommandLine(), os::ExecutableSuffix());
    std::memcpy(g_szOwnPath, path.c_str(), path.size() + 1);
    return g_szOwnPath;
}
