#include "base/reg_key.h"

#include "base/win32_text.h"

namespace ozu {
namespace {

// Registry functions take terminated names; views are not terminated.
std::u16string Terminated(std::u16string_view text) {
    return std::u16string(text);
}

} // namespace

LSTATUS RegKey::Open(HKEY root, std::u16string_view path, REGSAM access) {
    HKEY key = nullptr;
    LSTATUS status = ::RegOpenKeyExW(root, W(Terminated(path)), 0, access, &key);
    if (status == ERROR_SUCCESS) {
        Reset(key);
    }
    return status;
}

LSTATUS RegKey::ReadDword(std::u16string_view name, uint32_t& value) const {
    DWORD number = 0;
    DWORD size = sizeof(number);
    LSTATUS status = ::RegQueryValueExW(Get(), W(Terminated(name)), nullptr, nullptr,
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
    const size_t bytes = capacity * sizeof(char16_t);
    DWORD size = static_cast<DWORD>(bytes);
    LSTATUS status = ::RegQueryValueExW(Get(), W(Terminated(name)), nullptr, nullptr,
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

LSTATUS RegKey::EnumerateSubKey(DWORD index, std::u16string& name, size_t capacity) const {
    std::u16string buffer(capacity, u'\0');
    DWORD length = static_cast<DWORD>(capacity);
    LSTATUS status = ::RegEnumKeyExW(Get(), index, W(buffer.data()), &length, nullptr, nullptr,
                                     nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    buffer.resize(length);
    name = std::move(buffer);
    return ERROR_SUCCESS;
}

} // namespace ozu
