#include "package/bignum.h"

#include <bit>
#include <cstring>

#include "platform/os/last_error.h"

namespace {

constexpr std::size_t kMaxBytes = 4 * BigNumber::kCapacity;

int Fail(std::uint32_t code) {
    os::SetLastError(code);
    return -1;
}

void Trim(std::uint32_t* n) {
    while (n[0] > 0 && n[n[0]] == 0) {
        --n[0];
    }
}

template <std::size_t C>
void SetSmall(BigNumberOf<C>* n, std::uint32_t value) {
    n->word[0] = value == 0 ? 0 : 1;
    n->word[1] = value;
}

// Compare two trimmed word arrays.
int CompareWords(const std::uint32_t* a, const std::uint32_t* b) {
    if (a[0] != b[0]) {
        return a[0] < b[0] ? -1 : 1;
    }
    for (std::uint32_t i = a[0]; i > 0; --i) {
        if (a[i] != b[i]) {
            return a[i] < b[i] ? -1 : 1;
        }
    }
    return 0;
}

// The remainder of u divided by v (both trimmed, v not 0) into out, which holds v's word count.
// Long division with a normalised divisor (Knuth, algorithm D).
void RemainderWords(const std::uint32_t* u, const std::uint32_t* v, std::uint32_t* out) {
    const std::uint32_t n = v[0];
    if (CompareWords(u, v) < 0) {
        std::memcpy(out, u, (u[0] + 1) * sizeof(std::uint32_t));
        return;
    }
    const std::uint32_t m = u[0];
    if (n == 1) {
        std::uint64_t r = 0;
        for (std::uint32_t i = m; i > 0; --i) {
            r = ((r << 32) | u[i]) % v[1];
        }
        out[0] = 1;
        out[1] = static_cast<std::uint32_t>(r);
        Trim(out);
        return;
    }

    // Shift divisor and dividend left until the divisor's top word has its top bit set.
    const int s = std::countl_zero(v[n]);
    std::uint32_t vn[BigNumber::kCapacity];
    std::uint32_t un[BigProduct::kCapacity + 1];
    for (std::uint32_t i = n - 1; i > 0; --i) {
        vn[i] = s == 0 ? v[i + 1] : (v[i + 1] << s) | (v[i] >> (32 - s));
    }
    vn[0] = v[1] << s;
    un[m] = s == 0 ? 0 : u[m] >> (32 - s);
    for (std::uint32_t i = m - 1; i > 0; --i) {
        un[i] = s == 0 ? u[i + 1] : (u[i + 1] << s) | (u[i] >> (32 - s));
    }
    un[0] = u[1] << s;

    constexpr std::uint64_t kBase = std::uint64_t{1} << 32;
    for (std::int64_t j = static_cast<std::int64_t>(m) - n; j >= 0; --j) {
        std::uint64_t top = (std::uint64_t{un[j + n]} << 32) | un[j + n - 1];
        std::uint64_t qhat = top / vn[n - 1];
        std::uint64_t rhat = top % vn[n - 1];
        while (qhat >= kBase || qhat * vn[n - 2] > ((rhat << 32) | un[j + n - 2])) {
            --qhat;
            rhat += vn[n - 1];
            if (rhat >= kBase) {
                break;
            }
        }
        // Multiply and subtract; add back once when the estimate was one too large.
        std::int64_t borrow = 0;
        std::int64_t t = 0;
        for (std::uint32_t i = 0; i < n; ++i) {
            std::uint64_t p = qhat * vn[i];
            t = std::int64_t{un[i + j]} - borrow - static_cast<std::int64_t>(p & 0xFFFFFFFFu);
            un[i + j] = static_cast<std::uint32_t>(t);
            borrow = static_cast<std::int64_t>(p >> 32) - (t >> 32);
        }
        t = std::int64_t{un[j + n]} - borrow;
        un[j + n] = static_cast<std::uint32_t>(t);
        if (t < 0) {
            std::uint64_t carry = 0;
            for (std::uint32_t i = 0; i < n; ++i) {
                std::uint64_t sum = std::uint64_t{un[i + j]} + vn[i] + carry;
                un[i + j] = static_cast<std::uint32_t>(sum);
                carry = sum >> 32;
            }
            un[j + n] += static_cast<std::uint32_t>(carry);
        }
    }

    // Shift the remainder back.
    out[0] = n;
    for (std::uint32_t i = 0; i + 1 < n; ++i) {
        out[i + 1] = s == 0 ? un[i] : (un[i] >> s) | (un[i + 1] << (32 - s));
    }
    out[n] = un[n - 1] >> s;
    Trim(out);
}

int Reduce(const std::uint32_t* dividend, const BigNumber& modulus, BigNumber* out) {
    if (modulus.word[0] == 0) {
        return Fail(kErrBnReduceZero);
    }
    RemainderWords(dividend, modulus.word, out->word);
    return 0;
}

}  // namespace

int BnFromBytes(const std::uint8_t* bytes, std::size_t length, BigNumber* out) {
    while (length > 0 && *bytes == 0) {
        ++bytes;
        --length;
    }
    if (length > kMaxBytes) {
        return Fail(kErrBnFromBytes);
    }
    std::uint32_t words = static_cast<std::uint32_t>((length + 3) / 4);
    std::memset(out->word + 1, 0, words * sizeof(std::uint32_t));
    for (std::size_t i = 0; i < length; ++i) {
        std::size_t fromEnd = length - 1 - i;
        out->word[1 + fromEnd / 4] |= std::uint32_t{bytes[i]} << (8 * (fromEnd % 4));
    }
    out->word[0] = words;
    return 0;
}

int BnToBytes(const BigNumber& a, std::uint8_t* bytes, std::size_t length) {
    int bits = a.word[0] == 0 ? 0 : BnBitLength(a);
    if (static_cast<std::size_t>(bits + 7) / 8 > length) {
        return Fail(kErrBnToBytes);
    }
    for (std::size_t i = 0; i < length; ++i) {
        std::size_t fromEnd = length - 1 - i;
        std::size_t word = fromEnd / 4;
        bytes[i] = word < a.word[0] ? static_cast<std::uint8_t>(a.word[1 + word] >> (8 * (fromEnd % 4))) : 0;
    }
    return 0;
}

int BnCompare(const BigNumber& a, const BigNumber& b) { return CompareWords(a.word, b.word); }

int BnBitLength(const BigNumber& a) {
    if (a.word[0] == 0) {
        return Fail(kErrBnBitLength);
    }
    std::uint32_t top = a.word[a.word[0]];
    return static_cast<int>(32 * a.word[0]) - std::countl_zero(top);
}

int BnShiftLeft(const BigNumber& a, unsigned bits, BigNumber* out) {
    if (a.word[0] == 0) {
        out->word[0] = 0;
        return 0;
    }
    const std::size_t newBits = static_cast<std::size_t>(BnBitLength(a)) + bits;
    const std::size_t words = (newBits + 31) / 32;
    if (words > BigNumber::kCapacity) {
        return Fail(kErrBnShiftLeft);
    }
    const unsigned wordShift = bits / 32, bitShift = bits % 32;
    std::uint32_t result[BigNumber::kCapacity + 1] = {};
    for (std::uint32_t i = 1; i <= a.word[0]; ++i) {
        std::uint64_t w = std::uint64_t{a.word[i]} << bitShift;
        result[i + wordShift] |= static_cast<std::uint32_t>(w);
        if (i + wordShift + 1 <= words) {
            result[i + wordShift + 1] |= static_cast<std::uint32_t>(w >> 32);
        }
    }
    result[0] = static_cast<std::uint32_t>(words);
    std::memcpy(out->word, result, (words + 1) * sizeof(std::uint32_t));
    return 0;
}

int BnShiftRight(const BigNumber& a, unsigned bits, BigNumber* out) {
    const unsigned wordShift = bits / 32, bitShift = bits % 32;
    if (wordShift >= a.word[0]) {
        out->word[0] = 0;
        return 0;
    }
    const std::uint32_t words = a.word[0] - wordShift;
    for (std::uint32_t i = 1; i <= words; ++i) {
        std::uint64_t pair = a.word[i + wordShift];
        if (i + wordShift < a.word[0]) {
            pair |= std::uint64_t{a.word[i + wordShift + 1]} << 32;
        }
        out->word[i] = static_cast<std::uint32_t>(pair >> bitShift);
    }
    out->word[0] = words;
    Trim(out->word);
    return 0;
}

int BnMultiply(const BigNumber& a, const BigNumber& b, BigProduct* out) {
    const std::uint32_t na = a.word[0], nb = b.word[0];
    std::memset(out->word, 0, (na + nb + 1) * sizeof(std::uint32_t));
    for (std::uint32_t i = 1; i <= na; ++i) {
        std::uint64_t carry = 0;
        const std::uint64_t ai = a.word[i];
        for (std::uint32_t j = 1; j <= nb; ++j) {
            std::uint64_t t = ai * b.word[j] + out->word[i + j - 1] + carry;
            out->word[i + j - 1] = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
        out->word[i + nb] = static_cast<std::uint32_t>(carry);
    }
    out->word[0] = na + nb;
    Trim(out->word);
    return 0;
}

int BnSquare(const BigNumber& a, BigProduct* out) {
    const std::uint32_t n = a.word[0];
    std::uint32_t* r = out->word + 1;
    std::memset(out->word, 0, (2 * n + 1) * sizeof(std::uint32_t));
    // The products of different words, each once.
    for (std::uint32_t i = 0; i < n; ++i) {
        std::uint64_t carry = 0;
        const std::uint64_t ai = a.word[1 + i];
        for (std::uint32_t j = i + 1; j < n; ++j) {
            std::uint64_t t = ai * a.word[1 + j] + r[i + j] + carry;
            r[i + j] = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
        r[i + n] = static_cast<std::uint32_t>(carry);
    }
    // Doubled, plus the squares of the words.
    std::uint32_t shiftedOut = 0;
    for (std::uint32_t i = 0; i < 2 * n; ++i) {
        std::uint32_t w = r[i];
        r[i] = (w << 1) | shiftedOut;
        shiftedOut = w >> 31;
    }
    std::uint64_t carry = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        std::uint64_t sq = std::uint64_t{a.word[1 + i]} * a.word[1 + i];
        std::uint64_t low = std::uint64_t{r[2 * i]} + static_cast<std::uint32_t>(sq) + carry;
        r[2 * i] = static_cast<std::uint32_t>(low);
        std::uint64_t high = std::uint64_t{r[2 * i + 1]} + (sq >> 32) + (low >> 32);
        r[2 * i + 1] = static_cast<std::uint32_t>(high);
        carry = high >> 32;
    }
    out->word[0] = 2 * n;
    Trim(out->word);
    return 0;
}

int BnRemainder(const BigProduct& dividend, const BigNumber& modulus, BigNumber* out) {
    return Reduce(dividend.word, modulus, out);
}

int BnRemainder(const BigNumber& dividend, const BigNumber& modulus, BigNumber* out) {
    return Reduce(dividend.word, modulus, out);
}

int BnModMultiply(const BigNumber& a, const BigNumber& b, const BigNumber& modulus, BigNumber* out) {
    BigProduct product;
    BnMultiply(a, b, &product);
    return Reduce(product.word, modulus, out);
}

int BnModSquare(const BigNumber& a, const BigNumber& modulus, BigNumber* out) {
    BigProduct square;
    BnSquare(a, &square);
    return Reduce(square.word, modulus, out);
}

int BnModExp(const BigNumber& base, const BigNumber& exponent, const BigNumber& modulus, BigNumber* out) {
    if (modulus.word[0] == 0) {
        return Fail(kErrBnModExpZero);
    }
    BigNumber one;
    SetSmall(&one, 1);
    if (exponent.word[0] == 0) {
        return Reduce(one.word, modulus, out);
    }
    constexpr int kMaxWindow = 6;
    BigNumber power[1 << kMaxWindow];
    if (Reduce(base.word, modulus, &power[1]) != 0) {
        return -1;
    }
    if (power[1].word[0] == 0) {
        out->word[0] = 0;
        return 0;
    }

    const std::uint32_t modulusWords = modulus.word[0];
    const int w = modulusWords <= 16 ? 4 : modulusWords <= 24 ? 5 : 6;
    const int entries = 1 << w;
    for (int i = 2; i < entries; ++i) {
        int ok = (i % 2 == 0) ? BnModSquare(power[i / 2], modulus, &power[i])
                              : BnModMultiply(power[i - 1], power[1], modulus, &power[i]);
        if (ok != 0) {
            return -1;
        }
    }

    auto bitAt = [&exponent](int bit) { return (exponent.word[1 + bit / 32] >> (bit % 32)) & 1u; };
    auto window = [&bitAt](int top, int width) {
        unsigned value = 0;
        for (int b = top; b > top - width; --b) {
            value = (value << 1) | bitAt(b);
        }
        return value;
    };

    const int bits = BnBitLength(exponent);
    int width = bits % w == 0 ? w : bits % w;
    int top = bits - 1;
    BigNumber result = power[window(top, width)];
    for (top -= width; top >= 0; top -= w) {
        for (int i = 0; i < w; ++i) {
            if (BnModSquare(result, modulus, &result) != 0) {
                return -1;
            }
        }
        unsigned value = window(top, w);
        if (value != 0 && BnModMultiply(result, power[value], modulus, &result) != 0) {
            return -1;
        }
    }
    std::memcpy(out->word, result.word, (result.word[0] + 1) * sizeof(std::uint32_t));
    return 0;
}
