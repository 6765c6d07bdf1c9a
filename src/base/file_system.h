#pragma once
// Thin wrappers over the file system. Each call by name first uses the path as
// given and, only when that fails, tries once more with its extended-length
// form ("\\?\"), so that paths longer than MAX_PATH work too. Failures are
// results; nothing is shown, and the system's last error is left as the
// failing call set it.

#include "base/paths.h"
#include "base/scoped_handle.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace ozu {

inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;

constexpr bool IsDirectoryAttr(uint32_t attributes) {
    return attributes != kInvalidAttributes && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
// Callers apply it only to valid attributes.
constexpr bool IsReparseAttr(uint32_t attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The current folder, and the user's temporary folder (with its trailing
// backslash), as the system reports them in 2048 characters; empty when that
// fails or they are longer.
std::u16string CurrentFolder();
std::u16string UserTempFolder();

// The extended-length form of the path, relative paths resolved against the
// current folder.
bool ToExtendedLengthPath(std::u16string_view path, std::u16string& out,
                          size_t capacity = kPathCapacity);

// GetFileAttributesW with the retry; kInvalidAttributes on failure.
uint32_t QueryAttributes(std::u16string_view path);
bool PathExists(std::u16string_view path);
// DeleteFileW with the retry.
bool RemoveFile(std::u16string_view path);
// Bytes free for the caller on the volume of the path's folder (the current
// drive for a bare name); 0 on failure.
uint64_t FreeSpaceForPath(std::u16string_view path);

// What an entry below a trusted folder really is on disk. `Link` stands for
// everything that must not be touched through its name: a link (junction,
// symbolic link, mount point) as the entry itself or as any folder between it
// and the trusted folder, and an entry that cannot be verified.
enum class DiskEntry { Missing, File, Folder, Link };

// A folder whose own path the program trusts (the installation folder, a
// program group, the temporary folder), even when it is itself reached
// through a link, and the check of the entries below it. Deleting, renaming or
// changing the attributes of a link acts on its target under some systems,
// so callers touch only what this names a plain file or folder.
class TrustedFolder {
public:
    explicit TrustedFolder(std::u16string_view folder);
    // `path` names an entry below the folder in text (the folder's own path
    // followed by the rest); `attributes` receives the entry's attributes.
    DiskEntry Inspect(std::u16string_view path, uint32_t* attributes = nullptr) const;
    const std::u16string& Path() const { return folder_; }

private:
    std::u16string folder_; // with a trailing backslash
    std::u16string final_;  // the system's final path of the folder, trailing backslash
};

struct StreamCloser {
    void operator()(FILE* stream) const { std::fclose(stream); }
};
using FileStream = std::unique_ptr<FILE, StreamCloser>;
// A buffered stream on the file ("rb", "wb", ...), shared with other readers
// and writers; null on failure.
FileStream OpenStream(std::u16string_view path, std::u16string_view mode);

// One entry found by a search.
struct FoundEntry {
    std::u16string name; // folder part of the search mask + the entry's own name
    uint64_t size = 0;
    uint32_t attributes = 0;
    bool isDirectory = false;
    bool isReparsePoint = false;
    // Nanoseconds since 1601-01-01 UTC. Unsigned: a signed 64-bit count would
    // have overflowed in 1893; this one lasts until 2185 (later times saturate).
    uint64_t modificationTime = 0;
    uint64_t creationTime = 0;
    uint64_t accessTime = 0;
    FILETIME rawCreationTime{};
    FILETIME rawAccessTime{};
    FILETIME rawWriteTime{};
    // The last search step failed for a reason other than "nothing (more) found".
    bool error = false;
};

// Enumerates the entries matching a mask such as C:\dir\*, never "." or "..".
class DirectoryScan {
public:
    DirectoryScan() = default;
    DirectoryScan(const DirectoryScan&) = delete;
    DirectoryScan& operator=(const DirectoryScan&) = delete;

    // Up to 2047 characters of the mask; the next Next starts a new search.
    void SetMask(std::u16string_view mask);
    // Fills the entry with the next match; false when there is none (the
    // entry's error flag tells whether that was a failure).
    bool Next(FoundEntry& entry);
    void Close();

private:
    std::u16string mask_;
    bool firstStep_ = true;
    FindHandle handle_;
};

} // namespace ozu
