#include "control/uninstall_list.h"

#include <vector>

#include "base/system_text.h"
#include "base/text.h"

namespace ozu {

namespace {

bool IsSlash(char16_t c) {
    return c == u'\\' || c == u'/';
}

std::u16string WithBackslashes(std::u16string_view text) {
    std::u16string copy(text);
    for (char16_t& c : copy) {
        if (c == u'/') {
            c = u'\\';
        }
    }
    return copy;
}

// Compared as the file system compares names, whatever the user's language.
bool StartsWithNoCase(std::u16string_view text, std::u16string_view head) {
    return text.size() >= head.size() &&
           SameFileName(WithBackslashes(text.substr(0, head.size())), WithBackslashes(head));
}

char16_t AsciiUpper(char16_t c) {
    return c >= u'a' && c <= u'z' ? c - 0x20 : c;
}

bool EqualsAsciiNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) {
            return false;
        }
    }
    return true;
}

// Windows opens a device instead of a file for these names, whatever the
// folder and the extension ("C:\x\nul.txt" is the null device).
bool IsDeviceName(std::u16string_view component) {
    std::u16string_view base = component.substr(0, component.find(u'.'));
    while (!base.empty() && base.back() == u' ') {
        base.remove_suffix(1);
    }
    for (std::u16string_view name : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"}) {
        if (EqualsAsciiNoCase(base, name)) {
            return true;
        }
    }
    if (base.size() == 4 && (EqualsAsciiNoCase(base.substr(0, 3), u"COM") ||
                             EqualsAsciiNoCase(base.substr(0, 3), u"LPT"))) {
        char16_t n = base[3];
        return (n >= u'0' && n <= u'9') || n == 0xB9 || n == 0xB2 || n == 0xB3;
    }
    return false;
}

bool IsForbiddenChar(char16_t c) {
    return c < 0x20 || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<' || c == u'>' ||
           c == u'|';
}

} // namespace

std::string_view TrimListLine(std::string_view line) {
    while (!line.empty()) {
        char c = line.back();
        if (c != '\r' && c != '\n' && c != ' ' && c != '\t') {
            break;
        }
        line.remove_suffix(1);
    }
    return line;
}

bool ReadListEntry(std::FILE* list, std::string& entry) {
    char buffer[kListLineBytes + 1];
    while (std::fgets(buffer, sizeof buffer, list) != nullptr) {
        std::string_view line = TrimListLine(buffer);
        if (!line.empty()) {
            entry.assign(line);
            return true;
        }
    }
    return false;
}

std::optional<std::u16string> ResolveInsideFolder(std::u16string_view folder,
                                                  std::u16string_view fullPath) {
    if (folder.empty() || folder.back() != u'\\' || !StartsWithNoCase(fullPath, folder)) {
        return std::nullopt;
    }
    std::u16string_view rest = fullPath.substr(folder.size());
    if (rest.empty() || IsSlash(rest.front())) {
        return std::nullopt; // the folder itself, or a rooted or UNC form glued onto it
    }
    for (char16_t c : rest) {
        if (IsForbiddenChar(c)) {
            return std::nullopt;
        }
    }
    if (IsSlash(rest.back())) {
        rest.remove_suffix(1); // "sub\" names the folder "sub"
    }
    std::vector<std::u16string_view> kept;
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = start;
        while (end < rest.size() && !IsSlash(rest[end])) {
            ++end;
        }
        std::u16string_view component = rest.substr(start, end - start);
        start = end + 1;
        if (component.empty()) {
            return std::nullopt;
        }
        if (component == u".") {
            continue;
        }
        if (component == u"..") {
            if (kept.empty()) {
                return std::nullopt;
            }
            kept.pop_back();
            continue;
        }
        if (component.back() == u'.' || component.back() == u' ' || IsDeviceName(component)) {
            return std::nullopt;
        }
        kept.push_back(component);
    }
    if (kept.empty()) {
        return std::nullopt;
    }
    std::u16string resolved(folder);
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i > 0) {
            resolved += u'\\';
        }
        resolved += kept[i];
    }
    return resolved;
}

std::u16string TempNameFor(std::u16string_view path, unsigned number) {
    std::u16string name(path);
    name += u'.';
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + number % 10));
        number /= 10;
    } while (number != 0);
    name += digits;
    name += u".tmp";
    return name;
}

} // namespace ozu
