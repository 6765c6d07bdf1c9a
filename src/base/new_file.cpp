#include "base/new_file.h"

#include "base/handle_info.h"

namespace ozu {
namespace {

// A file this run made goes again through its own handle (it is gone once
// the handle is closed).
void DeleteThroughHandle(HANDLE file) {
    if (Calls().setInfo != nullptr) {
        FILE_DISPOSITION_INFO disposition{TRUE};
        Calls().setInfo(file, FileDispositionInfo, &disposition, sizeof disposition);
    }
}

} // namespace

FileHandle CreatePlainNewFile(std::u16string_view path, DWORD access, DWORD share) {
    // CREATE_NEW fails on any name that exists, a link among them; a link on
    // the way (or a dangling one the system followed) shows in the check.
    FileHandle file(OpenByName(path, access | DELETE | FILE_READ_ATTRIBUTES, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, share));
    if (!file) {
        return {};
    }
    if (!IsPlainFileAt(file.Get(), path)) {
        DeleteThroughHandle(file.Get());
        ::SetLastError(ERROR_ACCESS_DENIED);
        return {};
    }
    return file;
}

FileHandle OpenPlainFileForAppend(std::u16string_view path) {
    constexpr DWORD kShareReading = FILE_SHARE_READ | FILE_SHARE_WRITE;
    for (int attempt = 0; attempt < 2; ++attempt) {
        FileHandle file(OpenByName(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT, kShareReading));
        if (file) {
            return IsPlainFileAt(file.Get(), path) ? std::move(file) : FileHandle();
        }
        if (!IsNothingThere(::GetLastError())) {
            return {};
        }
        file = CreatePlainNewFile(path, FILE_APPEND_DATA, kShareReading);
        if (file || ::GetLastError() != ERROR_FILE_EXISTS) {
            return file;
        }
        // Made by someone else in between: look at it again.
    }
    return {};
}

bool WriteAll(HANDLE file, std::string_view bytes) {
    DWORD written = 0;
    return bytes.size() <= MAXDWORD &&
           ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

} // namespace ozu
