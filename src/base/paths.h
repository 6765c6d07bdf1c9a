#pragma once
// Taking paths apart and building them. Paths are UTF-16; both backslash and
// slash separate when a path is taken apart, and a backslash is what gets
// added. Functions that produce a path take the capacity of the destination
// (terminator included) and keep at most capacity - 1 characters.

#include <cstddef>
#include <string>
#include <string_view>

namespace ozu {

// Path buffers of the program hold this many characters, terminator included.
inline constexpr size_t kPathCapacity = 2048;

constexpr bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}
// A drive letter (by single-character upper-casing) followed by a colon.
bool IsDriveSpec(std::u16string_view path);
// Begins with two backslashes, or is a drive letter and colon followed by a separator.
bool IsAbsolutePath(std::u16string_view path);
// "*" or "?" after an optional leading "\\?\"; false for an empty path.
bool HasWildcards(std::u16string_view path);

// Offset of the last character; 0 for an empty text.
constexpr size_t LastCharOf(std::u16string_view text) {
    return text.empty() ? 0 : text.size() - 1;
}

// Offset of the name part: just after the last separator; without one, after
// the colon of "X:" or else 0.
size_t NamePartOf(std::u16string_view path);
std::u16string_view NameOf(std::u16string_view path);

// Cuts the name part off and leaves the folder, without its trailing separator
// except at a drive root: C:\dir\file -> C:\dir, C:\file -> C:\, C:file -> C:,
// \file -> \, a bare name -> empty.
void StripNamePart(std::u16string& path);
// Writes name over the name part, the whole bounded by the capacity.
void ReplaceNamePart(std::u16string& path, std::u16string_view name,
                     size_t capacity = kPathCapacity);
// The path up to and including its last separator: C:\dir\file -> C:\dir\.
std::u16string FolderPartOf(std::u16string_view path, size_t capacity = kPathCapacity);

// Appends a backslash when the path is not empty, does not end in a backslash
// and length + 1 is less than the capacity.
void EnsureTrailingSeparator(std::u16string& path, size_t capacity = kPathCapacity);
// folder, a separator when needed, then name; empty when the whole does not
// fit the capacity (length + 1): a path cut short names another file.
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name,
                        size_t capacity = kPathCapacity);

// The extended-length ("\\?\") form of a path. currentFolder is what the
// system reports as the current folder (empty when that failed), a drive or a
// network folder; it is used only for relative paths. False, with out
// unchanged, when the path is empty, the current folder is needed but missing,
// the path is relative to another drive than the current one ("D:file"), or
// the result would not fit the capacity.
bool ToExtendedLengthPath(std::u16string_view path, std::u16string_view currentFolder,
                          std::u16string& out, size_t capacity = kPathCapacity);

} // namespace ozu
