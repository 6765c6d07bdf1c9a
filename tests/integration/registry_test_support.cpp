#include "registry_test_support.h"

#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "base/program_path.h"

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

// Every level is opened in the walk's view: a WOW64 process that opens
// "CLSID" below Software\Classes without a view lands in the 32-bit copy. The
// "Wow6432Node" keys are left out, since each view shows its own copy under
// the ordinary names.
void Walk(HKEY key, const std::string& path, std::vector<std::string>& lines, REGSAM view) {
    lines.push_back(path);
    for (const Value& v : ValuesOf(key))
        lines.push_back(path + " : \"" + Utf8(v.name) + "\" = " + Describe(v));
    for (const std::u16string& name : SubkeyNamesOf(key)) {
        if (EqualsNoCaseAscii(name, u"Wow6432Node"))
            continue;
        KeyHandle child;
        if (Open(key, name, KEY_READ | view, child))
            Walk(child.h, path + "\\" + Utf8(name), lines, view);
        else
            lines.push_back(path + "\\" + Utf8(name) + " (unreadable)");
    }
}

bool RunningUnderWow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

} // namespace

std::u16string Wide(std::string_view text) {
    if (text.empty())
        return {};
    std::u16string out(text.size(), u'\0');
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()),
                                      reinterpret_cast<wchar_t*>(out.data()), int(out.size()));
    out.resize(n);
    return out;
}

std::string Utf8(std::u16string_view text) {
    if (text.empty())
        return {};
    std::string out(text.size() * 3, '\0');
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(text.data()),
                            int(text.size()), out.data(), int(out.size()), nullptr, nullptr);
    out.resize(n);
    return out;
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

RegistryGuard::~RegistryGuard() {
    // Last kept first, so that a key kept twice ends as it was first seen.
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        DeleteTreeW(it->root, it->key, it->view);
        KeyHandle h;
        if (it->tree && Create(it->root, it->key, KEY_ALL_ACCESS | it->view, h))
            Rebuild(h.h, *it->tree);
    }
}

WriteDenied::WriteDenied(HKEY root, std::string_view key) : root_(root), key_(Wide(key)) {
    KeyHandle h;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!Create(root, key_, KEY_ALL_ACCESS, h) ||
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;KA;;;WD)(A;;KR;;;WD)",
                                                              SDDL_REVISION_1, &sd, nullptr))
        return;
    active_ = RegSetKeySecurity(h.h, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
    LocalFree(sd);
}

WriteDenied::~WriteDenied() {
    // The owner may always change the DACL, so the key can be opened for that.
    KeyHandle h;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (Open(root_, key_, WRITE_DAC, h) && ConvertStringSecurityDescriptorToSecurityDescriptorW(
                                               L"D:(A;;KA;;;WD)", SDDL_REVISION_1, &sd, nullptr)) {
        RegSetKeySecurity(h.h, DACL_SECURITY_INFORMATION, sd);
        LocalFree(sd);
    }
    DeleteTreeW(root_, key_, 0);
}

StagedProgram::StagedProgram() {
    static std::atomic<unsigned> counter{0};
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = reinterpret_cast<const char16_t*>(temp);
    if (!folder_.empty() && folder_.back() == u'\\')
        folder_.pop_back();
    folder_ += u"\\ozu-staged-" + Wide(std::to_string(GetCurrentProcessId())) + u"-" +
               Wide(std::to_string(counter++));
    CreateDirectoryW(Wp(folder_), nullptr);
    SetProgramPathForTesting(PathOf(u"uninstall.exe"));
}

StagedProgram::~StagedProgram() {
    SetProgramPathForTesting(u"");
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(Wp(folder_)), ignored);
}

std::u16string StagedProgram::PathOf(std::u16string_view name) const {
    return folder_ + u"\\" + std::u16string(name);
}

void StagedProgram::PutFile(std::u16string_view name, std::string_view bytes) const {
    std::ofstream out(std::filesystem::path(Wp(PathOf(name))), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

std::optional<std::string> StagedProgram::ReadFile(std::u16string_view name) const {
    std::ifstream in(std::filesystem::path(Wp(PathOf(name))), std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> ExportRegistry() {
    // HKEY_CLASSES_ROOT is the merge of the two Software\Classes keys, so it
    // is covered. On 32-bit Windows there is one view only.
    std::vector<REGSAM> views{KEY_WOW64_32KEY};
    if (RunningUnderWow64())
        views.push_back(KEY_WOW64_64KEY);
    std::vector<std::string> lines;
    for (const REGSAM view : views) {
        const std::string label = view == KEY_WOW64_32KEY ? "[32] " : "[64] ";
        for (const auto& [root, name] :
             {std::pair{HKEY_LOCAL_MACHINE, "HKLM"}, std::pair{HKEY_CURRENT_USER, "HKCU"}}) {
            KeyHandle key;
            if (Open(root, u"Software", KEY_READ | view, key))
                Walk(key.h, label + name + "\\Software", lines, view);
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

void KeepIntegrationKeys(RegistryGuard& guard) {
    const HKEY hkcr = HKEY_CLASSES_ROOT, hklm = HKEY_LOCAL_MACHINE;
    for (const char* key : {".ozu",
                            ".zip",
                            ".cab",
                            ".arj",
                            ".lz",
                            ".tlz",
                            ".lzh",
                            ".lha",
                            ".7z",
                            ".tar",
                            ".gz",
                            ".tgz",
                            ".uue",
                            ".xxe",
                            ".uu",
                            ".bz2",
                            ".tbz2",
                            ".bz",
                            ".tbz",
                            ".jar",
                            ".iso",
                            ".z",
                            ".taz",
                            ".xz",
                            ".txz",
                            ".zipx",
                            ".001",
                            ".ace",
                            ".rev",
                            "Mivora",
                            "Mivora.ZIP",
                            "Mivora.REV",
                            "*\\shellex",
                            "Folder\\shellex",
                            "Drive\\shellex",
                            "lnkfile\\shellex",
                            "exefile\\shellex",
                            "Directory\\shellex"})
        guard.Keep(hkcr, key);
    for (unsigned n = 0; n < 100; ++n)
        guard.Keep(hkcr, ".o" + std::to_string(n / 10) + std::to_string(n % 10));
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        for (const char* clsid :
             {"{3F9A61C2-7A15-4B8E-A2C4-7E19D0B35F68}", "{3F9A61C2-6415-4B8E-A2C4-7E19D0B35F68}"})
            guard.Keep(hkcr, std::string("CLSID\\") + clsid, view);
        for (const char* key :
             {"Software\\Mivora", "Software\\RegisteredApplications",
              "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Mivora.exe",
              "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Mivora archiver",
              "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved"})
            guard.Keep(hklm, key, view);
    }
    guard.Keep(HKEY_CURRENT_USER, "Software\\Mivora");
}

std::u16string ShellFolder(int csidl) {
    wchar_t path[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return {};
    return reinterpret_cast<const char16_t*>(path);
}

void RemoveShortcuts() {
    std::error_code ignored;
    for (const int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_STARTMENU,
                            CSIDL_COMMON_STARTMENU}) {
        const std::u16string folder = ShellFolder(csidl);
        if (!folder.empty())
            std::filesystem::remove(std::filesystem::path(Wp(folder + u"\\Mivora.lnk")), ignored);
    }
    for (const int csidl : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS}) {
        const std::u16string folder = ShellFolder(csidl);
        if (!folder.empty())
            std::filesystem::remove_all(std::filesystem::path(Wp(folder + u"\\Mivora")), ignored);
    }
}

} // namespace ozu::test
