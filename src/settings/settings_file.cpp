#include "settings/settings_file.h"

#include <algorithm>

#include "base/text.h"

namespace ozu {
namespace {

constexpr std::u16string_view kBinaryPrefix = u"bin:";

// Comment lines, section headers and indented lines all fail this test.
bool StartsWithLetter(std::u16string_view line) {
    return !line.empty() && IsAsciiLetter(line.front());
}

void AppendUtf16Le(std::string& bytes, std::u16string_view text) {
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
}

} // namespace

std::optional<SettingsEntry> ParseSettingsLine(std::u16string_view line) {
    if (!StartsWithLetter(line)) {
        return std::nullopt;
    }
    size_t equals = line.find(u'=');
    if (equals == std::u16string_view::npos) {
        return std::nullopt;
    }
    SettingsEntry entry;
    entry.name.assign(line.substr(0, equals));
    std::u16string_view raw = line.substr(equals + 1);
    if (!raw.empty() && raw.front() == u'"') {
        // Only the opening quote and one final quote are decoration; quotes
        // inside the value are kept as they are.
        raw.remove_prefix(1);
        if (!raw.empty() && raw.back() == u'"') {
            raw.remove_suffix(1);
        }
        entry.kind = EntryKind::Quoted;
    } else if (raw.starts_with(kBinaryPrefix)) {
        raw.remove_prefix(kBinaryPrefix.size());
        entry.kind = EntryKind::Binary;
    }
    entry.value.assign(raw);
    return entry;
}

std::u16string MakeSettingsEntryName(SettingsRoot root, std::u16string_view key,
                                     std::u16string_view valueName) {
    std::u16string name;
    switch (root) {
    case SettingsRoot::CurrentUser:
        name = u"HKCU\\";
        break;
    case SettingsRoot::LocalMachine:
        name = u"HKLM\\";
        break;
    case SettingsRoot::None:
        break;
    }
    name.append(key);
    if (!name.empty() && name.back() != u'\\') {
        name.push_back(u'\\');
    }
    name.append(valueName);
    if (name.size() > kEntryNameCapacity - 1) {
        name.resize(kEntryNameCapacity - 1);
    }
    return name;
}

std::optional<std::u16string> SettingsEntryList::Find(std::u16string_view name) const {
    for (const SettingsEntry& entry : entries_) {
        if (entry.name == name) {
            return entry.value;
        }
    }
    return std::nullopt;
}

void SettingsEntryList::Set(std::u16string_view name, std::u16string_view value, EntryKind kind) {
    for (SettingsEntry& entry : entries_) {
        if (entry.name == name) {
            entry.value.assign(value);
            entry.kind = kind;
            return;
        }
    }
    entries_.push_back(SettingsEntry{std::u16string(name), std::u16string(value), kind});
}

size_t SettingsEntryList::RemoveName(std::u16string_view name) {
    return std::erase_if(entries_, [name](const SettingsEntry& e) { return e.name == name; });
}

size_t SettingsEntryList::RemovePrefix(std::u16string_view prefix) {
    return std::erase_if(entries_,
                         [prefix](const SettingsEntry& e) { return e.name.starts_with(prefix); });
}

bool SettingsEntryList::ContainsName(std::u16string_view name) const {
    return std::any_of(entries_.begin(), entries_.end(),
                       [name](const SettingsEntry& e) { return e.name == name; });
}

bool SettingsEntryList::ContainsPrefix(std::u16string_view prefix) const {
    return std::any_of(entries_.begin(), entries_.end(),
                       [prefix](const SettingsEntry& e) { return e.name.starts_with(prefix); });
}

std::string SettingsEntryList::Serialize() const {
    std::vector<const SettingsEntry*> sorted;
    sorted.reserve(entries_.size());
    for (const SettingsEntry& entry : entries_) {
        sorted.push_back(&entry);
    }
    // char16_t compares as an unsigned code unit: the ordinal order of the
    // C library's wide string comparison.
    std::sort(sorted.begin(), sorted.end(),
              [](const SettingsEntry* a, const SettingsEntry* b) { return a->name < b->name; });

    std::string bytes = "\xFF\xFE";
    for (const SettingsEntry* entry : sorted) {
        AppendUtf16Le(bytes, entry->name);
        AppendUtf16Le(bytes, u"=");
        if (entry->kind == EntryKind::Quoted) {
            AppendUtf16Le(bytes, u"\"");
        } else if (entry->kind == EntryKind::Binary) {
            AppendUtf16Le(bytes, kBinaryPrefix);
        }
        AppendUtf16Le(bytes, entry->value);
        if (entry->kind == EntryKind::Quoted) {
            AppendUtf16Le(bytes, u"\"");
        }
        AppendUtf16Le(bytes, u"\r\n");
    }
    return bytes;
}

} // namespace ozu
