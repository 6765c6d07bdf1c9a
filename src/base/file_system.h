#pragma once
// Thin wrappers over the file system's reads. Each call by name first uses the path as
// given and, only when that fails, tries once more with its extended-length
// form ("\\?\"), so that paths longer than MAX_PATH work too. Failures are
// results; nothing is shown, and the system's last error is left as the
// failing call set it.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "base/paths.h"
#include "base/scoped_handle.h"

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

// The longest path the system's calls take in the extended-length form.
inline constexpr size_t kLongPathCapacity = 32767;

// The extended-length form of the path, relative paths resolved against the
// current folder, as long as the system takes (kLongPathCapacity).
bool ToExtendedLengthPath(std::u16string_view path, std::u16string& out);

// Runs call(name) with the path as given and, only when that fails (as told by
// failed(result)), once more with the extended-length form, of any length the
// system takes. The last error of the plain call survives when no second call
// is made.
template <typename Call, typename Failed>
auto WithExtendedRetry(std::u16string_view path, Call call, Failed failed) {
    const std::u16string plain(path);
    auto result = call(reinterpret_cast<const wchar_t*>(plain.c_str()));
    if (!failed(result)) {
        return result;
    }
    const DWORD error = ::GetLastError();
    std::u16string extended;
    if (!ToExtendedLengthPath(path, extended)) {
        ::SetLastError(error);
        return result;
    }
    return call(reinterpret_cast<const wchar_t*>(extended.c_str()));
}

// GetFileAttributesW with the retry; kInvalidAttributes on failure.
uint32_t QueryAttributes(std::u16string_view path);
bool PathExists(std::u16string_view path);
// Bytes free for the caller on the volume of the path's folder (the current
// drive for a bare name); 0 on failure.
uint64_t FreeSpaceForPath(std::u16string_view path);

struct StreamCloser {
    void operator()(FILE* stream) const { std::fclose(stream); }
};
using FileStream = std::unique_ptr<FILE, StreamCloser>;
// A buffered stream for reading the file (binary), shared with other readers
// and writers; null on failure. The program writes no file through a stream:
// every new file is a change (change.h).
FileStream OpenReadStream(std::u16string_view path);

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

    // A mask of any length the system takes (longer ones find nothing, as
    // an error); the next Next starts a new search.
    void SetMask(std::u16string_view mask);
    // Fills the entry with the next match; false when there is none (the
    // entry's error flag tells whether that was a failure).
    bool Next(FoundEntry& entry);
    void Close();

private:
    std::u16string mask_;
    bool tooLong_ = false;
    bool firstStep_ = true;
    FindHandle handle_;
};

} // namespace ozu
