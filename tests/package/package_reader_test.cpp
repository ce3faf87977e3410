// The package reader on packages made by `vqpkg build`, and on tampered copies of them.
#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>

#include "crypto_helpers.h"
#include "package/builtin_constants.h"
#include "package/own_path.h"
#include "package/package_reader.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kTimeStamp = 1234567890;
constexpr std::size_t kHeader = 138;
constexpr std::size_t kTrailer = 34;

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadText(const fs::path& path) {
    Bytes bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

struct ReadResult {
    bool accepted = false;
    std::string log;
    Bytes body;
};

ReadResult ReadPackage(const fs::path& path, const PackageConstants& constants = kBuiltInPackageConstants) {
    ReadResult result;
    const std::string name = path.string();
    PackageSource source{name.c_str(), &constants, [&result](const char* text) { result.log += text; }};
    std::uint32_t length = 0;
    std::uint8_t* body = nullptr;
    result.accepted = ReadUpdatePackage(source, &length, &body);
    if (result.accepted) {
        result.body.assign(body, body + length);
        std::free(body);
    }
    return result;
}

// The log of the reader up to the Kennung check for a file of `size` bytes.
std::string HeadLines(std::uint32_t applicationLength, std::size_t size, const char* kennung = "KRT_UDT") {
    return std::string("Read Kennung: ") + kennung + "\r\nApplication File Length: " +
           std::to_string(applicationLength) + " Bytes\r\nBinary File Length: " +
           std::to_string(size - applicationLength - kTrailer) + " Bytes\r\n";
}

void SetApplicationLength(Bytes* file, std::uint32_t length) {
    const std::size_t s = file->size();
    (*file)[s - 29] = static_cast<std::uint8_t>(length);
    (*file)[s - 22] = static_cast<std::uint8_t>(length >> 8);
    (*file)[s - 17] = static_cast<std::uint8_t>(length >> 16);
    (*file)[s - 26] = static_cast<std::uint8_t>(length >> 24);
}

class PackageReader : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("vq-package-test-" + std::to_string(random()));
        fs::create_directories(dir_);
        fs::copy_file("/bin/true", dir_ / "updater");
        updaterSize_ = static_cast<std::uint32_t>(fs::file_size(dir_ / "updater"));
        xbi_ = RandomBytes(1000, 99);
        WriteFile(dir_ / "software.xbi", xbi_);
        ASSERT_EQ(Build(dir_ / "software.xbi", dir_ / "package.exe"), 0);
        package_ = ReadFile(dir_ / "package.exe");
    }

    static void TearDownTestSuite() { fs::remove_all(dir_); }

    static int Run(const std::string& arguments, const fs::path& output) {
        std::string command = std::string(VQPKG_PATH) + " " + arguments + " >" + output.string() + " 2>&1";
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static int Build(const fs::path& xbi, const fs::path& out, const std::string& extra = "") {
        return Run("build --updater " + (dir_ / "updater").string() + " --xbi " + xbi.string() + " --timestamp " +
                       std::to_string(kTimeStamp) + " --out " + out.string() + extra,
                   dir_ / "build.txt");
    }

    // A copy of the package, changed by `change`, read back.
    static ReadResult ReadChanged(const std::function<void(Bytes&)>& change) {
        Bytes file = package_;
        change(file);
        WriteFile(dir_ / "changed.exe", file);
        return ReadPackage(dir_ / "changed.exe");
    }

    static std::string Path(const char* name) { return (dir_ / name).string(); }

    static std::size_t BodyStart() { return updaterSize_ + kHeader; }
    static std::size_t BodyEnd() { return package_.size() - kTrailer; }

    static inline fs::path dir_;
    static inline std::uint32_t updaterSize_ = 0;
    static inline Bytes xbi_;
    static inline Bytes package_;
};

TEST_F(PackageReader, AcceptsABuiltPackageAndReturnsTheBody) {
    ReadResult result = ReadPackage(dir_ / "package.exe");
    ASSERT_TRUE(result.accepted) << result.log;
    EXPECT_EQ(result.body, xbi_);
    EXPECT_EQ(result.log, HeadLines(updaterSize_, package_.size()));
    EXPECT_EQ(package_.size(), updaterSize_ + kHeader + (xbi_.size() / 16 + 1) * 16 + kTrailer);
    EXPECT_TRUE(std::equal(package_.begin(), package_.begin() + updaterSize_, ReadFile("/bin/true").begin()));
}

TEST_F(PackageReader, BodyLengthIsWithoutPadBytes) {
    for (std::size_t size : {0u, 1u, 15u, 16u, 17u, 32u}) {
        const Bytes body = RandomBytes(size, static_cast<std::uint32_t>(size));
        WriteFile(dir_ / "small.xbi", body);
        ASSERT_EQ(Build(dir_ / "small.xbi", dir_ / "small.exe"), 0) << ReadText(dir_ / "build.txt");
        ReadResult result = ReadPackage(dir_ / "small.exe");
        ASSERT_TRUE(result.accepted) << size << ": " << result.log;
        EXPECT_EQ(result.body, body) << size;
    }
}

TEST_F(PackageReader, RefusesBrokenPackagesWithTheirLogLine) {
    const std::string changed = Path("changed.exe");
    struct Case {
        const char* name;
        std::function<void(Bytes&)> change;
        std::string lastLine;
    };
    const Case cases[] = {
        {"wrong Kennung", [](Bytes& f) { f.back() = 'X'; }, "wrong Kennung KRT_UDX!\r\n"},
        {"version 00 02", [](Bytes& f) { f[updaterSize_ + 1] = 0x02; }, "wrong version number in " + changed + "!\r\n"},
        {"signature length 127", [](Bytes& f) { f[updaterSize_ + 9] = 127; }, "could not read " + changed + "!\r\n"},
        {"signature length 256", [](Bytes& f) { f[updaterSize_ + 8] = 1; }, "could not read " + changed + "!\r\n"},
        {"body not whole blocks",
         [](Bytes& f) { f.erase(f.end() - static_cast<long>(kTrailer) - 1); }, "decryption failed!"},
        {"changed time stamp", [](Bytes& f) { f[updaterSize_ + 5] ^= 0x01; }, "could not verify signature!"},
        {"changed signature", [](Bytes& f) { f[updaterSize_ + 70] ^= 0x80; }, "could not verify signature!"},
        {"application length behind the file",
         [](Bytes& f) { SetApplicationLength(&f, static_cast<std::uint32_t>(f.size() + 10)); },
         "wrong application length " + std::to_string(package_.size() + 10) + " in " + changed + "!\r\n"},
        {"application length leaving less than the header",
         [](Bytes& f) { SetApplicationLength(&f, static_cast<std::uint32_t>(f.size() - kTrailer - kHeader + 1)); },
         "wrong application length " + std::to_string(package_.size() - kTrailer - kHeader + 1) + " in " + changed +
             "!\r\n"},
        {"application length leaving just the header",
         [](Bytes& f) { SetApplicationLength(&f, static_cast<std::uint32_t>(f.size() - kTrailer - kHeader)); },
         "wrong version number in " + changed + "!\r\n"},
        {"application length 0", [](Bytes& f) { SetApplicationLength(&f, 0); },
         "wrong version number in " + changed + "!\r\n"},
    };
    for (const Case& c : cases) {
        ReadResult result = ReadChanged(c.change);
        EXPECT_FALSE(result.accepted) << c.name;
        ASSERT_GE(result.log.size(), c.lastLine.size()) << c.name;
        EXPECT_EQ(result.log.substr(result.log.size() - c.lastLine.size()), c.lastLine) << c.name << ":\n" << result.log;
    }
}

TEST_F(PackageReader, WrongKennungStopsAfterTheTrailer) {
    ReadResult result = ReadChanged([](Bytes& f) { f[f.size() - 4] = '-'; });
    EXPECT_FALSE(result.accepted);
    EXPECT_EQ(result.log, HeadLines(updaterSize_, package_.size(), "KRT-UDT") + "wrong Kennung KRT-UDT!\r\n");
}

TEST_F(PackageReader, FileChecksComeFirst) {
    Bytes small(153, 0);
    WriteFile(dir_ / "small153", small);
    EXPECT_EQ(ReadPackage(dir_ / "small153").log, Path("small153") + " too small!\r\n");

    // 154 bytes pass the size check; no application length leaves room for a header in them.
    Bytes tiny = package_;
    tiny.erase(tiny.begin(), tiny.end() - 154);
    SetApplicationLength(&tiny, 0);
    WriteFile(dir_ / "small154", tiny);
    EXPECT_EQ(ReadPackage(dir_ / "small154").log,
              HeadLines(0, 154) + "wrong application length 0 in " + Path("small154") + "!\r\n");

    EXPECT_EQ(ReadPackage(dir_ / "missing").log, "could not get file information for " + Path("missing") + "!\r\n");
    EXPECT_EQ(ReadPackage(dir_).log, dir_.string() + " is not a regular file!\r\n");
}

TEST_F(PackageReader, FillerBytesOfTheTrailerDoNotMatter) {
    for (std::size_t fromEnd : {34u, 30u, 28u, 27u, 25u, 23u, 21u, 18u, 16u, 8u}) {
        ReadResult result = ReadChanged([fromEnd](Bytes& f) { f[f.size() - fromEnd] ^= 0x5A; });
        EXPECT_TRUE(result.accepted) << "filler " << fromEnd << " from the end";
        EXPECT_EQ(result.body, xbi_);
    }
}

TEST_F(PackageReader, ABodyTamperedAnywhereIsRefused) {
    const std::size_t lastTwoBlocks = BodyEnd() - 32;
    const std::string head = HeadLines(updaterSize_, package_.size());
    for (std::size_t pos = BodyStart(); pos < BodyEnd(); ++pos) {
        ReadResult result = ReadChanged([pos](Bytes& f) { f[pos] ^= 0x01; });
        EXPECT_FALSE(result.accepted) << "byte " << pos - BodyStart() << " of the body";
        const bool verifyFailed = result.log == head + "could not verify signature!";
        if (pos < lastTwoBlocks) {
            EXPECT_TRUE(verifyFailed) << "byte " << pos - BodyStart() << ": " << result.log;
        } else {
            EXPECT_TRUE(verifyFailed || result.log == head + "decryption failed!") << result.log;
        }
    }
}

TEST_F(PackageReader, AnotherKeySetCannotReadIt) {
    ASSERT_EQ(Run("keygen " + Path("other-keys"), dir_ / "keygen.txt"), 0) << ReadText(dir_ / "keygen.txt");
    ASSERT_EQ(Build(dir_ / "software.xbi", dir_ / "other.exe", " --keys " + Path("other-keys")), 0)
        << ReadText(dir_ / "build.txt");
    EXPECT_FALSE(ReadPackage(dir_ / "other.exe").accepted);
    EXPECT_EQ(Run("verify " + Path("other.exe") + " --keys " + Path("other-keys"), dir_ / "verify.txt"), 0)
        << ReadText(dir_ / "verify.txt");
    EXPECT_EQ(Run("keygen " + Path("other-keys"), dir_ / "keygen.txt"), 1) << "a key set is never replaced";
}

TEST_F(PackageReader, VerifyReportsVerdictLengthDigestAndLog) {
    ASSERT_EQ(Run("verify " + Path("package.exe"), dir_ / "verify.txt"), 0);
    const std::string output = ReadText(dir_ / "verify.txt");
    Bytes digest(20);
    unsigned int length = 0;
    EVP_Digest(xbi_.data(), xbi_.size(), digest.data(), &length, EVP_sha1(), nullptr);
    EXPECT_NE(output.find("Read Kennung: KRT_UDT\n"), std::string::npos) << output;
    EXPECT_NE(output.find("verdict: accepted\nbody length: 1000\nbody sha1: " + ToHex(digest) + "\n"),
              std::string::npos)
        << output;

    Bytes tampered = package_;
    tampered[BodyStart() + 5] ^= 0x20;
    WriteFile(dir_ / "tampered.exe", tampered);
    EXPECT_EQ(Run("verify " + Path("tampered.exe"), dir_ / "verify.txt"), 1);
    EXPECT_NE(ReadText(dir_ / "verify.txt").find("could not verify signature!\nverdict: refused\n"), std::string::npos);
}

TEST_F(PackageReader, TheBuiltFileStillRuns) {
    EXPECT_EQ(Run("", dir_ / "usage.txt"), 2);
    const fs::perms perms = fs::status(dir_ / "package.exe").permissions();
    EXPECT_NE(perms & fs::perms::owner_exec, fs::perms::none);
    EXPECT_EQ(std::system(Path("package.exe").c_str()), 0);
}

std::string g_sinkText;

TEST_F(PackageReader, OwnFileWithBuiltInConstantsAndLogSink) {
    const std::string path = Path("package.exe");
    std::snprintf(g_szOwnPath, kOwnPathSize, "%s", path.c_str());
    g_sinkText.clear();
    SetPackageLogSink([](const char* text) { g_sinkText += text; });
    std::uint32_t length = 0;
    std::uint8_t* body = nullptr;
    ASSERT_TRUE(ReadUpdatePackage(&length, &body));
    SetPackageLogSink(nullptr);
    EXPECT_EQ(g_sinkText, HeadLines(updaterSize_, package_.size()));

    std::uint8_t* copy = nullptr;
    std::uint32_t copyLength = 0;
    ASSERT_EQ(CopyPackageBody(&copy, &copyLength, length, body), 1);
    std::free(body);
    EXPECT_EQ(Bytes(copy, copy + copyLength), xbi_);
    std::free(copy);
}

}  // namespace
