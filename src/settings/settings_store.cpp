#include "settings/settings_store.h"

#include <optional>

#include "base/change_plan.h"
#include "base/run_log.h"
#include "base/system_info.h"
#include "base/text.h"
#include "base/win32_text.h"
#include "settings/portable_settings.h"
#include "settings/reg_key.h"
#include "settings/registry_plan.h"

namespace ozu {
namespace {

// Longest registry key name (255) and its terminator.
constexpr size_t kKeyNameCapacity = 256;

unsigned g_failures = 0;

// The access-mask addition of a view: nothing on 32-bit Windows, which has
// one view only.
REGSAM ViewFlag(RegistryView view) {
    return view == RegistryView::View64 && RunningUnderWow64() ? KEY_WOW64_64KEY : 0;
}

// Deletes one key without subkeys in a view. RegDeleteKeyExW is missing on
// 32-bit Windows XP, where no key is deleted in another view; it is looked up
// so that the program still starts there.
LSTATUS DeleteKeyIn(HKEY root, const std::u16string& path, REGSAM view) {
    if (view == 0) {
        return ::RegDeleteKeyW(root, W(path));
    }
    using DeleteKeyEx = LSTATUS(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
    const auto deleteKeyEx = reinterpret_cast<DeleteKeyEx>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"advapi32.dll"), "RegDeleteKeyExW")));
    return deleteKeyEx ? deleteKeyEx(root, W(path), view, 0) : ERROR_FILE_NOT_FOUND;
}

PortableSettings& Portable() {
    return PortableSettings::Instance();
}

// One pass of the tree deletion; the number of keys it deleted.
unsigned DeleteTreePass(HKEY root, const std::u16string& path, REGSAM view) {
    if (path.empty()) {
        return 0; // never wipe a whole root
    }
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

std::u16string_view RootName(HKEY root) {
    if (root == HKEY_CLASSES_ROOT) {
        return u"HKCR";
    }
    if (root == HKEY_CURRENT_USER) {
        return u"HKCU";
    }
    return root == HKEY_LOCAL_MACHINE ? u"HKLM" : u"settings file";
}

// Every change's outcome passes here: a refusal is counted for the run's
// result, and the run log gets one record per change: what was done to
// which key and value, in which view, and the status when it failed. A
// deletion that found nothing to delete changed nothing and is neither.
void ReportChange(std::string_view verb, HKEY root, std::u16string_view path,
                  std::u16string_view name, std::u16string_view data, LSTATUS status,
                  REGSAM view = 0, std::u16string_view to = {}) {
    if (status == ERROR_FILE_NOT_FOUND) {
        return;
    }
    if (status != ERROR_SUCCESS) {
        ++g_failures;
    }
    if (!RunLogActive()) {
        return;
    }
    // Under WOW64 the two views hold different keys: every record names its
    // own. 32-bit Windows has one view, and no field for it.
    const std::u16string_view viewName = view != 0             ? u"64"
                                         : RunningUnderWow64() ? u"32"
                                                               : std::u16string_view();
    const std::u16string error = LogNumber(static_cast<uint64_t>(status));
    LogRecord(verb, {{"root", RootName(root)},
                     {"key", path},
                     {"name", name},
                     {"data", data},
                     {"to", to},
                     {"view", viewName},
                     {"result", ChangeResult(status == ERROR_SUCCESS)},
                     {"error", status != ERROR_SUCCESS ? error : std::u16string_view()}});
}

// A key that still has subkeys stays: by design, for its caller deletes them
// first and tries again, or they belong to someone else. That is no failure,
// and only the attempt that decides is logged.
void LogKeyDeletion(HKEY root, const std::u16string& path, LSTATUS status, REGSAM view) {
    if (Planning()) {
        ReportChange("registry-delete-key", root, path, {}, {}, status, view);
        return;
    }
    RegKey opened;
    DWORD subkeys = 0;
    if (status != ERROR_SUCCESS &&
        opened.Open(root, path, KEY_QUERY_VALUE | view) == ERROR_SUCCESS &&
        ::RegQueryInfoKeyW(opened.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                           nullptr, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
        subkeys != 0) {
        return;
    }
    ReportChange("registry-delete-key", root, path, {}, {}, status, view);
}

// The portable file's changes, named by their entry.
void LogEntryChange(std::string_view verb, std::u16string_view entryName,
                    std::u16string_view data) {
    LogRecord(verb, {{"entry", entryName}, {"data", data}, {"result", ChangeResult(true)}});
}

using Server = PortableSettings::Server;

// Removes the key from the file when the file serves it; true when the
// registry is to be asked instead.
bool RegistryServesRemoval(const RegLocation& at) {
    PortableSettings& portable = Portable();
    std::u16string entry;
    switch (portable.Serve(at, u"", entry)) {
    case Server::File:
        portable.RemoveKey(entry);
        LogEntryChange("settings-file-delete", entry, {});
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
LSTATUS WriteValue(const RegLocation& at, REGSAM view, registry_plan::Value value,
                   std::u16string_view text, uint32_t number) {
    PortableSettings& portable = Portable();
    std::u16string entry;
    switch (portable.Serve(at, value.name, entry)) {
    case Server::File:
        if (value.type == REG_DWORD) {
            // Zero-extended: the file holds DWORDs as unsigned decimals.
            portable.WriteNumber(entry, static_cast<int64_t>(number));
        } else {
            portable.Set(entry, text, EntryKind::Quoted);
        }
        LogEntryChange("settings-file-set", entry, LogData(text));
        return ERROR_SUCCESS;
    case Server::Nobody:
        return ERROR_SUCCESS;
    default:
        break;
    }
    const HKEY root = at.Root();
    const std::u16string path = at.Path();
    const std::u16string name = value.name;
    LSTATUS status;
    if (Planning()) {
        status = registry_plan::ProbeChange(root, view, path, KEY_SET_VALUE);
        if (status == ERROR_SUCCESS) {
            registry_plan::SetValue(root, view, path, std::move(value));
        }
    } else {
        RegKey created;
        status = created.Create(root, path, KEY_WRITE | view);
        if (status == ERROR_SUCCESS) {
            status = ::RegSetValueExW(created.Get(), W(name.c_str()), 0, value.type,
                                      reinterpret_cast<const BYTE*>(value.data.data()),
                                      static_cast<DWORD>(value.data.size()));
        }
    }
    if (RunLogActive() || status != ERROR_SUCCESS) {
        ReportChange("registry-set", root, path, name, LogData(text), status, view);
    }
    return status;
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

// Whether a registry key is there: as the plan left it while planning, else
// as the registry says.
bool KeyPresent(HKEY root, REGSAM view, const std::u16string& path) {
    if (Planning()) {
        if (std::optional<bool> planned = registry_plan::KeyExists(root, view, path)) {
            return *planned;
        }
    }
    RegKey opened;
    return opened.Open(root, path, KEY_QUERY_VALUE | view) == ERROR_SUCCESS;
}

// What the plan says of a value, while planning: found (and its data) or
// known missing; none when the registry answers.
std::optional<std::optional<registry_plan::Value>> PlannedValue(const RegLocation& at, REGSAM view,
                                                                std::u16string_view name) {
    if (!Planning()) {
        return std::nullopt;
    }
    return registry_plan::FindValue(at.Root(), view, at.Path(), name);
}

// Deletes one key that has no subkeys; while planning, only in the plan.
void DeleteOneKey(HKEY root, const std::u16string& path, REGSAM view) {
    if (!Planning()) {
        LogKeyDeletion(root, path, DeleteKeyIn(root, path, view), view);
        return;
    }
    // A key with subkeys stays, as the registry would keep it.
    if (!KeyPresent(root, view, path) || registry_plan::HasSubkeys(root, view, path)) {
        return;
    }
    const LSTATUS status = registry_plan::ProbeChange(root, view, path, DELETE);
    if (status == ERROR_SUCCESS) {
        registry_plan::DeleteKey(root, view, path);
    }
    LogKeyDeletion(root, path, status, view);
}

} // namespace

bool RegKeyExists(const RegLocation& at, RegistryView view) {
    if (std::optional<bool> answer = KeyAnswerOutsideRegistry(at)) {
        return *answer;
    }
    return KeyPresent(at.Root(), ViewFlag(view), at.Path());
}

bool RegKeyHasValues(const RegLocation& at, RegistryView view) {
    if (std::optional<bool> answer = KeyAnswerOutsideRegistry(at)) {
        return *answer;
    }
    const HKEY root = at.Root();
    const REGSAM flag = ViewFlag(view);
    if (Planning()) {
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
    const HKEY toRoot = to.Root();
    const REGSAM flag = ViewFlag(view);
    const std::u16string source = from.Path();
    if (!IsIntegrationAllowed() || !KeyPresent(fromRoot, flag, source)) {
        return false;
    }
    const std::u16string target = to.Path();
    // Every value with its name, type and data as they are; while planning,
    // as the plan left the source.
    const std::vector<registry_plan::Value> values = registry_plan::Values(fromRoot, flag, source);
    LSTATUS status;
    if (Planning()) {
        status = registry_plan::ProbeChange(toRoot, flag, target, KEY_SET_VALUE);
        for (size_t index = 0; status == ERROR_SUCCESS && index < values.size(); ++index) {
            registry_plan::SetValue(toRoot, flag, target, values[index]);
        }
    } else {
        RegKey out;
        status = out.Create(toRoot, target, KEY_WRITE | flag);
        for (size_t index = 0; status == ERROR_SUCCESS && index < values.size(); ++index) {
            const registry_plan::Value& value = values[index];
            status = ::RegSetValueExW(out.Get(), W(value.name.c_str()), 0, value.type,
                                      reinterpret_cast<const BYTE*>(value.data.data()),
                                      static_cast<DWORD>(value.data.size()));
        }
    }
    ReportChange("registry-copy-values", fromRoot, source, {}, {}, status, flag,
                 FormatText(kLogLineCapacity, u"%s\\%s", RootName(toRoot), target));
    return true;
}

void DeleteRegValue(const RegLocation& at, std::u16string_view name, RegistryView view) {
    PortableSettings& portable = Portable();
    std::u16string entry;
    switch (portable.Serve(at, name, entry)) {
    case Server::File:
        // Exactly this value, also for the default value of a key (empty
        // name), whose entry name is the prefix of the whole key.
        portable.RemoveEntry(entry);
        LogEntryChange("settings-file-delete", entry, {});
        return;
    case Server::Nobody:
        return;
    default:
        break;
    }
    const HKEY root = at.Root();
    const std::u16string path = at.Path();
    const REGSAM flag = ViewFlag(view);
    LSTATUS status;
    if (Planning()) {
        std::optional<std::optional<registry_plan::Value>> planned =
            registry_plan::FindValue(root, flag, path, name);
        RegKey opened;
        const bool present =
            planned ? planned->has_value()
                    : opened.Open(root, path, KEY_QUERY_VALUE | flag) == ERROR_SUCCESS &&
                          ::RegQueryValueExW(opened.Get(), W(std::u16string(name).c_str()), nullptr,
                                             nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        if (!present) {
            return;
        }
        status = registry_plan::ProbeChange(root, flag, path, KEY_SET_VALUE);
        if (status == ERROR_SUCCESS) {
            registry_plan::DeleteValue(root, flag, path, name);
        }
    } else {
        RegKey opened;
        status = opened.Open(root, path, KEY_SET_VALUE | flag);
        if (status == ERROR_SUCCESS) {
            status = opened.DeleteValue(name);
        }
    }
    // A key that is missing has nothing to delete; one that could not be
    // opened for the deletion keeps its value, which is a failure.
    ReportChange("registry-delete-value", root, path, name, {}, status, flag);
}

void DeleteRegKey(const RegLocation& at, RegistryView view) {
    if (RegistryServesRemoval(at)) {
        DeleteOneKey(at.Root(), at.Path(), ViewFlag(view));
    }
}

void DeleteRegTree(const RegLocation& at, RegistryView view) {
    if (!RegistryServesRemoval(at)) {
        return;
    }
    const HKEY root = at.Root();
    std::u16string path = at.Path();
    if (path.empty()) {
        return; // never wipe a whole root
    }
    const REGSAM flag = ViewFlag(view);
    if (Planning()) {
        if (KeyPresent(root, flag, path)) {
            const LSTATUS status = registry_plan::ProbeChange(root, flag, path, DELETE);
            if (status == ERROR_SUCCESS) {
                registry_plan::DeleteKey(root, flag, path);
            }
            ReportChange("registry-delete-tree", root, path, {}, {}, status, flag);
        }
        return;
    }
    unsigned deleted = 0;
    for (unsigned pass; (pass = DeleteTreePass(root, path, flag)) != 0;) {
        deleted += pass;
    }
    // A key that could not be opened for the deletion is still there when
    // opening it fails for any reason but its absence.
    RegKey left;
    const LSTATUS status = left.Open(root, path, KEY_QUERY_VALUE | flag);
    if (deleted != 0 || status != ERROR_FILE_NOT_FOUND) {
        ReportChange("registry-delete-tree", root, path, {}, {},
                     status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : ERROR_ACCESS_DENIED, flag);
    }
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
