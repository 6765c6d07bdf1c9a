#pragma once
// The few text services that come from the system: conversion to and from the
// ANSI code page, single-character upper-casing and the locale-aware
// case-insensitive comparison. The Windows build uses the Win32 functions; the
// host build has a portable stand-in (Windows-1252 and simple case mapping).

#include <cstddef>
#include <string>
#include <string_view>

namespace ozu {

// Whole-text conversions with the ANSI code page. Characters without an ANSI
// form become the system's default character.
std::u16string AnsiToWide(std::string_view text);
std::string WideToAnsi(std::u16string_view text);
// The console (OEM) code page, for text that cmd.exe reads.
std::string WideToOem(std::u16string_view text);

// Bounded conversions: the output starts empty, holds at most capacity - 1
// characters (bytes for WideToChar), and the result is false when the
// conversion failed or the text did not fit (then the output holds the part
// that fits). Conversion stops at a zero character.
bool CharToWide(std::string_view text, std::u16string& out, size_t capacity);
bool WideToChar(std::u16string_view text, std::string& out, size_t capacity);

// CharUpperW on one character.
char16_t SystemUpperChar(char16_t c);
// CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT) over
// both whole views: negative, 0 or positive.
int SystemCompareNoCase(std::u16string_view a, std::u16string_view b);

} // namespace ozu
