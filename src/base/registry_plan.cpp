#include "base/registry_plan.h"

#include <algorithm>
#include <cstring>

#include "base/reg_key.h"
#include "base/system_info.h"
#include "base/system_text.h"
#include "base/win32_text.h"

namespace ozu::registry_plan {
namespace {

// Longest registry value name (16,383) and its terminator.
constexpr DWORD kNameCapacity = 16384;

enum class State : uint8_t {
    Made,    // a key that exists, with what the registry holds in it
    Remade,  // a key deleted and made again: what the registry holds no longer counts
    Gone,    // a key deleted
    Set,     // a value written
    Deleted, // a value deleted
};

// One planned fact: the state of a key, or of one value of a key. Names
// compare as the registry compares them, case ignored.
struct Entry {
    HKEY root = nullptr;
    REGSAM view = 0;
    std::u16string key;
    State state = State::Made;
    Value value; // a value's name, type and data
};

std::vector<Entry>& Entries() {
    static std::vector<Entry> entries;
    return entries;
}

bool IsValue(const Entry& entry) {
    return entry.state == State::Set || entry.state == State::Deleted;
}

bool SameKey(const Entry& entry, HKEY root, REGSAM view, std::u16string_view path) {
    return entry.root == root && entry.view == view && SameFileName(entry.key, path);
}

// `child` lies below `parent`; with `direct`, right below it.
bool IsBelow(std::u16string_view child, std::u16string_view parent, bool direct) {
    if (child.size() <= parent.size() + 1 || child[parent.size()] != u'\\' ||
        !SameFileName(child.substr(0, parent.size()), parent)) {
        return false;
    }
    return !direct || child.find(u'\\', parent.size() + 1) == std::u16string_view::npos;
}

Entry* FindKey(HKEY root, REGSAM view, std::u16string_view path) {
    for (Entry& entry : Entries()) {
        if (!IsValue(entry) && SameKey(entry, root, view, path)) {
            return &entry;
        }
    }
    return nullptr;
}

Entry* FindValueEntry(HKEY root, REGSAM view, std::u16string_view path, std::u16string_view name) {
    for (Entry& entry : Entries()) {
        if (IsValue(entry) && SameKey(entry, root, view, path) &&
            SameFileName(entry.value.name, name)) {
            return &entry;
        }
    }
    return nullptr;
}

// The key's own entry, made with `state` when the plan has none yet.
Entry& KeyEntry(HKEY root, REGSAM view, std::u16string_view path, State state) {
    if (Entry* known = FindKey(root, view, path)) {
        return *known;
    }
    Entries().push_back(Entry{root, view, std::u16string(path), state, {}});
    return Entries().back();
}

std::vector<std::u16string> RealSubkeys(HKEY root, REGSAM view, std::u16string_view path) {
    std::vector<std::u16string> names;
    RegKey key;
    if (key.Open(root, path, KEY_ENUMERATE_SUB_KEYS | view) == ERROR_SUCCESS) {
        std::u16string name;
        for (DWORD index = 0; key.EnumerateSubKey(index, name, 256) == ERROR_SUCCESS; ++index) {
            names.push_back(std::u16string(path) + u'\\' + name);
        }
    }
    return names;
}

std::vector<Value> RealValues(HKEY root, REGSAM view, std::u16string_view path) {
    std::vector<Value> values;
    RegKey key;
    if (key.Open(root, path, KEY_QUERY_VALUE | view) != ERROR_SUCCESS) {
        return values;
    }
    std::u16string name(kNameCapacity, u'\0');
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = kNameCapacity;
        DWORD size = 0;
        DWORD type = 0;
        // The first call tells the size of the data, the second reads it.
        if (::RegEnumValueW(key.Get(), index, W(name.data()), &nameLength, nullptr, &type, nullptr,
                            &size) != ERROR_SUCCESS) {
            return values;
        }
        std::string data(size, '\0');
        nameLength = kNameCapacity;
        if (::RegEnumValueW(key.Get(), index, W(name.data()), &nameLength, nullptr, &type,
                            reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS) {
            data.resize(size);
            values.push_back(Value{name.substr(0, nameLength), type, std::move(data)});
        }
    }
}

// The registry's own name of a key ("\REGISTRY\MACHINE\..."), which tells
// whether the two views of a path reach one key: some keys are shared by
// both views (file types, "App Paths"), others are kept apart.
std::u16string KernelName(HKEY root, std::u16string_view path, REGSAM view) {
    using NtQueryKeyFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static const auto queryKey = reinterpret_cast<NtQueryKeyFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll"), "NtQueryKey")));
    constexpr int kKeyNameInformation = 3;
    RegKey key;
    std::u16string buffer(1024, u'\0');
    ULONG length = 0;
    const size_t bufferBytes = buffer.size() * sizeof(char16_t);
    if (queryKey == nullptr || key.Open(root, path, KEY_QUERY_VALUE | view) != ERROR_SUCCESS ||
        queryKey(key.Get(), kKeyNameInformation, buffer.data(), static_cast<ULONG>(bufferBytes),
                 &length) != 0) {
        return {};
    }
    ULONG bytes = 0; // KEY_NAME_INFORMATION: the length, then the name
    std::memcpy(&bytes, buffer.data(), sizeof bytes);
    return buffer.substr(sizeof bytes / sizeof(char16_t), bytes / sizeof(char16_t));
}

// Calls `change` for the view given and, where the other view of the path
// reaches the same key, for that view too, so that the plan sees a change
// in both as the registry shows it.
template <typename Change>
void InEveryViewOf(HKEY root, REGSAM view, std::u16string_view path, Change change) {
    change(view);
    if (!RunningUnderWow64()) {
        return;
    }
    const REGSAM other = view == 0 ? KEY_WOW64_64KEY : 0;
    const std::u16string name = KernelName(root, path, view);
    if (!name.empty() && name == KernelName(root, path, other)) {
        change(other);
    }
}

void MarkRealTreeGone(HKEY root, REGSAM view, std::u16string_view path) {
    for (const std::u16string& child : RealSubkeys(root, view, path)) {
        MarkRealTreeGone(root, view, child);
        KeyEntry(root, view, child, State::Gone).state = State::Gone;
    }
}

} // namespace

bool Empty() {
    return Entries().empty();
}

bool KeyPresent(HKEY root, REGSAM view, std::u16string_view path) {
    if (std::optional<bool> planned = KeyExists(root, view, path)) {
        return *planned;
    }
    RegKey opened;
    return opened.Open(root, path, KEY_QUERY_VALUE | view) == ERROR_SUCCESS;
}

std::optional<bool> KeyExists(HKEY root, REGSAM view, std::u16string_view path) {
    const Entry* key = FindKey(root, view, path);
    if (key == nullptr) {
        return std::nullopt;
    }
    return key->state != State::Gone;
}

std::optional<std::optional<Value>> FindValue(HKEY root, REGSAM view, std::u16string_view path,
                                              std::u16string_view name) {
    if (const Entry* value = FindValueEntry(root, view, path, name)) {
        return value->state == State::Set ? std::optional<Value>(value->value) : std::nullopt;
    }
    const Entry* key = FindKey(root, view, path);
    if (key != nullptr && key->state != State::Made) {
        return std::optional<Value>();
    }
    return std::nullopt;
}

std::vector<Value> Values(HKEY root, REGSAM view, std::u16string_view path) {
    const Entry* key = FindKey(root, view, path);
    std::vector<Value> values;
    if (key == nullptr || key->state == State::Made) {
        values = RealValues(root, view, path);
    }
    for (const Entry& entry : Entries()) {
        if (IsValue(entry) && SameKey(entry, root, view, path)) {
            std::erase_if(values, [&](const Value& value) {
                return SameFileName(value.name, entry.value.name);
            });
            if (entry.state == State::Set) {
                values.push_back(entry.value);
            }
        }
    }
    return values;
}

bool HasSubkeys(HKEY root, REGSAM view, std::u16string_view path) {
    const Entry* key = FindKey(root, view, path);
    if (key != nullptr && key->state == State::Gone) {
        return false;
    }
    if (key == nullptr || key->state == State::Made) {
        for (const std::u16string& child : RealSubkeys(root, view, path)) {
            const Entry* planned = FindKey(root, view, child);
            if (planned == nullptr || planned->state != State::Gone) {
                return true;
            }
        }
    }
    return std::any_of(Entries().begin(), Entries().end(), [&](const Entry& entry) {
        return !IsValue(entry) && entry.state != State::Gone && entry.root == root &&
               entry.view == view && IsBelow(entry.key, path, true);
    });
}

void SetValue(HKEY root, REGSAM view, std::u16string_view path, Value value) {
    // Making a key makes every key on the way to it.
    for (size_t end = 0; end != std::u16string_view::npos;) {
        end = path.find(u'\\', end + 1);
        Entry& key = KeyEntry(root, view, path.substr(0, end), State::Made);
        if (key.state == State::Gone) {
            key.state = State::Remade;
        }
    }
    if (Entry* known = FindValueEntry(root, view, path, value.name)) {
        known->state = State::Set;
        known->value = std::move(value);
    } else {
        Entries().push_back(Entry{root, view, std::u16string(path), State::Set, std::move(value)});
    }
}

void DeleteValue(HKEY root, REGSAM view, std::u16string_view path, std::u16string_view name) {
    if (Entry* known = FindValueEntry(root, view, path, name)) {
        known->state = State::Deleted;
    } else {
        Entries().push_back(Entry{root, view, std::u16string(path), State::Deleted,
                                  Value{std::u16string(name), REG_NONE, {}}});
    }
}

namespace {

// One view's key, with everything below it.
void DeleteKeyInView(HKEY root, REGSAM view, std::u16string_view path) {
    MarkRealTreeGone(root, view, path);
    std::erase_if(Entries(), [&](const Entry& entry) {
        return IsValue(entry) && entry.root == root && entry.view == view &&
               (SameFileName(entry.key, path) || IsBelow(entry.key, path, false));
    });
    for (Entry& entry : Entries()) {
        if (entry.root == root && entry.view == view && IsBelow(entry.key, path, false)) {
            entry.state = State::Gone;
        }
    }
    KeyEntry(root, view, path, State::Gone).state = State::Gone;
}

} // namespace

void DeleteKey(HKEY root, REGSAM shown, std::u16string_view path) {
    InEveryViewOf(root, shown, path, [&](REGSAM view) { DeleteKeyInView(root, view, path); });
}

LSTATUS ProbeChange(HKEY root, REGSAM view, std::u16string_view path, REGSAM access) {
    std::u16string at(path);
    for (;;) {
        RegKey key;
        const LSTATUS status = key.Open(root, at, access | view);
        if (status != ERROR_FILE_NOT_FOUND || at.empty()) {
            return status;
        }
        // A missing key is made inside its nearest parent that exists.
        const size_t slash = at.rfind(u'\\');
        at.resize(slash == std::u16string::npos ? 0 : slash);
        access = KEY_CREATE_SUB_KEY;
    }
}

LSTATUS ReadText(const Value& value, std::u16string& text, size_t capacity) {
    const size_t count = value.data.size() / sizeof(char16_t);
    if (capacity == 0 || value.data.size() > capacity * sizeof(char16_t)) {
        return ERROR_MORE_DATA;
    }
    std::u16string buffer(count, u'\0');
    std::memcpy(buffer.data(), value.data.data(), count * sizeof(char16_t));
    buffer.resize(std::min(count, capacity - 1));
    if (const size_t end = buffer.find(u'\0'); end != std::u16string::npos) {
        buffer.resize(end);
    }
    text = std::move(buffer);
    return ERROR_SUCCESS;
}

LSTATUS ReadNumber(const Value& value, uint32_t& number) {
    if (value.data.size() > sizeof number) {
        return ERROR_MORE_DATA;
    }
    if (value.data.empty()) {
        return ERROR_INVALID_DATA;
    }
    number = 0;
    std::memcpy(&number, value.data.data(), value.data.size());
    return ERROR_SUCCESS;
}

} // namespace ozu::registry_plan
