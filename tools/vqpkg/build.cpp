#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "tools/vqpkg/commands.h"
#include "tools/vqpkg/package_writer.h"

namespace fs = std::filesystem;

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "vqpkg build: %s\n", message.c_str());
    return 1;
}

bool ParseTimeStamp(const std::string& text, std::uint32_t* value) {
    try {
        std::size_t used = 0;
        unsigned long long seconds = std::stoull(text, &used);
        if (used != text.size() || seconds > UINT32_MAX) {
            return false;
        }
        *value = static_cast<std::uint32_t>(seconds);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

int RunBuild(const CommandArgs& args) {
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, {"updater", "xbi", "keys", "timestamp", "out"}, &parsed, &error)) {
        return Fail(error);
    }
    auto& options = parsed.options;
    if (!parsed.positional.empty() || !options.count("updater") || !options.count("xbi") || !options.count("out")) {
        std::fprintf(stderr,
                     "usage: vqpkg build --updater EXE --xbi FILE [--keys DIR] [--timestamp SECONDS] --out FILE\n");
        return 2;
    }
    const std::string keysDir = options.count("keys") ? options["keys"] : VQPKG_DEFAULT_KEYS_DIR;
    std::uint32_t timeStamp = static_cast<std::uint32_t>(std::time(nullptr));
    if (options.count("timestamp") && !ParseTimeStamp(options["timestamp"], &timeStamp)) {
        return Fail("--timestamp wants seconds since 1970 that fit 32 bits");
    }

    std::vector<std::uint8_t> updater;
    std::vector<std::uint8_t> body;
    if (!ReadWholeFile(options["updater"], &updater)) {
        return Fail("cannot read " + options["updater"]);
    }
    if (updater.size() > UINT32_MAX) {
        return Fail(options["updater"] + " is larger than 4 GiB");
    }
    if (!ReadWholeFile(options["xbi"], &body)) {
        return Fail("cannot read " + options["xbi"]);
    }
    KeySet keys;
    std::vector<std::uint8_t> package;
    if (!LoadKeySet(keysDir, &keys, &error) || !MakePackage(keys, body, timeStamp, &package, &error)) {
        return Fail(error);
    }
    std::vector<std::uint8_t> trailer = MakeTrailer(static_cast<std::uint32_t>(updater.size()));

    const std::string& outPath = options["out"];
    std::error_code ec;
    if (fs::exists(outPath) && fs::equivalent(outPath, options["updater"], ec)) {
        return Fail("--out must not be the updater itself");
    }
    std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
    for (const auto* part : {&updater, &package, &trailer}) {
        out.write(reinterpret_cast<const char*>(part->data()), static_cast<std::streamsize>(part->size()));
    }
    out.close();
    if (!out) {
        return Fail("cannot write " + outPath);
    }
    const fs::perms executable = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
    fs::permissions(outPath, fs::status(options["updater"]).permissions() | executable | fs::perms::owner_write,
                    fs::perm_options::replace, ec);
    if (ec) {
        return Fail("cannot make " + outPath + " executable: " + ec.message());
    }
    std::printf("%s: application %zu bytes, package %zu bytes, body %zu bytes, time stamp %u\n", outPath.c_str(),
                updater.size(), package.size() + trailer.size(), body.size(), timeStamp);
    return 0;
}
