// Reads and clears the registry directly, as an outside observer of the
// program under test (end-to-end and dialog tests).
#pragma once

#include <windows.h>

#include <string>

namespace ozu::test {

inline bool KeyExists(HKEY root, const std::wstring& key, REGSAM view = 0) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

// The value as text (REG_SZ) or as a decimal number (REG_DWORD); "<none>" when
// the key or value is missing.
inline std::wstring ReadValue(HKEY root, const std::wstring& key, const std::wstring& name,
                              REGSAM view = 0) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &handle) != ERROR_SUCCESS)
        return L"<none>";
    DWORD type = 0;
    DWORD size = 0;
    std::wstring result = L"<none>";
    if (RegQueryValueExW(handle, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
        RegQueryValueExW(handle, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &size);
        if (type == REG_DWORD)
            result = std::to_wstring(*reinterpret_cast<const DWORD*>(data.data()));
        else
            result = data.c_str();
    }
    RegCloseKey(handle);
    return result;
}

inline void DeleteTree(HKEY root, const std::wstring& key, REGSAM view = 0) {
    HKEY parent = nullptr;
    size_t slash = key.rfind(L'\\');
    std::wstring parentName = slash == std::wstring::npos ? L"" : key.substr(0, slash);
    std::wstring leaf = slash == std::wstring::npos ? key : key.substr(slash + 1);
    if (RegOpenKeyExW(root, parentName.c_str(), 0, KEY_ALL_ACCESS | view, &parent) != ERROR_SUCCESS)
        return;
    RegDeleteTreeW(parent, leaf.c_str());
    RegDeleteKeyExW(parent, leaf.c_str(), view, 0);
    RegCloseKey(parent);
}

inline bool RunningOn64BitWindows() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

} // namespace ozu::test
