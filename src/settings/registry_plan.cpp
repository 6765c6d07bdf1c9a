#include "settings/registry_plan.h"

#include <cstring>

#include "base/win32_text.h"
#include "settings/reg_key.h"

namespace ozu::registry_plan {
namespace {

// Longest registry key or value name (16,383) and its terminator.
constexpr DWORD kNameCapacity = 16384;

enum class State : uint8_t {
    Touched, // exists as in the registry; some of its values changed
    Made,    // exists, whatever the registry says
    Gone,    // deleted
};

struct PlannedValue {
    Value value;
    bool deleted = false;
};

struct PlannedKey {
    HKEY root = nullptr;
    REGSAM view = 0;
    std::u16string key; // the path upper-cased, to compare as the registry does
    State state = State::Touched;
    // The key was deleted at some point: what the registry holds in it no
    // longer counts.
    bool reset = false;
    std::vector<PlannedValue> values;
};

std::vector<PlannedKey>& Keys() {
    static std::vector<PlannedKey> keys;
    return keys;
}

std::u16string Upper(std::u16string_view text) {
    std::u16string upper(text);
    if (!upper.empty()) {
        ::CharUpperBuffW(W(upper.data()), static_cast<DWORD>(upper.size()));
    }
    return upper;
}

PlannedKey* Find(HKEY root, REGSAM view, std::u16string_view path) {
    const std::u16string key = Upper(path);
    for (PlannedKey& planned : Keys()) {
        if (planned.root == root && planned.view == view && planned.key == key) {
            return &planned;
        }
    }
    return nullptr;
}

PlannedKey& Get(HKEY root, REGSAM view, std::u16string_view path) {
    if (PlannedKey* planned = Find(root, view, path)) {
        return *planned;
    }
    PlannedKey key;
    key.root = root;
    key.view = view;
    key.key = Upper(path);
    Keys().push_back(std::move(key));
    return Keys().back();
}

// `child` lies below `parent`; with `direct`, right below it.
bool IsBelow(std::u16string_view child, std::u16string_view parent, bool direct) {
    if (child.size() <= parent.size() + 1 || child.substr(0, parent.size()) != parent ||
        child[parent.size()] != u'\\') {
        return false;
    }
    return !direct || child.find(u'\\', parent.size() + 1) == std::u16string_view::npos;
}

bool SameName(const Value& value, std::u16string_view upperName) {
    return Upper(value.name) == upperName;
}

std::vector<std::u16string> RealSubkeys(HKEY root, REGSAM view, std::u16string_view path) {
    std::vector<std::u16string> names;
    RegKey key;
    if (key.Open(root, path, KEY_ENUMERATE_SUB_KEYS | view) != ERROR_SUCCESS) {
        return names;
    }
    std::u16string name;
    for (DWORD index = 0; key.EnumerateSubKey(index, name, 256) == ERROR_SUCCESS; ++index) {
        names.push_back(name);
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
        if (::RegEnumValueW(key.Get(), index, W(name.data()), &nameLength, nullptr, &type, nullptr,
                            &size) != ERROR_SUCCESS) {
            break;
        }
        Value value{name.substr(0, nameLength), type, std::string(size, '\0')};
        nameLength = kNameCapacity;
        if (::RegEnumValueW(key.Get(), index, W(name.data()), &nameLength, nullptr, &type,
                            reinterpret_cast<BYTE*>(value.data.data()), &size) == ERROR_SUCCESS) {
            value.data.resize(size);
            values.push_back(std::move(value));
        }
    }
    return values;
}

void Forget(PlannedKey& planned) {
    planned.state = State::Gone;
    planned.reset = true;
    planned.values.clear();
}

void MarkRealTreeGone(HKEY root, REGSAM view, const std::u16string& path) {
    for (const std::u16string& name : RealSubkeys(root, view, path)) {
        const std::u16string child = path + u'\\' + name;
        MarkRealTreeGone(root, view, child);
        Forget(Get(root, view, child));
    }
}

} // namespace

std::optional<bool> KeyExists(HKEY root, REGSAM view, std::u16string_view path) {
    const PlannedKey* planned = Find(root, view, path);
    if (planned == nullptr || planned->state == State::Touched) {
        return std::nullopt;
    }
    return planned->state == State::Made;
}

std::optional<std::optional<Value>> FindValue(HKEY root, REGSAM view, std::u16string_view path,
                                              std::u16string_view name) {
    const PlannedKey* planned = Find(root, view, path);
    if (planned == nullptr) {
        return std::nullopt;
    }
    const std::u16string upperName = Upper(name);
    for (const PlannedValue& value : planned->values) {
        if (SameName(value.value, upperName)) {
            return value.deleted ? std::optional<Value>() : std::optional<Value>(value.value);
        }
    }
    if (planned->reset || planned->state == State::Gone) {
        return std::optional<Value>();
    }
    return std::nullopt;
}

std::vector<Value> Values(HKEY root, REGSAM view, std::u16string_view path) {
    const PlannedKey* planned = Find(root, view, path);
    if (planned == nullptr) {
        return RealValues(root, view, path);
    }
    std::vector<Value> values;
    if (!planned->reset) {
        values = RealValues(root, view, path);
    }
    for (const PlannedValue& change : planned->values) {
        const std::u16string upperName = Upper(change.value.name);
        std::erase_if(values, [&](const Value& value) { return SameName(value, upperName); });
        if (!change.deleted) {
            values.push_back(change.value);
        }
    }
    return values;
}

bool HasSubkeys(HKEY root, REGSAM view, std::u16string_view path) {
    const PlannedKey* planned = Find(root, view, path);
    if (planned != nullptr && planned->state == State::Gone) {
        return false;
    }
    const std::u16string upper = Upper(path);
    if (planned == nullptr || !planned->reset) {
        for (const std::u16string& name : RealSubkeys(root, view, path)) {
            const PlannedKey* child = Find(root, view, std::u16string(path) + u'\\' + name);
            if (child == nullptr || child->state != State::Gone) {
                return true;
            }
        }
    }
    for (const PlannedKey& other : Keys()) {
        if (other.root == root && other.view == view && other.state == State::Made &&
            IsBelow(other.key, upper, true)) {
            return true;
        }
    }
    return false;
}

void SetValue(HKEY root, REGSAM view, std::u16string_view path, Value value) {
    // Making a key makes every key on the way to it.
    for (size_t end = 0; end != std::u16string_view::npos;) {
        end = path.find(u'\\', end + 1);
        PlannedKey& key = Get(root, view, path.substr(0, end));
        key.state = State::Made;
    }
    PlannedKey& key = Get(root, view, path);
    const std::u16string upperName = Upper(value.name);
    std::erase_if(key.values,
                  [&](const PlannedValue& known) { return SameName(known.value, upperName); });
    key.values.push_back(PlannedValue{std::move(value), false});
}

void DeleteValue(HKEY root, REGSAM view, std::u16string_view path, std::u16string_view name) {
    PlannedKey& key = Get(root, view, path);
    const std::u16string upperName = Upper(name);
    std::erase_if(key.values,
                  [&](const PlannedValue& known) { return SameName(known.value, upperName); });
    key.values.push_back(PlannedValue{Value{std::u16string(name), REG_NONE, {}}, true});
}

void DeleteKey(HKEY root, REGSAM view, std::u16string_view path) {
    const std::u16string whole(path);
    MarkRealTreeGone(root, view, whole);
    const std::u16string upper = Upper(path);
    for (PlannedKey& other : Keys()) {
        if (other.root == root && other.view == view && IsBelow(other.key, upper, false)) {
            Forget(other);
        }
    }
    Forget(Get(root, view, path));
}

LSTATUS ProbeChange(HKEY root, REGSAM view, std::u16string_view path, REGSAM access) {
    std::u16string at(path);
    for (;;) {
        RegKey key;
        const LSTATUS status = key.Open(root, at, access | view);
        const size_t slash = at.rfind(u'\\');
        if (status != ERROR_FILE_NOT_FOUND || at.empty()) {
            return status;
        }
        // A missing key is made inside its nearest parent that exists.
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
    buffer.resize(count < capacity - 1 ? count : capacity - 1);
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
