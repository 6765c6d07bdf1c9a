#include "settings/reg_key.h"

#include <utility>

namespace ozu {
namespace {

// Our text is char16_t, the registry's is wchar_t: both are UTF-16 here.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

// Registry functions take terminated names; views are not terminated.
std::wstring Terminated(std::u16string_view text) {
    return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

} // namespace

RegKey& RegKey::operator=(RegKey&& other) noexcept {
    if (this != &other) {
        Close();
        key_ = other.Release();
    }
    return *this;
}

LSTATUS RegKey::Open(HKEY root, std::u16string_view path, REGSAM access) {
    Close();
    HKEY key = nullptr;
    LSTATUS status = ::RegOpenKeyExW(root, Terminated(path).c_str(), 0, access, &key);
    if (status == ERROR_SUCCESS) {
        key_ = key;
    }
    return status;
}

LSTATUS RegKey::Create(HKEY root, std::u16string_view path, REGSAM access) {
    Close();
    HKEY key = nullptr;
    LSTATUS status = ::RegCreateKeyExW(root, Terminated(path).c_str(), 0, nullptr,
                                       REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        key_ = key;
    }
    return status;
}

void RegKey::Close() {
    if (key_ != nullptr) {
        ::RegCloseKey(std::exchange(key_, nullptr));
    }
}

HKEY RegKey::Release() {
    return std::exchange(key_, nullptr);
}

LSTATUS RegKey::ReadDword(std::u16string_view name, uint32_t& value) const {
    DWORD number = 0;
    DWORD size = sizeof(number);
    LSTATUS status = ::RegQueryValueExW(key_, Terminated(name).c_str(), nullptr, nullptr,
                                        reinterpret_cast<BYTE*>(&number), &size);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (size == 0) {
        return ERROR_INVALID_DATA;
    }
    value = number;
    return ERROR_SUCCESS;
}

LSTATUS RegKey::ReadString(std::u16string_view name, std::u16string& text, size_t capacity) const {
    if (capacity == 0) {
        return ERROR_MORE_DATA;
    }
    std::u16string buffer(capacity, u'\0');
    DWORD size = static_cast<DWORD>(capacity * sizeof(char16_t));
    LSTATUS status = ::RegQueryValueExW(key_, Terminated(name).c_str(), nullptr, nullptr,
                                        reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    size_t count = size / sizeof(char16_t);
    if (count > capacity - 1) {
        count = capacity - 1;
    }
    buffer.resize(count);
    size_t end = buffer.find(u'\0');
    if (end != std::u16string::npos) {
        buffer.resize(end);
    }
    text = std::move(buffer);
    return ERROR_SUCCESS;
}

LSTATUS RegKey::WriteString(std::u16string_view name, std::u16string_view text) const {
    std::wstring data = Terminated(text);
    return ::RegSetValueExW(key_, Terminated(name).c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

LSTATUS RegKey::WriteDword(std::u16string_view name, uint32_t value) const {
    DWORD number = value;
    return ::RegSetValueExW(key_, Terminated(name).c_str(), 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&number), sizeof(number));
}

LSTATUS RegKey::DeleteValue(std::u16string_view name) const {
    return ::RegDeleteValueW(key_, Terminated(name).c_str());
}

LSTATUS RegKey::EnumerateSubKey(DWORD index, std::u16string& name, size_t capacity) const {
    std::wstring buffer(capacity, L'\0');
    DWORD length = static_cast<DWORD>(capacity);
    LSTATUS status =
        ::RegEnumKeyExW(key_, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    name.assign(reinterpret_cast<const char16_t*>(buffer.data()), length);
    return ERROR_SUCCESS;
}

} // namespace ozu
