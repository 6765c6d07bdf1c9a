#pragma once
// Entries below a folder the program trusts, opened once and acted on through
// that one handle. Deleting, renaming or changing the attributes of a link
// acts on its target under some systems, and a name checked and then used
// again can have been swapped for a link in between; so every entry is opened
// without following a link at its end, checked through its handle, and then
// deleted, renamed or changed through the same handle, by the change sinks
// (change_sink.h).

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/scoped_handle.h"

namespace ozu {

// What an entry below a trusted folder really is on disk. `Link` stands for
// everything that must not be touched through its name: a link (junction,
// symbolic link, mount point) as the entry itself or as any folder between it
// and the trusted folder, and an entry that cannot be verified.
enum class DiskEntry { Missing, File, Folder, Link };

// One opened entry. While it is held, the name may change hands, but every
// act below reaches the file or folder that was checked.
class CheckedEntry {
public:
    CheckedEntry() = default;
    CheckedEntry(CheckedEntry&&) noexcept = default;
    CheckedEntry& operator=(CheckedEntry&&) noexcept = default;

    DiskEntry Kind() const { return kind_; }
    const std::u16string& Path() const { return path_; }
    uint32_t Attributes() const { return attributes_; }
    uint64_t Size() const { return size_; }
    // The names the file has; more than one for a hard link, whose other
    // names share its data and its attributes.
    uint32_t Links() const { return links_; }
    // False when another program holds the entry without sharing its deletion:
    // it could be checked, but it can be neither deleted nor renamed now.
    bool CanChange() const { return canChange_; }
    // Read-only and shared with other names: clearing the attribute would
    // change it for the other names too, so the entry is never deleted.
    bool ReadOnlyWithOtherNames() const {
        return (attributes_ & FILE_ATTRIBUTE_READONLY) != 0 && links_ > 1;
    }

    void Close() { handle_.Reset(); }

private:
    friend class TrustedFolder;
    // The sinks delete and rename the entry through its handle, and keep
    // what it then is.
    friend struct CheckedEntryChanges;
    FileHandle handle_;
    std::u16string path_;
    DiskEntry kind_ = DiskEntry::Missing;
    uint32_t attributes_ = 0;
    uint64_t size_ = 0;
    uint32_t links_ = 1;
    bool canChange_ = false;
};

// A folder whose own path the program trusts (the installation folder, a
// program group, the temporary folder), even when it is itself reached
// through a link, and the entries below it.
class TrustedFolder {
public:
    explicit TrustedFolder(std::u16string_view folder);
    // Opens the entry that `path` names below the folder (the folder's own
    // path followed by the rest), for deleting, renaming and changing its
    // attributes, and checks it: not a link, and reached through no link.
    // Anything else comes back as `Link` with no handle. Paths of any length
    // the file system accepts work.
    CheckedEntry Open(std::u16string_view path) const;
    // Only what the entry is; `attributes` receives its attributes.
    DiskEntry Inspect(std::u16string_view path, uint32_t* attributes = nullptr) const;
    // The plain folder that `path` names below this one, held open for as
    // long as the result lives, without sharing its deletion: it can be
    // neither renamed nor replaced by a link meanwhile, and its entries are
    // checked against the final path taken through that handle. Nothing when
    // it is not a plain folder, or is in use in a way that rules that out.
    std::optional<TrustedFolder> Hold(std::u16string_view path) const;
    const std::u16string& Path() const { return folder_; }

private:
    TrustedFolder() = default;
    CheckedEntry OpenWith(std::u16string_view path, bool forChange) const;
    bool Verify(CheckedEntry& entry) const;
    // The final path of an entry's handle, or what stands for it.
    std::u16string ReachedPath(HANDLE handle) const;

    std::u16string folder_; // with a trailing backslash
    std::u16string final_;  // the system's final path of the folder, trailing backslash
    FileHandle held_;       // the folder itself, where Hold opened it
    // Looked up only for an entry whose final path the system cannot name:
    // the folder's volume ("\\?\C:") and its serial number.
    mutable bool volumeKnown_ = false;
    mutable std::u16string volumeRoot_;
    mutable DWORD volumeSerial_ = 0;
};

} // namespace ozu
