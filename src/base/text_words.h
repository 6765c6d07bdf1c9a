#pragma once
// Text looked at a 64-bit word at a time: four UTF-16 characters or eight
// bytes per word. The tests on characters work whatever their order in the
// word; spreading bytes into characters and folding characters into bytes
// need the first in memory to be the lowest, so those loops run only on
// little-endian machines and the others take the plain loops after them.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ozu::words {

inline constexpr bool kLittleEndian = std::endian::native == std::endian::little;

template <typename Char> uint64_t Load(const Char* at) {
    uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

inline constexpr uint64_t kCharOnes = 0x0001000100010001;
inline constexpr uint64_t kCharTops = 0x8000800080008000;

// The word whose four characters are all `c`.
constexpr uint64_t FourOf(char16_t c) {
    return kCharOnes * c;
}

// (x - k) & ~x has a character's top bit set for some character below k, and
// for none when every character is at least k (k at most 0x8000). Only
// whether it is zero means anything: a borrow can mark characters after the
// first one below k.
constexpr bool AnyCharBelow(uint64_t word, uint16_t k) {
    return ((word - kCharOnes * k) & ~word & kCharTops) != 0;
}

constexpr bool AnyCharEqual(uint64_t word, char16_t c) {
    return AnyCharBelow(word ^ FourOf(c), 1);
}

constexpr bool AllAsciiChars(uint64_t word) {
    return (word & 0xFF80FF80FF80FF80) == 0;
}

constexpr bool AllAsciiBytes(uint64_t word) {
    return (word & 0x8080808080808080) == 0;
}

// Four bytes (the low half of `bytes`) as four characters.
constexpr uint64_t WidenFour(uint64_t bytes) {
    bytes &= 0xFFFFFFFF;
    bytes = (bytes | bytes << 16) & 0x0000FFFF0000FFFF;
    return (bytes | bytes << 8) & 0x00FF00FF00FF00FF;
}

// Four characters below 0x100 as four bytes.
constexpr uint32_t FoldFour(uint64_t chars) {
    chars = (chars | chars >> 8) & 0x0000FFFF0000FFFF;
    return static_cast<uint32_t>(chars | chars >> 16);
}

// Copies the ASCII characters at the start of `in` to `out` as bytes; returns
// how many there were (all `n` when the text is ASCII). `out` has room for n.
inline size_t NarrowAscii(const char16_t* in, size_t n, char* out) {
    size_t i = 0;
    if constexpr (kLittleEndian) {
        for (; n - i >= 4; i += 4) {
            const uint64_t chars = Load(in + i);
            if (!AllAsciiChars(chars)) {
                break;
            }
            const uint32_t bytes = FoldFour(chars);
            std::memcpy(out + i, &bytes, sizeof bytes);
        }
    }
    for (; i < n && in[i] < 0x80; ++i) {
        out[i] = static_cast<char>(in[i]);
    }
    return i;
}

// The same the other way: the ASCII bytes at the start of `in` as characters.
inline size_t WidenAscii(const unsigned char* in, size_t n, char16_t* out) {
    size_t i = 0;
    if constexpr (kLittleEndian) {
        for (; n - i >= 8; i += 8) {
            const uint64_t bytes = Load(in + i);
            if (!AllAsciiBytes(bytes)) {
                break;
            }
            const uint64_t low = WidenFour(bytes);
            const uint64_t high = WidenFour(bytes >> 32);
            std::memcpy(out + i, &low, sizeof low);
            std::memcpy(out + i + 4, &high, sizeof high);
        }
    }
    for (; i < n && in[i] < 0x80; ++i) {
        out[i] = in[i];
    }
    return i;
}

} // namespace ozu::words
