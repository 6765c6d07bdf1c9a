#include "settings/registry_backend.h"

#include <optional>
#include <vector>

#include "base/change_sink.h"
#include "base/reg_key.h"
#include "base/registry_plan.h"
#include "base/system_info.h"

namespace ozu::registry_backend {
namespace {

// The access-mask addition of a view: nothing on 32-bit Windows, which has
// one view only.
REGSAM ViewFlag(RegistryView view) {
    return view == RegistryView::View64 && RunningUnderWow64() ? KEY_WOW64_64KEY : 0;
}

// What the plan says of a value: found (and its data) or known missing;
// none when the registry answers (always in a real run).
std::optional<std::optional<RegValue>> PlannedValue(const RegLocation& at, REGSAM view,
                                                    std::u16string_view name) {
    return registry_plan::FindValue(at.Root(), view, at.Path(), name);
}

// Opens the key for reading its values.
LSTATUS OpenForReading(RegKey& key, const RegLocation& at, RegistryView view) {
    return key.Open(at.Root(), at.Path(),
                    KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | ViewFlag(view));
}

} // namespace

bool KeyExists(const RegLocation& at, RegistryView view) {
    return registry_plan::KeyPresent(at.Root(), ViewFlag(view), at.Path());
}

bool KeyHasValues(const RegLocation& at, RegistryView view) {
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

uint32_t ReadDword(const RegLocation& at, std::u16string_view name, uint32_t def,
                   RegistryView view) {
    uint32_t value = def;
    if (auto planned = PlannedValue(at, ViewFlag(view), name)) {
        return *planned && registry_plan::ReadNumber(**planned, value) == ERROR_SUCCESS ? value
                                                                                        : def;
    }
    RegKey opened;
    if (OpenForReading(opened, at, view) != ERROR_SUCCESS ||
        opened.ReadDword(name, value) != ERROR_SUCCESS) {
        return def;
    }
    return value;
}

bool ReadString(const RegLocation& at, std::u16string_view name, std::u16string& out,
                size_t capacity, RegistryView view) {
    if (auto planned = PlannedValue(at, ViewFlag(view), name)) {
        return *planned && registry_plan::ReadText(**planned, out, capacity) == ERROR_SUCCESS;
    }
    RegKey opened;
    return OpenForReading(opened, at, view) == ERROR_SUCCESS &&
           opened.ReadString(name, out, capacity) == ERROR_SUCCESS;
}

LSTATUS SetValue(const RegLocation& at, const RegValue& value, std::u16string_view shown,
                 RegistryView view) {
    const std::u16string path = at.Path();
    return static_cast<LSTATUS>(Changes().Make({.kind = ChangeKind::SetValue,
                                                .verb = "registry-set",
                                                .root = at.Root(),
                                                .view = ViewFlag(view),
                                                .key = path,
                                                .value = &value,
                                                .shown = shown}));
}

void DeleteValue(const RegLocation& at, std::u16string_view name, RegistryView view) {
    // A key that is missing has nothing to delete; one that could not be
    // opened for the deletion keeps its value, which is a failure.
    const std::u16string path = at.Path();
    Made({.kind = ChangeKind::DeleteValue,
          .verb = "registry-delete-value",
          .root = at.Root(),
          .view = ViewFlag(view),
          .key = path,
          .name = name});
}

void DeleteKey(const RegLocation& at, RegistryView view) {
    const std::u16string path = at.Path();
    Made({.kind = ChangeKind::DeleteKey,
          .verb = "registry-delete-key",
          .root = at.Root(),
          .view = ViewFlag(view),
          .key = path});
}

void DeleteTree(const RegLocation& at, RegistryView view) {
    const std::u16string path = at.Path();
    if (path.empty()) {
        return;
    }
    Made({.kind = ChangeKind::DeleteTree,
          .verb = "registry-delete-tree",
          .root = at.Root(),
          .view = ViewFlag(view),
          .key = path});
}

bool CopyValues(const RegLocation& from, const RegLocation& to, RegistryView view) {
    const HKEY fromRoot = from.Root();
    const REGSAM flag = ViewFlag(view);
    const std::u16string source = from.Path();
    if (!registry_plan::KeyPresent(fromRoot, flag, source)) {
        return false;
    }
    const std::u16string target = to.Path();
    // Every value with its name, type and data as they are (in a preview, as
    // the plan left the source).
    const std::vector<RegValue> values = registry_plan::Values(fromRoot, flag, source);
    return Made({.kind = ChangeKind::CopyValues,
                 .verb = "registry-copy-values",
                 .root = fromRoot,
                 .view = flag,
                 .key = source,
                 .toRoot = to.Root(),
                 .toKey = target,
                 .values = &values});
}

} // namespace ozu::registry_backend
