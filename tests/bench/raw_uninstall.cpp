// raw_uninstall: the baseline of tools/bench-uninstall (not a test).
//
//   raw_uninstall.exe FOLDER
//
// Deletes what FOLDER\Uninstall.lst lists the way uninstall.exe reads it
// (ANSI lines relative to FOLDER, the list read again from its start as long
// as a reading removed something), but with nothing around the system calls:
// one DeleteFileW per file entry and one RemoveDirectoryW per folder entry
// (an entry ending in a backslash), no inspection of what an entry is, no
// link checks, no log. Last the list itself goes. Prints the readings and
// the entries removed; exit code 0 when the list could be read.
#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace {

// As long as the program's longest list line, so both cut lines alike.
constexpr int kLineBytes = 2047;

std::string_view TrimLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ' ||
                             line.back() == '\t')) {
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

// One reading of the list from its start; the entries it removed.
int RemoveListed(std::FILE* list, const std::wstring& folder) {
    int removed = 0;
    char buffer[kLineBytes + 1];
    std::rewind(list);
    while (std::fgets(buffer, sizeof buffer, list) != nullptr) {
        std::string_view line = TrimLine(buffer);
        if (line.empty()) {
            continue;
        }
        std::wstring path = folder + AnsiToWide(line);
        bool done;
        if (path.back() == L'\\') {
            path.pop_back();
            done = RemoveDirectoryW(path.c_str()) != 0;
        } else {
            done = DeleteFileW(path.c_str()) != 0;
        }
        removed += done ? 1 : 0;
    }
    return removed;
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
    std::FILE* list = _wfopen(listPath.c_str(), L"rb");
    if (list == nullptr) {
        std::fputs("raw_uninstall: cannot open the list\n", stderr);
        return 1;
    }
    int readings = 0;
    int total = 0;
    for (int removed = 1; removed != 0;) {
        removed = RemoveListed(list, folder);
        total += removed;
        ++readings;
    }
    std::fclose(list);
    DeleteFileW(listPath.c_str());
    std::printf("readings %d, entries removed %d\n", readings, total);
    return 0;
}
