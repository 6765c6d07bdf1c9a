// The bytes of a file in UTF-16 little-endian, as the program reads and
// writes its language and settings files. Portable (no <windows.h>), so the
// host build's tests use it too; spelled out byte by byte so that the result
// does not depend on the machine's own byte order.
#pragma once

#include <string>
#include <string_view>

namespace ozu::test {

// The text's code units, low byte first, without a byte-order mark.
inline std::string Utf16Le(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

// A whole file: the byte-order mark, then the text.
inline std::string Utf16LeWithMark(std::u16string_view text) {
    return "\xFF\xFE" + Utf16Le(text);
}

} // namespace ozu::test
