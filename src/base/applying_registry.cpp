// The applying sink's work on the registry.
#include <windows.h>

#include <string>

#include "base/reg_key.h"
#include "base/sink_work.h"
#include "base/win32_text.h"

namespace ozu {
namespace {

// Longest registry key name (255) and its terminator.
constexpr size_t kKeyNameCapacity = 256;

LSTATUS SetValueIn(const RegKey& key, const RegValue& value) {
    return ::RegSetValueExW(key.Get(), W(value.name.c_str()), 0, value.type,
                            reinterpret_cast<const BYTE*>(value.data.data()),
                            static_cast<DWORD>(value.data.size()));
}

LSTATUS CreateKey(RegKey& key, HKEY root, std::u16string_view path, REGSAM access) {
    HKEY opened = nullptr;
    const LSTATUS status =
        ::RegCreateKeyExW(root, W(std::u16string(path)), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          access, nullptr, &opened, nullptr);
    if (status == ERROR_SUCCESS) {
        key.Reset(opened);
    }
    return status;
}

// Deletes one key without subkeys in a view. RegDeleteKeyExW is missing on
// 32-bit Windows XP, where no key is deleted in another view; it is looked up
// so that the program still starts there.
LSTATUS DeleteKeyIn(HKEY root, std::u16string_view key, REGSAM view) {
    const std::u16string path(key);
    if (view == 0) {
        return ::RegDeleteKeyW(root, W(path));
    }
    using DeleteKeyEx = LSTATUS(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
    const auto deleteKeyEx = reinterpret_cast<DeleteKeyEx>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"advapi32.dll"), "RegDeleteKeyExW")));
    return deleteKeyEx ? deleteKeyEx(root, W(path), view, 0) : ERROR_FILE_NOT_FOUND;
}

bool HasSubkeys(HKEY root, std::u16string_view path, REGSAM view) {
    RegKey opened;
    DWORD subkeys = 0;
    return opened.Open(root, path, KEY_QUERY_VALUE | view) == ERROR_SUCCESS &&
           ::RegQueryInfoKeyW(opened.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys != 0;
}

// One pass of the tree deletion; the number of keys it deleted.
unsigned DeleteTreePass(HKEY root, const std::u16string& path, REGSAM view) {
    unsigned deleted = 0;
    {
        RegKey key;
        if (key.Open(root, path, KEY_READ | view) == ERROR_SUCCESS) {
            std::u16string name;
            // Deleting children while enumerating shifts the indexes, so a
            // pass can skip keys; the caller repeats passes for them.
            for (DWORD index = 0;
                 key.EnumerateSubKey(index, name, kKeyNameCapacity) == ERROR_SUCCESS; ++index) {
                std::u16string child = path;
                child += u'\\';
                child += name;
                deleted += DeleteTreePass(root, child, view);
            }
        }
    }
    if (DeleteKeyIn(root, path, view) == ERROR_SUCCESS) {
        ++deleted;
    }
    return deleted;
}

LSTATUS DeleteTree(const Change& change) {
    const std::u16string path(change.key);
    if (path.empty()) {
        return ERROR_INVALID_PARAMETER; // never wipe a whole root
    }
    unsigned deleted = 0;
    for (unsigned pass; (pass = DeleteTreePass(change.root, path, change.view)) != 0;) {
        deleted += pass;
    }
    // A key that could not be opened for the deletion is still there when
    // opening it fails for any reason but its absence.
    RegKey left;
    const LSTATUS status = left.Open(change.root, path, KEY_QUERY_VALUE | change.view);
    if (status == ERROR_FILE_NOT_FOUND) {
        return deleted != 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    }
    return ERROR_ACCESS_DENIED;
}

} // namespace

LSTATUS ApplyRegistryChange(const Change& change) {
    RegKey key;
    LSTATUS status;
    switch (change.kind) {
    case ChangeKind::SetValue:
        status = CreateKey(key, change.root, change.key, KEY_WRITE | change.view);
        return status == ERROR_SUCCESS ? SetValueIn(key, *change.value) : status;
    case ChangeKind::DeleteValue:
        status = key.Open(change.root, change.key, KEY_SET_VALUE | change.view);
        return status == ERROR_SUCCESS
                   ? ::RegDeleteValueW(key.Get(), W(std::u16string(change.name)))
                   : status;
    case ChangeKind::CopyValues:
        status = CreateKey(key, change.toRoot, change.toKey, KEY_WRITE | change.view);
        for (size_t index = 0; status == ERROR_SUCCESS && index < change.values->size(); ++index) {
            status = SetValueIn(key, (*change.values)[index]);
        }
        return status;
    case ChangeKind::DeleteKey:
        status = DeleteKeyIn(change.root, change.key, change.view);
        // A key that still has subkeys stays, by design.
        return status != ERROR_SUCCESS && HasSubkeys(change.root, change.key, change.view)
                   ? static_cast<LSTATUS>(kKeyKeptForSubkeys)
                   : status;
    default:
        return DeleteTree(change);
    }
}

} // namespace ozu
