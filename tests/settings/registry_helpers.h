#pragma once
// Direct registry access for the tests, independent of the code under test:
// they state the registry before an operation and check it afterwards.

#include <windows.h>

#include <optional>
#include <string>

namespace ozu::testing_registry {

inline bool KeyExists(HKEY root, const std::wstring& path, REGSAM view = 0) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

struct RawValue {
    DWORD type = 0;
    std::string data;
};

inline std::optional<RawValue> QueryValue(HKEY root, const std::wstring& path,
                                          const std::wstring& name, REGSAM view = 0) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    RawValue value;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(key, name.c_str(), nullptr, &value.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.data.resize(size);
        status = RegQueryValueExW(key, name.c_str(), nullptr, &value.type,
                                  reinterpret_cast<BYTE*>(value.data.data()), &size);
        value.data.resize(size);
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

// A REG_SZ value's text without its terminator.
inline std::optional<std::wstring> QueryString(HKEY root, const std::wstring& path,
                                               const std::wstring& name, REGSAM view = 0) {
    std::optional<RawValue> raw = QueryValue(root, path, name, view);
    if (!raw || raw->type != REG_SZ) {
        return std::nullopt;
    }
    std::wstring text(reinterpret_cast<const wchar_t*>(raw->data.data()),
                      raw->data.size() / sizeof(wchar_t));
    if (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    return text;
}

inline void SetValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
                     const void* data, DWORD size, REGSAM view = 0) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
    }
}

inline void SetString(HKEY root, const std::wstring& path, const std::wstring& name,
                      const std::wstring& text, REGSAM view = 0) {
    SetValue(root, path, name, REG_SZ, text.c_str(),
             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)), view);
}

inline void CreateKey(HKEY root, const std::wstring& path, REGSAM view = 0) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_READ | view, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
        RegCloseKey(key);
    }
}

// Deletes a key and everything below it in the given view.
inline void DeleteTree(HKEY root, const std::wstring& path, REGSAM view = 0) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
        RegDeleteTreeW(key, nullptr);
        RegCloseKey(key);
    }
    RegDeleteKeyExW(root, path.c_str(), view, 0);
}

// Undoes a test's registry changes: deletes the given tree when the test
// ends, and the settings root "Software\Mivora" as well when the test created
// it (only while it is empty).
class ScopedTestTree {
public:
    ScopedTestTree(HKEY root, std::wstring path, REGSAM view = 0)
        : root_(root), path_(std::move(path)), view_(view),
          hadSettingsRoot_(KeyExists(root, L"Software\\Mivora", view)) {
        DeleteTree(root_, path_, view_);
    }
    ~ScopedTestTree() {
        DeleteTree(root_, path_, view_);
        if (!hadSettingsRoot_) {
            RegDeleteKeyExW(root_, L"Software\\Mivora", view_, 0);
        }
    }
    ScopedTestTree(const ScopedTestTree&) = delete;
    ScopedTestTree& operator=(const ScopedTestTree&) = delete;

private:
    HKEY root_;
    std::wstring path_;
    REGSAM view_;
    bool hadSettingsRoot_;
};

} // namespace ozu::testing_registry
