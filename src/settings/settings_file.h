#pragma once
// The content of the portable settings file "Mivora.ini", without any file or
// registry access: one line per entry of the form name=value, the entry names
// that stand for registry values, and the bytes written back on save.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ozu {

// How a value is decorated in the file.
enum class EntryKind {
    Plain = 0,  // as it is
    Quoted = 1, // between double quotes
    Binary = 2, // after "bin:"; the hexadecimal text is kept, never decoded
};

struct SettingsEntry {
    std::u16string name; // compared case-sensitively, code unit by code unit
    std::u16string value;
    EntryKind kind = EntryKind::Plain;
};

// The registry roots the file knows, as prefixes of its entry names.
enum class SettingsRoot {
    None,         // no prefix: the file's own "Global" switches
    CurrentUser,  // "HKCU\"
    LocalMachine, // "HKLM\"
};

// Entry names are cut to this many characters less one.
inline constexpr size_t kEntryNameCapacity = 1024;

// One line as the text file reader delivers it (line end and trailing blanks
// removed). Lines that do not start with an ASCII letter (comments, section
// headers, indented lines) and lines without "=" give nothing.
std::optional<SettingsEntry> ParseSettingsLine(std::u16string_view line);

// Root prefix, the key, a backslash unless the text so far is empty or ends
// with one, then the value name; cut to 1023 characters. An empty value name
// gives the prefix that stands for the whole key.
std::u16string MakeSettingsEntryName(SettingsRoot root, std::u16string_view key,
                                     std::u16string_view valueName);

// The entries in the order they were read or added. Names need not be unique:
// lookups and updates act on the first entry of a name, removals on all.
class SettingsEntryList {
public:
    void Append(SettingsEntry entry) { entries_.push_back(std::move(entry)); }
    // Value of the first entry with exactly this name.
    std::optional<std::u16string> Find(std::u16string_view name) const;
    // Replaces value and kind of the first entry of that name, or appends one.
    void Set(std::u16string_view name, std::u16string_view value, EntryKind kind);
    // Removes every entry with exactly this name; the count removed.
    size_t RemoveName(std::u16string_view name);
    // Removes every entry whose name begins with `prefix`; the count removed.
    size_t RemovePrefix(std::u16string_view prefix);
    bool ContainsName(std::u16string_view name) const;
    bool ContainsPrefix(std::u16string_view prefix) const;
    void Clear() { entries_.clear(); }
    size_t Count() const { return entries_.size(); }
    const std::vector<SettingsEntry>& Entries() const { return entries_; }

    // The whole file as written on save: UTF-16 little-endian with a byte-order
    // mark, one "name=value" line per entry ended by CR LF, in ascending ordinal
    // order of names, nothing escaped.
    std::string Serialize() const;

private:
    std::vector<SettingsEntry> entries_;
};

} // namespace ozu
