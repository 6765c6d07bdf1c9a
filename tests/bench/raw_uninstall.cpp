// raw_uninstall: the floor of tools/bench-uninstall (not a test).
//
//   raw_uninstall.exe [/checked] FOLDER
//
// The least work the removal of a listed installation can take: reads
// FOLDER\Uninstall.lst once (ANSI lines relative to FOLDER; an entry ending
// in a backslash is a folder), then deletes every listed entry exactly once,
// the files first, then the folders, deepest first, with one DeleteFileW or
// RemoveDirectoryW per entry and nothing else: no second reading, no
// inspection of what an entry is, no link checks, no log. Last the list
// itself goes. Prints the entries and what was removed; exit code 0 when the
// list could be read.
//
// /checked adds, and only adds, the checks the program makes of every entry
// before it deletes it, through the same calls: the entry opened without
// following a link, its attributes and count of names read through the
// handle, its final path compared with the folder's final path and the
// entry's rest, and the deletion through that handle. What the program does
// beyond that (its start, the integration's removal, the record, the log,
// the batch file) is the difference between it and this floor.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

// As long as the program's longest list line, so both cut lines alike.
constexpr size_t kLineBytes = 2047;

std::string_view TrimLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
        line.remove_suffix(1);
    }
    return line;
}

std::wstring AnsiToWide(std::string_view text) {
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), size);
    return wide;
}

bool ReadAll(const std::wstring& path, std::string& text) {
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) {
        return false;
    }
    char buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        text.append(buffer, got);
    }
    std::fclose(file);
    return true;
}

// The system's final path of what `handle` names, or nothing.
std::wstring FinalPath(HANDLE handle) {
    std::wstring text(MAX_PATH, L'\0');
    DWORD length =
        GetFinalPathNameByHandleW(handle, text.data(), static_cast<DWORD>(text.size()), 0);
    if (length >= text.size()) {
        text.assign(length, L'\0');
        length = GetFinalPathNameByHandleW(handle, text.data(), static_cast<DWORD>(text.size()), 0);
    }
    text.resize(length < text.size() ? length : 0);
    return text;
}

// Deletes `rest` below `folder` as the program does, once it has checked that
// it is a plain entry of the kind listed, reached through no link, and not
// read-only with other names (whose attribute it shares).
bool DeleteChecked(const std::wstring& folder, const std::wstring& folderFinal,
                   const std::wstring& rest, bool isFolder) {
    const std::wstring path = folder + rest;
    HANDLE handle =
        CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    FILE_BASIC_INFO basic;
    FILE_STANDARD_INFO standard;
    bool plain =
        GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) &&
        GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) &&
        (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
        ((basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == isFolder &&
        ((basic.FileAttributes & FILE_ATTRIBUTE_READONLY) == 0 || standard.NumberOfLinks == 1);
    if (plain) {
        const std::wstring expected = folderFinal + rest;
        const std::wstring reached = FinalPath(handle);
        plain =
            CompareStringOrdinal(reached.data(), static_cast<int>(reached.size()), expected.data(),
                                 static_cast<int>(expected.size()), TRUE) == CSTR_EQUAL;
    }
    FILE_DISPOSITION_INFO disposition{TRUE};
    const bool deleted = plain && SetFileInformationByHandle(handle, FileDispositionInfo,
                                                             &disposition, sizeof disposition);
    CloseHandle(handle);
    return deleted;
}

size_t Depth(const std::wstring& path) {
    return static_cast<size_t>(std::count(path.begin(), path.end(), L'\\'));
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const bool checked = argc == 3 && std::wstring_view(argv[1]) == L"/checked";
    if (argc != 2 && !checked) {
        std::fputs("usage: raw_uninstall.exe [/checked] FOLDER\n", stderr);
        return 2;
    }
    std::wstring folder = argv[argc - 1];
    if (folder.empty() || folder.back() != L'\\') {
        folder += L'\\';
    }
    const std::wstring listPath = folder + L"Uninstall.lst";
    std::string text;
    if (!ReadAll(listPath, text)) {
        std::fputs("raw_uninstall: cannot read the list\n", stderr);
        return 1;
    }
    std::vector<std::wstring> files;
    std::vector<std::wstring> folders;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string_view line =
            TrimLine(std::string_view(text).substr(start, std::min(end - start, kLineBytes)));
        start = end + 1;
        if (line.empty()) {
            continue;
        }
        std::wstring path = AnsiToWide(line);
        if (path.back() == L'\\') {
            path.pop_back();
            folders.push_back(std::move(path));
        } else {
            files.push_back(std::move(path));
        }
    }
    // A folder can go only once what it holds is gone.
    std::stable_sort(
        folders.begin(), folders.end(),
        [](const std::wstring& a, const std::wstring& b) { return Depth(a) > Depth(b); });
    std::wstring folderFinal;
    if (checked) {
        HANDLE handle = CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            folderFinal = FinalPath(handle);
            CloseHandle(handle);
        }
        if (folderFinal.empty()) {
            std::fputs("raw_uninstall: the folder has no final path\n", stderr);
            return 1;
        }
        folderFinal += L'\\';
    }
    const auto remove = [&](const std::wstring& rest, bool isFolder) {
        if (checked) {
            return DeleteChecked(folder, folderFinal, rest, isFolder);
        }
        const std::wstring path = folder + rest;
        return (isFolder ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str())) != 0;
    };
    int removed = 0;
    for (const std::wstring& file : files) {
        removed += remove(file, false) ? 1 : 0;
    }
    for (const std::wstring& path : folders) {
        removed += remove(path, true) ? 1 : 0;
    }
    DeleteFileW(listPath.c_str());
    std::printf("entries %zu (files %zu, folders %zu), removed %d\n", files.size() + folders.size(),
                files.size(), folders.size(), removed);
    return 0;
}
