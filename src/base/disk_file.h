#pragma once
// One operating-system file opened for reading, with the operations the
// program's readers need. The program writes no file through it: every new
// file is a change (change.h).

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/scoped_handle.h"

namespace ozu {

// Open modes.
inline constexpr unsigned FileModeOpenShared = 4; // others may also write
inline constexpr unsigned FileModeExclusive = 8;  // others may not read

enum SeekMethod : int { SeekFromStart = 0, SeekFromCurrent = 1, SeekFromEnd = 2 };

class DiskFile {
public:
    DiskFile() = default;

    bool Open(std::u16string_view name, unsigned mode = 0);
    void Close();
    // Bytes read; 0 at the end of the file and after a read error (which is
    // recorded once and turns the rest of the file into its end).
    size_t Read(void* buffer, size_t count);
    void Seek(int64_t offset, int method);
    // The position, or -1.
    int64_t Tell();
    int64_t FileLength();
    bool IsOpened() const { return handle_.IsValid(); }

    // A read failed since the last Open: what was read is not the whole file.
    bool ReadFailed() const { return truncatedAfterReadError_; }
    HANDLE Handle() const { return handle_.Get(); }

private:
    bool RawRead(void* buffer, size_t count, DWORD& done);

    FileHandle handle_;
    bool truncatedAfterReadError_ = false;
};

} // namespace ozu
