// The shell's folders. Shortcuts are saved by the change sinks (change.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ozu {

// Fills out with the path of the shell folder `csidl`. Below 260 characters
// of capacity, or when the shell does not know the folder, out becomes
// "unknown_folder" (cut to the capacity) and the result is false.
bool GetShellFolder(std::u16string& out, size_t capacity, int csidl);

} // namespace ozu
