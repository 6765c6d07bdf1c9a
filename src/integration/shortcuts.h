// The archiver's shortcuts: desktop, start menu and the "Mivora" program
// groups of the current user and of all users.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ozu {

struct IntegrationOptions;

// Creates or removes every shortcut as the options say. When groupPath is
// given it receives the path of the program group that was made (the
// all-users group when both are made). An empty iconFile means no icon.
void UpdateShortcuts(const IntegrationOptions& options, std::u16string* groupPath,
                     std::u16string_view iconFile);

// Writes a shell link through the shell-link object. With loadExisting an
// existing shortcut is loaded first, so properties not set here survive.
// Arguments left empty (std::nullopt) are not set. True when saved.
bool CreateShellLink(bool loadExisting, std::u16string_view target, std::u16string_view shortcut,
                     std::optional<std::u16string_view> workingFolder,
                     std::optional<std::u16string_view> description, std::u16string_view iconFile,
                     std::optional<std::u16string_view> arguments = std::nullopt);

// Fills out with the path of the shell folder `csidl`. Below 260 characters
// of capacity, or when the shell does not know the folder, out becomes
// "unknown_folder" (cut to the capacity) and the result is false.
bool GetShellFolder(std::u16string& out, size_t capacity, int csidl);

// Whether a path with these attributes may be deleted as a folder tree: a
// real folder, never a reparse point (a linked folder is not followed).
bool IsDeletableFolderTree(uint32_t attributes);

// Deletes a folder with everything in it, without undo. Links inside it are
// not followed and stay, with the folders that hold them.
void DeleteFolderTree(std::u16string_view path);

} // namespace ozu
