#include "package/crypt.h"

#include <cstring>

#include "platform/os/last_error.h"

namespace {

int Fail(std::uint32_t code) {
    os::SetLastError(code);
    return -1;
}

// Bytes the call produces; for a final deciphering with pad bytes the real output is shorter by
// the pad bytes. Returns false when the length is not allowed.
bool CryptOutputLength(std::size_t available, bool decipher, bool pad, bool final, std::size_t block,
                       std::size_t* output) {
    if (!final) {
        bool holdBack = decipher && pad && available > 0 && available % block == 0;
        *output = holdBack ? available - block : available - available % block;
        return true;
    }
    if (!decipher && pad) {
        *output = (available / block + 1) * block;
        return true;
    }
    if (available % block != 0 || (decipher && pad && available == 0)) {
        return false;
    }
    *output = available;
    return true;
}

class CryptRun {
public:
    CryptRun(CipherDescriptor* d, int decipher, std::uint8_t* destination)
        : d_(d), decipher_(decipher), destination_(destination) {}

    bool process(std::size_t blocks, const std::uint8_t* source) {
        if (blocks == 0) {
            return true;
        }
        if (d_->mode(blocks, source, destination_ + written_, decipher_, d_) != 0) {
            return false;
        }
        written_ += blocks * d_->blockSize;
        return true;
    }

    void emit(const std::uint8_t* bytes, std::size_t count) {
        std::memmove(destination_ + written_, bytes, count);
        written_ += count;
    }

    std::size_t written() const { return written_; }

private:
    CipherDescriptor* d_;
    int decipher_;
    std::uint8_t* destination_;
    std::size_t written_ = 0;
};

// Deciphers the held last block and writes it without its pad bytes.
bool EmitUnpaddedLastBlock(CipherDescriptor* d, CryptRun& run) {
    if (d->mode(1, d->held, d->held, 1, d) != 0) {
        return false;
    }
    std::uint32_t count = d->heldCount;
    std::uint8_t v = d->held[count - 1];
    bool padOk = v <= count;
    for (std::uint32_t i = count - v; padOk && i + 1 < count; ++i) {
        padOk = d->held[i] == v;
    }
    if (!padOk) {
        Fail(kErrCryptPadding);
        return false;
    }
    run.emit(d->held, count - v);
    d->heldCount = 0;
    return true;
}

// Adds the partial source byte, fills the block with pad bytes and enciphers it.
bool EmitPaddedLastBlock(CipherDescriptor* d, CryptRun& run, const std::uint8_t* partial, unsigned partialBits) {
    std::uint32_t b = d->blockSize;
    if (partialBits != 0) {
        d->held[d->heldCount++] = static_cast<std::uint8_t>(*partial & (0xFF00u >> partialBits));
        if (d->heldCount == b) {
            if (!run.process(1, d->held)) {
                return false;
            }
            d->heldCount = 0;
        }
    }
    auto padValue = static_cast<std::uint8_t>(b - d->heldCount);
    std::memset(d->held + d->heldCount, padValue, padValue);
    d->heldCount = 0;
    return run.process(1, d->held);
}

}  // namespace

int vexil_CryptStart(const std::uint8_t* key, std::size_t keyBits, const std::uint8_t* iv,
                     CipherDescriptor* descriptor, const void* parameter) {
    if (descriptor->keySetup(key, keyBits, descriptor->cipherContext, parameter) != 0) {
        return -1;
    }
    if ((descriptor->flags & kCipherLoadIv) != 0) {
        std::memcpy(descriptor->chaining, iv, descriptor->ivLength);
    }
    descriptor->heldCount = 0;
    return 0;
}

int vexil_Crypt(const std::uint8_t* source, std::size_t sourceBits, std::uint8_t* destination,
                std::size_t* destinationLength, int decipher, CipherDescriptor* d, int final) {
    const std::size_t b = d->blockSize;
    const bool pad = (d->flags & kCipherPadBytes) != 0;
    std::size_t whole = sourceBits / 8;
    const unsigned partialBits = sourceBits % 8;
    if (partialBits != 0 && !(final && !decipher)) {
        return Fail(kErrCryptLength);
    }

    std::size_t output = 0;
    if (!CryptOutputLength(d->heldCount + whole + (partialBits != 0 ? 1 : 0), decipher, pad, final, b, &output)) {
        return Fail(kErrCryptLength);
    }
    if (destination == nullptr) {
        *destinationLength = output;
        return 0;
    }
    if (*destinationLength < output) {
        *destinationLength = output;
        return Fail(kErrCryptDestination);
    }
    *destinationLength = 0;

    const bool holdLastBlock = decipher && pad;
    CryptRun run(d, decipher, destination);
    if (d->heldCount > 0 && whole > 0) {
        // Top up the held bytes; a block held back by the previous call is already full.
        std::size_t take = b - d->heldCount < whole ? b - d->heldCount : whole;
        std::memcpy(d->held + d->heldCount, source, take);
        d->heldCount += static_cast<std::uint32_t>(take);
        source += take;
        whole -= take;
        if (d->heldCount == b && !(holdLastBlock && whole == 0)) {
            if (!run.process(1, d->held)) {
                return -1;
            }
            d->heldCount = 0;
        }
    }

    std::size_t blocks = whole / b;
    if (holdLastBlock && blocks > 0 && whole % b == 0) {
        --blocks;
    }
    if (!run.process(blocks, source)) {
        return -1;
    }
    source += blocks * b;
    whole -= blocks * b;
    if (whole > 0) {
        // Source bytes are left only when the held buffer was processed or held nothing.
        std::memcpy(d->held, source, whole);
        d->heldCount = static_cast<std::uint32_t>(whole);
        source += whole;
    }

    if (final && pad) {
        bool ok = decipher ? EmitUnpaddedLastBlock(d, run) : EmitPaddedLastBlock(d, run, source, partialBits);
        if (!ok) {
            return -1;
        }
    }
    *destinationLength = run.written();
    return 0;
}

int vexil_HashStart(HashDescriptor* descriptor, const void* parameter) {
    descriptor->heldCount = 0;
    return descriptor->init(descriptor->hashContext, parameter);
}

int vexil_Hash(const std::uint8_t* source, std::size_t sourceBits, std::uint8_t* digest, HashDescriptor* d,
               int final) {
    const std::size_t b = d->blockSize;
    std::size_t whole = sourceBits / 8;
    const unsigned partialBits = sourceBits % 8;
    if (partialBits != 0 && !final) {
        // A partial byte can only end a message.
        return Fail(kErrCryptLength);
    }

    if (d->heldCount > 0 && whole > 0) {
        std::size_t take = b - d->heldCount < whole ? b - d->heldCount : whole;
        std::memcpy(d->held + d->heldCount, source, take);
        d->heldCount += static_cast<std::uint32_t>(take);
        source += take;
        whole -= take;
        if (d->heldCount == b) {
            if (d->block(1, d->held, d->hashContext) != 0) {
                return -1;
            }
            d->heldCount = 0;
        }
    }

    std::size_t blocks = whole / b;
    if (blocks > 0 && d->block(blocks, source, d->hashContext) != 0) {
        return -1;
    }
    source += blocks * b;
    whole -= blocks * b;

    if (!final) {
        if (whole > 0) {
            std::memcpy(d->held + d->heldCount, source, whole);
            d->heldCount += static_cast<std::uint32_t>(whole);
        }
        return 0;
    }
    if (whole > 0) {
        return d->final(source, whole * 8 + partialBits, digest, d->hashContext);
    }
    if (partialBits != 0) {
        d->held[d->heldCount] = *source;
    }
    std::size_t bits = d->heldCount * std::size_t{8} + partialBits;
    d->heldCount = 0;
    return d->final(d->held, bits, digest, d->hashContext);
}
