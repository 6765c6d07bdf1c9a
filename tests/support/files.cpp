#include "support/files.h"

#include <cstring>

#include "base/program_path.h"
#include "base/scoped_handle.h"
#include "support/links.h"
#include "support/text.h"

namespace ozu::test {

std::wstring TempPath() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    return temp;
}

std::wstring WinePath(std::string_view unixPath) {
    std::wstring path = L"Z:";
    for (char c : unixPath)
        path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return path;
}

std::wstring JoinW(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && folder.back() == L'\\')
        return folder + name;
    return folder + L"\\" + name;
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeFolder(const std::wstring& path) {
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == L'\\')
            CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    }
}

bool MakeFile(const std::wstring& path, std::string_view bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                                               &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

std::optional<std::string> ReadFileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got != 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

namespace {

void RemoveTreeExtended(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                RemoveLink(child.substr(4)); // through Win32 the target would go
                continue;
            }
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTreeExtended(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

} // namespace

void RemoveTree(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (path.size() < 3 || path[1] != L':' || attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        RemoveLink(path);
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
        return;
    }
    std::wstring extended = L"\\\\?\\" + path;
    while (extended.back() == L'\\')
        extended.pop_back();
    RemoveTreeExtended(extended);
}

std::wstring FreshFolder(const std::wstring& name) {
    const std::wstring folder = JoinW(TempPath(), name);
    RemoveTree(folder);
    MakeFolder(folder);
    return folder;
}

bool WaitUntilGone(const std::wstring& path, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (FileExists(path)) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(100);
    }
    return true;
}

TempFolder::TempFolder() {
    static unsigned counter = 0;
    const std::wstring base = TempPath() + L"ozu_test_" + std::to_wstring(GetCurrentProcessId());
    std::wstring path;
    do
        path = base + L"_" + std::to_wstring(++counter);
    while (!CreateDirectoryW(path.c_str(), nullptr));
    path_.assign(path.begin(), path.end());
}

void WriteList(const std::wstring& folder, const std::vector<std::string>& entries) {
    std::string bytes;
    for (const std::string& entry : entries)
        bytes += entry + "\r\n";
    MakeFile(JoinW(folder, L"Uninstall.lst"), bytes);
}

const std::vector<std::string> kArchiverFiles = {
    "Mivora.exe", "ozuext.dll",   "ozuext64.dll", "Mivora.chm",
    "Ozu.txt",    "WhatsNew.txt", "license.txt",  "uninstall.exe",
};

Installation Installation::Stage(const std::wstring& folder,
                                 const std::vector<std::string>& entries) {
    Installation installation;
    installation.folder =
        folder.size() > 1 && folder[1] == L':' ? folder : TempPath() + L"ozu-e2e\\" + folder;
    RemoveTree(installation.folder);
    MakeFolder(installation.folder);
    CopyFileW(WinePath(OZU_UNINSTALL_EXE).c_str(), installation.Program().c_str(), FALSE);
    for (const std::string& entry : entries) {
        const std::wstring path = installation.File(FromUtf8(entry));
        if (entry.find('.') == std::string::npos)
            MakeFolder(path);
        else if (entry != "uninstall.exe" && entry != "Uninstall.lst" &&
                 entry.find("new.dat") == std::string::npos)
            MakeFile(path, entry);
    }
    WriteList(installation.folder, entries);
    return installation;
}

StagedProgram::StagedProgram() {
    const TempFolder unique; // a name no other test uses, taken over below
    folder_ = unique.Path() + u"-staged";
    CreateDirectoryW(reinterpret_cast<const wchar_t*>(folder_.c_str()), nullptr);
    SetProgramPathForTesting(PathOf(u"uninstall.exe"));
}

StagedProgram::~StagedProgram() {
    SetProgramPathForTesting(u"");
    RemoveTree(AsWide(folder_));
}

std::u16string StagedProgram::PathOf(std::u16string_view name) const {
    return folder_ + u"\\" + std::u16string(name);
}

void StagedProgram::PutFile(std::u16string_view name, std::string_view bytes) const {
    MakeFile(AsWide(PathOf(name)), bytes);
}

std::optional<std::string> StagedProgram::ReadFile(std::u16string_view name) const {
    return ReadFileBytes(AsWide(PathOf(name)));
}

std::wstring ProgramString(UINT id) {
    HMODULE program =
        LoadLibraryExW(WinePath(OZU_UNINSTALL_EXE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    wchar_t buffer[1024] = {};
    if (program) {
        LoadStringW(program, id, buffer, 1024);
        FreeLibrary(program);
    }
    return buffer;
}

HANDLE StartProcess(const std::wstring& commandLine) {
    std::wstring command = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return nullptr;
    CloseHandle(info.hThread);
    return info.hProcess;
}

int RunAndWait(const std::wstring& commandLine, DWORD timeoutMs, std::string* output) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    KernelHandle readEnd, writeEnd;
    FileHandle nul;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (output != nullptr) {
        HANDLE read = nullptr, write = nullptr;
        CreatePipe(&read, &write, &inherit, 0);
        readEnd.Reset(read);
        writeEnd.Reset(write);
        SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
        // Not the pipe for stderr: Wine hands the stderr of the first process
        // that needs the desktop to the explorer.exe it starts, which outlives
        // the run and would keep the pipe open for good.
        nul.Reset(CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              OPEN_EXISTING, 0, nullptr));
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = write;
        startup.hStdError = nul.Get();
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    }
    std::wstring command = commandLine;
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr,
                                        output != nullptr, 0, nullptr, nullptr, &startup, &info);
    // Only the child may hold the write end now, or the read never ends.
    writeEnd.Reset();
    nul.Reset();
    if (!started)
        return -1;
    const KernelHandle process(info.hProcess);
    CloseHandle(info.hThread);
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    if (output != nullptr) {
        // Until every holder of the write end has closed it, but never past
        // the deadline: a stray holder must fail the test, not hang it.
        for (;;) {
            DWORD available = 0;
            if (!PeekNamedPipe(readEnd.Get(), nullptr, 0, nullptr, &available, nullptr))
                break;
            if (available == 0) {
                if (GetTickCount64() >= deadline)
                    break;
                Sleep(20);
                continue;
            }
            char buffer[4096];
            DWORD got = 0;
            if (!ReadFile(readEnd.Get(), buffer, sizeof buffer, &got, nullptr) || got == 0)
                break;
            output->append(buffer, got);
        }
    }
    const ULONGLONG now = GetTickCount64();
    const DWORD waited =
        WaitForSingleObject(process.Get(), now < deadline ? static_cast<DWORD>(deadline - now) : 0);
    DWORD code = static_cast<DWORD>(-1);
    if (waited == WAIT_OBJECT_0)
        GetExitCodeProcess(process.Get(), &code);
    else
        TerminateProcess(process.Get(), 1);
    return waited == WAIT_OBJECT_0 ? static_cast<int>(code) : -1;
}

namespace {

// The limited token that an elevated process's administrator has beside it,
// as a primary token to start a process without elevation; null without one.
HANDLE LimitedToken() {
    HANDLE own = nullptr;
    TOKEN_LINKED_TOKEN linked{};
    DWORD size = 0;
    HANDLE primary = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own) &&
        GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size)) {
        DuplicateTokenEx(linked.LinkedToken, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation,
                         TokenPrimary, &primary);
        CloseHandle(linked.LinkedToken);
    }
    if (own)
        CloseHandle(own);
    return primary;
}

} // namespace

LockHolder::LockHolder(const char* mode, const std::wstring& path, bool elevated) {
    static int count = 0;
    const std::wstring event = L"ozu-lock-ready-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                               std::to_wstring(++count);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, event.c_str());
    std::wstring command = L"\"" + WinePath(OZU_LOCK_HELPER) + L"\" " + FromUtf8(mode) + L" \"" +
                           path + L"\" " + event;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    HANDLE limited = elevated ? nullptr : LimitedToken();
    const BOOL started =
        elevated
            ? CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process_)
            : limited && CreateProcessAsUserW(limited, nullptr, command.data(), nullptr, nullptr,
                                              FALSE, 0, nullptr, nullptr, &startup, &process_);
    if (started) {
        HANDLE both[] = {ready, process_.hProcess};
        held_ = WaitForMultipleObjects(2, both, FALSE, 30000) == WAIT_OBJECT_0;
    }
    if (limited)
        CloseHandle(limited);
    CloseHandle(ready);
}

LockHolder::~LockHolder() {
    if (process_.hProcess != nullptr) {
        TerminateProcess(process_.hProcess, 0);
        WaitForSingleObject(process_.hProcess, 10000);
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }
}

namespace {

constexpr wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingValue[] = L"PendingFileRenameOperations";

std::wstring WithoutNtPrefix(std::wstring path) {
    if (path.rfind(L"\\??\\", 0) == 0)
        path.erase(0, 4);
    return path;
}

} // namespace

std::vector<PendingOperation> PendingRenames() {
    std::vector<PendingOperation> operations;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != 0)
        return operations;
    DWORD size = 0;
    if (RegQueryValueExW(key, kPendingValue, nullptr, nullptr, nullptr, &size) == 0 && size) {
        std::wstring data(size / 2 + 2, L'\0');
        RegQueryValueExW(key, kPendingValue, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()),
                         &size);
        // An empty target is an empty string inside the list, so the pairs
        // are read by position up to the end of the data.
        std::vector<std::wstring> strings;
        for (size_t pos = 0; pos < size / 2;) {
            std::wstring item(data.c_str() + pos);
            pos += item.size() + 1;
            strings.push_back(std::move(item));
        }
        for (size_t i = 0; i + 1 < strings.size() && !strings[i].empty(); i += 2)
            operations.push_back({WithoutNtPrefix(strings[i]), WithoutNtPrefix(strings[i + 1])});
    }
    RegCloseKey(key);
    return operations;
}

void ClearPendingRenames() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) == 0) {
        RegDeleteValueW(key, kPendingValue);
        RegCloseKey(key);
    }
}

bool IsScheduledForDeletion(const std::wstring& path) {
    for (const PendingOperation& op : PendingRenames()) {
        if (op.target.empty() &&
            CompareStringOrdinal(op.source.c_str(), -1, path.c_str(), -1, TRUE) == CSTR_EQUAL)
            return true;
    }
    return false;
}

} // namespace ozu::test
