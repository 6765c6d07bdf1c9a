// The shell's folders and its shell-link object.
#include "base/shell_link.h"

#include <windows.h>
#include <shlobj.h>

#include "base/win32_text.h"

namespace ozu {

namespace {

constexpr std::u16string_view kUnknownFolder = u"unknown_folder";

} // namespace

bool GetShellFolder(std::u16string& out, size_t capacity, int csidl) {
    if (capacity >= MAX_PATH) {
        // SHGetFolderPathW writes up to MAX_PATH characters.
        std::u16string folder(MAX_PATH, u'\0');
        if (SUCCEEDED(
                SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, W(folder.data())))) {
            if (const size_t end = folder.find(u'\0'); end != std::u16string::npos) {
                folder.resize(end);
            }
            out = std::move(folder);
            return true;
        }
    }
    out = kUnknownFolder.substr(0, capacity == 0 ? 0 : capacity - 1);
    return false;
}

} // namespace ozu
