#include "base/folder_tree.h"

#include <windows.h>

#include "base/file_system.h"
#include "base/paths.h"
#include "base/trusted_folder.h"

namespace ozu {

namespace {

// Removes the plain files and folders below `folder`, depth first, each
// through the handle it was checked with. A link stays with what it points
// to, and so do the folders that hold one.
void RemovePlainTree(const TrustedFolder& root, const std::u16string& folder) {
    DirectoryScan scan;
    scan.SetMask(JoinPath(folder, u"*", kPathCapacity));
    FoundEntry found;
    while (scan.Next(found)) {
        CheckedEntry entry = root.Open(found.name);
        if (entry.Kind() == DiskEntry::Folder) {
            // A folder held for deletion cannot be searched; it is emptied
            // first, then opened and checked again to go.
            entry.Close();
            RemovePlainTree(root, found.name);
            entry = root.Open(found.name);
        }
        if (entry.Kind() == DiskEntry::Folder || entry.Kind() == DiskEntry::File) {
            entry.Delete(); // a folder goes only once it is empty
        }
    }
}

} // namespace

bool IsDeletableFolderTree(uint32_t attributes) {
    return IsDirectoryAttr(attributes) && !IsReparseAttr(attributes);
}

void DeleteFolderTree(std::u16string_view path) {
    // A linked folder is never followed: deleting through it would remove
    // files that live elsewhere. Nor is a link inside the tree, which the
    // shell's own deletion would follow.
    if (!IsDeletableFolderTree(QueryAttributes(path))) {
        return;
    }
    const std::u16string folder(path);
    RemovePlainTree(TrustedFolder(folder), folder);
    CheckedEntry self = TrustedFolder(FolderPartOf(folder, kPathCapacity)).Open(folder);
    if (self.Kind() == DiskEntry::Folder) {
        self.Delete();
    }
}

} // namespace ozu
