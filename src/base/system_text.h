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
// The same into the caller's storage, for text converted piece by piece.
// AnsiToWide writes at most text.size() characters to `out` (no ANSI code page
// makes more characters than bytes) and returns how many;
// AppendWideToAnsi appends the bytes to `out`.
size_t AnsiToWide(std::string_view text, char16_t* out);
void AppendWideToAnsi(std::u16string_view text, std::string& out);
// The console (OEM) code page, for text that cmd.exe reads: true, with the
// bytes, only when every character converts exactly (no best-fit stand-ins,
// no default characters), so that the interpreter reads back the same text.
bool WideToOemExactly(std::u16string_view text, std::string& out);

// CharUpperW on one character.
char16_t SystemUpperChar(char16_t c);
// CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT) over
// both whole views: negative, 0 or positive. For texts people read; never for
// deciding whether two names reach the same file.
int SystemCompareNoCase(std::u16string_view a, std::u16string_view b);

// Whether two file names or paths are the same to the file system: case is
// ignored the way the file system ignores it, character by character through
// the system's upper-case table, whatever the user's language (under Turkish
// rules "I" and "i" differ, for the file system they do not).
bool SameFileName(std::u16string_view a, std::u16string_view b);

} // namespace ozu
