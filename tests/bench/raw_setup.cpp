// raw_setup: the floor of tools/bench-setup (not a test).
//
//   raw_setup.exe DATAFILE
//   raw_setup.exe /describe SHORTCUT   prints the S line that recreates SHORTCUT
//
// Makes what DATAFILE lists, in one process, with nothing around the system
// calls: the side effects of a setup without its checks or records. The data
// file comes from a real "uninstall.exe /setup /S" (tools/bench-setup makes
// it from exports of the registry and listings of the prefix's files before
// and after), so this makes what setup made. Its lines are UTF-8, fields
// separated by tabs, done in file order:
//   K  KEY                        a key that setup created without values
//   V  KEY  NAME  TYPE  HEXDATA   a value (TYPE as a number, the data's bytes in hex)
//   D  FOLDER                     a folder that setup created (a program group)
//   F  FILE  HEXDATA              a file that setup wrote (a template for new archives)
//   S  SHORTCUT  TARGET  ARGUMENTS  WORKING-FOLDER  DESCRIPTION  ICON-FILE  ICON-INDEX
//                                 a shortcut, through IShellLinkW and
//                                 IPersistFile::Save (empty fields are not set)
// KEY begins with HKEY_LOCAL_MACHINE\ or HKEY_CURRENT_USER\ and names the
// 64-bit view, where the 32-bit view's keys appear under Wow6432Node; one
// RegCreateKeyExW whenever the key changes from the previous line and one
// RegSetValueExW per value. Last comes the one shell notification of changed
// associations. Prints what it made; exit code 0 when every line was made.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::wstring Utf8ToWide(std::string_view text) {
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), size);
    return wide;
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool HexBytes(std::string_view hex, std::vector<BYTE>& bytes) {
    bytes.clear();
    if (hex.size() % 2 != 0) {
        return false;
    }
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigit(hex[i]);
        const int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        bytes.push_back(static_cast<BYTE>(high * 16 + low));
    }
    return true;
}

// The data file is read whole before the first registry call, so that its
// reading is not part of what is measured against setup.
bool ReadLines(const wchar_t* path, std::vector<std::string>& lines) {
    std::FILE* file = _wfopen(path, L"rb");
    if (file == nullptr) {
        return false;
    }
    std::string text;
    char buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        text.append(buffer, got);
    }
    std::fclose(file);
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            lines.push_back(std::move(line));
        }
        start = end + 1;
    }
    return true;
}

std::string WideToUtf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), size, nullptr, nullptr);
    narrow.pop_back();
    return narrow;
}

bool WriteFileBytes(std::string_view path, const std::vector<BYTE>& bytes) {
    const HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool done =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0 &&
        written == bytes.size();
    CloseHandle(file);
    return done;
}

// fields: S, path, target, arguments, working folder, description, icon file, icon index.
bool SaveShortcut(const std::vector<std::string_view>& fields) {
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
        return false;
    }
    link->SetPath(Utf8ToWide(fields[2]).c_str());
    if (!fields[3].empty()) {
        link->SetArguments(Utf8ToWide(fields[3]).c_str());
    }
    if (!fields[4].empty()) {
        link->SetWorkingDirectory(Utf8ToWide(fields[4]).c_str());
    }
    if (!fields[5].empty()) {
        link->SetDescription(Utf8ToWide(fields[5]).c_str());
    }
    if (!fields[6].empty()) {
        link->SetIconLocation(Utf8ToWide(fields[6]).c_str(),
                              std::atoi(std::string(fields[7]).c_str()));
    }
    IPersistFile* file = nullptr;
    bool done = SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
    if (done) {
        done = SUCCEEDED(file->Save(Utf8ToWide(fields[1]).c_str(), TRUE));
        file->Release();
    }
    link->Release();
    return done;
}

// The S line of an existing shortcut: how tools/bench-setup learns what
// setup's shortcuts hold.
int Describe(const wchar_t* path) {
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))) ||
        FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) ||
        FAILED(file->Load(path, STGM_READ))) {
        std::fputs("raw_setup: cannot read the shortcut\n", stderr);
        return 1;
    }
    wchar_t target[MAX_PATH] = L"", arguments[INFOTIPSIZE] = L"", folder[MAX_PATH] = L"";
    wchar_t description[INFOTIPSIZE] = L"", icon[MAX_PATH] = L"";
    int index = 0;
    link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetArguments(arguments, INFOTIPSIZE);
    link->GetWorkingDirectory(folder, MAX_PATH);
    link->GetDescription(description, INFOTIPSIZE);
    link->GetIconLocation(icon, MAX_PATH, &index);
    std::printf("S\t%s\t%s\t%s\t%s\t%s\t%s\t%d\n", WideToUtf8(path).c_str(),
                WideToUtf8(target).c_str(), WideToUtf8(arguments).c_str(),
                WideToUtf8(folder).c_str(), WideToUtf8(description).c_str(),
                WideToUtf8(icon).c_str(), index);
    file->Release();
    link->Release();
    return 0;
}

class Writer {
public:
    ~Writer() { Close(); }

    // Opens (creating as needed) KEY unless it is the one already open.
    bool Open(std::string_view keyText) {
        if (open_ != nullptr && keyText == openText_) {
            return true;
        }
        Close();
        const std::wstring key = Utf8ToWide(keyText);
        const size_t slash = key.find(L'\\');
        const std::wstring root = key.substr(0, slash);
        const std::wstring sub = slash == std::wstring::npos ? L"" : key.substr(slash + 1);
        HKEY base;
        if (root == L"HKEY_LOCAL_MACHINE") {
            base = HKEY_LOCAL_MACHINE;
        } else if (root == L"HKEY_CURRENT_USER") {
            base = HKEY_CURRENT_USER;
        } else {
            return false;
        }
        if (RegCreateKeyExW(base, sub.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                            nullptr, &open_, nullptr) != ERROR_SUCCESS) {
            open_ = nullptr;
            return false;
        }
        openText_.assign(keyText);
        ++keys;
        return true;
    }

    bool Set(std::string_view name, DWORD type, const std::vector<BYTE>& data) {
        const std::wstring wideName = Utf8ToWide(name);
        if (RegSetValueExW(open_, wideName.c_str(), 0, type, data.data(),
                           static_cast<DWORD>(data.size())) != ERROR_SUCCESS) {
            return false;
        }
        ++values;
        return true;
    }

    int keys = 0;
    int values = 0;

private:
    void Close() {
        if (open_ != nullptr) {
            RegCloseKey(open_);
            open_ = nullptr;
        }
    }

    HKEY open_ = nullptr;
    std::string openText_;
};

} // namespace

int wmain(int argc, wchar_t** argv) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (argc == 3 && std::wstring_view(argv[1]) == L"/describe") {
        return Describe(argv[2]);
    }
    if (argc != 2) {
        std::fputs("usage: raw_setup.exe DATAFILE | /describe SHORTCUT\n", stderr);
        return 2;
    }
    std::vector<std::string> lines;
    if (!ReadLines(argv[1], lines)) {
        std::fputs("raw_setup: cannot read the data file\n", stderr);
        return 1;
    }
    Writer writer;
    int failed = 0;
    int folders = 0;
    int files = 0;
    int shortcuts = 0;
    std::vector<BYTE> data;
    for (const std::string& line : lines) {
        const std::vector<std::string_view> fields = Fields(line);
        bool done = false;
        if (fields.size() == 2 && fields[0] == "K") {
            done = writer.Open(fields[1]);
        } else if (fields.size() == 5 && fields[0] == "V" && HexBytes(fields[4], data)) {
            const DWORD type = std::strtoul(std::string(fields[3]).c_str(), nullptr, 10);
            done = writer.Open(fields[1]) && writer.Set(fields[2], type, data);
        } else if (fields.size() == 2 && fields[0] == "D") {
            done = CreateDirectoryW(Utf8ToWide(fields[1]).c_str(), nullptr) != 0;
            folders += done ? 1 : 0;
        } else if (fields.size() == 3 && fields[0] == "F" && HexBytes(fields[2], data)) {
            done = WriteFileBytes(fields[1], data);
            files += done ? 1 : 0;
        } else if (fields.size() == 8 && fields[0] == "S") {
            done = SaveShortcut(fields);
            shortcuts += done ? 1 : 0;
        }
        if (!done) {
            ++failed;
            std::fprintf(stderr, "raw_setup: not written: %s\n", line.c_str());
        }
    }
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    std::printf("keys opened %d, values written %d, folders %d, files %d, shortcuts %d, "
                "lines failed %d\n",
                writer.keys, writer.values, folders, files, shortcuts, failed);
    return failed == 0 ? 0 : 1;
}
