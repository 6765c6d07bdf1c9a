#pragma once
// Conversions between our UTF-16 text (char16_t) and the Win32 wide-character
// API (wchar_t). Both are 16-bit on Windows, so the pointers are reinterpreted,
// never copied.

#include <string>

static_assert(sizeof(wchar_t) == 2, "the Win32 wide-character API needs a 16-bit wchar_t");

namespace ozu {

inline const wchar_t* W(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline wchar_t* W(char16_t* text) {
    return reinterpret_cast<wchar_t*>(text);
}
inline const wchar_t* W(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}
inline const char16_t* U(const wchar_t* text) {
    return reinterpret_cast<const char16_t*>(text);
}
inline char16_t* U(wchar_t* text) {
    return reinterpret_cast<char16_t*>(text);
}

} // namespace ozu
