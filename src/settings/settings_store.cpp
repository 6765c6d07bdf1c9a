#include "settings/settings_store.h"

#include "base/change_sink.h"
#include "base/run_log.h"
#include "base/text.h"
#include "settings/portable_settings.h"
#include "settings/registry_backend.h"

namespace ozu {
namespace {

PortableSettings& Portable() {
    return PortableSettings::Instance();
}

// The one place that decides where a request goes: to the portable file when
// it serves the key (given the entry that holds the key or value), nowhere
// while the file forbids registry changes, else to the registry.
template <typename InFile, typename Nowhere, typename InRegistry>
auto Route(const RegLocation& at, std::u16string_view name, InFile inFile, Nowhere nowhere,
           InRegistry inRegistry) {
    PortableSettings& portable = Portable();
    std::u16string entry;
    switch (portable.Serve(at, name, entry)) {
    case PortableSettings::Server::File:
        return inFile(portable, entry);
    case PortableSettings::Server::Nobody:
        return nowhere();
    default:
        return inRegistry();
    }
}

// A change of one of the portable file's entries, which the file keeps in
// memory once the sink has taken it.
bool MakeEntryChange(ChangeKind kind, std::string_view verb, std::u16string_view entry,
                     std::u16string_view shown = {}) {
    return Made({.kind = kind, .verb = verb, .name = entry, .shown = shown});
}

// Removes a key (with its values and subkeys) from the file.
void RemoveFileKey(PortableSettings& portable, const std::u16string& entry) {
    if (MakeEntryChange(ChangeKind::DeleteEntry, "settings-file-delete", entry)) {
        portable.RemoveKey(entry);
    }
}

// Whether the file holds the key; asked of a key as a whole.
bool FileHoldsKey(PortableSettings& portable, const std::u16string& entry) {
    return portable.ContainsKey(entry);
}

// A value write, logged wherever it goes. `value` holds the registry's form
// (a REG_SZ text or a REG_DWORD number), `text` the form shown in the log and
// kept by the file.
LSTATUS WriteValue(const RegLocation& at, RegistryView view, const RegValue& value,
                   std::u16string_view text, uint32_t number) {
    return Route(
        at, value.name,
        [&](PortableSettings& portable, const std::u16string& entry) {
            if (!MakeEntryChange(ChangeKind::SetEntry, "settings-file-set", entry, LogData(text))) {
                return static_cast<LSTATUS>(::GetLastError());
            }
            if (value.type == REG_DWORD) {
                // Zero-extended: the file holds DWORDs as unsigned decimals.
                portable.WriteNumber(entry, static_cast<int64_t>(number));
            } else {
                portable.Set(entry, text, EntryKind::Quoted);
            }
            return static_cast<LSTATUS>(ERROR_SUCCESS);
        },
        [] { return static_cast<LSTATUS>(ERROR_SUCCESS); },
        [&] { return registry_backend::SetValue(at, value, LogData(text), view); });
}

} // namespace

bool RegKeyExists(const RegLocation& at, RegistryView view) {
    return Route(
        at, u"", FileHoldsKey, [] { return false; },
        [&] { return registry_backend::KeyExists(at, view); });
}

bool RegKeyHasValues(const RegLocation& at, RegistryView view) {
    return Route(
        at, u"", FileHoldsKey, [] { return false; },
        [&] { return registry_backend::KeyHasValues(at, view); });
}

uint32_t ReadRegDword(const RegLocation& at, std::u16string_view name, uint32_t def,
                      RegistryView view) {
    return Route(
        at, name,
        [&](PortableSettings& portable, const std::u16string& entry) {
            // The default is sign-extended, the low 32 bits returned.
            return static_cast<uint32_t>(
                portable.ReadNumber(entry, static_cast<int64_t>(static_cast<int32_t>(def))));
        },
        [&] { return def; }, [&] { return registry_backend::ReadDword(at, name, def, view); });
}

bool ReadRegString(const RegLocation& at, std::u16string_view name, std::u16string& out,
                   std::u16string_view def, size_t capacity, RegistryView view) {
    const bool found = Route(
        at, name,
        [&](PortableSettings& portable, const std::u16string& entry) {
            const std::optional<std::u16string> text = portable.Find(entry);
            CopyText(out, text ? std::u16string_view(*text) : def, capacity);
            return true;
        },
        [&] {
            CopyText(out, def, capacity);
            return true;
        },
        [&] { return registry_backend::ReadString(at, name, out, capacity, view); });
    if (!found) {
        // Also when the stored text does not fit: a cut text could be taken
        // for a whole one (a path, a class name), the default cannot.
        CopyText(out, def, capacity);
    }
    return found;
}

LSTATUS WriteRegString(const RegLocation& at, std::u16string_view name, std::u16string_view text,
                       RegistryView view) {
    // The terminator is part of the stored data.
    const std::u16string data(text);
    return WriteValue(at, view,
                      {std::u16string(name), REG_SZ,
                       std::string(reinterpret_cast<const char*>(data.c_str()),
                                   (data.size() + 1) * sizeof(char16_t))},
                      text, 0);
}

LSTATUS WriteRegDword(const RegLocation& at, std::u16string_view name, uint32_t value,
                      RegistryView view) {
    const DWORD number = value;
    return WriteValue(at, view,
                      {std::u16string(name), REG_DWORD,
                       std::string(reinterpret_cast<const char*>(&number), sizeof number)},
                      FormatText(32, u"%u", value), value);
}

bool CopyRegValues(const RegLocation& from, const RegLocation& to, RegistryView view) {
    return IsIntegrationAllowed() && registry_backend::CopyValues(from, to, view);
}

void DeleteRegValue(const RegLocation& at, std::u16string_view name, RegistryView view) {
    Route(
        at, name,
        [&](PortableSettings& portable, const std::u16string& entry) {
            // Exactly this value, also for the default value of a key (empty
            // name), whose entry name is the prefix of the whole key.
            if (MakeEntryChange(ChangeKind::DeleteEntry, "settings-file-delete", entry)) {
                portable.RemoveEntry(entry);
            }
        },
        [] {}, [&] { registry_backend::DeleteValue(at, name, view); });
}

void DeleteRegKey(const RegLocation& at, RegistryView view) {
    Route(
        at, u"", RemoveFileKey, [] {}, [&] { registry_backend::DeleteKey(at, view); });
}

void DeleteRegTree(const RegLocation& at, RegistryView view) {
    Route(
        at, u"", RemoveFileKey, [] {}, [&] { registry_backend::DeleteTree(at, view); });
}

bool IsIntegrationAllowed() {
    // The answer depends on the file, so find it first when no registry
    // request has done so yet.
    PortableSettings& portable = Portable();
    portable.Load();
    return portable.IsIntegrationEnabled();
}

void FlushSettings() {
    (void)Portable().Save();
}

} // namespace ozu
