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

constexpr std::u16string_view kSettingsRootPath = u"Software\\Mivora";
// Registry paths are built in 512 characters; longer keys are cut.
constexpr size_t kKeyPathCapacity = 512;
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

bool IsSettingsRootHolder(HKEY root) {
    return root == HKEY_CURRENT_USER || root == HKEY_LOCAL_MACHINE;
}

PortableSettings& Portable() {
    return PortableSettings::Instance();
}

// The registry branch of the operations: there is no registry behind the
// "no root" of the portable file.
bool HasRegistryRoot(HKEY root) {
    return root != nullptr;
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
bool RegistryServesRemoval(HKEY root, std::u16string_view key) {
    PortableSettings& portable = Portable();
    std::u16string entry;
    switch (portable.Serve(root, key, u"", entry)) {
    case Server::File:
        portable.RemoveKey(entry);
        LogEntryChange("settings-file-delete", entry, {});
        return false;
    case Server::Nobody:
        return false;
    default:
        return HasRegistryRoot(root);
    }
}

// A value write: into the file when it serves the key, nowhere while it
// forbids registry changes, else into the registry (creating the key), in
// the view given; logged either way. `value` holds the registry's form
// (a REG_SZ text or a REG_DWORD number), `text` the form shown in the log and
// kept by the file.
LSTATUS WriteValue(HKEY root, std::u16string_view key, REGSAM view, registry_plan::Value value,
                   std::u16string_view text, uint32_t number) {
    PortableSettings& portable = Portable();
    std::u16string entry;
    switch (portable.Serve(root, key, value.name, entry)) {
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
    if (!HasRegistryRoot(root)) {
        return ERROR_INVALID_HANDLE;
    }
    const std::u16string path = MakeRegKeyPath(root, key);
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
// asked: whether the file holds the key, or false while nobody serves it or
// there is no registry root; none when the registry answers.
std::optional<bool> KeyAnswerOutsideRegistry(HKEY root, std::u16string_view key) {
    PortableSettings& portable = Portable();
    std::u16string entry;
    switch (portable.Serve(root, key, u"", entry)) {
    case Server::File:
        return portable.ContainsKey(entry);
    case Server::Nobody:
        return false;
    default:
        break;
    }
    if (!HasRegistryRoot(root)) {
        return false;
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
std::optional<std::optional<registry_plan::Value>>
PlannedValue(HKEY root, REGSAM view, std::u16string_view key, std::u16string_view name) {
    if (!Planning()) {
        return std::nullopt;
    }
    return registry_plan::FindValue(root, view, MakeRegKeyPath(root, key), name);
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

std::u16string MakeRegKeyPath(HKEY root, std::u16string_view key) {
    std::u16string path;
    if (IsSettingsRootHolder(root)) {
        if (!key.empty() && key.front() == u'\\') {
            path.assign(key.substr(1));
        } else {
            path.assign(kSettingsRootPath);
            if (!key.empty()) {
                path += u'\\';
                path.append(key);
            }
        }
    } else {
        path.assign(key);
    }
    return Truncate(std::move(path), kKeyPathCapacity);
}

bool RegKeyExists(HKEY root, std::u16string_view key, RegistryView view) {
    if (std::optional<bool> answer = KeyAnswerOutsideRegistry(root, key)) {
        return *answer;
    }
    return KeyPresent(root, ViewFlag(view), MakeRegKeyPath(root, key));
}

bool RegKeyHasValues(HKEY root, std::u16string_view key, RegistryView view) {
    if (std::optional<bool> answer = KeyAnswerOutsideRegistry(root, key)) {
        return *answer;
    }
    const REGSAM flag = ViewFlag(view);
    if (Planning()) {
        return !registry_plan::Values(root, flag, MakeRegKeyPath(root, key)).empty();
    }
    RegKey opened;
    DWORD values = 0;
    return opened.Open(root, MakeRegKeyPath(root, key), KEY_QUERY_VALUE | flag) == ERROR_SUCCESS &&
           ::RegQueryInfoKeyW(opened.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           values != 0;
}

uint32_t ReadRegDword(HKEY root, std::u16string_view key, std::u16string_view name, uint32_t def,
                      RegistryView view) {
    PortableSettings& portable = Portable();
    std::u16string entry;
    switch (portable.Serve(root, key, name, entry)) {
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
    if (!HasRegistryRoot(root)) {
        return def;
    }
    if (auto planned = PlannedValue(root, ViewFlag(view), key, name)) {
        return *planned && registry_plan::ReadNumber(**planned, value) == ERROR_SUCCESS ? value
                                                                                        : def;
    }
    RegKey opened;
    if (opened.Open(root, MakeRegKeyPath(root, key),
                    KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | ViewFlag(view)) != ERROR_SUCCESS) {
        return def;
    }
    value = def;
    if (opened.ReadDword(name, value) != ERROR_SUCCESS) {
        return def;
    }
    return value;
}

bool ReadRegString(HKEY root, std::u16string_view key, std::u16string_view name,
                   std::u16string& out, std::u16string_view def, size_t capacity,
                   RegistryView view) {
    PortableSettings& portable = Portable();
    std::u16string entry;
    switch (portable.Serve(root, key, name, entry)) {
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
    if (auto planned =
            HasRegistryRoot(root) ? PlannedValue(root, ViewFlag(view), key, name) : std::nullopt) {
        if (*planned && registry_plan::ReadText(**planned, out, capacity) == ERROR_SUCCESS) {
            return true;
        }
        CopyText(out, def, capacity);
        return false;
    }
    RegKey opened;
    if (HasRegistryRoot(root) &&
        opened.Open(root, MakeRegKeyPath(root, key),
                    KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | ViewFlag(view)) == ERROR_SUCCESS &&
        opened.ReadString(name, out, capacity) == ERROR_SUCCESS) {
        return true;
    }
    // Also when the stored text does not fit: a cut text could be taken for a
    // whole one (a path, a class name), the default cannot.
    CopyText(out, def, capacity);
    return false;
}

LSTATUS WriteRegString(HKEY root, std::u16string_view key, std::u16string_view name,
                       std::u16string_view text, RegistryView view) {
    // The terminator is part of the stored data.
    const std::u16string data(text);
    return WriteValue(root, key, ViewFlag(view),
                      {std::u16string(name), REG_SZ,
                       std::string(reinterpret_cast<const char*>(data.c_str()),
                                   (data.size() + 1) * sizeof(char16_t))},
                      text, 0);
}

LSTATUS WriteRegDword(HKEY root, std::u16string_view key, std::u16string_view name, uint32_t value,
                      RegistryView view) {
    const DWORD number = value;
    return WriteValue(root, key, ViewFlag(view),
                      {std::u16string(name), REG_DWORD,
                       std::string(reinterpret_cast<const char*>(&number), sizeof number)},
                      FormatText(32, u"%u", value), value);
}

bool CopyRegValues(HKEY fromRoot, std::u16string_view from, HKEY toRoot, std::u16string_view to) {
    const std::u16string source = MakeRegKeyPath(fromRoot, from);
    if (!IsIntegrationAllowed() || !KeyPresent(fromRoot, 0, source)) {
        return false;
    }
    const std::u16string target = MakeRegKeyPath(toRoot, to);
    // Every value with its name, type and data as they are; while planning,
    // as the plan left the source.
    const std::vector<registry_plan::Value> values = registry_plan::Values(fromRoot, 0, source);
    LSTATUS status;
    if (Planning()) {
        status = registry_plan::ProbeChange(toRoot, 0, target, KEY_SET_VALUE);
        for (size_t index = 0; status == ERROR_SUCCESS && index < values.size(); ++index) {
            registry_plan::SetValue(toRoot, 0, target, values[index]);
        }
    } else {
        RegKey out;
        status = out.Create(toRoot, target, KEY_WRITE);
        for (size_t index = 0; status == ERROR_SUCCESS && index < values.size(); ++index) {
            const registry_plan::Value& value = values[index];
            status = ::RegSetValueExW(out.Get(), W(value.name.c_str()), 0, value.type,
                                      reinterpret_cast<const BYTE*>(value.data.data()),
                                      static_cast<DWORD>(value.data.size()));
        }
    }
    ReportChange("registry-copy-values", fromRoot, source, {}, {}, status, 0,
                 FormatText(kLogLineCapacity, u"%s\\%s", RootName(toRoot), target));
    return true;
}

void DeleteRegValue(HKEY root, std::u16string_view key, std::u16string_view name,
                    RegistryView view) {
    PortableSettings& portable = Portable();
    std::u16string entry;
    switch (portable.Serve(root, key, name, entry)) {
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
    if (!HasRegistryRoot(root)) {
        return;
    }
    const std::u16string path = MakeRegKeyPath(root, key);
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

void DeleteRegKey(HKEY root, std::u16string_view key, RegistryView view) {
    if (RegistryServesRemoval(root, key)) {
        DeleteOneKey(root, MakeRegKeyPath(root, key), ViewFlag(view));
    }
}

void DeleteRegTree(HKEY root, std::u16string_view key, RegistryView view) {
    if (!RegistryServesRemoval(root, key)) {
        return;
    }
    std::u16string path = MakeRegKeyPath(root, key);
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

void DeleteSettingsRoot(HKEY root) {
    DeleteRegTree(root, u"");
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

uint32_t ReadSettingDword(std::u16string_view key, std::u16string_view name, uint32_t def) {
    return ReadRegDword(HKEY_CURRENT_USER, key, name, def);
}

bool ReadSettingString(std::u16string_view key, std::u16string_view name, std::u16string& out,
                       std::u16string_view def, size_t capacity) {
    return ReadRegString(HKEY_CURRENT_USER, key, name, out, def, capacity);
}

LSTATUS WriteSettingString(std::u16string_view key, std::u16string_view name,
                           std::u16string_view text) {
    return WriteRegString(HKEY_CURRENT_USER, key, name, text);
}

LSTATUS WriteSettingDword(std::u16string_view key, std::u16string_view name, uint32_t value) {
    return WriteRegDword(HKEY_CURRENT_USER, key, name, value);
}

void DeleteSettingValue(std::u16string_view key, std::u16string_view name) {
    DeleteRegValue(HKEY_CURRENT_USER, key, name);
}

HKEY RegLocation::Root() const {
    if (kind_ == Kind::Class) {
        return HKEY_CLASSES_ROOT;
    }
    return scope_ == RegScope::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

std::u16string RegLocation::Key() const {
    std::u16string key;
    if (kind_ == Kind::Absolute) {
        key = u"\\";
    }
    key += path_;
    return key;
}

bool RegKeyExists(const RegLocation& at, RegistryView view) {
    return RegKeyExists(at.Root(), at.Key(), view);
}
bool RegKeyHasValues(const RegLocation& at, RegistryView view) {
    return RegKeyHasValues(at.Root(), at.Key(), view);
}
uint32_t ReadRegDword(const RegLocation& at, std::u16string_view name, uint32_t def,
                      RegistryView view) {
    return ReadRegDword(at.Root(), at.Key(), name, def, view);
}
bool ReadRegString(const RegLocation& at, std::u16string_view name, std::u16string& out,
                   std::u16string_view def, size_t capacity, RegistryView view) {
    return ReadRegString(at.Root(), at.Key(), name, out, def, capacity, view);
}
LSTATUS WriteRegString(const RegLocation& at, std::u16string_view name, std::u16string_view text,
                       RegistryView view) {
    return WriteRegString(at.Root(), at.Key(), name, text, view);
}
LSTATUS WriteRegDword(const RegLocation& at, std::u16string_view name, uint32_t value,
                      RegistryView view) {
    return WriteRegDword(at.Root(), at.Key(), name, value, view);
}
void DeleteRegValue(const RegLocation& at, std::u16string_view name, RegistryView view) {
    DeleteRegValue(at.Root(), at.Key(), name, view);
}
void DeleteRegKey(const RegLocation& at, RegistryView view) {
    DeleteRegKey(at.Root(), at.Key(), view);
}
void DeleteRegTree(const RegLocation& at, RegistryView view) {
    DeleteRegTree(at.Root(), at.Key(), view);
}
bool CopyRegValues(const RegLocation& from, const RegLocation& to) {
    return CopyRegValues(from.Root(), from.Key(), to.Root(), to.Key());
}

} // namespace ozu
