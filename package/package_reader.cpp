#include "package/package_reader.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "package/aes.h"
#include "package/builtin_constants.h"
#include "package/cbc.h"
#include "package/crypt.h"
#include "package/own_path.h"
#include "package/sha1.h"

namespace {

std::atomic<PackageLogSink> g_logSink{nullptr};

// Offsets from the end of the file of the four bytes of the application length, low byte first,
// and of the Kennung.
constexpr std::size_t kLengthByteFromEnd[4] = {29, 22, 17, 26};
constexpr std::size_t kKennungFromEnd = 7;
constexpr std::size_t kKennungLength = sizeof kPackageKennung - 1;
constexpr std::uint8_t kFormatVersion[2] = {0x00, 0x01};
constexpr std::uint64_t kMinimumFileSize = 154;

class Reader {
public:
    explicit Reader(const PackageSource& source) : source_(source), path_(source.path) {}
    ~Reader() { Close(); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool Read(std::uint32_t* bodyLength, std::uint8_t** body);

private:
    bool CheckFile(std::uint64_t* fileSize);
    bool FindPackage(std::uint64_t fileSize);
    bool ReadHeader();
    bool ReadBody();
    [[gnu::format(printf, 2, 3)]] void Log(const char* format, ...);
    bool ReadTrailer(std::uint64_t fileSize, std::uint32_t* applicationLength, char* kennung);
    bool ReadBigEndian(std::size_t bytes, std::uint32_t* value, std::uint8_t* copy);
    bool Decipher();
    bool Verify();
    void Close();
    void FreeBody();

    const PackageSource& source_;
    const char* path_;
    std::FILE* file_ = nullptr;
    std::uint64_t remaining_ = 0;  // package bytes not read yet
    std::uint8_t version_[2] = {};
    std::uint8_t iv_[kAesBlockSize] = {};  // the time stamp as it stands in the file, then the IV constant
    std::uint8_t signature_[kPackageSignatureLength] = {};
    std::uint8_t* body_ = nullptr;
    std::size_t bodyLength_ = 0;
};

void Reader::Log(const char* format, ...) {
    if (!source_.log) {
        return;
    }
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::vector<char> text(static_cast<std::size_t>(length > 0 ? length : 0) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    source_.log(text.data());
}

void Reader::Close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

void Reader::FreeBody() {
    std::free(body_);
    body_ = nullptr;
}

bool Reader::ReadTrailer(std::uint64_t fileSize, std::uint32_t* applicationLength, char* kennung) {
    std::uint8_t trailer[kPackageTrailerLength];
    if (std::fseek(file_, static_cast<long>(fileSize - kPackageTrailerLength), SEEK_SET) != 0 ||
        std::fread(trailer, 1, sizeof trailer, file_) != sizeof trailer) {
        return false;
    }
    *applicationLength = 0;
    for (int i = 0; i < 4; ++i) {
        *applicationLength |= std::uint32_t{trailer[kPackageTrailerLength - kLengthByteFromEnd[i]]} << (8 * i);
    }
    std::memcpy(kennung, trailer + kPackageTrailerLength - kKennungFromEnd, kKennungLength);
    kennung[kKennungLength] = '\0';
    return true;
}

// Reads a big-endian number byte by byte, copying each byte to `copy` when given. At the end of
// the file it reports on the standard error stream and closes the file.
bool Reader::ReadBigEndian(std::size_t bytes, std::uint32_t* value, std::uint8_t* copy) {
    *value = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
        int c = std::fgetc(file_);
        if (c == EOF) {
            std::fprintf(stderr, "could not read %s!\n", path_);
            Close();
            return false;
        }
        if (copy != nullptr) {
            copy[i] = static_cast<std::uint8_t>(c);
        }
        *value = (*value << 8) | static_cast<std::uint32_t>(c);
    }
    remaining_ -= bytes;
    return true;
}

bool Reader::Decipher() {
    AesContext aes;
    std::uint8_t held[kAesBlockSize];
    std::uint8_t chaining[kAesBlockSize];
    CipherDescriptor cipher = kAesCipher;
    cipher.held = held;
    cipher.chaining = chaining;
    cipher.cipherContext = &aes;
    cipher.mode = CbcMode;
    cipher.flags |= kCipherPadBytes | kCipherLoadIv;
    const std::uint32_t blockSize = kAesBlockSize;
    if (vexil_CryptStart(source_.constants->cipherKey, kPackageKeyLength * 8, iv_, &cipher, &blockSize) != 0) {
        Log("vexil_CryptStart failed!");
        return false;
    }
    std::size_t plainLength = bodyLength_;
    if (vexil_Crypt(body_, bodyLength_ * 8, body_, &plainLength, 1, &cipher, 1) != 0) {
        Log("decryption failed!");
        return false;
    }
    bodyLength_ = plainLength;
    return true;
}

bool Reader::Verify() {
    Sha1Context sha1;
    std::uint8_t held[kSha1BlockSize];
    HashDescriptor hash = kSha1Hash;
    hash.held = held;
    hash.hashContext = &sha1;
    if (vexil_HashStart(&hash, nullptr) != 0) {
        Log("vexil_HashStart failed!");
        return false;
    }
    std::uint8_t digest[kSha1DigestSize];
    if (vexil_Hash(version_, sizeof version_ * 8, nullptr, &hash, 0) != 0 ||
        vexil_Hash(iv_, 4 * 8, nullptr, &hash, 0) != 0 ||
        vexil_Hash(body_, bodyLength_ * 8, digest, &hash, 1) != 0) {
        Log("vexil_Hash failed!");
        return false;
    }
    std::size_t digestLength = sizeof digest;
    if (vexil_VerifySignature(digest, &digestLength, signature_, sizeof signature_,
                              &source_.constants->publicKey, kDigestSha1) != 0) {
        Log("could not verify signature!");
        return false;
    }
    return true;
}

std::string LocalTimeText(std::uint32_t seconds) {
    std::time_t time = static_cast<std::time_t>(seconds);
    char text[64] = "";
    if (const std::tm* local = std::localtime(&time)) {
        std::strftime(text, sizeof text, "%a %b %d %H:%M:%S %Y", local);
    }
    return text;
}

// The file must exist, be a regular file and hold at least the smallest package.
bool Reader::CheckFile(std::uint64_t* fileSize) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path_, error);
    if (error) {
        Log("could not get file information for %s!\r\n", path_);
        return false;
    }
    if (!std::filesystem::is_regular_file(status)) {
        Log("%s is not a regular file!\r\n", path_);
        return false;
    }
    *fileSize = std::filesystem::file_size(path_, error);
    if (error) {
        Log("could not get file information for %s!\r\n", path_);
        return false;
    }
    if (*fileSize < kMinimumFileSize) {
        Log("%s too small!\r\n", path_);
        return false;
    }
    return true;
}

// Opens the file, reads its trailer and finds the package behind the application.
bool Reader::FindPackage(std::uint64_t fileSize) {
    file_ = std::fopen(path_, "rb");
    if (file_ == nullptr) {
        Log("could not open %s!\r\n", path_);
        return false;
    }
    std::uint32_t applicationLength = 0;
    char kennung[kKennungLength + 1];
    if (!ReadTrailer(fileSize, &applicationLength, kennung)) {
        Log("could not read %s!\r\n", path_);
        return false;
    }
    const std::uint64_t packageLength = fileSize - applicationLength - kPackageTrailerLength;
    Log("Read Kennung: %s\r\n", kennung);
    Log("Application File Length: %d Bytes\r\n", static_cast<int>(applicationLength));
    Log("Binary File Length: %d Bytes\r\n", static_cast<int>(packageLength));
    if (std::strcmp(kennung, kPackageKennung) != 0) {
        Log("wrong Kennung %s!\r\n", kennung);
        return false;
    }
    // The application length comes from the file: it must leave room for the header, and the
    // body behind it must fit a 32-bit length, before anything is read or allocated from it.
    if (std::uint64_t{applicationLength} + kPackageHeaderLength + kPackageTrailerLength > fileSize ||
        packageLength - kPackageHeaderLength > UINT32_MAX) {
        Log("wrong application length %u in %s!\r\n", applicationLength, path_);
        return false;
    }
    if (std::fseek(file_, static_cast<long>(applicationLength), SEEK_SET) != 0) {
        Log("could not read %s!\r\n", path_);
        return false;
    }
    remaining_ = packageLength;
    return true;
}

// Version, time stamp (into the IV, in front of the IV constant), signature length and signature.
bool Reader::ReadHeader() {
    if (std::fread(version_, 1, sizeof version_, file_) != sizeof version_) {
        Log("could not read %s!\r\n", path_);
        return false;
    }
    remaining_ -= sizeof version_;
    if (std::memcmp(version_, kFormatVersion, sizeof version_) != 0) {
        Log("wrong version number in %s!\r\n", path_);
        return false;
    }
    std::memcpy(iv_ + 4, source_.constants->ivConstant, kPackageIvConstantLength);
    std::uint32_t timeStamp = 0;
    if (!ReadBigEndian(4, &timeStamp, iv_)) {
        Log("wrong time stamp %s in %s!\r\n", LocalTimeText(timeStamp).c_str(), path_);
        return false;
    }
    std::uint32_t signatureLength = 0;
    if (!ReadBigEndian(4, &signatureLength, nullptr)) {
        Log("could not read %s!\r\n", path_);
        return false;
    }
    if (signatureLength != kPackageSignatureLength ||
        std::fread(signature_, 1, sizeof signature_, file_) != sizeof signature_) {
        Log("could not read %s!\r\n", path_);
        return false;
    }
    remaining_ -= sizeof signature_;
    return true;
}

// The rest of the package up to the trailer, in one piece.
bool Reader::ReadBody() {
    bodyLength_ = static_cast<std::size_t>(remaining_);
    body_ = static_cast<std::uint8_t*>(std::malloc(bodyLength_ > 0 ? bodyLength_ : 1));
    if (body_ == nullptr) {
        Log("could not allocate memory (%u bytes)!\r\n", static_cast<unsigned>(bodyLength_));
        return false;
    }
    if (std::fread(body_, 1, bodyLength_, file_) != bodyLength_) {
        Log("could not read %s!\r\n", path_);
        return false;
    }
    Close();
    return true;
}

bool Reader::Read(std::uint32_t* bodyLength, std::uint8_t** body) {
    std::uint64_t fileSize = 0;
    if (!CheckFile(&fileSize) || !FindPackage(fileSize) || !ReadHeader() || !ReadBody() || !Decipher() ||
        !Verify()) {
        FreeBody();
        return false;
    }
    *bodyLength = static_cast<std::uint32_t>(bodyLength_);
    *body = body_;
    body_ = nullptr;
    return true;
}

void LogToSink(const char* text) {
    if (PackageLogSink sink = g_logSink.load()) {
        sink(text);
    }
}

}  // namespace

void SetPackageLogSink(PackageLogSink sink) { g_logSink.store(sink); }

bool ReadUpdatePackage(std::uint32_t* bodyLength, std::uint8_t** body) {
    PackageSource source{g_szOwnPath, &kBuiltInPackageConstants, LogToSink};
    return ReadUpdatePackage(source, bodyLength, body);
}

bool ReadUpdatePackage(const PackageSource& source, std::uint32_t* bodyLength, std::uint8_t** body) {
    Reader reader(source);
    return reader.Read(bodyLength, body);
}

int CopyPackageBody(std::uint8_t** buffer, std::uint32_t* bufferLength, std::uint32_t length,
                    const std::uint8_t* source) {
    auto* copy = static_cast<std::uint8_t*>(std::malloc(length > 0 ? length : 1));
    if (copy == nullptr) {
        std::printf("\nCould not allocate %lu Bytes for XBI-File", static_cast<unsigned long>(length));
        return 0;
    }
    if (length > 0) {
        std::memcpy(copy, source, length);
    }
    *buffer = copy;
    *bufferLength = length;
    return 1;
}
