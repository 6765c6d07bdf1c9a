#include "base/disk_file.h"

#include "base/file_system.h"
#include "base/handle_info.h"

namespace ozu {

bool DiskFile::Open(std::u16string_view name, unsigned mode) {
    // A second Open on the same object first lets go of the previous file.
    Close();
    const DWORD access = GENERIC_READ;
    DWORD share = (mode & FileModeExclusive) ? 0 : FILE_SHARE_READ;
    if (mode & FileModeOpenShared) {
        share |= FILE_SHARE_WRITE;
    }
    handle_.Reset(OpenByName(name, access, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, share));
    if (!handle_) {
        return false;
    }
    truncatedAfterReadError_ = false;
    return true;
}

void DiskFile::Close() {
    handle_.Reset();
}

bool DiskFile::RawRead(void* buffer, size_t count, DWORD& done) {
    done = 0;
    const DWORD wanted = count > MAXDWORD ? MAXDWORD : static_cast<DWORD>(count);
    if (::ReadFile(handle_.Get(), buffer, wanted, &done, nullptr)) {
        return true;
    }
    const DWORD error = ::GetLastError();
    const DWORD type = ::GetFileType(handle_.Get());
    DWORD retry = 0;
    if ((type == FILE_TYPE_PIPE || type == FILE_TYPE_CHAR) && wanted > 20000) {
        retry = 20000;
    } else if (wanted > 32768 && error == ERROR_LOCK_VIOLATION) {
        retry = 32768;
    } else {
        ::SetLastError(error);
        return false;
    }
    done = 0;
    return ::ReadFile(handle_.Get(), buffer, retry, &done, nullptr) != FALSE;
}

size_t DiskFile::Read(void* buffer, size_t count) {
    if (truncatedAfterReadError_) {
        return 0;
    }
    DWORD done = 0;
    if (RawRead(buffer, count, done)) {
        return done;
    }
    // The rest of the file reads as its end.
    truncatedAfterReadError_ = true;
    return 0;
}

void DiskFile::Seek(int64_t offset, int method) {
    if (!handle_) {
        return;
    }
    if (offset < 0 && method == SeekFromCurrent) {
        offset += Tell();
        method = SeekFromStart;
    } else if (offset < 0 && method == SeekFromEnd) {
        offset += FileLength();
        method = SeekFromStart;
    }
    // A seek that fails leaves the position where it was, which the next
    // read or Tell shows.
    LONG high = static_cast<LONG>(offset >> 32);
    ::SetFilePointer(handle_.Get(), static_cast<LONG>(offset & 0xFFFFFFFF), &high,
                     static_cast<DWORD>(method));
}

int64_t DiskFile::Tell() {
    if (!handle_) {
        return -1;
    }
    LONG high = 0;
    ::SetLastError(NO_ERROR);
    DWORD low = ::SetFilePointer(handle_.Get(), 0, &high, FILE_CURRENT);
    if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR) {
        return -1;
    }
    return (static_cast<int64_t>(high) << 32) | low;
}

int64_t DiskFile::FileLength() {
    const int64_t position = Tell();
    Seek(0, SeekFromEnd);
    const int64_t length = Tell();
    Seek(position, SeekFromStart);
    return length;
}

} // namespace ozu
