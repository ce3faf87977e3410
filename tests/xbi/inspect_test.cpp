// vqpkg inspect on files made by xbimake: an XBI file of format 95 and 94, the same file inside a
// package, and a broken file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "tests/xbi/test_dirs.h"
#include "tools/xbimake/xbi_writer.h"

namespace {

namespace fs = std::filesystem;


struct Outcome {
    int exitCode;
    std::string output;
};

Outcome Execute(const std::string& command) {
    Outcome run{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class Inspect : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vqpkg-inspect-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        vqpkg_ = (xbitest::BinaryDir() / "tools" / "vqpkg" / "vqpkg").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path Make(const std::string& name, const std::string& description) {
        std::string error;
        const auto xbi = xbimake::BuildXbi(description, xbitest::SourceDir(), error);
        EXPECT_TRUE(xbi.has_value()) << error;
        const fs::path path = dir_ / name;
        std::ofstream out(path, std::ios::binary);
        if (xbi) out.write(reinterpret_cast<const char*>(xbi->data()), static_cast<std::streamsize>(xbi->size()));
        return path;
    }

    fs::path dir_;
    std::string vqpkg_;
};

std::string Realistic(int formatVersion) {
    return "[header]\nformat_version = " + std::to_string(formatVersion) +
           "\nlibrary_version = 230\nproject_name = VQ20\nproduct_type = VQ20 \"dual\"\nsvn = 0x21\n"
           "compile = 18.11.02 12:34:56\nproject_class = 5\nsw_type = 0\n"
           "erase = 0x200000, 0x2FFFFF\nsplit_element = 0x200000, 0x2FFFFF, 0, 0, 0, Main\n"
           "[data]\nload_address = 0x200000\nimage_pattern = 1048576\ncommand = 0A\n"
           "[hash_area]\npresent = 1\n"
           "[signature]\nkey_id = 0x5A4D0001\nprivate_key = sim/keys/phone-key-5a4d0001.pem\n"
           "[signature]\nkey_id = 0x5A4D0002\nprivate_key = sim/keys/phone-key-5a4d0002.pem\n";
}

void ExpectRealistic(const std::string& json, int formatVersion) {
    for (const std::string& part : std::initializer_list<std::string>{
             "\"kind\":\"xbi\"", "\"result\":1", "\"formatVersion\":" + std::to_string(formatVersion),
             "\"productType\":\"VQ20 \\\"dual\\\"\"", "\"svn\":\"SVN: 21\"", "\"compileDate\":\"18.11.02\"",
             "\"eraseList\":[{\"start\":\"0x200000\",\"end\":\"0x2FFFFF\"}]", "\"splitKind\":\"Split Only\"",
             "{\"keyId\":\"0x5A4D0001\",\"signatureLength\":128,\"blockBytes\":155,\"blocks\":3}",
             "{\"keyId\":\"0x5A4D0002\",\"signatureLength\":128,\"blockBytes\":155,\"blocks\":3}",
             "\"hashList\":{\"parameterByte1\":1,\"parameterByte2\":0,\"parameterWord1\":28,\"parameterWord2\":16,"
             "\"blockBytes\":520,\"listLength\":448,\"blocks\":8}",
             "\"dataPart\":{\"length\":1130502,\"blocks\":16385,\"commandBlocks\":1,\"dataBytes\":1048576,"
             "\"firstAddress\":\"0x200000\"}"}) {
        EXPECT_NE(json.find(part), std::string::npos) << part << "\nnot in\n" << json;
    }
}

TEST_F(Inspect, XbiFileOfFormat95And94) {
    for (const int version : {95, 94}) {
        const fs::path file = Make("file" + std::to_string(version) + ".xbi", Realistic(version));
        const Outcome run = Execute(vqpkg_ + " inspect " + file.string());
        EXPECT_EQ(run.exitCode, 0);
        ExpectRealistic(run.output, version);
    }
}

TEST_F(Inspect, PackageBodyIsDecipheredWithTheKeySet) {
    const fs::path keys = dir_ / "keys";
    ASSERT_EQ(Execute(vqpkg_ + " keygen " + keys.string() + " > /dev/null").exitCode, 0);
    const fs::path xbi = Make("file.xbi", Realistic(95));
    const fs::path updater = dir_ / "updater";
    std::ofstream(updater) << "a stand-in for the updater program";
    const fs::path package = dir_ / "package";
    ASSERT_EQ(Execute(vqpkg_ + " build --updater " + updater.string() + " --xbi " + xbi.string() + " --keys " +
                      keys.string() + " --out " + package.string() + " > /dev/null")
                  .exitCode,
              0);
    const Outcome run = Execute(vqpkg_ + " inspect " + package.string() + " --keys " + keys.string());
    EXPECT_EQ(run.exitCode, 0);
    std::string asXbi = run.output;
    const std::string kind = "\"kind\":\"package\"";
    ASSERT_NE(asXbi.find(kind), std::string::npos) << asXbi;
    asXbi.replace(asXbi.find(kind), kind.size(), "\"kind\":\"xbi\"");
    ExpectRealistic(asXbi, 95);
}

TEST_F(Inspect, BrokenFileGivesResultCodeAndMessage) {
    const fs::path file = Make("broken.xbi",
                               "[header]\nformat_version = 95\nlibrary_version = 230\nproject_class = 5\n"
                               "[data]\nload_address = 0x1000\nimage_pattern = 300\n[broken]\ntruncate_data = 3\n");
    const Outcome run = Execute(vqpkg_ + " inspect " + file.string());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("\"result\":0,\"errorCode\":\"0x0809\",\"message\":\"Some Error : 1 occured on reading XBI-Data\""),
              std::string::npos)
        << run.output;
}

}  // namespace
