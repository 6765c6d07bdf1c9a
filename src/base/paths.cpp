#include "base/paths.h"

#include <algorithm>

#include "base/text.h"

namespace ozu {

namespace {

constexpr std::u16string_view kExtendedPrefix = u"\\\\?\\";

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace

bool IsDriveSpec(std::u16string_view path) {
    if (path.size() < 2) {
        return false;
    }
    char16_t letter = UpperChar(path[0]);
    return letter >= u'A' && letter <= u'Z' && path[1] == u':';
}

bool IsAbsolutePath(std::u16string_view path) {
    if (StartsWith(path, u"\\\\")) {
        return true;
    }
    return IsDriveSpec(path) && path.size() > 2 && IsSeparator(path[2]);
}

bool HasWildcards(std::u16string_view path) {
    if (StartsWith(path, kExtendedPrefix)) {
        path.remove_prefix(kExtendedPrefix.size());
    }
    return path.find_first_of(u"*?") != std::u16string_view::npos;
}

size_t NamePartOf(std::u16string_view path) {
    for (size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1])) {
            return i;
        }
    }
    if (path.size() >= 2 && path[1] == u':') {
        return 2;
    }
    return 0;
}

std::u16string_view NameOf(std::u16string_view path) {
    return path.substr(NamePartOf(path));
}

void StripNamePart(std::u16string& path) {
    const size_t p = NamePartOf(path);
    // The separator before the name goes too, except after "X:" where it is
    // the root ("C:\file" leaves "C:\") and for a path from the root ("\file").
    if (p >= 2 && (path[1] != u':' || p >= 4)) {
        path.resize(p - 1);
    } else {
        path.resize(p);
    }
}

void ReplaceNamePart(std::u16string& path, std::u16string_view name, size_t capacity) {
    size_t p = NamePartOf(path);
    path = Truncate(path.substr(0, p), capacity);
    AppendText(path, name, capacity);
}

std::u16string FolderPartOf(std::u16string_view path, size_t capacity) {
    std::u16string folder(path.substr(0, NamePartOf(path)));
    return Truncate(std::move(folder), capacity);
}

void EnsureTrailingSeparator(std::u16string& path, size_t capacity) {
    if (!path.empty() && path.back() != u'\\' && path.size() + 1 < capacity) {
        path.push_back(u'\\');
    }
}

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name, size_t capacity) {
    const bool separator = !folder.empty() && folder.back() != u'\\';
    const size_t length = folder.size() + (separator ? 1 : 0) + name.size();
    if (length >= capacity) {
        return {};
    }
    std::u16string joined;
    joined.reserve(length);
    joined.append(folder);
    if (separator) {
        joined.push_back(u'\\');
    }
    joined.append(name);
    return joined;
}

namespace {

// A relative path resolved against the current folder, which the system
// reports in at most 2047 characters. False when it cannot be resolved here.
bool ResolveRelative(std::u16string_view path, std::u16string_view currentFolder,
                     std::u16string& full) {
    if (currentFolder.empty() || currentFolder.size() >= kPathCapacity) {
        return false;
    }
    full.assign(currentFolder);
    if (IsDriveSpec(path)) {
        // "C:file" lies in drive C:'s own current folder. Only the current
        // drive's folder is known here; appended to another folder, "C:file"
        // would name a stream of a file "C".
        if (!IsDriveSpec(full) || UpperChar(path[0]) != UpperChar(full[0])) {
            return false;
        }
        path.remove_prefix(2);
    }
    if (!path.empty() && IsSeparator(path[0])) {
        // From the root of the current drive ("D:") or share ("\\server\share").
        size_t end = 2;
        if (!IsDriveSpec(full)) {
            for (int seen = 0; end < full.size() && !(IsSeparator(full[end]) && ++seen == 2);) {
                ++end;
            }
        }
        full.resize(std::min(end, full.size()));
    } else {
        EnsureTrailingSeparator(full, kPathCapacity);
        if (path.size() >= 2 && path[0] == u'.' && IsSeparator(path[1])) {
            path.remove_prefix(2);
        }
    }
    full += path;
    return true;
}

} // namespace

bool ToExtendedLengthPath(std::u16string_view path, std::u16string_view currentFolder,
                          std::u16string& out, size_t capacity) {
    const size_t n = path.size();
    if (n == 0) {
        return false;
    }
    // A path in the extended-length or device form has no other form: making
    // one would give a name that cannot exist.
    if (StartsWith(path, kExtendedPrefix) || StartsWith(path, u"\\\\.\\")) {
        return false;
    }
    std::u16string result(kExtendedPrefix);
    if (IsAbsolutePath(path)) {
        if (IsDriveSpec(path)) {
            if (capacity <= n + 4) {
                return false;
            }
            result += path;
        } else {
            // \\server\share\dir -> \\?\UNC\server\share\dir
            if (capacity <= n + 6) {
                return false;
            }
            result += u"UNC";
            result += path.substr(1);
        }
        out = std::move(result);
        return true;
    }

    // Relative: resolved against the current folder, and then made absolute
    // like any other path.
    std::u16string full;
    return ResolveRelative(path, currentFolder, full) && IsAbsolutePath(full) &&
           ToExtendedLengthPath(full, {}, out, capacity);
}

} // namespace ozu
