// Real links for tests. Under Wine a link is a Unix symbolic link, which
// Windows' own calls neither make nor remove reliably (removing one through
// them reaches its target), so the Unix tools do both, started through Wine.
#pragma once

#include <windows.h>

#include <string>

namespace ozu::test {

inline std::wstring UnixNameOf(const std::wstring& path) {
    using UnixNameFn = char*(CDECL*)(LPCWSTR);
    const auto unixName = reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName ? unixName(path.c_str()) : nullptr;
    if (!name) {
        return {};
    }
    std::wstring result(name, name + strlen(name)); // the test paths are ASCII
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

// Runs a Unix tool and polls until `done` holds: Wine gives no waitable
// handle for a Unix process.
template <typename Done> bool RunUnixTool(std::wstring command, Done done) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    for (int i = 0; i < 100 && !done(); ++i) {
        Sleep(50);
    }
    return done();
}

// Makes `link` a symbolic link to the existing file or folder `target`;
// false when this system cannot.
inline bool MakeLink(const std::wstring& link, const std::wstring& target) {
    const DWORD targetAttributes = GetFileAttributesW(target.c_str());
    const std::wstring unixTarget = UnixNameOf(target);
    const std::wstring unixLink = UnixNameOf(link);
    const auto made = [&] { return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; };
    if (unixTarget.empty() || unixLink.empty()) {
        const DWORD flags =
            (targetAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
        return CreateSymbolicLinkW(link.c_str(), target.c_str(), flags) && made();
    }
    return RunUnixTool(L"Z:\\bin\\ln -s \"" + unixTarget + L"\" \"" + unixLink + L"\"", made);
}

// Makes `link` a second name (a hard link) of the existing file `target`;
// false when this system cannot.
inline bool MakeHardLink(const std::wstring& link, const std::wstring& target) {
    const std::wstring unixTarget = UnixNameOf(target);
    const std::wstring unixLink = UnixNameOf(link);
    const auto made = [&] { return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; };
    if (unixTarget.empty() || unixLink.empty()) {
        return CreateHardLinkW(link.c_str(), target.c_str(), nullptr) && made();
    }
    return RunUnixTool(L"Z:\\bin\\ln \"" + unixTarget + L"\" \"" + unixLink + L"\"", made);
}

// Removes the link itself, never what it points to.
inline void RemoveLink(const std::wstring& link) {
    const std::wstring unixLink = UnixNameOf(link);
    const auto gone = [&] { return GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; };
    if (unixLink.empty()) {
        RemoveDirectoryW(link.c_str()) || DeleteFileW(link.c_str());
        return;
    }
    RunUnixTool(L"Z:\\bin\\rm -f \"" + unixLink + L"\"", gone);
}

} // namespace ozu::test
