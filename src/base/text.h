#pragma once
// Bounded text operations shared by every part of the program. A capacity is
// always counted in characters of the destination, terminator included, and a
// text that does not fit is cut silently.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ozu {

// Length of a terminated text; 0 for null.
size_t TextLength(const char16_t* text);
size_t NarrowTextLength(const char* text);

// Copies until the source's terminator or capacity - 1 characters, then
// terminates. Capacity 0 writes nothing. Returns the position of the
// terminator written (dst itself for capacity 0).
char16_t* CopyText(char16_t* dst, const char16_t* src, size_t capacity);
// CopyText of the source onto the destination's end, with the capacity that
// remains; nothing changes when the destination already fills the capacity.
char16_t* AppendText(char16_t* dst, const char16_t* src, size_t capacity);
char* CopyNarrowText(char* dst, const char* src, size_t capacity);
char* AppendNarrowText(char* dst, const char* src, size_t capacity);

// The same on strings: the destination keeps at most capacity - 1 characters.
void CopyText(std::u16string& dst, std::u16string_view src, size_t capacity);
void AppendText(std::u16string& dst, std::u16string_view src, size_t capacity);

// Keeps at most capacity - 1 characters (capacity 0 gives an empty text).
std::u16string Truncate(std::u16string text, size_t capacity);
std::string TruncateNarrow(std::string text, size_t capacity);

// Optional leading "-", then decimal digits up to the first other character.
// No digits give 0. Overflow wraps; a value that wrapped into the negative range
// is returned as it is, without the sign applied.
int64_t ParseDecimal(std::u16string_view text);
int64_t ParseNarrowDecimal(std::string_view text);

// Decimal text of a signed value, at most capacity - 1 characters sign
// included; a number that does not fit keeps its lowest digits.
std::u16string FormatDecimal(int64_t value, size_t capacity = 32);

// Upper case of one character: 'i' always gives 'I' (no locale rule for the
// dotted and dotless i); everything else goes through the system.
char16_t UpperChar(char16_t c);

// Case-insensitive comparison for the user's locale: negative, 0 or positive.
int CompareTextNoCase(std::u16string_view a, std::u16string_view b);
// The same over at most n characters of each side: each side takes
// min(n, length + 1) characters, its terminator counted as one.
int CompareTextNoCaseN(std::u16string_view a, std::u16string_view b, size_t n);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);

// Character classes shared by the command line, the settings file and the
// language file.
constexpr bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}
constexpr bool IsAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
constexpr bool IsAsciiDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

} // namespace ozu
