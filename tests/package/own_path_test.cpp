// The path of the program's own file from the command line.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "package/own_path.h"
#include "platform/os/command_line.h"

namespace {

struct OwnPathCase {
    const char* name;
    const char* commandLine;
    const char* suffix;
    const char* path;
};

void PrintTo(const OwnPathCase& c, std::ostream* out) { *out << "command line [" << c.commandLine << "]"; }

class OwnPath : public ::testing::TestWithParam<OwnPathCase> {};

TEST_P(OwnPath, FollowsTheQuoteAndSuffixRules) {
    EXPECT_EQ(OwnPathFromCommandLine(GetParam().commandLine, GetParam().suffix), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, OwnPath,
    ::testing::Values(
        OwnPathCase{"QuotedUpperCaseExe", "\"C:\\Tools\\VQ20UPD.EXE\"", ".exe", "C:\\Tools\\VQ20UPD.EXE"},
        OwnPathCase{"QuotedMixedCaseExeWithArguments", "\"C:\\Tools\\vq.eXe\" -x", ".exe", "C:\\Tools\\vq.eXe"},
        OwnPathCase{"UnquotedGetsExe", "C:\\Tools\\vq20upd", ".exe", "C:\\Tools\\vq20upd.exe"},
        OwnPathCase{"UnquotedKeepsArgumentsBeforeExe", "C:\\Tools\\vq20upd -x", ".exe", "C:\\Tools\\vq20upd -x.exe"},
        OwnPathCase{"QuotedWithoutSuffix", "\"/opt/vq/vqupdate\" arg", "", "/opt/vq/vqupdate"},
        OwnPathCase{"QuotesInsideThePath", "\"/opt/my \"odd\" dir/vqupdate\" a", "", "/opt/my \"odd\" dir/vqupdate"},
        OwnPathCase{"LoneLeadingQuote", "\"/opt/vq/vqupdate", "", "/opt/vq/vqupdate"},
        OwnPathCase{"UnquotedWithoutSuffix", "/opt/vq/vqupdate arg", "", "/opt/vq/vqupdate arg"},
        OwnPathCase{"EmptyGetsExe", "", ".exe", ".exe"}),
    [](const ::testing::TestParamInfo<OwnPathCase>& info) { return std::string(info.param.name); });

TEST(OwnPathLength, StaysWithinTheBufferWhereTheSuffixDoesNotFit) {
    const std::string longPath(kOwnPathSize + 100, 'p');
    std::string path = OwnPathFromCommandLine(longPath, ".exe");
    EXPECT_EQ(path, longPath.substr(0, kOwnPathSize - 1));
    const std::string roomForSuffix(kOwnPathSize - 5, 'q');
    EXPECT_EQ(OwnPathFromCommandLine(roomForSuffix, ".exe"), roomForSuffix + ".exe");
}

TEST(OwnPathOfThisProcess, NamesTheRunningExecutable) {
    const char* path = FillOwnPath();
    EXPECT_EQ(path, g_szOwnPath);
    EXPECT_NE(std::string(path).find("package"), std::string::npos) << path;
    EXPECT_EQ(std::string(path).front(), '/');
}

}  // namespace
