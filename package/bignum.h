// Multi-precision arithmetic for the RSA public-key operation. A number is an array of 32-bit
// words: word[0] counts the words in use, word[1..count] hold the value, least significant first;
// a count of 0 is the value 0. Numbers are fixed-size and live on the caller's stack.
// Functions return 0 on success and -1 on failure, with the reason in the thread's last-error value.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::uint32_t kErrBnFromBytes = 0x21E01;   // more than 512 significant bytes
inline constexpr std::uint32_t kErrBnToBytes = 0x21F01;     // value needs more bytes than given
inline constexpr std::uint32_t kErrBnModExpZero = 0x21805;  // modulus of an exponentiation is 0
inline constexpr std::uint32_t kErrBnBitLength = 0x21003;   // bit length of 0
inline constexpr std::uint32_t kErrBnReduceZero = 0x20705;  // modulus of a reduction is 0
inline constexpr std::uint32_t kErrBnShiftLeft = 0x20301;   // shifted value exceeds the capacity

template <std::size_t Capacity>
struct BigNumberOf {
    static constexpr std::size_t kCapacity = Capacity;
    std::uint32_t word[Capacity + 1];
};

// 128 value words: numbers up to 4096 bits.
using BigNumber = BigNumberOf<128>;
// A product or square of two numbers, before it is reduced.
using BigProduct = BigNumberOf<2 * BigNumber::kCapacity>;

// From big-endian bytes; leading zero bytes are skipped.
int BnFromBytes(const std::uint8_t* bytes, std::size_t length, BigNumber* out);
// To big-endian bytes of exactly `length`, zero bytes in front.
int BnToBytes(const BigNumber& a, std::uint8_t* bytes, std::size_t length);

// -1, 0 or 1 as a is below, equal to or above b.
int BnCompare(const BigNumber& a, const BigNumber& b);
// Number of significant bits; -1 for the value 0.
int BnBitLength(const BigNumber& a);

int BnShiftLeft(const BigNumber& a, unsigned bits, BigNumber* out);
int BnShiftRight(const BigNumber& a, unsigned bits, BigNumber* out);

int BnMultiply(const BigNumber& a, const BigNumber& b, BigProduct* out);
int BnSquare(const BigNumber& a, BigProduct* out);
// Remainder of a long division by words.
int BnRemainder(const BigProduct& dividend, const BigNumber& modulus, BigNumber* out);
int BnRemainder(const BigNumber& dividend, const BigNumber& modulus, BigNumber* out);

int BnModMultiply(const BigNumber& a, const BigNumber& b, const BigNumber& modulus, BigNumber* out);
int BnModSquare(const BigNumber& a, const BigNumber& modulus, BigNumber* out);
// base ^ exponent mod modulus, by windows of 4 to 6 bits over a table of precomputed powers.
int BnModExp(const BigNumber& base, const BigNumber& exponent, const BigNumber& modulus, BigNumber* out);
