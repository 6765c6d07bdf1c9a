#pragma once
// RegKey: the one owner of an open registry key, a ScopedHandle whose traits
// close it with RegCloseKey, so no path through the registry code can leave a
// key open. It only reads: every change of the registry is made by the change
// sinks (change_sink.h). Reads leave their out-parameters untouched when they fail, so a
// caller's default survives a missing value.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/scoped_handle.h"

namespace ozu {

// An open key (never a predefined root, which is not closed).
struct RegKeyTraits {
    using handle_type = HKEY;
    static handle_type Invalid() { return nullptr; }
    static void Close(handle_type h) { ::RegCloseKey(h); }
};

class RegKey : public ScopedHandle<RegKeyTraits> {
public:
    using ScopedHandle::ScopedHandle;

    // Opens an existing key (RegOpenKeyExW) in place of whatever was held; on
    // failure the object keeps what it held.
    [[nodiscard]] LSTATUS Open(HKEY root, std::u16string_view path, REGSAM access);

    void Close() { Reset(); }

    // Queries a value into a 4-byte number, whatever its registry type. Succeeds
    // only when the data fits into 4 bytes and is not empty; shorter data fills
    // the low bytes of a zero number.
    [[nodiscard]] LSTATUS ReadDword(std::u16string_view name, uint32_t& value) const;
    // Queries a value into a buffer of `capacity` characters (terminator
    // included), whatever its registry type; data that does not fit fails with
    // ERROR_MORE_DATA. The text ends at the first zero character.
    [[nodiscard]] LSTATUS ReadString(std::u16string_view name, std::u16string& text,
                                     size_t capacity) const;
    // Name of the subkey at `index` (RegEnumKeyExW) into a buffer of `capacity`
    // characters; fails at the end of the list or when the name does not fit.
    [[nodiscard]] LSTATUS EnumerateSubKey(DWORD index, std::u16string& name, size_t capacity) const;
};

} // namespace ozu
