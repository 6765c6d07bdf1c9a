// The shell's folders and its shell-link object.
#include "base/shell_link.h"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include "base/change_plan.h"
#include "base/com_ptr.h"
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

bool CreateShellLink(ExistingLink existing, std::u16string_view target,
                     std::u16string_view shortcut, std::optional<std::u16string_view> workingFolder,
                     std::optional<std::u16string_view> description, std::u16string_view iconFile,
                     std::optional<std::u16string_view> arguments) {
    if (Planning()) {
        return true; // a planning run saves no shortcut; the caller logs it as planned
    }
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.PutVoid()))) {
        return false;
    }
    ComPtr<IPersistFile> file;
    if (FAILED(link.As(file))) {
        return false;
    }
    const std::u16string shortcutPath(shortcut);
    if (existing == ExistingLink::Keep) {
        // A shortcut from an earlier setup keeps what is not set below.
        file->Load(W(shortcutPath), STGM_READWRITE);
    }
    link->SetPath(W(std::u16string(target)));
    if (description) {
        link->SetDescription(W(std::u16string(*description)));
    }
    link->SetIconLocation(W(std::u16string(iconFile)), 0);
    if (arguments) {
        link->SetArguments(W(std::u16string(*arguments)));
    }
    if (workingFolder) {
        link->SetWorkingDirectory(W(std::u16string(*workingFolder)));
    }
    return SUCCEEDED(file->Save(W(shortcutPath), TRUE));
}

} // namespace ozu
