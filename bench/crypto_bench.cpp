// Throughput of the updater's own crypto engine beside OpenSSL's EVP on the same data:
// AES-128-CBC deciphering, SHA-1, one RSA-1024 signature check, and reading a 6 MB package.
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "package/aes.h"
#include "package/cbc.h"
#include "package/crypt.h"
#include "package/package_reader.h"
#include "package/rsa.h"
#include "package/sha1.h"
#include "tools/vqpkg/key_constants.h"
#include "tools/vqpkg/key_set.h"
#include "tools/vqpkg/package_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kDataSize = 8 << 20;
constexpr std::size_t kPackageBodySize = 6 << 20;

Bytes RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(n);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

// Best time of `runs` calls, in seconds.
double BestSeconds(int runs, const std::function<void()>& f) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        f();
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = seconds < best ? seconds : best;
    }
    return best;
}

void Row(const char* name, const char* unit, double ours, double theirs, const char* target) {
    std::printf("%-32s %-5s %10.1f %10.1f %8.2f   %s\n", name, unit, ours, theirs, ours / theirs, target);
}

void Fail(const char* what) {
    std::fprintf(stderr, "crypto_bench: %s\n", what);
    std::exit(1);
}

Bytes OpenSslCbc(const std::uint8_t* key, const std::uint8_t* iv, const Bytes& data, bool decipher) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex(ctx, EVP_aes_128_cbc(), nullptr, key, iv, decipher ? 0 : 1);
    Bytes out(data.size() + 16);
    int n = 0, last = 0;
    if (EVP_CipherUpdate(ctx, out.data(), &n, data.data(), static_cast<int>(data.size())) != 1 ||
        EVP_CipherFinal_ex(ctx, out.data() + n, &last) != 1) {
        Fail("OpenSSL AES failed");
    }
    EVP_CIPHER_CTX_free(ctx);
    out.resize(static_cast<std::size_t>(n + last));
    return out;
}

void BenchAes() {
    const Bytes key = RandomBytes(16, 1), iv = RandomBytes(16, 2);
    const Bytes plain = RandomBytes(kDataSize, 3);
    const Bytes cipher = OpenSslCbc(key.data(), iv.data(), plain, false);
    Bytes buffer;
    double ours = BestSeconds(10, [&] {
        buffer = cipher;
        AesContext ctx;
        std::uint8_t held[16], chaining[16];
        CipherDescriptor d = kAesCipher;
        d.held = held, d.chaining = chaining, d.cipherContext = &ctx, d.mode = CbcMode;
        d.flags |= kCipherPadBytes | kCipherLoadIv;
        const std::uint32_t blockSize = 16;
        std::size_t length = buffer.size();
        if (vexil_CryptStart(key.data(), 128, iv.data(), &d, &blockSize) != 0 ||
            vexil_Crypt(buffer.data(), buffer.size() * 8, buffer.data(), &length, 1, &d, 1) != 0) {
            Fail("our AES failed");
        }
        buffer.resize(length);
    });
    if (buffer != plain) {
        Fail("our AES deciphered wrongly");
    }
    double theirs = BestSeconds(10, [&] { buffer = OpenSslCbc(key.data(), iv.data(), cipher, true); });
    const double mb = static_cast<double>(kDataSize) / 1e6;
    Row("AES-128-CBC decipher (8 MB)", "MB/s", mb / ours, mb / theirs, "target >= 150 MB/s");
}

void BenchSha1() {
    const Bytes data = RandomBytes(kDataSize, 4);
    std::uint8_t ourDigest[20], theirDigest[20];
    double ours = BestSeconds(10, [&] {
        Sha1Context ctx;
        std::uint8_t held[64];
        HashDescriptor d = kSha1Hash;
        d.held = held, d.hashContext = &ctx;
        vexil_HashStart(&d, nullptr);
        vexil_Hash(data.data(), data.size() * 8, ourDigest, &d, 1);
    });
    double theirs = BestSeconds(10, [&] { EVP_Digest(data.data(), data.size(), theirDigest, nullptr, EVP_sha1(), nullptr); });
    if (std::memcmp(ourDigest, theirDigest, 20) != 0) {
        Fail("SHA-1 digests differ");
    }
    const double mb = static_cast<double>(kDataSize) / 1e6;
    Row("SHA-1 (8 MB)", "MB/s", mb / ours, mb / theirs, "target >= 300 MB/s");
}

struct PublicKey {
    BigNumber modulus, exponent;
    RsaPublicKey key;
};

void ToPublicKey(const KeySet& keys, PublicKey* out) {
    BnFromBytes(keys.modulus.data(), keys.modulus.size(), &out->modulus);
    BnFromBytes(keys.exponent.data(), keys.exponent.size(), &out->exponent);
    out->key = {static_cast<std::uint32_t>(keys.modulus.size()), &out->modulus, &out->exponent};
}

void BenchRsa(const KeySet& keys) {
    const Bytes message = RandomBytes(1000, 5);
    std::uint8_t digest[20];
    EVP_Digest(message.data(), message.size(), digest, nullptr, EVP_sha1(), nullptr);
    EVP_PKEY_CTX* signer = EVP_PKEY_CTX_new(keys.signingKey.get(), nullptr);
    Bytes signature(128);
    std::size_t length = signature.size();
    EVP_PKEY_sign_init(signer);
    EVP_PKEY_CTX_set_rsa_padding(signer, RSA_PKCS1_PADDING);
    EVP_PKEY_CTX_set_signature_md(signer, EVP_sha1());
    if (EVP_PKEY_sign(signer, signature.data(), &length, digest, sizeof digest) != 1) {
        Fail("OpenSSL signing failed");
    }
    EVP_PKEY_CTX_free(signer);

    PublicKey key;
    ToPublicKey(keys, &key);
    int ourResult = -1;
    double ours = BestSeconds(50, [&] {
        std::size_t digestLength = sizeof digest;
        ourResult = vexil_VerifySignature(digest, &digestLength, signature.data(), signature.size(), &key.key, kDigestSha1);
    });
    int theirResult = 0;
    double theirs = BestSeconds(50, [&] {
        EVP_PKEY_CTX* verifier = EVP_PKEY_CTX_new(keys.signingKey.get(), nullptr);
        EVP_PKEY_verify_init(verifier);
        EVP_PKEY_CTX_set_rsa_padding(verifier, RSA_PKCS1_PADDING);
        EVP_PKEY_CTX_set_signature_md(verifier, EVP_sha1());
        theirResult = EVP_PKEY_verify(verifier, signature.data(), signature.size(), digest, sizeof digest);
        EVP_PKEY_CTX_free(verifier);
    });
    if (ourResult != 0 || theirResult != 1) {
        Fail("RSA verification failed");
    }
    Row("RSA-1024 verify (one)", "us", ours * 1e6, theirs * 1e6, "");
}

void BenchPackage(const KeySet& keys) {
    const Bytes body = RandomBytes(kPackageBodySize, 6);
    Bytes application = RandomBytes(100000, 7);
    Bytes package;
    std::string error;
    if (!MakePackage(keys, body, 1700000000, &package, &error)) {
        Fail(error.c_str());
    }
    Bytes trailer = MakeTrailer(static_cast<std::uint32_t>(application.size()));
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "vq-crypto-bench.exe";
    {
        std::ofstream out(path, std::ios::binary);
        for (const Bytes* part : {&application, &package, &trailer}) {
            out.write(reinterpret_cast<const char*>(part->data()), static_cast<std::streamsize>(part->size()));
        }
    }

    LoadedKeyConstants constants(keys);
    const std::string name = path.string();
    PackageSource source{name.c_str(), &constants.constants, {}};
    bool accepted = false;
    double ours = BestSeconds(10, [&] {
        std::uint32_t length = 0;
        std::uint8_t* result = nullptr;
        accepted = ReadUpdatePackage(source, &length, &result) && length == body.size() &&
                   std::memcmp(result, body.data(), length) == 0;
        std::free(result);
    });

    bool theirsOk = false;
    double theirs = BestSeconds(10, [&] {
        std::ifstream in(path, std::ios::binary);
        Bytes file(std::filesystem::file_size(path));
        in.read(reinterpret_cast<char*>(file.data()), static_cast<std::streamsize>(file.size()));
        const std::size_t start = application.size();
        std::uint8_t iv[16];
        std::memcpy(iv, file.data() + start + 2, 4);
        std::memcpy(iv + 4, keys.ivConstant.data(), 12);
        Bytes cipher(file.begin() + static_cast<long>(start + 138), file.end() - 34);
        Bytes plain = OpenSslCbc(keys.cipherKey.data(), iv, cipher, true);
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        EVP_DigestVerifyInit(ctx, nullptr, EVP_sha1(), nullptr, keys.signingKey.get());
        EVP_DigestVerifyUpdate(ctx, file.data() + start, 6);
        EVP_DigestVerifyUpdate(ctx, plain.data(), plain.size());
        theirsOk = EVP_DigestVerifyFinal(ctx, file.data() + start + 10, 128) == 1;
        EVP_MD_CTX_free(ctx);
    });
    std::filesystem::remove(path);
    if (!accepted || !theirsOk) {
        Fail("package reading failed");
    }
    Row("ReadUpdatePackage (6 MB body)", "ms", ours * 1e3, theirs * 1e3, "target < 100 ms");
}

}  // namespace

int main(int argc, char** argv) {
    const std::string keysDir = argc > 1 ? argv[1] : VQ_BENCH_KEYS_DIR;
    KeySet keys;
    std::string error;
    if (!LoadKeySet(keysDir, &keys, &error)) {
        Fail(error.c_str());
    }
    std::printf("%-32s %-5s %10s %10s %8s\n", "", "unit", "ours", "OpenSSL", "ours/OpenSSL");
    BenchAes();
    BenchSha1();
    BenchRsa(keys);
    BenchPackage(keys);
    return 0;
}
