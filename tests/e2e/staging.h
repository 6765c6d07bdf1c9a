// A staged installation of the archiver for end-to-end runs: a folder with
// the built uninstall.exe and dummy files of the archiver, and a clean start
// for everything that setup writes into the registry and the shell.
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "support/registry_probe.h"
#include "support/ui_session.h"

namespace ozu::test {

inline void WriteTextFile(const std::wstring& path, const std::string& bytes) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file)
        return;
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

inline void DeleteFolder(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    std::wstring from = path + L'\0';
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    SHFileOperationW(&operation);
}

inline std::wstring ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return L"";
    return path;
}

inline const wchar_t* const kExtensionClsids[] = {
    L"{3F9A61C2-7A15-4B8E-A2C4-7E19D0B35F68}",
    L"{3F9A61C2-6415-4B8E-A2C4-7E19D0B35F68}",
};

inline const wchar_t* const kArchiveExtensions[] = {
    L".ozu",  L".zip",  L".cab", L".arj", L".lz",  L".tlz", L".lzh", L".lha",
    L".7z",   L".tar",  L".gz",  L".tgz", L".uue", L".xxe", L".uu",  L".bz2",
    L".tbz2", L".bz",   L".tbz", L".jar", L".iso", L".z",   L".taz", L".xz",
    L".txz",  L".zipx", L".001", L".ace", L".rev", L".r00", L".r01",
};

inline const std::wstring kAppPathKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Mivora.exe";
inline const std::wstring kUninstallKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Mivora archiver";

inline void DeleteValue(HKEY root, const std::wstring& key, const std::wstring& name,
                        REGSAM view = 0) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE | view, &handle) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(handle, name.c_str());
    RegCloseKey(handle);
}

// Removes whatever a setup wrote, so that a test starts from a system that
// has never seen the archiver, and later tests of the same prefix find it so
// too: the stored choices, the classes and extensions (with the family
// format's volume extensions), the shell extension's handlers and approvals,
// the application path, the uninstall entry and the shortcuts.
inline void ClearIntegration() {
    DeleteTree(HKEY_CURRENT_USER, L"Software\\Mivora");
    for (REGSAM view : {REGSAM(0), REGSAM(KEY_WOW64_64KEY)}) {
        DeleteTree(HKEY_LOCAL_MACHINE, L"Software\\Mivora", view);
        DeleteTree(HKEY_LOCAL_MACHINE, kAppPathKey, view);
        DeleteTree(HKEY_LOCAL_MACHINE, kUninstallKey, view);
        DeleteValue(HKEY_LOCAL_MACHINE, L"Software\\RegisteredApplications", L"Mivora", view);
        for (const wchar_t* clsid : kExtensionClsids) {
            DeleteValue(HKEY_LOCAL_MACHINE,
                        L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
                        clsid, view);
            for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
                std::wstring classes = L"Software\\Classes\\";
                DeleteTree(root, classes + L"CLSID\\" + clsid, view);
                DeleteTree(root, classes + L"exefile\\shellex\\PropertySheetHandlers\\" + clsid,
                           view);
            }
        }
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            std::wstring classes = L"Software\\Classes\\";
            for (const wchar_t* name : {L"Mivora", L"Mivora.ZIP", L"Mivora.REV"})
                DeleteTree(root, classes + name, view);
            for (const wchar_t* ext : kArchiveExtensions)
                DeleteTree(root, classes + ext, view);
            for (int volume = 0; volume < 100; ++volume) {
                wchar_t ext[8];
                swprintf(ext, 8, L".o%02d", volume);
                DeleteTree(root, classes + ext, view);
            }
            for (const wchar_t* handler : {L"Mivora", L"Mivora32"}) {
                for (const wchar_t* where :
                     {L"*\\shellex\\ContextMenuHandlers\\",
                      L"Folder\\shellex\\ContextMenuHandlers\\",
                      L"Folder\\shellex\\DragDropHandlers\\", L"Drive\\shellex\\DragDropHandlers\\",
                      L"lnkfile\\shellex\\ContextMenuHandlers\\",
                      L"Directory\\shellex\\ContextMenuHandlers\\",
                      L"Directory\\shellex\\DragDropHandlers\\"})
                    DeleteTree(root, classes + where + handler, view);
            }
        }
    }
    for (int csidl : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS}) {
        std::wstring folder = ShellFolder(csidl);
        if (!folder.empty())
            DeleteFolder(folder + L"\\Mivora");
    }
    for (int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_STARTMENU,
                      CSIDL_COMMON_STARTMENU}) {
        std::wstring folder = ShellFolder(csidl);
        if (!folder.empty())
            DeleteFileW((folder + L"\\Mivora.lnk").c_str());
    }
}

// A fresh installation folder below the temporary folder, holding the built
// program and the archiver's files (dummies: only their existence matters).
struct Installation {
    std::wstring folder;

    std::wstring Program() const { return folder + L"\\uninstall.exe"; }
    std::wstring File(const std::wstring& name) const { return folder + L"\\" + name; }

    static Installation Stage(const std::wstring& name) {
        Installation installation;
        std::wstring root = TempFolder() + L"ozu-e2e";
        CreateDirectoryW(root.c_str(), nullptr);
        installation.folder = root + L"\\" + name;
        DeleteFolder(installation.folder);
        CreateDirectoryW(installation.folder.c_str(), nullptr);
        CopyFileW(WinePath(OZU_UNINSTALL_EXE).c_str(), installation.Program().c_str(), FALSE);
        for (const wchar_t* file : {L"Mivora.exe", L"ozuext.dll", L"ozuext64.dll", L"Mivora.chm",
                                    L"Ozu.txt", L"WhatsNew.txt", L"license.txt"})
            WriteTextFile(installation.File(file), "placeholder of the archiver's file\r\n");
        WriteTextFile(installation.File(L"Uninstall.lst"),
                      "Mivora.exe\r\nozuext.dll\r\nozuext64.dll\r\nMivora.chm\r\nOzu.txt\r\n"
                      "WhatsNew.txt\r\nlicense.txt\r\nuninstall.exe\r\n");
        return installation;
    }

    // The program's command line for the driver's "launch".
    std::wstring Launch(const std::wstring& arguments) const {
        return L"launch \"" + Program() + L"\" " + arguments;
    }
};

// A text of the program's own string table.
inline std::wstring ProgramString(UINT id) {
    HMODULE program =
        LoadLibraryExW(WinePath(OZU_UNINSTALL_EXE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    wchar_t buffer[1024] = {};
    if (program) {
        LoadStringW(program, id, buffer, 1024);
        FreeLibrary(program);
    }
    return buffer;
}

} // namespace ozu::test
