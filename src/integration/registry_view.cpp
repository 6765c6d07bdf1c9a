#include "integration/registry_view.h"

#include "base/system_info.h"
#include "base/win32_text.h"
#include "settings/settings_store.h"

namespace ozu {

void DeleteRegKeyInView64(HKEY root, std::u16string_view key) {
    if (!IsIntegrationAllowed() || !RunningUnderWow64()) {
        return;
    }
    // Only the path rule is wanted here: the keys deleted in the 64-bit view
    // are absolute or below HKEY_CLASSES_ROOT, never in the portable file.
    const std::u16string path = MakeRegKeyPath(root, key);
    if (path.empty()) {
        return;
    }
    // RegDeleteKeyExW is missing on 32-bit Windows XP, where nothing needs it;
    // look it up so that the program still starts there.
    using DeleteKeyEx = LSTATUS(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
    HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
    auto deleteKeyEx = advapi ? reinterpret_cast<DeleteKeyEx>(reinterpret_cast<void*>(
                                    GetProcAddress(advapi, "RegDeleteKeyExW")))
                              : nullptr;
    if (deleteKeyEx) {
        deleteKeyEx(root, W(path), KEY_WOW64_64KEY, 0);
    }
}

} // namespace ozu
