#pragma once
// What the system tells of an open file or folder: its attributes, names and
// size, its final path, and the calls on a handle that only Windows Vista and
// later have (looked up, so that the program still starts on XP). The trusted
// folder checks entries with them, and the change sinks act through them.

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace ozu {

using GetInfoFn = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
using SetInfoFn = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

// The calls on an open handle that Windows has since Vista. Without them
// (XP) an entry is still opened and checked through its handle, but acted on
// by name, and the folders on the way are checked one by one.
struct HandleCalls {
    GetInfoFn getInfo;
    SetInfoFn setInfo;
    FinalPathFn finalPath;
};
const HandleCalls& Calls();

inline constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A link at the end of the path is opened itself, not what it points to.
inline constexpr DWORD kNoFollow = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;

// The errors that say nothing is at a path.
bool IsNothingThere(DWORD error);

// CreateFileW with the extended-length retry; INVALID_HANDLE_VALUE on failure.
HANDLE OpenByName(std::u16string_view path, DWORD access, DWORD disposition, DWORD flags,
                  DWORD share = kShareAll);

struct HandleFacts {
    uint32_t attributes = 0;
    uint32_t links = 1;
    uint64_t size = 0;
};
bool QueryFacts(HANDLE handle, HandleFacts& facts);

// "\??\C:\dir\name" (or "\??\UNC\server\...") for a full path: the form a
// rename through a handle takes on every system that has one.
std::u16string NtFormOf(std::u16string_view path);

// The system's final path of an open handle ("\\?\C:\..."); empty where the
// system cannot name it.
std::u16string FinalPathOf(HANDLE handle);
// The final path of a folder named by its path, which may be reached through
// a link; with a trailing backslash, empty when it cannot be named.
std::u16string FinalFolderPath(std::u16string_view folder);
// The full, long form of a path as the final path of its file would name it.
std::u16string ExpectedFinalPath(std::u16string_view path);
// The path of an open handle on its volume ("\dir\name", no drive); empty
// where the system cannot name it.
std::u16string VolumePathOf(HANDLE handle);
DWORD VolumeSerialOf(HANDLE handle);

// A file opened or made at `path` is the plain file of that one name: no link
// at it or on the way, and no second name that would carry the writing into
// another file.
bool IsPlainFileAt(HANDLE file, std::u16string_view path);

} // namespace ozu
