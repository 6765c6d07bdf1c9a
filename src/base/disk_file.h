#pragma once
// One operating-system file with the operations the program needs. A file made
// by Create survives only when its owner closes it: destroying a created file
// that is still open deletes it, while an opened file is simply closed.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ozu {

// Open modes.
inline constexpr unsigned FileModeUpdate = 1;     // write access in addition to read
inline constexpr unsigned FileModeWrite = 2;      // write access instead of read
inline constexpr unsigned FileModeOpenShared = 4; // others may also write
inline constexpr unsigned FileModeExclusive = 8;  // others may not read
// Create modes (also FileModeWrite: write access only).
inline constexpr unsigned FileModeShareRead = 0x10;        // others may read
inline constexpr unsigned FileModeKeepSpecialNames = 0x20; // trailing dot/space as given

enum SeekMethod : int { SeekFromStart = 0, SeekFromCurrent = 1, SeekFromEnd = 2 };

class DiskFile {
public:
    DiskFile() = default;
    virtual ~DiskFile();
    DiskFile(const DiskFile&) = delete;
    DiskFile& operator=(const DiskFile&) = delete;

    virtual bool Open(std::u16string_view name, unsigned mode = 0);
    bool Create(std::u16string_view name, unsigned mode = 0);
    virtual bool Close();
    // Bytes read; 0 at the end of the file and after a read error (which is
    // recorded once and turns the rest of the file into its end).
    virtual size_t Read(void* buffer, size_t count);
    bool Write(const void* buffer, size_t count);
    virtual void Seek(int64_t offset, int method);
    // The position, or -1.
    virtual int64_t Tell();
    int64_t FileLength();
    bool Delete();
    virtual bool IsOpened() const { return handle_ != INVALID_HANDLE_VALUE; }

    // A read failed since the last Open: what was read is not the whole file.
    bool ReadFailed() const { return truncatedAfterReadError_; }
    const std::u16string& FileName() const { return fileName_; }
    HANDLE Handle() const { return handle_; }

private:
    bool RawRead(void* buffer, size_t count, DWORD& done);

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    bool newFile_ = false;
    bool truncatedAfterReadError_ = false;
    // The handle came from the name as given, not from its extended-length form.
    bool byPlainName_ = false;
    std::u16string fileName_;
};

} // namespace ozu
