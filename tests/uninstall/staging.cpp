#include "staging.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace ozu::testing {

std::wstring JoinW(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && folder.back() == L'\\') {
        return folder + name;
    }
    return folder + L"\\" + name;
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeFolder(const std::wstring& path) {
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == L'\\') {
            CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
        }
    }
}

void MakeFile(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::string ReadBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got != 0) {
        bytes.append(buffer, got);
    }
    CloseHandle(file);
    return bytes;
}

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(JoinW(path, L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            std::wstring child = JoinW(path, name);
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

std::wstring FreshFolder(const std::wstring& name) {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    std::wstring folder = JoinW(temp, name);
    RemoveTree(folder);
    MakeFolder(folder);
    return folder;
}

void WriteList(const std::wstring& folder, const std::vector<std::string>& entries) {
    std::string bytes;
    for (const std::string& entry : entries) {
        bytes += entry + "\r\n";
    }
    MakeFile(JoinW(folder, L"Uninstall.lst"), bytes);
}

namespace {
constexpr wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingValue[] = L"PendingFileRenameOperations";

std::wstring WithoutNtPrefix(std::wstring path) {
    if (path.rfind(L"\\??\\", 0) == 0) {
        path.erase(0, 4);
    }
    return path;
}
} // namespace

std::vector<PendingOperation> PendingRenames() {
    std::vector<PendingOperation> operations;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != 0) {
        return operations;
    }
    DWORD size = 0;
    if (RegQueryValueExW(key, kPendingValue, nullptr, nullptr, nullptr, &size) == 0 && size) {
        std::wstring data(size / 2 + 2, L'\0');
        RegQueryValueExW(key, kPendingValue, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()),
                         &size);
        std::vector<std::wstring> strings;
        size_t pos = 0;
        size_t end = size / 2;
        while (pos < end) {
            std::wstring item(data.c_str() + pos);
            strings.push_back(item);
            pos += item.size() + 1;
        }
        for (size_t i = 0; i + 1 < strings.size(); i += 2) {
            if (strings[i].empty()) {
                break; // the closing empty string
            }
            operations.push_back({WithoutNtPrefix(strings[i]), WithoutNtPrefix(strings[i + 1])});
        }
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
            CompareStringOrdinal(op.source.c_str(), -1, path.c_str(), -1, TRUE) == CSTR_EQUAL) {
            return true;
        }
    }
    return false;
}

std::wstring BuildTreePath(const char* unixPath) {
    std::wstring path = L"Z:";
    for (const char* c = unixPath; *c; ++c) {
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
    }
    return path;
}

int RunAndWait(const std::wstring& commandLine, DWORD timeoutMs, std::string* output) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (output != nullptr) {
        CreatePipe(&readEnd, &writeEnd, &inherit, 0);
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = writeEnd;
        startup.hStdError = writeEnd;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    }
    std::wstring command = commandLine;
    PROCESS_INFORMATION process{};
    BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, output != nullptr, 0,
                                  nullptr, nullptr, &startup, &process);
    if (writeEnd != nullptr) {
        CloseHandle(writeEnd);
    }
    if (!started) {
        if (readEnd != nullptr) {
            CloseHandle(readEnd);
        }
        return -1;
    }
    if (output != nullptr) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got != 0) {
            output->append(buffer, got);
        }
        CloseHandle(readEnd);
    }
    DWORD waited = WaitForSingleObject(process.hProcess, timeoutMs);
    DWORD code = static_cast<DWORD>(-1);
    if (waited == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    } else {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return waited == WAIT_OBJECT_0 ? static_cast<int>(code) : -1;
}

LockHolder::LockHolder(const char* mode, const std::wstring& path) {
    static int count = 0;
    std::wstring event = L"ozu-lock-ready-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                         std::to_wstring(++count);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, event.c_str());
    std::wstring command = L"\"" + BuildTreePath(OZU_LOCK_HELPER) + L"\" " +
                           std::wstring(mode, mode + std::strlen(mode)) + L" \"" + path + L"\" " +
                           event;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process_)) {
        HANDLE both[] = {ready, process_.hProcess};
        held_ = WaitForMultipleObjects(2, both, FALSE, 30000) == WAIT_OBJECT_0;
    }
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

bool WaitUntilGone(const std::wstring& path, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (FileExists(path)) {
        if (GetTickCount() - start > timeoutMs) {
            return false;
        }
        Sleep(100);
    }
    return true;
}

} // namespace ozu::testing

namespace ozu::testing {

namespace {

std::string Utf8(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
}

std::string Hex(const BYTE* data, DWORD size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (DWORD i = 0; i < size; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 15];
    }
    return text;
}

void DumpKey(HKEY root, const std::wstring& path, REGSAM view, const std::string& label,
             std::vector<std::string>& lines) {
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != 0) {
        return;
    }
    // Wine keeps its own run-time state there, which has nothing to do with us.
    if (root == HKEY_CURRENT_USER && path == L"Software\\Wine") {
        return;
    }
    lines.push_back(label + Utf8(path));
    std::vector<wchar_t> name(16384);
    std::vector<BYTE> data(1 << 16);
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueW(key, i, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize) !=
            0) {
            break;
        }
        lines.push_back(label + Utf8(path) + " | " + Utf8(std::wstring(name.data(), nameSize)) +
                        " | " + std::to_string(type) + " | " + Hex(data.data(), dataSize));
    }
    std::vector<std::wstring> children;
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        if (RegEnumKeyExW(key, i, name.data(), &nameSize, nullptr, nullptr, nullptr, nullptr) !=
            0) {
            break;
        }
        children.emplace_back(name.data(), nameSize);
    }
    RegCloseKey(key);
    for (const std::wstring& child : children) {
        DumpKey(root, path + L"\\" + child, view, label, lines);
    }
}

} // namespace

std::vector<std::string> RegistrySnapshot() {
    std::vector<std::string> lines;
    DumpKey(HKEY_LOCAL_MACHINE, L"Software", KEY_WOW64_32KEY, "HKLM32\\", lines);
    DumpKey(HKEY_LOCAL_MACHINE, L"Software", KEY_WOW64_64KEY, "HKLM64\\", lines);
    DumpKey(HKEY_CURRENT_USER, L"Software", 0, "HKCU\\", lines);
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::vector<std::string> SnapshotDifferences(const std::vector<std::string>& before,
                                             const std::vector<std::string>& after) {
    std::vector<std::string> gone;
    std::vector<std::string> added;
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(),
                        std::back_inserter(gone));
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                        std::back_inserter(added));
    std::vector<std::string> differences;
    for (const std::string& line : gone) {
        differences.push_back("- " + line);
    }
    for (const std::string& line : added) {
        differences.push_back("+ " + line);
    }
    return differences;
}

std::wstring ClassOf(const std::wstring& key) {
    wchar_t value[512];
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value,
                     &size) != 0) {
        return L"<none>";
    }
    return value;
}

void SetClass(const std::wstring& key, const std::wstring& value) {
    RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

} // namespace ozu::testing
