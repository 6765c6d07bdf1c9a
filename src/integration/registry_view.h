// Deletion in the 64-bit registry view. The settings store deletes in the
// process's default view only; what setup wrote in the 64-bit view on 64-bit
// Windows (the 64-bit shell extension's class keys, the 64-bit copy of the
// application path) is removed through this instead.
#pragma once

#include <windows.h>

#include <string_view>

namespace ozu {

// Deletes one key (not one with subkeys) in the 64-bit view. Does nothing on
// 32-bit Windows, where the default view is the only one, and nothing while a
// portable settings file forbids registry changes. Keys follow the settings
// store's path rule.
void DeleteRegKeyInView64(HKEY root, std::u16string_view key);

} // namespace ozu
