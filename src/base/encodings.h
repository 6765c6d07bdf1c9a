#pragma once
// Detection and conversion of the encodings a text file may have, and the
// splitting of a text into lines.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ozu {

class StringList;

enum class TextEncoding : int { Default = 0, Utf16 = 3, Utf8 = 4 };

// UTF-8 with its mark (and well-formed after it), UTF-16 with a mark and at
// least one character whose high byte is a control value other than CR and LF,
// and the ANSI code page otherwise.
TextEncoding DetectTextEncoding(const uint8_t* bytes, size_t size);

// True when the bytes form well-formed multi-byte sequences (lead bytes of up
// to six-byte sequences accepted; no overlong or range checks).
bool IsTextUtf8(const uint8_t* bytes, size_t size);

// Decodes UTF-8 up to the end of text or its first zero byte into at most
// capacity - 1 UTF-16 units. False when a malformed sequence ended the
// decoding or a code point above U+10FFFF was met (and skipped); running out
// of room simply ends the output.
bool Utf8ToWide(std::string_view text, std::u16string& out, size_t capacity);

// UTF-8 of the text. A surrogate without its partner becomes U+FFFD, as the
// system's own conversion makes it.
std::string WideToUtf8(std::u16string_view text);

// The bytes of a whole text file as wide text, by the detected encoding: the
// ANSI code page, UTF-16 after its mark (little- or big-endian, a last odd byte
// ignored), or UTF-8 after its mark. A byte-order mark never becomes text,
// also where what follows it is read as ANSI text. The text ends at the first
// zero character. `whole`, when given, is set to false when UTF-8 did not
// decode completely (the text then lacks what could not be decoded).
std::u16string DecodeText(const uint8_t* bytes, size_t size, bool* whole = nullptr);

// Adds every non-empty line of the text to the list. CR, LF and any mix of
// them end a line; blanks and tabs at a line's end are removed; the text ends
// at its first zero character.
void SplitLines(std::u16string_view text, StringList& list);

} // namespace ozu
