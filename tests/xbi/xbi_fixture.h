// Small XBI fixtures written byte by byte: record framing and check bytes only, no scrambling, so
// that a scrambling fault shared with xbimake still shows in the tests that spell out the bytes.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace xbitest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

inline Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

inline std::uint8_t Xor(const Bytes& bytes) {
    std::uint8_t x = 0;
    for (const auto b : bytes) x ^= b;
    return x;
}

// FF FF FE, a = L + 1, tag, data, XOR check byte.
inline Bytes Record(std::uint8_t tag, const Bytes& data = {}) {
    Bytes r{0xFF, 0xFF, 0xFE, static_cast<std::uint8_t>(data.size() + 1), tag};
    r.insert(r.end(), data.begin(), data.end());
    r.push_back(Xor(r));
    return r;
}

inline Bytes Magic() { return Concat({Text("Zelmora Mobile Phones Software"), {0x1A}}); }
inline Bytes End() { return Record(4); }

// A flash block: 3 address bytes, n, data, XOR check byte.
inline Bytes Block(std::uint32_t address, const Bytes& data) {
    Bytes b{static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(data.size())};
    b.insert(b.end(), data.begin(), data.end());
    b.push_back(Xor(b));
    return b;
}
inline Bytes CommandBlock(const Bytes& data) { return Block(0xFFFFFF, data); }

// Records a file needs to be read: format 95, library version 2.30, project class 5.
inline Bytes ReadableRecords() {
    return Concat({Record(16, {0, 95}), Record(17, {2, 30}), Record(52, {5})});
}

}  // namespace xbitest
