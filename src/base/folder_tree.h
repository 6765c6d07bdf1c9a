// Deleting a whole folder tree without following a link anywhere in it.
#pragma once

#include <cstdint>
#include <string_view>

namespace ozu {

// Whether a path with these attributes may be deleted as a folder tree: a
// real folder, never a reparse point (a linked folder is not followed).
bool IsDeletableFolderTree(uint32_t attributes);

// Deletes a folder with everything in it, without undo, for paths of any
// length the system takes. Links inside it are not followed and stay, with
// the folders that hold them; a folder that is itself a link stays whole.
// True when nothing is left at the path.
bool DeleteFolderTree(std::u16string_view path);

} // namespace ozu
