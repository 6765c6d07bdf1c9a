#include "support/registry.h"

#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <sstream>

#include "support/files.h"

namespace ozu::test {

namespace {

const wchar_t* Wp(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

struct KeyHandle {
    HKEY h = nullptr;
    ~KeyHandle() {
        if (h)
            RegCloseKey(h);
    }
};

bool Open(HKEY root, const std::u16string& key, REGSAM access, KeyHandle& out) {
    return RegOpenKeyExW(root, Wp(key), 0, access, &out.h) == ERROR_SUCCESS;
}

bool Create(HKEY root, const std::u16string& key, REGSAM access, KeyHandle& out) {
    return RegCreateKeyExW(root, Wp(key), 0, nullptr, 0, access, nullptr, &out.h, nullptr) ==
           ERROR_SUCCESS;
}

struct Value {
    std::u16string name;
    DWORD type;
    std::vector<uint8_t> data;
};

std::vector<std::u16string> SubkeyNamesOf(HKEY key) {
    std::vector<std::u16string> names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD size = 256;
        if (RegEnumKeyExW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(reinterpret_cast<const char16_t*>(name), size);
    }
    return names;
}

std::vector<Value> ValuesOf(HKEY key) {
    std::vector<Value> values;
    std::vector<wchar_t> name(16384);
    std::vector<uint8_t> data(4096);
    for (DWORD i = 0;;) {
        DWORD nameSize = DWORD(name.size()), type = 0, dataSize = DWORD(data.size());
        const LSTATUS status =
            RegEnumValueW(key, i, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
        if (status == ERROR_MORE_DATA) {
            data.resize(dataSize);
            continue;
        }
        if (status != ERROR_SUCCESS)
            break;
        values.push_back({std::u16string(reinterpret_cast<const char16_t*>(name.data()), nameSize),
                          type, std::vector<uint8_t>(data.begin(), data.begin() + dataSize)});
        ++i;
    }
    return values;
}

} // namespace

struct RegistryGuard::Node {
    std::vector<Value> values;
    std::map<std::u16string, Node> children;
};

namespace {

void Capture(HKEY key, RegistryGuard::Node& node) {
    node.values = ValuesOf(key);
    for (const std::u16string& name : SubkeyNamesOf(key)) {
        KeyHandle child;
        if (Open(key, name, KEY_READ, child))
            Capture(child.h, node.children[name]);
    }
}

void Rebuild(HKEY key, const RegistryGuard::Node& node) {
    for (const Value& v : node.values)
        RegSetValueExW(key, Wp(v.name), 0, v.type, v.data.data(), DWORD(v.data.size()));
    for (const auto& [name, child] : node.children) {
        KeyHandle sub;
        if (Create(key, name, KEY_ALL_ACCESS, sub))
            Rebuild(sub.h, child);
    }
}

void DeleteTreeW(HKEY root, const std::u16string& key, REGSAM view) {
    {
        KeyHandle h;
        if (!Open(root, key, KEY_ALL_ACCESS | view, h))
            return;
        RegDeleteTreeW(h.h, nullptr);
    }
    RegDeleteKeyExW(root, Wp(key), view, 0);
}

std::string Hex(const std::vector<uint8_t>& data) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t b : data) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

std::u16string TextOf(const std::vector<uint8_t>& data) {
    std::u16string text(data.size() / 2, u'\0');
    std::copy(data.begin(), data.begin() + text.size() * 2,
              reinterpret_cast<uint8_t*>(text.data()));
    while (!text.empty() && text.back() == 0)
        text.pop_back();
    return text;
}

std::string Describe(const Value& v) {
    switch (v.type) {
    case REG_SZ:
        return "sz:" + Utf8(TextOf(v.data));
    case REG_EXPAND_SZ:
        return "expand:" + Utf8(TextOf(v.data));
    case REG_MULTI_SZ: {
        std::u16string text = TextOf(v.data);
        std::replace(text.begin(), text.end(), u'\0', u'|');
        return "multi:" + Utf8(text);
    }
    case REG_DWORD:
        if (v.data.size() == 4)
            return "dword:" + std::to_string(*reinterpret_cast<const uint32_t*>(v.data.data()));
        break;
    default:
        break;
    }
    return "type" + std::to_string(v.type) + ":" + Hex(v.data);
}

// skip: a subkey name left out (the 64-bit view's copy of the 32-bit one).
bool EqualsNoCaseAscii(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
               auto lower = [](char16_t c) {
                   return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
               };
               return lower(x) == lower(y);
           });
}

// Wine keeps its own run-time state below HKCU\Software\Wine, which has
// nothing to do with the program. Every level is opened in the walk's view: a WOW64 process that
// opens "CLSID" below Software\Classes without a view lands in the 32-bit copy. The "Wow6432Node"
// keys are left out, since each view shows its own copy under the ordinary names.
bool EndsWith(const std::string& text, std::string_view tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The COM catalogue of other programs: interfaces, type libraries and every
// class that is not the archiver's. Nine in ten keys of a prefix are there.
bool OthersCatalogue(const std::string& path, const std::u16string& name) {
    if (EndsWith(path, "\\Software\\Classes"))
        return EqualsNoCaseAscii(name, u"Interface") || EqualsNoCaseAscii(name, u"TypeLib");
    if (!EndsWith(path, "\\Software\\Classes\\CLSID"))
        return false;
    for (const char* clsid : kExtensionClsids) {
        if (EqualsNoCaseAscii(name, Wide(clsid)))
            return false;
    }
    return true;
}

void Walk(HKEY key, const std::string& path, std::vector<std::string>& lines, REGSAM view,
          ExportScope scope) {
    lines.push_back(path);
    for (const Value& v : ValuesOf(key))
        lines.push_back(path + " : \"" + Utf8(v.name) + "\" = " + Describe(v));
    for (const std::u16string& name : SubkeyNamesOf(key)) {
        if (EqualsNoCaseAscii(name, u"Wow6432Node") ||
            (EndsWith(path, "HKCU\\Software") && EqualsNoCaseAscii(name, u"Wine")) ||
            (scope == ExportScope::ArchiverReach && OthersCatalogue(path, name)))
            continue;
        KeyHandle child;
        if (Open(key, name, KEY_READ | view, child))
            Walk(child.h, path + "\\" + Utf8(name), lines, view, scope);
        else
            lines.push_back(path + "\\" + Utf8(name) + " (unreadable)");
    }
}

} // namespace

bool RunningOn64BitWindows() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

void SetString(HKEY root, std::string_view key, std::string_view name, std::string_view text,
               REGSAM view) {
    KeyHandle h;
    if (!Create(root, Wide(key), KEY_WRITE | view, h))
        return;
    const std::u16string value = Wide(text);
    RegSetValueExW(h.h, Wp(Wide(name)), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   DWORD((value.size() + 1) * 2));
}

void SetDword(HKEY root, std::string_view key, std::string_view name, uint32_t value, REGSAM view) {
    KeyHandle h;
    if (!Create(root, Wide(key), KEY_WRITE | view, h))
        return;
    RegSetValueExW(h.h, Wp(Wide(name)), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
}

void SetRaw(HKEY root, std::string_view key, std::string_view name, DWORD type,
            std::string_view data, REGSAM view) {
    KeyHandle h;
    if (Create(root, Wide(key), KEY_WRITE | view, h))
        RegSetValueExW(h.h, Wp(Wide(name)), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                       DWORD(data.size()));
}

std::optional<RawValue> GetRaw(HKEY root, std::string_view key, std::string_view name,
                               REGSAM view) {
    KeyHandle h;
    if (!Open(root, Wide(key), KEY_READ | view, h))
        return std::nullopt;
    const std::u16string valueName = Wide(name);
    RawValue value;
    DWORD size = 0;
    if (RegQueryValueExW(h.h, Wp(valueName), nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.data.resize(size);
    if (RegQueryValueExW(h.h, Wp(valueName), nullptr, &value.type,
                         reinterpret_cast<BYTE*>(value.data.data()), &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.data.resize(size);
    return value;
}

std::string ValueText(HKEY root, std::string_view key, std::string_view name, REGSAM view) {
    if (const std::optional<uint32_t> number = GetDword(root, key, name, view))
        return std::to_string(*number);
    return GetString(root, key, name, view).value_or("<none>");
}

void CreateKey(HKEY root, std::string_view key, REGSAM view) {
    KeyHandle h;
    Create(root, Wide(key), KEY_READ | view, h);
}

void DeleteValue(HKEY root, std::string_view key, std::string_view name, REGSAM view) {
    KeyHandle h;
    if (Open(root, Wide(key), KEY_SET_VALUE | view, h))
        RegDeleteValueW(h.h, Wp(Wide(name)));
}

std::optional<std::string> GetString(HKEY root, std::string_view key, std::string_view name,
                                     REGSAM view) {
    KeyHandle h;
    if (!Open(root, Wide(key), KEY_READ | view, h))
        return std::nullopt;
    const std::u16string valueName = Wide(name);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(h.h, Wp(valueName), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    std::vector<uint8_t> data(size);
    RegQueryValueExW(h.h, Wp(valueName), nullptr, &type, data.data(), &size);
    data.resize(size);
    return Utf8(TextOf(data));
}

std::optional<uint32_t> GetDword(HKEY root, std::string_view key, std::string_view name,
                                 REGSAM view) {
    KeyHandle h;
    if (!Open(root, Wide(key), KEY_READ | view, h))
        return std::nullopt;
    DWORD type = 0, value = 0, size = 4;
    if (RegQueryValueExW(h.h, Wp(Wide(name)), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return std::nullopt;
    return value;
}

bool KeyExists(HKEY root, std::string_view key, REGSAM view) {
    KeyHandle h;
    return Open(root, Wide(key), KEY_READ | view, h);
}

std::vector<std::string> ValueNames(HKEY root, std::string_view key, REGSAM view) {
    std::vector<std::string> names;
    KeyHandle h;
    if (Open(root, Wide(key), KEY_READ | view, h)) {
        for (const Value& v : ValuesOf(h.h))
            names.push_back(Utf8(v.name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

void DeleteTree(HKEY root, std::string_view key, REGSAM view) {
    DeleteTreeW(root, Wide(key), view);
}

void RegistryGuard::Keep(HKEY root, std::string_view key, REGSAM view) {
    Saved saved{root, Wide(key), view, nullptr};
    KeyHandle h;
    if (Open(root, saved.key, KEY_READ | view, h)) {
        saved.tree = std::make_shared<Node>();
        Capture(h.h, *saved.tree);
    }
    saved_.push_back(std::move(saved));
}

void RegistryGuard::Clear(HKEY root, std::string_view key, REGSAM view) {
    Keep(root, key, view);
    DeleteTree(root, key, view);
}

RegistryGuard::~RegistryGuard() {
    // Last kept first, so that a key kept twice ends as it was first seen.
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        DeleteTreeW(it->root, it->key, it->view);
        KeyHandle h;
        if (it->tree && Create(it->root, it->key, KEY_ALL_ACCESS | it->view, h))
            Rebuild(h.h, *it->tree);
    }
}

namespace {

bool SetDacl(HKEY key, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr))
        return false;
    const bool set = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
    LocalFree(sd);
    return set;
}

} // namespace

WriteDenied::WriteDenied(HKEY root, std::string_view key, bool readable)
    : root_(root), key_(Wide(key)) {
    if (RegOpenKeyExW(root, Wp(key_), 0, READ_CONTROL | WRITE_DAC, &handle_) == ERROR_SUCCESS) {
        DWORD size = 0;
        RegGetKeySecurity(handle_, DACL_SECURITY_INFORMATION, nullptr, &size);
        saved_.resize(size ? size : 1);
        if (RegGetKeySecurity(handle_, DACL_SECURITY_INFORMATION, saved_.data(), &size) !=
            ERROR_SUCCESS)
            return;
    } else if (RegCreateKeyExW(root, Wp(key_), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle_,
                               nullptr) != ERROR_SUCCESS) {
        handle_ = nullptr;
        return;
    }
    active_ =
        SetDacl(handle_, readable ? L"D:(D;;KW;;;WD)(A;;KA;;;WD)" : L"D:(D;;KA;;;WD)(A;;KR;;;WD)");
}

WriteDenied::~WriteDenied() {
    if (!handle_)
        return;
    if (!saved_.empty()) {
        RegSetKeySecurity(handle_, DACL_SECURITY_INFORMATION, saved_.data());
        RegCloseKey(handle_);
        return;
    }
    SetDacl(handle_, L"D:(A;;KA;;;WD)");
    RegCloseKey(handle_);
    DeleteTreeW(root_, key_, 0);
}

std::vector<std::string> ExportRegistry(ExportScope scope) {
    // HKEY_CLASSES_ROOT is the merge of the two Software\Classes keys, so it
    // is covered. On 32-bit Windows there is one view only; a 64-bit test
    // sees both views of 64-bit Windows as a 32-bit one under WOW64 does.
    std::vector<REGSAM> views{KEY_WOW64_32KEY};
    if (RunningOn64BitWindows() || sizeof(void*) == 8)
        views.push_back(KEY_WOW64_64KEY);
    std::vector<std::string> lines;
    for (const REGSAM view : views) {
        const std::string label = view == KEY_WOW64_32KEY ? "[32] " : "[64] ";
        for (const auto& [root, name] :
             {std::pair{HKEY_LOCAL_MACHINE, "HKLM"}, std::pair{HKEY_CURRENT_USER, "HKCU"}}) {
            KeyHandle key;
            if (Open(root, u"Software", KEY_READ | view, key))
                Walk(key.h, label + name + "\\Software", lines, view, scope);
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::string DiffExports(const std::vector<std::string>& before,
                        const std::vector<std::string>& after) {
    std::vector<std::string> gone, added;
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(),
                        std::back_inserter(gone));
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                        std::back_inserter(added));
    std::ostringstream out;
    for (const std::string& line : gone)
        out << "- " << line << "\n";
    for (const std::string& line : added)
        out << "+ " << line << "\n";
    return out.str();
}

} // namespace ozu::test

namespace ozu::test {

namespace {

// Calls `visit` for every key (or, with a value name, every value) that the
// archiver may own. Class keys are relative to HKEY_CLASSES_ROOT.
template <typename Visit> void ForEachArchiverKey(Visit visit) {
    const HKEY hkcr = HKEY_CLASSES_ROOT, hklm = HKEY_LOCAL_MACHINE;
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        for (const char* ext : kArchiveExtensions)
            visit(hkcr, std::string(ext), nullptr, view);
        for (const char* key : {".ace", ".rev", "Mivora", "Mivora.ZIP", "Mivora.REV"})
            visit(hkcr, std::string(key), nullptr, view);
        for (unsigned n = 0; n < 100; ++n)
            visit(hkcr, ".o" + std::to_string(n / 10) + std::to_string(n % 10), nullptr, view);
        for (const char* handler : {"Mivora", "Mivora32"}) {
            for (const char* where :
                 {"*\\shellex\\ContextMenuHandlers\\", "Folder\\shellex\\ContextMenuHandlers\\",
                  "Folder\\shellex\\DragDropHandlers\\", "Drive\\shellex\\DragDropHandlers\\",
                  "lnkfile\\shellex\\ContextMenuHandlers\\",
                  "Directory\\shellex\\ContextMenuHandlers\\",
                  "Directory\\shellex\\DragDropHandlers\\"})
                visit(hkcr, std::string(where) + handler, nullptr, view);
        }
        for (const char* clsid : kExtensionClsids) {
            visit(hkcr, std::string("CLSID\\") + clsid, nullptr, view);
            visit(hkcr, std::string("exefile\\shellex\\PropertySheetHandlers\\") + clsid, nullptr,
                  view);
            visit(hklm, "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
                  clsid, view);
        }
        for (const char* key : {"Software\\Mivora", kAppPathKey, kUninstallKey})
            visit(hklm, std::string(key), nullptr, view);
        visit(hklm, "Software\\RegisteredApplications", "Mivora", view);
    }
    visit(HKEY_CURRENT_USER, "Software\\Mivora", nullptr, 0);
}

} // namespace

void KeepIntegrationKeys(RegistryGuard& guard) {
    // A handler's "shellex" key is kept whole, so that the folders of
    // handlers that setup creates go again with it.
    ForEachArchiverKey([&](HKEY root, const std::string& key, const char*, REGSAM view) {
        const size_t shellex = key.find("\\shellex\\");
        guard.Keep(root, shellex == std::string::npos ? key : key.substr(0, shellex + 8), view);
    });
}

void ClearIntegration() {
    // A class key is deleted from both places that make up HKEY_CLASSES_ROOT.
    ForEachArchiverKey([](HKEY root, const std::string& key, const char* value, REGSAM view) {
        if (value) {
            DeleteValue(root, key, value, view);
        } else if (root == HKEY_CLASSES_ROOT) {
            DeleteTree(HKEY_CURRENT_USER, "Software\\Classes\\" + key, view);
            DeleteTree(HKEY_LOCAL_MACHINE, "Software\\Classes\\" + key, view);
        } else {
            DeleteTree(root, key, view);
        }
    });
    RemoveShortcuts();
}

std::u16string ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return {};
    return reinterpret_cast<const char16_t*>(path);
}

void RemoveShortcuts() {
    for (const int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_STARTMENU,
                            CSIDL_COMMON_STARTMENU}) {
        const std::wstring folder = AsWide(ShellFolder(csidl));
        if (!folder.empty())
            DeleteFileW((folder + L"\\Mivora.lnk").c_str());
    }
    for (const int csidl : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS}) {
        const std::wstring folder = AsWide(ShellFolder(csidl));
        if (!folder.empty())
            RemoveTree(folder + L"\\Mivora");
    }
}

// Keys every Windows installation has, which a fresh Wine prefix may lack;
// their absence would hide a writer that deletes a shared parent.
void SeedSharedKeys() {
    for (const char* key :
         {"*\\shellex\\ContextMenuHandlers", "Folder\\shellex\\ContextMenuHandlers",
          "Folder\\shellex\\DragDropHandlers", "Drive\\shellex\\DragDropHandlers",
          "lnkfile\\shellex\\ContextMenuHandlers", "exefile\\shellex\\PropertySheetHandlers",
          "Directory\\shellex\\ContextMenuHandlers", "Directory\\shellex\\DragDropHandlers"})
        SetString(HKEY_CLASSES_ROOT, std::string(key) + "\\Other", "",
                  "{00000000-0000-0000-0000-000000000001}");
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        const std::string windows = "Software\\Microsoft\\Windows\\CurrentVersion\\";
        SetString(HKEY_LOCAL_MACHINE, windows + "App Paths\\other.exe", "", "C:\\Other\\other.exe",
                  view);
        SetString(HKEY_LOCAL_MACHINE, windows + "Uninstall\\Other", "DisplayName", "Other", view);
        SetString(HKEY_LOCAL_MACHINE, windows + "Shell Extensions\\Approved",
                  "{00000000-0000-0000-0000-000000000001}", "Other extension", view);
        SetString(HKEY_LOCAL_MACHINE, "Software\\RegisteredApplications", "Other",
                  "Software\\Other\\Capabilities", view);
    }
}

} // namespace ozu::test
