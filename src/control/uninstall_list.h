// The installation's list file "Uninstall.lst" and the rules that decide
// which of its entries the uninstaller may touch. Portable: no <windows.h>.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace ozu {

// One read of the list file takes at most this many bytes of a line; a
// longer line is taken as several consecutive entries.
inline constexpr size_t kListLineBytes = 2047;

// Removes the trailing carriage returns, line feeds, spaces and tabs of a
// line; leading blanks are part of the name and stay.
std::string_view TrimListLine(std::string_view line);

// Reads the next entry of the list file: the next line that is not empty
// after trimming. Returns false at the end of the file.
bool ReadListEntry(std::FILE* list, std::string& entry);

// The full path that `fullPath` names, with "." and ".." resolved, when that
// lies strictly inside `folder` (which ends with a backslash); none
// otherwise. Everything the file system would read differently from plain
// text is refused rather than interpreted: drive letters and alternate data
// streams (any colon), rooted, UNC and "\\?\" forms, wildcards, empty
// components, names ending in a dot or a space (which Windows strips) and
// device names such as "NUL" or "COM1.txt".
std::optional<std::u16string> ResolveInsideFolder(std::u16string_view folder,
                                                  std::u16string_view fullPath);

// "%s.%u.tmp" of a path and a number.
std::u16string TempNameFor(std::u16string_view path, unsigned number);

// The first of path.0.tmp to path.999.tmp for which exists(name) is false;
// when all of them exist, path.999.tmp.
template <typename Exists>
std::u16string FindFreeTempName(std::u16string_view path, Exists&& exists) {
    constexpr unsigned kLastNumber = 999;
    for (unsigned n = 0; n < kLastNumber; ++n) {
        std::u16string candidate = TempNameFor(path, n);
        if (!exists(candidate)) {
            return candidate;
        }
    }
    return TempNameFor(path, kLastNumber);
}

} // namespace ozu
