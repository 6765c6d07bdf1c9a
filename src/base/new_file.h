#pragma once
// Files the program makes anew: never through a name that exists, and
// checked through their handle before anything is written into them. The
// change sinks make the program's new files with it, and the run log opens
// its own file with it (the log is what the sinks write, not a change).

#include <windows.h>

#include <string_view>

#include "base/scoped_handle.h"

namespace ozu {

// Creates a file that does not exist yet (CREATE_NEW: no name that exists, a
// link among them, is ever opened) and checks it through its handle: not a
// link, one name, and its final path the one named. A file that fails the
// check (made through a link on the way) goes again; an invalid handle, with
// the system's error, otherwise. The handle may also delete and rename.
FileHandle CreatePlainNewFile(std::u16string_view path, DWORD access, DWORD share = 0);

// Opens (or creates) a file for appending only where the name holds a plain
// file of one name: no link at it or on the way, and no second name that
// would carry the writing into another file. An invalid handle otherwise.
FileHandle OpenPlainFileForAppend(std::u16string_view path);

// Writes all of the bytes at the file's position; false when any is missing.
bool WriteAll(HANDLE file, std::string_view bytes);

} // namespace ozu
