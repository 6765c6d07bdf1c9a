// Texts by id from the language file, the language library or the program's
// own string table; the language library and the language folder.
#include "localization/localized_strings.h"

#include <algorithm>

#include "base/file_system.h"
#include "base/paths.h"
#include "base/program_path.h"
#include "base/reg_key.h"
#include "base/scoped_handle.h"
#include "base/win32_text.h"
#include "localization/language_table.h"
#include "settings/reg_location.h"

namespace ozu {
namespace {

// The one process-wide holder of the language library.
struct LanguageLibrary {
    ModuleHandle library;
    HINSTANCE program = nullptr;
};

LanguageLibrary& Library() {
    static LanguageLibrary holder;
    return holder;
}

// Windows XP SP2 and later can map a library as a plain data file, so that no
// code of it ever runs; older systems can only load it as a module.
bool CanLoadAsDataFile() {
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
        return true;
    }
#pragma GCC diagnostic pop
    if (info.dwPlatformId != VER_PLATFORM_WIN32_NT) {
        return false;
    }
    return info.dwMajorVersion > 5 || (info.dwMajorVersion == 5 && info.wServicePackMajor >= 2);
}

// The string `id` of a module's string table, read in place (LoadStringW with
// no buffer hands out the resource itself), cut to capacity - 1 characters.
bool LoadResourceString(HINSTANCE module, uint32_t id, std::u16string& out, size_t capacity) {
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) {
        return false;
    }
    const size_t room = capacity == 0 ? 0 : capacity - 1;
    out.assign(U(text), std::min(static_cast<size_t>(length), room));
    return true;
}

} // namespace

HINSTANCE ProgramInstance() {
    const LanguageLibrary& holder = Library();
    return holder.program != nullptr ? holder.program : ::GetModuleHandleW(nullptr);
}

HINSTANCE ResourceModule() {
    const LanguageLibrary& holder = Library();
    return holder.library ? holder.library.Get() : ProgramInstance();
}

void ReleaseLanguageLibrary() {
    Library().library.Reset();
}

void LoadLanguageLibrary(HINSTANCE program) {
    LanguageLibrary& holder = Library();
    holder.library.Reset();
    holder.program = program;
    std::u16string path = ProgramPath();
    ReplaceNamePart(path, u"ozulng.dll", kPathCapacity);
    path = FindInLanguageFolder(path);
    const HMODULE library = CanLoadAsDataFile()
                                ? ::LoadLibraryExW(W(path), nullptr, LOAD_LIBRARY_AS_DATAFILE)
                                : ::LoadLibraryW(W(path));
    // A missing library is no error: the program's own texts stand in.
    holder.library.Reset(library);
}

std::u16string FindInLanguageFolder(std::u16string_view name) {
    std::u16string result(name.substr(0, std::min(name.size(), kPathCapacity - 1)));
    // Read directly from the user's registry: the language folder is a
    // per-user choice even when the settings live in a portable file.
    constexpr RegLocation kGeneral = RegLocation::Settings(RegScope::User, u"General");
    RegKey key;
    if (key.Open(kGeneral.Root(), kGeneral.Path(), KEY_QUERY_VALUE) != ERROR_SUCCESS) {
        return result;
    }
    // The folder may take what the name leaves of a path buffer.
    if (result.size() >= kPathCapacity - 1) {
        return result;
    }
    const size_t room = kPathCapacity - 1 - result.size();
    // The value's type is not checked: REG_SZ and REG_EXPAND_SZ both work. A
    // stored value need not carry its terminator; one character more than the
    // room is read, so that a folder that does not fit is told from one that
    // just fits, and never taken cut.
    std::u16string folder;
    if (key.ReadString(u"LanguageFolder", folder, room + 2) != ERROR_SUCCESS ||
        folder.size() > room) {
        return result;
    }
    key.Close();
    // An empty value names no folder; taken as is, it would make the bare name
    // a lookup in the current folder.
    if (folder.empty()) {
        return result;
    }
    std::u16string expanded(kPathCapacity, u'\0');
    const DWORD needed = ::ExpandEnvironmentStringsW(W(folder), W(expanded.data()), kPathCapacity);
    if (needed == 0 || needed > kPathCapacity) {
        return result;
    }
    expanded.resize(needed - 1);
    std::u16string candidate = JoinPath(expanded, NameOf(name), kPathCapacity);
    if (PathExists(candidate)) {
        result = std::move(candidate);
    }
    return result;
}

void StartLanguage(std::u16string_view name) {
    LanguageTable& table = LanguageTable::Instance();
    table.Load(FindInLanguageFolder(name));
    // A language library for a right-to-left language carries an "RTL" dialog.
    if (::FindResourceW(ResourceModule(), L"RTL", RT_DIALOG) != nullptr) {
        table.SetRightToLeft(true);
    }
    if (table.IsRightToLeft()) {
        ::SetProcessDefaultLayout(LAYOUT_RTL);
    }
}

bool LoadLocalizedString(uint32_t id, std::u16string& out, size_t capacity) {
    out.clear();
    if (LanguageTable::Instance().FindTextById(id, kStringsSection, out, capacity)) {
        return true;
    }
    const HINSTANCE resources = ResourceModule();
    if (LoadResourceString(resources, id, out, capacity)) {
        return true;
    }
    if (resources != ProgramInstance() &&
        LoadResourceString(ProgramInstance(), id, out, capacity)) {
        return true;
    }
    out.clear();
    return false;
}

std::u16string GetLocalizedString(uint32_t id) {
    std::u16string text;
    LoadLocalizedString(id, text, kLocalizedStringCapacity);
    return text;
}

} // namespace ozu
