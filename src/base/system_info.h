#pragma once
// Facts about the running system that several parts of the program share.

#include <windows.h>

#include <string>
#include <string_view>

namespace ozu {

// major * 256 + minor of the running Windows (0x0601 for 6.1); 0x0501 for a
// platform other than NT. Asked once, then cached; never 0.
unsigned WindowsVersion();

// The "Mivora" folder below the user's application-data folder. True when it
// exists; folder holds its path even when it does not (empty when the shell
// could not tell).
bool ProgramDataFolder(std::u16string& folder);

// True when this 32-bit process runs on 64-bit Windows. The answer is cached
// once the system gave one; when IsWow64Process is missing or fails the result
// is false and the next call asks again.
bool RunningUnderWow64();
// Whether the process runs with its administrator rights in force (its
// token is elevated). `known` is false where the system cannot tell (Windows
// XP, which has no elevation); the answer is false then.
bool IsElevated(bool& known);

// True when GetNativeSystemInfo exists and reports an Itanium processor.
bool NativeIsItanium();

// SetDllDirectoryW("") (restrict == true) or SetDllDirectoryW(nullptr), when
// the system has it.
void RestrictDllSearchPath(bool restrict);
// LoadLibraryW of the file in the Windows system folder; null on failure.
HMODULE LoadSystemLibrary(std::u16string_view fileName);

// value * vertical screen DPI / 96 (truncating); 0 when there is no screen.
int ScaleToScreenDpi(int value);

} // namespace ozu
