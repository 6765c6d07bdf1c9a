// Text conversions of the tests: UTF-8 for readable expectations, wide text
// for Win32 and the program's own functions.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace ozu::test {

inline std::string Utf8(std::wstring_view text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

inline std::string Utf8(std::u16string_view text) {
    return Utf8(std::wstring_view(reinterpret_cast<const wchar_t*>(text.data()), text.size()));
}

inline std::wstring FromUtf8(std::string_view text) {
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

// The same text in the program's own wide type.
inline std::u16string Wide(std::string_view text) {
    const std::wstring wide = FromUtf8(text);
    return std::u16string(wide.begin(), wide.end());
}

inline std::wstring AsWide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

} // namespace ozu::test
