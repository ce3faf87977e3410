#include "tools/vqpkg/key_set.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

namespace fs = std::filesystem;

namespace {

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct BnFree {
    void operator()(BIGNUM* bn) const { BN_free(bn); }
};

bool ReadHexLine(const fs::path& file, std::uint8_t* out, std::size_t length, std::string* error) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) {
        *error = "cannot read " + file.string();
        return false;
    }
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) {
        line.pop_back();
    }
    if (line.size() != 2 * length) {
        *error = file.string() + ": expected " + std::to_string(2 * length) + " hex digits";
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        unsigned value = 0;
        std::istringstream digits(line.substr(2 * i, 2));
        if (!std::isxdigit(static_cast<unsigned char>(line[2 * i])) ||
            !std::isxdigit(static_cast<unsigned char>(line[2 * i + 1])) || !(digits >> std::hex >> value)) {
            *error = file.string() + ": not a hex number";
            return false;
        }
        out[i] = static_cast<std::uint8_t>(value);
    }
    return true;
}

bool WriteHexLine(const fs::path& file, std::size_t length, std::string* error) {
    std::vector<std::uint8_t> bytes(length);
    if (RAND_bytes(bytes.data(), static_cast<int>(length)) != 1) {
        *error = "no random bytes";
        return false;
    }
    std::ofstream out(file);
    static const char kDigits[] = "0123456789abcdef";
    for (std::uint8_t b : bytes) {
        out << kDigits[b >> 4] << kDigits[b & 15];
    }
    out << '\n';
    if (!out) {
        *error = "cannot write " + file.string();
        return false;
    }
    return true;
}

std::vector<std::uint8_t> BigEndian(const BIGNUM* bn) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(BN_num_bytes(bn)));
    BN_bn2bin(bn, bytes.data());
    return bytes;
}

// No pass phrase is asked for: a protected key is refused.
int NoPassPhrase(char*, int, int, void*) { return 0; }

bool ReadSigningKey(const fs::path& file, KeySet* keys, std::string* error) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new_file(file.c_str(), "r"));
    if (!bio) {
        *error = "cannot read " + file.string();
        return false;
    }
    keys->signingKey.reset(PEM_read_bio_PrivateKey(bio.get(), nullptr, NoPassPhrase, nullptr));
    keys->hasPrivateKey = keys->signingKey != nullptr;
    if (!keys->signingKey) {
        BIO_reset(bio.get());
        keys->signingKey.reset(PEM_read_bio_PUBKEY(bio.get(), nullptr, NoPassPhrase, nullptr));
    }
    if (!keys->signingKey || EVP_PKEY_get_base_id(keys->signingKey.get()) != EVP_PKEY_RSA ||
        EVP_PKEY_get_bits(keys->signingKey.get()) != kSigningKeyBits) {
        *error = file.string() + ": not an RSA 1024-bit key";
        return false;
    }
    BIGNUM* n = nullptr;
    BIGNUM* e = nullptr;
    EVP_PKEY_get_bn_param(keys->signingKey.get(), OSSL_PKEY_PARAM_RSA_N, &n);
    EVP_PKEY_get_bn_param(keys->signingKey.get(), OSSL_PKEY_PARAM_RSA_E, &e);
    std::unique_ptr<BIGNUM, BnFree> modulus(n), exponent(e);
    if (!modulus || !exponent) {
        *error = file.string() + ": no RSA modulus or exponent";
        return false;
    }
    keys->modulus = BigEndian(modulus.get());
    keys->exponent = BigEndian(exponent.get());
    return true;
}

}  // namespace

bool LoadKeySet(const std::string& dir, KeySet* keys, std::string* error) {
    const fs::path base(dir);
    return ReadSigningKey(base / kSigningKeyFile, keys, error) &&
           ReadHexLine(base / kCipherKeyFile, keys->cipherKey.data(), keys->cipherKey.size(), error) &&
           ReadHexLine(base / kIvConstantFile, keys->ivConstant.data(), keys->ivConstant.size(), error);
}

bool WriteNewKeySet(const std::string& dir, std::string* error) {
    const fs::path base(dir);
    for (const char* name : {kSigningKeyFile, kCipherKeyFile, kIvConstantFile}) {
        if (fs::exists(base / name)) {
            *error = (base / name).string() + " exists already; a key set is never replaced";
            return false;
        }
    }
    std::error_code ec;
    fs::create_directories(base, ec);
    if (ec) {
        *error = "cannot create " + dir + ": " + ec.message();
        return false;
    }
    EvpKey key(EVP_RSA_gen(kSigningKeyBits));
    if (!key) {
        *error = "RSA key generation failed";
        return false;
    }
    const fs::path pem = base / kSigningKeyFile;
    std::unique_ptr<BIO, BioFree> bio(BIO_new_file(pem.c_str(), "w"));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        *error = "cannot write " + pem.string();
        return false;
    }
    bio.reset();
    fs::permissions(pem, fs::perms::owner_read | fs::perms::owner_write, ec);
    return WriteHexLine(base / kCipherKeyFile, 16, error) && WriteHexLine(base / kIvConstantFile, 12, error);
}
