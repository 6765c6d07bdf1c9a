#include "settings/settings_store.h"

#include <optional>

#include "base/change_sink.h"
#include "base/reg_key.h"
#include "base/registry_plan.h"
#include "base/run_log.h"
#include "base/system_info.h"
#include "base/text.h"
#include "base/win32_text.h"
#include "settings/portable_settings.h"

namespace ozu {
namespace {

unsigned g_failures = 0;

// The access-mask addition of a view: nothing on 32-bit Windows, which has
// one view only.
REGSAM ViewFlag(RegistryView view) {
    return view == RegistryView::View64 && RunningUnderWow64() ? KEY_WOW64_64KEY : 0;
}

PortableSettings& Portable() {
    return PortableSettings::Instance();
}

// Every registry change passes here: the run's sink makes (or plans) and
// logs it, and a refusal is counted for the run's result. A deletion that
// found nothing to delete changed nothing and is no failure; nor is a single
// key's deletion that leaves the key for its subkeys, by design (its caller
// deletes them first and tries again, or they belong to someone else).
LSTATUS MakeRegistryChange(const Change& change) {
    const DWORD error = Changes().Make(change);
    if (error != ERROR_SUCCESS && !ChangedNothing(change, error)) {
        ++g_failures;
    }
    return static_cast<LSTATUS>(error);
}

// A change of one of the portable file's entries, which the file keeps in
// memory once the sink has taken it.
bool MakeEntryChange(ChangeKind kind, std::string_view verb, std::u16string_view entry,
                     std::u16string_view shown = {}) {
    return Make({.kind = kind, .verb = verb, .name = entry, .shown = shown});
}

using Server = PortableSettings::Server;

// Removes the key from the file when the file serves it; true when the
// registry is to be asked instead.
bool RegistryServesRemoval(const RegLocation& at) {
    PortableSettings& portable = Portable();
    std::u16string entry;
    switch (portable.Serve(at, u"", entry)) {
    case Server::File:
        if (MakeEntryChange(ChangeKind::DeleteEntry, "settings-file-delete", entry)) {
            portable.RemoveKey(entry);
        }
        return false;
    case Server::Nobody:
        return false;
    default:
        return true;
    }
}

// A value write: into the file when it serves the key, nowhere while it
// forbids registry changes, else into the registry (creating the key), in
// the view given; logged either way. `value` holds the registry's form
// (a REG_SZ text or a REG_DWORD number), `text` the form shown in the log and
// kept by the file.
LSTATUS WriteValue(const RegLocation& at, REGSAM view, const RegValue& value,
                   std::u16string_view text, uint32_t number) {
    PortableSettings& portable = Portable();
    std::u16string entry;
    switch (portable.Serve(at, value.name, entry)) {
    case Server::File:
        if (!MakeEntryChange(ChangeKind::SetEntry, "settings-file-set", entry, LogData(text))) {
            return static_cast<LSTATUS>(::GetLastError());
        }
        if (value.type == REG_DWORD) {
            // Zero-extended: the file holds DWORDs as unsigned decimals.
            portable.WriteNumber(entry, static_cast<int64_t>(number));
        } else {
            portable.Set(entry, text, EntryKind::Quoted);
        }
        return ERROR_SUCCESS;
    case Server::Nobody:
        return ERROR_SUCCESS;
    default:
        break;
    }
    const std::u16string path = at.Path();
    const std::u16string shown = LogData(text);
    return MakeRegistryChange({.kind = ChangeKind::SetValue,
                               .verb = "registry-set",
                               .root = at.Root(),
                               .view = view,
                               .key = path,
                               .value = &value,
                               .shown = shown});
}

// The answer to a question about a whole key when the registry is not to be
// asked: whether the file holds the key, or false while nobody serves it;
// none when the registry answers.
std::optional<bool> KeyAnswerOutsideRegistry(const RegLocation& at) {
    PortableSettings& portable = Portable();
    std::u16string entry;
    switch (portable.Serve(at, u"", entry)) {
    case Server::File:
        return portable.ContainsKey(entry);
    case Server::Nobody:
        return false;
    default:
        break;
    }
    return std::nullopt;
}

// What the plan says of a value: found (and its data) or known missing;
// none when the registry answers (always in a real run).
std::optional<std::optional<RegValue>> PlannedValue(const RegLocation& at, REGSAM view,
                                                    std::u16string_view name) {
    return registry_plan::FindValue(at.Root(), view, at.Path(), name);
}

} // namespace

bool RegKeyExists(const RegLocation& at, RegistryView view) {
    if (std::optional<bool> answer = KeyAnswerOutsideRegistry(at)) {
        return *answer;
    }
    return registry_plan::KeyPresent(at.Root(), ViewFlag(view), at.Path());
}

bool RegKeyHasValues(const RegLocation& at, RegistryView view) {
    if (std::optional<bool> answer = KeyAnswerOutsideRegistry(at)) {
        return *answer;
    }
    const HKEY root = at.Root();
    const REGSAM flag = ViewFlag(view);
    if (!registry_plan::Empty()) {
        return !registry_plan::Values(root, flag, at.Path()).empty();
    }
    RegKey opened;
    DWORD values = 0;
    return opened.Open(root, at.Path(), KEY_QUERY_VALUE | flag) == ERROR_SUCCESS &&
           ::RegQueryInfoKeyW(opened.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           values != 0;
}

uint32_t ReadRegDword(const RegLocation& at, std::u16string_view name, uint32_t def,
                      RegistryView view) {
    PortableSettings& portable = Portable();
    std::u16string entry;
    switch (portable.Serve(at, name, entry)) {
    case Server::File:
        // The default is sign-extended, the low 32 bits returned.
        return static_cast<uint32_t>(
            portable.ReadNumber(entry, static_cast<int64_t>(static_cast<int32_t>(def))));
    case Server::Nobody:
        return def;
    default:
        break;
    }
    uint32_t value = def;
    if (auto planned = PlannedValue(at, ViewFlag(view), name)) {
        return *planned && registry_plan::ReadNumber(**planned, value) == ERROR_SUCCESS ? value
                                                                                        : def;
    }
    RegKey opened;
    if (opened.Open(at.Root(), at.Path(),
                    KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | ViewFlag(view)) != ERROR_SUCCESS) {
        return def;
    }
    value = def;
    if (opened.ReadDword(name, value) != ERROR_SUCCESS) {
        return def;
    }
    return value;
}

bool ReadRegString(const RegLocation& at, std::u16string_view name, std::u16string& out,
                   std::u16string_view def, size_t capacity, RegistryView view) {
    PortableSettings& portable = Portable();
    std::u16string entry;
    switch (portable.Serve(at, name, entry)) {
    case Server::File: {
        std::optional<std::u16string> text = portable.Find(entry);
        CopyText(out, text ? std::u16string_view(*text) : def, capacity);
        return true;
    }
    case Server::Nobody:
        CopyText(out, def, capacity);
        return true;
    default:
        break;
    }
    if (auto planned = PlannedValue(at, ViewFlag(view), name)) {
        if (*planned && registry_plan::ReadText(**planned, out, capacity) == ERROR_SUCCESS) {
            return true;
        }
        CopyText(out, def, capacity);
        return false;
    }
    RegKey opened;
    if (opened.Open(at.Root(), at.Path(),
                    KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | ViewFlag(view)) == ERROR_SUCCESS &&
        opened.ReadString(name, out, capacity) == ERROR_SUCCESS) {
        return true;
    }
    // Also when the stored text does not fit: a cut text could be taken for a
    // whole one (a path, a class name), the default cannot.
    CopyText(out, def, capacity);
    return false;
}

LSTATUS WriteRegString(const RegLocation& at, std::u16string_view name, std::u16string_view text,
                       RegistryView view) {
    // The terminator is part of the stored data.
    const std::u16string data(text);
    return WriteValue(at, ViewFlag(view),
                      {std::u16string(name), REG_SZ,
                       std::string(reinterpret_cast<const char*>(data.c_str()),
                                   (data.size() + 1) * sizeof(char16_t))},
                      text, 0);
}

LSTATUS WriteRegDword(const RegLocation& at, std::u16string_view name, uint32_t value,
                      RegistryView view) {
    const DWORD number = value;
    return WriteValue(at, ViewFlag(view),
                      {std::u16string(name), REG_DWORD,
                       std::string(reinterpret_cast<const char*>(&number), sizeof number)},
                      FormatText(32, u"%u", value), value);
}

bool CopyRegValues(const RegLocation& from, const RegLocation& to, RegistryView view) {
    const HKEY fromRoot = from.Root();
    const REGSAM flag = ViewFlag(view);
    const std::u16string source = from.Path();
    if (!IsIntegrationAllowed() || !registry_plan::KeyPresent(fromRoot, flag, source)) {
        return false;
    }
    const std::u16string target = to.Path();
    // Every value with its name, type and data as they are (in a preview, as
    // the plan left the source).
    const std::vector<RegValue> values = registry_plan::Values(fromRoot, flag, source);
    return MakeRegistryChange({.kind = ChangeKind::CopyValues,
                               .verb = "registry-copy-values",
                               .root = fromRoot,
                               .view = flag,
                               .key = source,
                               .toRoot = to.Root(),
                               .toKey = target,
                               .values = &values}) == ERROR_SUCCESS;
}

void DeleteRegValue(const RegLocation& at, std::u16string_view name, RegistryView view) {
    PortableSettings& portable = Portable();
    std::u16string entry;
    switch (portable.Serve(at, name, entry)) {
    case Server::File:
        // Exactly this value, also for the default value of a key (empty
        // name), whose entry name is the prefix of the whole key.
        if (MakeEntryChange(ChangeKind::DeleteEntry, "settings-file-delete", entry)) {
            portable.RemoveEntry(entry);
        }
        return;
    case Server::Nobody:
        return;
    default:
        break;
    }
    // A key that is missing has nothing to delete; one that could not be
    // opened for the deletion keeps its value, which is a failure.
    const std::u16string path = at.Path();
    MakeRegistryChange({.kind = ChangeKind::DeleteValue,
                        .verb = "registry-delete-value",
                        .root = at.Root(),
                        .view = ViewFlag(view),
                        .key = path,
                        .name = name});
}

void DeleteRegKey(const RegLocation& at, RegistryView view) {
    // A key that still has subkeys stays.
    if (RegistryServesRemoval(at)) {
        const std::u16string path = at.Path();
        MakeRegistryChange({.kind = ChangeKind::DeleteKey,
                            .verb = "registry-delete-key",
                            .root = at.Root(),
                            .view = ViewFlag(view),
                            .key = path});
    }
}

void DeleteRegTree(const RegLocation& at, RegistryView view) {
    if (!RegistryServesRemoval(at)) {
        return;
    }
    const std::u16string path = at.Path();
    if (path.empty()) {
        return; // never wipe a whole root
    }
    MakeRegistryChange({.kind = ChangeKind::DeleteTree,
                        .verb = "registry-delete-tree",
                        .root = at.Root(),
                        .view = ViewFlag(view),
                        .key = path});
}

unsigned RegistryFailures() {
    return g_failures;
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
