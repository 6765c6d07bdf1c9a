#include "base/file_system.h"

#include <share.h>

#include "base/change_plan.h"
#include "base/text.h"
#include "base/win32_text.h"

namespace ozu {

namespace {

uint64_t FileTimeToNanoseconds(const FILETIME& time) {
    uint64_t ticks = (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    return ticks > UINT64_MAX / 100 ? UINT64_MAX : ticks * 100;
}

void FillEntry(std::u16string_view mask, const WIN32_FIND_DATAW& data, FoundEntry& entry) {
    entry.name = std::u16string(mask);
    ReplaceNamePart(entry.name, U(data.cFileName), kLongPathCapacity + 1);
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

bool ToExtendedLengthPath(std::u16string_view path, std::u16string& out) {
    std::u16string current;
    if (!path.empty() && !IsAbsolutePath(path)) {
        current = CurrentFolder();
    }
    return ToExtendedLengthPath(path, current, out, kLongPathCapacity);
}

uint32_t QueryAttributes(std::u16string_view path) {
    if (std::optional<uint32_t> planned = PlannedAttributes(path)) {
        return *planned;
    }
    return WithExtendedRetry(
        path, [](const wchar_t* name) { return ::GetFileAttributesW(name); },
        [](DWORD attributes) { return attributes == INVALID_FILE_ATTRIBUTES; });
}

bool PathExists(std::u16string_view path) {
    return QueryAttributes(path) != kInvalidAttributes;
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

FileStream OpenReadStream(std::u16string_view path) {
    const std::u16string name(path);
    return FileStream(::_wfsopen(W(name), L"rb", _SH_DENYNO));
}

void DirectoryScan::SetMask(std::u16string_view mask) {
    // A mask cut short could name another folder, the scanned one itself
    // among them: one longer than any path is no search at all.
    tooLong_ = mask.size() > kLongPathCapacity;
    mask_ = tooLong_ ? std::u16string() : std::u16string(mask);
    firstStep_ = true;
}

bool DirectoryScan::Next(FoundEntry& entry) {
    for (;;) {
        entry.error = tooLong_;
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
        if (name != u"." && name != u".." && PlannedAttributes(entry.name) != kInvalidAttributes) {
            return true;
        }
    }
}

void DirectoryScan::Close() {
    handle_.Reset();
}

} // namespace ozu
