// The system text services for the host build: Windows-1252 as the ANSI code
// page and a simple (one-to-one) case mapping.
#include "base/system_text.h"
#include "base/system_text_code_page.h"

namespace ozu {

namespace {

// Windows-1252 bytes 0x80..0x9F; the five unassigned bytes map to the C1
// control characters of the same value, as the system does.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t ByteToWide(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0) {
        return kHighControls[byte - 0x80];
    }
    return byte;
}

// '?' for characters without a Windows-1252 form, as the system's default.
char WideToByte(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        return static_cast<char>(c);
    }
    for (unsigned i = 0; i < 32; ++i) {
        if (kHighControls[i] == c) {
            return static_cast<char>(0x80 + i);
        }
    }
    return '?';
}

} // namespace

size_t CodePageToWide(std::string_view text, char16_t* out) {
    for (size_t i = 0; i < text.size(); ++i) {
        out[i] = ByteToWide(static_cast<unsigned char>(text[i]));
    }
    return text.size();
}

void AppendWideToCodePage(std::u16string_view text, std::string& out) {
    out.reserve(out.size() + text.size());
    for (char16_t c : text) {
        out.push_back(WideToByte(c));
    }
}

bool WideToOemExactly(std::u16string_view text, std::string& out) {
    out = WideToAnsi(text);
    return AnsiToWide(out) == text;
}

char16_t SystemUpperChar(char16_t c) {
    if (c >= u'a' && c <= u'z') {
        return static_cast<char16_t>(c - 0x20);
    }
    if (c < 0x80) {
        return c;
    }
    if (c == 0x00B5) { // micro sign
        return 0x039C;
    }
    if ((c >= 0x00E0 && c <= 0x00FE && c != 0x00F7)) {
        return static_cast<char16_t>(c - 0x20);
    }
    if (c == 0x00FF) {
        return 0x0178;
    }
    if (c == 0x0131) { // dotless i
        return u'I';
    }
    // Latin Extended-A: pairs of upper and lower case, upper first, except in
    // the two stretches where lower case comes at odd-even positions.
    if (c >= 0x0100 && c <= 0x0137) {
        return static_cast<char16_t>(c & ~1u);
    }
    if ((c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E)) {
        return (c & 1u) ? c : static_cast<char16_t>(c - 1);
    }
    if (c >= 0x014A && c <= 0x0177) {
        return static_cast<char16_t>(c & ~1u);
    }
    if (c >= 0x03B1 && c <= 0x03C9 && c != 0x03C2) { // Greek
        return static_cast<char16_t>(c - 0x20);
    }
    if (c == 0x03C2) { // final sigma
        return 0x03A3;
    }
    if (c >= 0x0430 && c <= 0x044F) { // Cyrillic
        return static_cast<char16_t>(c - 0x20);
    }
    if (c >= 0x0450 && c <= 0x045F) {
        return static_cast<char16_t>(c - 0x50);
    }
    if (c >= 0xFF41 && c <= 0xFF5A) { // full-width Latin
        return static_cast<char16_t>(c - 0x20);
    }
    return c;
}

int SystemCompareNoCase(std::u16string_view a, std::u16string_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        char16_t ua = SystemUpperChar(a[i]);
        char16_t ub = SystemUpperChar(b[i]);
        if (ua != ub) {
            return ua < ub ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

bool SameFileName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (SystemUpperChar(a[i]) != SystemUpperChar(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace ozu
