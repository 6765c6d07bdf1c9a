#pragma once
// The registry as a planning run (/whatif) would have left it. The planning
// sink makes no change; it records each here instead, and the settings layer
// asks here first on every later read, so that a step which reads back what
// an earlier one changed (a key made, a record deleted, a key emptied and
// then removed) decides as it would in the real run. Keys are told apart by
// root, view and path, case ignored, as the registry does.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/change.h"

namespace ozu::registry_plan {

using Value = RegValue;

// Whether the plan holds nothing: every read goes to the registry.
bool Empty();
// Whether the key exists: as the plan left it, else as the registry says.
bool KeyPresent(HKEY root, REGSAM view, std::u16string_view path);

// Whether the key exists after the planned changes; none when the plan has
// not touched it and the registry answers.
std::optional<bool> KeyExists(HKEY root, REGSAM view, std::u16string_view path);
// The value after the planned changes: found (with its type and data) or
// known missing; none when the registry answers.
std::optional<std::optional<Value>> FindValue(HKEY root, REGSAM view, std::u16string_view path,
                                              std::u16string_view name);
// Every value of the key after the planned changes.
std::vector<Value> Values(HKEY root, REGSAM view, std::u16string_view path);
// Whether the key has a subkey after the planned changes.
bool HasSubkeys(HKEY root, REGSAM view, std::u16string_view path);

void SetValue(HKEY root, REGSAM view, std::u16string_view path, Value value);
void DeleteValue(HKEY root, REGSAM view, std::u16string_view path, std::u16string_view name);
// The key goes with everything below it.
void DeleteKey(HKEY root, REGSAM view, std::u16string_view path);

// The registry's answer to opening the key (or, when it is missing, its
// nearest parent that exists) for a change: what a write or deletion there
// would meet first, ERROR_ACCESS_DENIED above all.
LSTATUS ProbeChange(HKEY root, REGSAM view, std::u16string_view path, REGSAM access);

// The text and the number a value's data reads as, in the way the registry
// layer reads stored data (see RegKey::ReadString and RegKey::ReadDword).
LSTATUS ReadText(const Value& value, std::u16string& text, size_t capacity);
LSTATUS ReadNumber(const Value& value, uint32_t& number);

} // namespace ozu::registry_plan
