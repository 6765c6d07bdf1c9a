#include "base/file_system.h"

#include "base/system_text.h"
#include "base/text.h"
#include "base/win32_text.h"

#include <share.h>

namespace ozu {

namespace {

// Runs call(name) with the path as given and, only when that fails (as told by
// failed(result)), once more with the extended-length form. The last error of
// the plain call survives when no second call is made.
template <typename Call, typename Failed>
auto WithExtendedRetry(std::u16string_view path, Call call, Failed failed) {
    const std::u16string plain(path);
    auto result = call(W(plain));
    if (!failed(result)) {
        return result;
    }
    const DWORD error = ::GetLastError();
    std::u16string extended;
    if (!ToExtendedLengthPath(path, extended, kPathCapacity)) {
        ::SetLastError(error);
        return result;
    }
    return call(W(extended));
}

uint64_t FileTimeToNanoseconds(const FILETIME& time) {
    uint64_t ticks = (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    return ticks > UINT64_MAX / 100 ? UINT64_MAX : ticks * 100;
}

void FillEntry(std::u16string_view mask, const WIN32_FIND_DATAW& data, FoundEntry& entry) {
    entry.name = std::u16string(mask);
    ReplaceNamePart(entry.name, U(data.cFileName), kPathCapacity);
    entry.size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    entry.attributes = data.dwFileAttributes;
    entry.isDirectory = IsDirectoryAttr(entry.attributes);
    entry.isReparsePoint = IsReparseAttr(entry.attributes);
    entry.modificationTime = FileTimeToNanoseconds(data.ftLastWriteTime);
    entry.creationTime = FileTimeToNanoseconds(data.ftCreationTime);
    entry.accessTime = FileTimeToNanoseconds(data.ftLastAccessTime);
    entry.rawCreationTime = data.ftCreationTime;
    entry.rawAccessTime = data.ftLastAccessTime;
    entry.rawWriteTime = data.ftLastWriteTime;
}

bool IsNothingFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_NO_MORE_FILES;
}

// The first step of a search; an invalid handle when nothing was found.
FindHandle FirstSearchStep(std::u16string_view mask, FoundEntry& entry) {
    WIN32_FIND_DATAW data;
    HANDLE handle = WithExtendedRetry(
        mask, [&](const wchar_t* name) { return ::FindFirstFileW(name, &data); },
        [](HANDLE h) { return h == INVALID_HANDLE_VALUE; });
    if (handle == INVALID_HANDLE_VALUE) {
        entry.error = !IsNothingFound(::GetLastError());
        return FindHandle();
    }
    FillEntry(mask, data, entry);
    return FindHandle(handle);
}

using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

// Windows before Vista cannot name final paths; there are no links to files
// there either, so the folder walk of TrustedFolder::Inspect covers it.
FinalPathFn FinalPathFunction() {
    static const FinalPathFn function = reinterpret_cast<FinalPathFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32"), "GetFinalPathNameByHandleW")));
    return function;
}

// The path the system reaches through `path`, with a trailing backslash;
// empty when it cannot be opened or named. A link at the end is not followed
// where the system allows that; its attributes then tell it apart.
std::u16string FinalFolderPathOf(std::u16string_view path, DWORD flags, uint32_t* attributes) {
    const FinalPathFn finalPath = FinalPathFunction();
    if (finalPath == nullptr) {
        return {};
    }
    FileHandle handle(::CreateFileW(W(std::u16string(path)), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (!handle || !::GetFileInformationByHandle(handle.Get(), &information)) {
        return {};
    }
    std::u16string text(kPathCapacity, u'\0');
    const DWORD length = finalPath(handle.Get(), W(text.data()), kPathCapacity, 0);
    if (length == 0 || length >= kPathCapacity) {
        return {};
    }
    text.resize(length);
    EnsureTrailingSeparator(text);
    if (attributes) {
        *attributes = information.dwFileAttributes;
    }
    return text;
}

} // namespace

std::u16string CurrentFolder() {
    std::u16string folder(kPathCapacity, u'\0');
    DWORD length = ::GetCurrentDirectoryW(static_cast<DWORD>(kPathCapacity), W(folder.data()));
    if (length == 0 || length >= kPathCapacity) {
        return {};
    }
    folder.resize(length);
    return folder;
}

std::u16string UserTempFolder() {
    std::u16string folder(kPathCapacity, u'\0');
    DWORD length = ::GetTempPathW(static_cast<DWORD>(kPathCapacity), W(folder.data()));
    if (length == 0 || length >= kPathCapacity) {
        return {};
    }
    folder.resize(length);
    return folder;
}

bool ToExtendedLengthPath(std::u16string_view path, std::u16string& out, size_t capacity) {
    std::u16string current;
    if (!path.empty() && !IsAbsolutePath(path)) {
        current = CurrentFolder();
    }
    return ToExtendedLengthPath(path, current, out, capacity);
}

uint32_t QueryAttributes(std::u16string_view path) {
    return WithExtendedRetry(
        path, [](const wchar_t* name) { return ::GetFileAttributesW(name); },
        [](DWORD attributes) { return attributes == INVALID_FILE_ATTRIBUTES; });
}

bool PathExists(std::u16string_view path) {
    return QueryAttributes(path) != kInvalidAttributes;
}

bool RemoveFile(std::u16string_view path) {
    return WithExtendedRetry(
        path, [](const wchar_t* name) { return ::DeleteFileW(name) != FALSE; },
        [](bool ok) { return !ok; });
}

uint64_t FreeSpaceForPath(std::u16string_view path) {
    const std::u16string folder = FolderPartOf(path, kPathCapacity);
    ULARGE_INTEGER available{}, total{}, totalFree{};
    if (!::GetDiskFreeSpaceExW(folder.empty() ? nullptr : W(folder), &available, &total,
                               &totalFree)) {
        return 0;
    }
    if (available.HighPart > totalFree.HighPart) {
        return 0;
    }
    return available.QuadPart;
}

FileStream OpenStream(std::u16string_view path, std::u16string_view mode) {
    const std::u16string name(path);
    const std::u16string modeText(mode);
    return FileStream(::_wfsopen(W(name), W(modeText), _SH_DENYNO));
}

void DirectoryScan::SetMask(std::u16string_view mask) {
    mask_ = Truncate(std::u16string(mask), kPathCapacity);
    firstStep_ = true;
}

bool DirectoryScan::Next(FoundEntry& entry) {
    for (;;) {
        entry.error = false;
        if (mask_.empty()) {
            return false;
        }
        if (firstStep_) {
            handle_ = FirstSearchStep(mask_, entry);
            if (!handle_) {
                return false;
            }
        } else {
            if (!handle_) {
                return false;
            }
            WIN32_FIND_DATAW data;
            if (!::FindNextFileW(handle_.Get(), &data)) {
                entry.error = ::GetLastError() != ERROR_NO_MORE_FILES;
                return false;
            }
            FillEntry(mask_, data, entry);
        }
        firstStep_ = false;
        std::u16string_view name = NameOf(entry.name);
        if (name != u"." && name != u"..") {
            return true;
        }
    }
}

void DirectoryScan::Close() {
    handle_.Reset();
}

TrustedFolder::TrustedFolder(std::u16string_view folder) : folder_(folder) {
    EnsureTrailingSeparator(folder_);
    final_ = FinalFolderPathOf(folder_, 0, nullptr);
}

DiskEntry TrustedFolder::Inspect(std::u16string_view path, uint32_t* attributes) const {
    const std::u16string name(path);
    const uint32_t found = ::GetFileAttributesW(W(name));
    if (attributes) {
        *attributes = found;
    }
    if (found == kInvalidAttributes) {
        return DiskEntry::Missing;
    }
    if (IsReparseAttr(found) || path.size() <= folder_.size() ||
        SystemCompareNoCase(path.substr(0, folder_.size()), folder_) != 0) {
        return DiskEntry::Link;
    }
    const std::u16string_view rest = path.substr(folder_.size());
    if (!final_.empty()) {
        // A link to a file need not show a reparse attribute (Wine's do
        // not), but the system names its target as the final path: the
        // entry is plain when its final path is the folder's with the same
        // rest, which also rules out a link anywhere in between.
        uint32_t own = 0;
        std::u16string reached = FinalFolderPathOf(name, FILE_FLAG_OPEN_REPARSE_POINT, &own);
        std::u16string expected = final_ + std::u16string(rest);
        EnsureTrailingSeparator(expected);
        if (reached.empty() || IsReparseAttr(own) || SystemCompareNoCase(reached, expected) != 0) {
            return DiskEntry::Link;
        }
    } else {
        for (size_t slash = rest.find(u'\\'); slash != std::u16string_view::npos;
             slash = rest.find(u'\\', slash + 1)) {
            const uint32_t between =
                ::GetFileAttributesW(W(folder_ + std::u16string(rest.substr(0, slash))));
            if (between == kInvalidAttributes || IsReparseAttr(between)) {
                return DiskEntry::Link;
            }
        }
    }
    return IsDirectoryAttr(found) ? DiskEntry::Folder : DiskEntry::File;
}

} // namespace ozu
