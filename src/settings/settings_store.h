#pragma once
// The registry access layer: the only way the program reads, writes and
// deletes registry data. In front of the registry (registry_backend.h) it
//  - reaches every key by its RegLocation, which says where the key lies,
//  - acts in the registry view that each call names,
//  - hands settings keys to the portable settings file while one is active,
//    and
//  - touches nothing else at all while that file forbids integration.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/reg_location.h"

namespace ozu {

// True when the key can be opened for KEY_QUERY_VALUE.
bool RegKeyExists(const RegLocation& at, RegistryView view);
// True when the key exists and holds at least one value.
bool RegKeyHasValues(const RegLocation& at, RegistryView view);
// The 32-bit number stored (at most 4 bytes of data, any type), or `def`.
uint32_t ReadRegDword(const RegLocation& at, std::u16string_view name, uint32_t def,
                      RegistryView view);
// Fills `out`: true when the value was found; false when `def` (cut to
// capacity - 1) was copied, also when the stored text does not fit `capacity`.
bool ReadRegString(const RegLocation& at, std::u16string_view name, std::u16string& out,
                   std::u16string_view def, size_t capacity, RegistryView view);
// Create the key when needed and store the value; the registry status
// (ERROR_ACCESS_DENIED tells that administrator rights are missing).
LSTATUS WriteRegString(const RegLocation& at, std::u16string_view name, std::u16string_view text,
                       RegistryView view);
LSTATUS WriteRegDword(const RegLocation& at, std::u16string_view name, uint32_t value,
                      RegistryView view);
void DeleteRegValue(const RegLocation& at, std::u16string_view name, RegistryView view);
// Deletes one key; a key that still has subkeys stays.
void DeleteRegKey(const RegLocation& at, RegistryView view);
// Deletes a key with everything below it (a settings key in the portable
// file, when that serves it). A key of an empty path is never deleted.
void DeleteRegTree(const RegLocation& at, RegistryView view);
// Copies every value of a key into another (created when needed), both in
// the view given, each with its name, type and data as they are, so that
// what no text form can hold (binary data, several strings) survives. Both
// keys are absolute or class keys: never in the portable file, and nothing
// at all while that file forbids registry changes. False when the source key
// is missing or the copy failed.
bool CopyRegValues(const RegLocation& from, const RegLocation& to, RegistryView view);

// False only while a portable settings file forbids every registry change.
bool IsIntegrationAllowed();
// Writes the portable settings file now (when one is active and may be saved).
void FlushSettings();

} // namespace ozu
