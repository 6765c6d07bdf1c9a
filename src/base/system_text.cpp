// The ANSI code page conversions, with their one shortcut: the characters below
// 0x80 are the same bytes in every ANSI code page, the double-byte ones included
// (their lead bytes are all above 0x7F), so text of nothing else converts byte
// for character without asking the system. Most text the program converts
// (language keys, list entries) is such text.
#include "base/system_text.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "base/system_text_code_page.h"

namespace ozu {

namespace {

// Four bytes (the low half of `bytes`) as four characters, first byte first
// in memory on a little-endian machine.
uint64_t WidenFour(uint64_t bytes) {
    bytes &= 0xFFFFFFFF;
    bytes = (bytes | bytes << 16) & 0x0000FFFF0000FFFF;
    return (bytes | bytes << 8) & 0x00FF00FF00FF00FF;
}

} // namespace

size_t AnsiToWide(std::string_view text, char16_t* out) {
    // Widened on the chance that it is all ASCII, which a second look would
    // otherwise have to find out first; eight bytes at a time where the
    // machine's byte order lets a word of them spread into characters.
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; n - i >= 8; i += 8) {
            uint64_t bytes;
            std::memcpy(&bytes, in + i, sizeof bytes);
            if ((bytes & 0x8080808080808080) != 0) {
                return CodePageToWide(text, out);
            }
            const uint64_t low = WidenFour(bytes);
            const uint64_t high = WidenFour(bytes >> 32);
            std::memcpy(out + i, &low, sizeof low);
            std::memcpy(out + i + 4, &high, sizeof high);
        }
    }
    unsigned char any = 0;
    for (; i < n; ++i) {
        any |= in[i];
        out[i] = in[i];
    }
    return any < 0x80 ? n : CodePageToWide(text, out);
}

std::u16string AnsiToWide(std::string_view text) {
    std::u16string wide(text.size(), u'\0');
    wide.resize(AnsiToWide(text, wide.data()));
    return wide;
}

void AppendWideToAnsi(std::u16string_view text, std::string& out) {
    // Narrowed on the chance that it is all ASCII; four characters at a
    // time where the machine's byte order lets a word of them fold into
    // bytes.
    const size_t old = out.size();
    const size_t n = text.size();
    out.resize(old + n);
    char* to = out.data() + old;
    size_t i = 0;
    bool ascii = true;
    if constexpr (std::endian::native == std::endian::little) {
        for (; ascii && n - i >= 4; i += 4) {
            uint64_t chars;
            std::memcpy(&chars, text.data() + i, sizeof chars);
            ascii = (chars & 0xFF80FF80FF80FF80) == 0;
            chars = (chars | chars >> 8) & 0x0000FFFF0000FFFF;
            const auto bytes = static_cast<uint32_t>(chars | chars >> 16);
            std::memcpy(to + i, &bytes, sizeof bytes);
        }
    }
    char16_t any = 0;
    for (; ascii && i < n; ++i) {
        any |= text[i];
        to[i] = static_cast<char>(text[i]);
    }
    if (!ascii || any >= 0x80) {
        out.resize(old);
        AppendWideToCodePage(text, out);
    }
}

std::string WideToAnsi(std::u16string_view text) {
    std::string ansi;
    AppendWideToAnsi(text, ansi);
    return ansi;
}

} // namespace ozu
