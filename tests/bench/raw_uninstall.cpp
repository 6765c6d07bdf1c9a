// raw_uninstall: the floor of tools/bench-uninstall (not a test).
//
//   raw_uninstall.exe FOLDER
//
// The least work the removal of a listed installation can take: reads
// FOLDER\Uninstall.lst once (ANSI lines relative to FOLDER; an entry ending
// in a backslash is a folder), then deletes every listed entry exactly once,
// the files first, then the folders, deepest first, with one DeleteFileW or
// RemoveDirectoryW per entry and nothing else: no second reading, no
// inspection of what an entry is, no link checks, no log. Last the list
// itself goes. Prints the entries and what was removed; exit code 0 when the
// list could be read.
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

size_t Depth(const std::wstring& path) {
    return static_cast<size_t>(std::count(path.begin(), path.end(), L'\\'));
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: raw_uninstall.exe FOLDER\n", stderr);
        return 2;
    }
    std::wstring folder = argv[1];
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
        std::wstring path = folder + AnsiToWide(line);
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
    int removed = 0;
    for (const std::wstring& file : files) {
        removed += DeleteFileW(file.c_str()) != 0 ? 1 : 0;
    }
    for (const std::wstring& path : folders) {
        removed += RemoveDirectoryW(path.c_str()) != 0 ? 1 : 0;
    }
    DeleteFileW(listPath.c_str());
    std::printf("entries %zu (files %zu, folders %zu), removed %d\n", files.size() + folders.size(),
                files.size(), folders.size(), removed);
    return 0;
}
