#include "tools/vqpkg/package_writer.h"

#include <fstream>
#include <iterator>
#include <memory>

#include <openssl/rand.h>

namespace {

struct MdContextFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

constexpr std::size_t kSignatureLength = 128;

void AppendBigEndian(std::vector<std::uint8_t>* out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out->push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

bool Sign(const KeySet& keys, const std::vector<std::uint8_t>& signedData, std::vector<std::uint8_t>* signature,
          std::string* error) {
    std::unique_ptr<EVP_MD_CTX, MdContextFree> ctx(EVP_MD_CTX_new());
    std::size_t length = 0;
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha1(), nullptr, keys.signingKey.get()) != 1 ||
        EVP_DigestSign(ctx.get(), nullptr, &length, signedData.data(), signedData.size()) != 1) {
        *error = "signing failed";
        return false;
    }
    signature->resize(length);
    if (EVP_DigestSign(ctx.get(), signature->data(), &length, signedData.data(), signedData.size()) != 1 ||
        length != kSignatureLength) {
        *error = "signing failed";
        return false;
    }
    signature->resize(length);
    return true;
}

bool Encipher(const KeySet& keys, const std::uint8_t* timeStamp, const std::vector<std::uint8_t>& body,
              std::vector<std::uint8_t>* out, std::string* error) {
    std::uint8_t iv[16];
    std::copy(timeStamp, timeStamp + 4, iv);
    std::copy(keys.ivConstant.begin(), keys.ivConstant.end(), iv + 4);
    std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> ctx(EVP_CIPHER_CTX_new());
    std::size_t start = out->size();
    out->resize(start + body.size() + 16);
    int written = 0;
    int last = 0;
    if (!ctx || EVP_EncryptInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, keys.cipherKey.data(), iv) != 1 ||
        EVP_EncryptUpdate(ctx.get(), out->data() + start, &written, body.data(), static_cast<int>(body.size())) != 1 ||
        EVP_EncryptFinal_ex(ctx.get(), out->data() + start + written, &last) != 1) {
        *error = "enciphering failed";
        return false;
    }
    out->resize(start + static_cast<std::size_t>(written + last));
    return true;
}

}  // namespace

bool MakePackage(const KeySet& keys, const std::vector<std::uint8_t>& body, std::uint32_t timeStamp,
                 std::vector<std::uint8_t>* package, std::string* error) {
    if (!keys.hasPrivateKey) {
        *error = "the key set holds no private signing key";
        return false;
    }
    std::vector<std::uint8_t> head = {0x00, 0x01};
    AppendBigEndian(&head, timeStamp);
    std::vector<std::uint8_t> signedData = head;
    signedData.insert(signedData.end(), body.begin(), body.end());
    std::vector<std::uint8_t> signature;
    if (!Sign(keys, signedData, &signature, error)) {
        return false;
    }
    package->assign(head.begin(), head.end());
    AppendBigEndian(package, static_cast<std::uint32_t>(signature.size()));
    package->insert(package->end(), signature.begin(), signature.end());
    return Encipher(keys, head.data() + 2, body, package, error);
}

std::vector<std::uint8_t> MakeTrailer(std::uint32_t applicationLength) {
    std::vector<std::uint8_t> trailer(34);
    RAND_bytes(trailer.data(), static_cast<int>(trailer.size()));
    trailer[34 - 29] = static_cast<std::uint8_t>(applicationLength);
    trailer[34 - 22] = static_cast<std::uint8_t>(applicationLength >> 8);
    trailer[34 - 17] = static_cast<std::uint8_t>(applicationLength >> 16);
    trailer[34 - 26] = static_cast<std::uint8_t>(applicationLength >> 24);
    const char kennung[] = "KRT_UDT";
    std::copy(kennung, kennung + 7, trailer.end() - 7);
    return trailer;
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}
