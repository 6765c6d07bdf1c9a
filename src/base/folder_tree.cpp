#include "base/folder_tree.h"

#include <windows.h>

#include "base/change_sink.h"
#include "base/file_system.h"
#include "base/paths.h"
#include "base/trusted_folder.h"

namespace ozu {

namespace {

void DeleteEntry(CheckedEntry& entry) {
    Made({.kind = ChangeKind::DeleteChecked,
          .verb = entry.Kind() == DiskEntry::Folder ? "folder-delete" : "file-delete",
          .entry = &entry});
}

// Removes the plain files and folders below `folder`, depth first, each
// through the handle it was checked with. A link stays with what it points
// to, and so do the folders that hold one.
void RemovePlainTree(const TrustedFolder& root, const std::u16string& folder) {
    DirectoryScan scan;
    scan.SetMask(JoinPath(folder, u"*", kLongPathCapacity + 1));
    FoundEntry found;
    while (scan.Next(found)) {
        // Only what lies below the folder is its content; anything else
        // (the folder itself, from a search that named it) is not entered.
        if (found.name.size() <= folder.size() + 1) {
            continue;
        }
        CheckedEntry entry = root.Open(found.name);
        if (entry.Kind() == DiskEntry::Folder) {
            // A folder held for deletion cannot be searched; it is emptied
            // first, then opened and checked again to go.
            entry.Close();
            RemovePlainTree(root, found.name);
            entry = root.Open(found.name);
        }
        // A folder goes only once it is empty.
        if (entry.Kind() == DiskEntry::Folder || entry.Kind() == DiskEntry::File) {
            DeleteEntry(entry);
        }
    }
}

} // namespace

bool IsDeletableFolderTree(uint32_t attributes) {
    return IsDirectoryAttr(attributes) && !IsReparseAttr(attributes);
}

bool DeleteFolderTree(std::u16string_view path) {
    // A linked folder is never followed: deleting through it would remove
    // files that live elsewhere. Nor is a link inside the tree, which the
    // shell's own deletion would follow. The folder is held through its
    // handle while it is emptied, so that it cannot be swapped for a link
    // between its check and the removal.
    const std::u16string folder(path);
    const TrustedFolder parent(FolderPartOf(folder, kLongPathCapacity + 1));
    if (std::optional<TrustedFolder> held = parent.Hold(folder)) {
        RemovePlainTree(*held, folder);
    }
    CheckedEntry self = parent.Open(folder);
    if (self.Kind() == DiskEntry::Folder) {
        DeleteEntry(self);
    }
    return parent.Inspect(folder) == DiskEntry::Missing;
}

} // namespace ozu
