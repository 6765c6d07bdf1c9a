#pragma once
// The registry behind the settings store: every read and change of a key
// that the portable settings file does not serve ends here. Reads go through
// the registry plan (what a preview has changed so far) or the registry;
// every change goes to the run's sink, which makes (or plans) and logs it.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/reg_location.h"

namespace ozu {

struct RegValue;

namespace registry_backend {

bool KeyExists(const RegLocation& at, RegistryView view);
bool KeyHasValues(const RegLocation& at, RegistryView view);
// The 32-bit number stored (at most 4 bytes of data, any type), or `def`.
uint32_t ReadDword(const RegLocation& at, std::u16string_view name, uint32_t def,
                   RegistryView view);
// True when the value was found and fits `capacity`; `out` is untouched
// otherwise.
bool ReadString(const RegLocation& at, std::u16string_view name, std::u16string& out,
                size_t capacity, RegistryView view);
// Creates the key when needed; `shown` is the value's form in the log.
LSTATUS SetValue(const RegLocation& at, const RegValue& value, std::u16string_view shown,
                 RegistryView view);
void DeleteValue(const RegLocation& at, std::u16string_view name, RegistryView view);
void DeleteKey(const RegLocation& at, RegistryView view);
// Never a key of an empty path: a whole root is never wiped.
void DeleteTree(const RegLocation& at, RegistryView view);
bool CopyValues(const RegLocation& from, const RegLocation& to, RegistryView view);

} // namespace registry_backend
} // namespace ozu
