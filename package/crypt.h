// The streaming layer of the crypto engine. Every block cipher and every hash is driven through a
// descriptor record that carries its sizes, its working buffers and its functions. Data lengths are
// counted in bits: n / 8 whole bytes, then, when n % 8 is not 0, one byte of which only the top
// n % 8 bits count. Functions return 0 on success and -1 on failure, with the reason in the
// thread's last-error value (os::GetLastError).
#pragma once

#include <cstddef>
#include <cstdint>

// Last-error codes of the streaming layer and the block modes.
inline constexpr std::uint32_t kErrCryptLength = 0x60380;        // length not allowed here
inline constexpr std::uint32_t kErrCryptDestination = 0x60301;   // destination too small
inline constexpr std::uint32_t kErrCryptPadding = 0x60300;       // pad bytes of the last block wrong
inline constexpr std::uint32_t kErrCbcInPlaceBlock = 0x60501;    // in-place block larger than 32 bytes

// Bits of CipherDescriptor::flags.
inline constexpr std::uint32_t kCipherPadBytes = 1u << 0;
inline constexpr std::uint32_t kCipherLoadIv = 1u << 2;

struct CipherDescriptor;

// (block count, source, destination, decipher flag, descriptor) -> 0 or -1
using CipherModeFunction = int (*)(std::size_t blocks, const std::uint8_t* source, std::uint8_t* destination,
                                   int decipher, CipherDescriptor* descriptor);
// (key, key length in bits, cipher context, parameter) -> 0 or -1
using CipherKeySetupFunction = int (*)(const std::uint8_t* key, std::size_t keyBits, void* context,
                                       const void* parameter);
// (block count, source, destination, decipher flag, cipher context) -> 0 or -1
using CipherBlockFunction = int (*)(std::size_t blocks, const std::uint8_t* source, std::uint8_t* destination,
                                    int decipher, void* context);

struct CipherDescriptor {
    std::uint32_t blockSize;        // bytes per block
    std::uint32_t ivLength;         // bytes copied into the chaining buffer at start
    std::uint8_t* held;             // one block: bytes not yet processed
    std::uint32_t heldCount;        // bytes in `held`
    std::uint32_t flags;            // kCipherPadBytes, kCipherLoadIv
    std::uint8_t* chaining;         // one block: the IV, then the last cipher block
    void* cipherContext;            // the cipher's key schedule
    CipherModeFunction mode;
    CipherKeySetupFunction keySetup;
    CipherBlockFunction block;
};

struct HashDescriptor;

// (hash context, parameter) -> 0 or -1
using HashInitFunction = int (*)(void* context, const void* parameter);
// (block count, data, hash context) -> 0 or -1
using HashBlockFunction = int (*)(std::size_t blocks, const std::uint8_t* data, void* context);
// (data, length in bits, digest out, hash context) -> 0 or -1
using HashFinalFunction = int (*)(const std::uint8_t* data, std::size_t bits, std::uint8_t* digest, void* context);

struct HashDescriptor {
    std::uint32_t digestSize;  // bytes of the digest
    std::uint32_t blockSize;   // bytes per compression block
    std::uint8_t* held;        // one block of storage
    std::uint32_t heldCount;   // bytes in `held`
    void* hashContext;
    HashInitFunction init;
    HashBlockFunction block;
    HashFinalFunction final;
};

// Sets up the key schedule through the descriptor's key setup function and, with kCipherLoadIv,
// loads ivLength bytes of `iv` into the chaining buffer. Clears the held buffer.
int vexil_CryptStart(const std::uint8_t* key, std::size_t keyBits, const std::uint8_t* iv,
                     CipherDescriptor* descriptor, const void* parameter);

// Enciphers or deciphers `sourceBits` of `source` into `destination`. `destinationLength` holds the
// room in bytes on entry and the bytes written on return; with a null destination only the output
// length is stored. Source and destination may be the same buffer.
int vexil_Crypt(const std::uint8_t* source, std::size_t sourceBits, std::uint8_t* destination,
                std::size_t* destinationLength, int decipher, CipherDescriptor* descriptor, int final);

// Starts a hash: the init function on the descriptor's context. Clears the held buffer.
int vexil_HashStart(HashDescriptor* descriptor, const void* parameter);

// Consumes `sourceBits` of `source`; the final call also writes the digest.
int vexil_Hash(const std::uint8_t* source, std::size_t sourceBits, std::uint8_t* digest,
               HashDescriptor* descriptor, int final);
