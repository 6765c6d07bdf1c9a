#pragma once
// A private folder below the temporary folder, removed with everything in it
// (also entries beyond MAX_PATH) when the test ends.

#include "base/win32_text.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace ozu::testing {

inline void RemoveTreeExtended(const std::u16string& extendedPath) {
    WIN32_FIND_DATAW data;
    std::u16string mask = extendedPath + u"\\*";
    HANDLE find = ::FindFirstFileW(W(mask), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::u16string name = U(data.cFileName);
            if (name == u"." || name == u"..") {
                continue;
            }
            std::u16string child = extendedPath + u"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTreeExtended(child);
            } else {
                ::SetFileAttributesW(W(child), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(W(child));
            }
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(W(extendedPath));
}

class TempFolder {
public:
    TempFolder() {
        wchar_t temp[MAX_PATH + 1];
        DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
        std::u16string base(U(temp), n);
        static unsigned counter = 0;
        for (;;) {
            path_ =
                base + u"ozu_base_" + Number(::GetCurrentProcessId()) + u"_" + Number(++counter);
            if (::CreateDirectoryW(W(path_), nullptr)) {
                break;
            }
        }
    }
    ~TempFolder() { RemoveTreeExtended(u"\\\\?\\" + path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Full path, without a trailing backslash.
    const std::u16string& Path() const { return path_; }
    std::u16string operator/(std::u16string_view name) const {
        return path_ + u"\\" + std::u16string(name);
    }

    static std::u16string Number(uint32_t value) {
        std::u16string text;
        do {
            text.insert(text.begin(), static_cast<char16_t>(u'0' + value % 10));
            value /= 10;
        } while (value != 0);
        return text;
    }

private:
    std::u16string path_;
};

// Writes the bytes to a new file; true on success.
inline bool WriteFileBytes(const std::u16string& path, std::string_view bytes) {
    HANDLE h = ::CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    BOOL ok = bytes.empty() ||
              ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
    return ok && written == bytes.size();
}

inline bool Exists(const std::u16string& path) {
    return ::GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES;
}

} // namespace ozu::testing
