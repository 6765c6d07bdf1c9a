#pragma once
// The ANSI code page conversions proper, which system_text.cpp calls for text
// that is not all ASCII: through Win32 in system_text_win32.cpp, Windows-1252
// in system_text_portable.cpp. Only system_text.cpp calls them.

#include <cstddef>
#include <string>
#include <string_view>

namespace ozu {

// Writes the characters of `text` to `out`, which has room for text.size();
// returns how many (0 when the system cannot convert it).
size_t CodePageToWide(std::string_view text, char16_t* out);
// Appends the bytes of `text` to `out`.
void AppendWideToCodePage(std::u16string_view text, std::string& out);

} // namespace ozu
