// The shell's folders and its shell-link object (shortcuts).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ozu {

// Fills out with the path of the shell folder `csidl`. Below 260 characters
// of capacity, or when the shell does not know the folder, out becomes
// "unknown_folder" (cut to the capacity) and the result is false.
bool GetShellFolder(std::u16string& out, size_t capacity, int csidl);

// Whether a shortcut already at the name is replaced or keeps what is not set.
enum class ExistingLink { Replace, Keep };

// Writes a shell link through the shell-link object. With ExistingLink::Keep
// an existing shortcut is loaded first, so properties not set here survive.
// Arguments left empty (std::nullopt) are not set. True when saved.
bool CreateShellLink(ExistingLink existing, std::u16string_view target,
                     std::u16string_view shortcut, std::optional<std::u16string_view> workingFolder,
                     std::optional<std::u16string_view> description, std::u16string_view iconFile,
                     std::optional<std::u16string_view> arguments = std::nullopt);

} // namespace ozu
