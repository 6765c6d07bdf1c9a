#pragma once
// The registry access layer: the only way the program reads, writes and
// deletes registry data. Beyond forwarding to the registry it
//  - turns keys relative to the settings root "Software\Mivora" into full paths
//    (a key with a leading backslash is absolute; HKEY_CLASSES_ROOT keys are
//    used unchanged),
//  - acts in the registry view that each call names (the default one unless
//    told otherwise),
//  - hands keys below the settings root to the portable settings file while
//    one is active, and
//  - touches nothing else at all while that file forbids integration.
// Roots are HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, or
// nullptr (the portable file alone).

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/reg_location.h"

namespace ozu {

// The registry view an operation acts in. The program is 32-bit: on 64-bit
// Windows its default view is the 32-bit one, and View64 reaches what 64-bit
// programs see (the 64-bit shell extension's classes, the 64-bit copy of the
// application path). 32-bit Windows has one view, which both name.
enum class RegistryView { Default, View64 };

// Full registry path of a key (cut to 511 characters):
// relative "Setup\MenuItems" under HKCU/HKLM -> "Software\Mivora\Setup\MenuItems",
// "" -> "Software\Mivora", "\Software\X" -> "Software\X"; other roots unchanged.
std::u16string MakeRegKeyPath(HKEY root, std::u16string_view key);

// True when the key can be opened for KEY_QUERY_VALUE.
bool RegKeyExists(HKEY root, std::u16string_view key, RegistryView view = RegistryView::Default);
// True when the key exists and holds at least one value.
bool RegKeyHasValues(HKEY root, std::u16string_view key, RegistryView view = RegistryView::Default);
// The 32-bit number stored (at most 4 bytes of data, any type), or `def`.
uint32_t ReadRegDword(HKEY root, std::u16string_view key, std::u16string_view name, uint32_t def,
                      RegistryView view = RegistryView::Default);
// Fills `out`: true when the value was found; false when `def` (cut to
// capacity - 1) was copied, also when the stored text does not fit `capacity`.
bool ReadRegString(HKEY root, std::u16string_view key, std::u16string_view name,
                   std::u16string& out, std::u16string_view def, size_t capacity,
                   RegistryView view = RegistryView::Default);
// Create the key when needed and store the value; the registry status
// (ERROR_ACCESS_DENIED tells that administrator rights are missing).
LSTATUS WriteRegString(HKEY root, std::u16string_view key, std::u16string_view name,
                       std::u16string_view text, RegistryView view = RegistryView::Default);
LSTATUS WriteRegDword(HKEY root, std::u16string_view key, std::u16string_view name, uint32_t value,
                      RegistryView view = RegistryView::Default);
void DeleteRegValue(HKEY root, std::u16string_view key, std::u16string_view name,
                    RegistryView view = RegistryView::Default);
// Deletes one key; a key that still has subkeys stays.
void DeleteRegKey(HKEY root, std::u16string_view key, RegistryView view = RegistryView::Default);
// Copies every value of a key into another (created when needed), each with
// its name, type and data as they are, so that what no text form can hold
// (binary data, several strings) survives. Both keys are absolute or below
// HKEY_CLASSES_ROOT: never in the portable file, and nothing at all while
// that file forbids registry changes. False when the source key is missing.
bool CopyRegValues(HKEY fromRoot, std::u16string_view from, HKEY toRoot, std::u16string_view to);
// Deletes a key with everything below it. An empty path is never deleted.
void DeleteRegTree(HKEY root, std::u16string_view key, RegistryView view = RegistryView::Default);

// The same operations on a key named by its kind.
bool RegKeyExists(const RegLocation& at, RegistryView view = RegistryView::Default);
bool RegKeyHasValues(const RegLocation& at, RegistryView view = RegistryView::Default);
uint32_t ReadRegDword(const RegLocation& at, std::u16string_view name, uint32_t def,
                      RegistryView view = RegistryView::Default);
bool ReadRegString(const RegLocation& at, std::u16string_view name, std::u16string& out,
                   std::u16string_view def, size_t capacity,
                   RegistryView view = RegistryView::Default);
LSTATUS WriteRegString(const RegLocation& at, std::u16string_view name, std::u16string_view text,
                       RegistryView view = RegistryView::Default);
LSTATUS WriteRegDword(const RegLocation& at, std::u16string_view name, uint32_t value,
                      RegistryView view = RegistryView::Default);
void DeleteRegValue(const RegLocation& at, std::u16string_view name,
                    RegistryView view = RegistryView::Default);
void DeleteRegKey(const RegLocation& at, RegistryView view = RegistryView::Default);
void DeleteRegTree(const RegLocation& at, RegistryView view = RegistryView::Default);
bool CopyRegValues(const RegLocation& from, const RegLocation& to);

// Deletes the settings root "Software\Mivora" of HKEY_CURRENT_USER or
// HKEY_LOCAL_MACHINE with everything in it (in the portable file, when that
// serves the root).
void DeleteSettingsRoot(HKEY root);

// How many registry changes the registry refused in this run (a deletion
// that found nothing is no failure; nor is a single key's deletion, which is
// refused by design while the key still has subkeys).
unsigned RegistryFailures();

// False only while a portable settings file forbids every registry change.
bool IsIntegrationAllowed();
// Writes the portable settings file now (when one is active and may be saved).
void FlushSettings();

// Short forms for the current user's settings (HKEY_CURRENT_USER).
uint32_t ReadSettingDword(std::u16string_view key, std::u16string_view name, uint32_t def);
bool ReadSettingString(std::u16string_view key, std::u16string_view name, std::u16string& out,
                       std::u16string_view def, size_t capacity);
LSTATUS WriteSettingString(std::u16string_view key, std::u16string_view name,
                           std::u16string_view text);
LSTATUS WriteSettingDword(std::u16string_view key, std::u16string_view name, uint32_t value);
void DeleteSettingValue(std::u16string_view key, std::u16string_view name);

} // namespace ozu
