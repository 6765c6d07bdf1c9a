#include "base/handle_info.h"

#include "base/file_system.h"
#include "base/paths.h"
#include "base/system_text.h"
#include "base/win32_text.h"

namespace ozu {
namespace {

template <typename Fn> Fn Lookup(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}
} // namespace

const HandleCalls& Calls() {
    static const HandleCalls calls = [] {
        const HMODULE kernel = ::GetModuleHandleW(L"kernel32");
        return HandleCalls{Lookup<GetInfoFn>(kernel, "GetFileInformationByHandleEx"),
                           Lookup<SetInfoFn>(kernel, "SetFileInformationByHandle"),
                           Lookup<FinalPathFn>(kernel, "GetFinalPathNameByHandleW")};
    }();
    return calls;
}

bool IsNothingThere(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_INVALID_NAME || error == ERROR_BAD_PATHNAME ||
           error == ERROR_FILENAME_EXCED_RANGE;
}

HANDLE OpenByName(std::u16string_view path, DWORD access, DWORD disposition, DWORD flags,
                  DWORD share) {
    return WithExtendedRetry(
        path,
        [&](const wchar_t* name) {
            return ::CreateFileW(name, access, share, nullptr, disposition, flags, nullptr);
        },
        [](HANDLE handle) { return handle == INVALID_HANDLE_VALUE; });
}

bool QueryFacts(HANDLE handle, HandleFacts& facts) {
    if (const GetInfoFn getInfo = Calls().getInfo) {
        // Not GetFileInformationByHandle: it also asks for the volume's
        // serial number, which costs more than all the rest together.
        FILE_BASIC_INFO basic;
        FILE_STANDARD_INFO standard;
        if (!getInfo(handle, FileBasicInfo, &basic, sizeof basic) ||
            !getInfo(handle, FileStandardInfo, &standard, sizeof standard)) {
            return false;
        }
        facts.attributes = basic.FileAttributes;
        facts.links = standard.NumberOfLinks;
        facts.size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
        return true;
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (!::GetFileInformationByHandle(handle, &information)) {
        return false;
    }
    facts.attributes = information.dwFileAttributes;
    facts.links = information.nNumberOfLinks;
    facts.size = (uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
    return true;
}

// "\??\C:\dir\name" (or "\??\UNC\server\...") for a full path: the form a
// rename through a handle takes on every system that has one.

std::u16string NtFormOf(std::u16string_view path) {
    std::u16string extended;
    if (path.substr(0, 4) == u"\\\\?\\") {
        extended = path;
    } else if (!ToExtendedLengthPath(path, extended)) {
        return {};
    }
    extended[1] = u'?';
    extended[2] = u'?';
    return extended;
}

std::u16string FinalFolderPath(std::u16string_view folder) {
    if (Calls().finalPath == nullptr) {
        return {};
    }
    FileHandle handle(
        OpenByName(folder, FILE_READ_ATTRIBUTES, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
    std::u16string text = handle ? FinalPathOf(handle.Get()) : std::u16string();
    if (!text.empty()) {
        EnsureTrailingSeparator(text, kLongPathCapacity);
    }
    return text;
}

std::u16string ExpectedFinalPath(std::u16string_view path) {
    const std::u16string name(path);
    std::u16string full(kLongPathCapacity, u'\0');
    DWORD length = ::GetFullPathNameW(W(name), kLongPathCapacity, W(full.data()), nullptr);
    if (length == 0 || length >= kLongPathCapacity) {
        return {};
    }
    full.resize(length);
    std::u16string extended;
    if (!ToExtendedLengthPath(full, extended)) {
        return {};
    }
    // Short (8.3) names in the path are the same file under its long name.
    std::u16string longForm(kLongPathCapacity, u'\0');
    length = ::GetLongPathNameW(W(extended), W(longForm.data()), kLongPathCapacity);
    if (length == 0 || length >= kLongPathCapacity) {
        return extended;
    }
    longForm.resize(length);
    return longForm;
}

std::u16string VolumePathOf(HANDLE handle) {
    const GetInfoFn getInfo = Calls().getInfo;
    if (getInfo == nullptr) {
        return {};
    }
    std::u16string buffer(sizeof(FILE_NAME_INFO) / sizeof(char16_t) + kLongPathCapacity, u'\0');
    auto* info = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
    const size_t bufferBytes = buffer.size() * sizeof(char16_t);
    if (!getInfo(handle, FileNameInfo, info, static_cast<DWORD>(bufferBytes))) {
        return {};
    }
    return std::u16string(reinterpret_cast<const char16_t*>(info->FileName),
                          info->FileNameLength / sizeof(char16_t));
}

// Whether a folder holds nothing once the plan's removals are done, and the
// plan moved nothing into it.
DWORD VolumeSerialOf(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION information;
    return ::GetFileInformationByHandle(handle, &information) ? information.dwVolumeSerialNumber
                                                              : 0;
}

std::u16string FinalPathOf(HANDLE handle) {
    const FinalPathFn finalPath = Calls().finalPath;
    if (finalPath == nullptr) {
        return {};
    }
    std::u16string text(kPathCapacity, u'\0');
    DWORD length = finalPath(handle, W(text.data()), static_cast<DWORD>(text.size()), 0);
    if (length >= text.size()) { // too small: the length needed, terminator included
        text.assign(length, u'\0');
        length = finalPath(handle, W(text.data()), static_cast<DWORD>(text.size()), 0);
    }
    if (length == 0 || length >= text.size()) {
        return {};
    }
    text.resize(length);
    return text;
}

bool IsPlainFileAt(HANDLE file, std::u16string_view path) {
    HandleFacts facts;
    if (!QueryFacts(file, facts) || IsReparseAttr(facts.attributes) ||
        IsDirectoryAttr(facts.attributes) || facts.links != 1) {
        return false;
    }
    if (Calls().finalPath == nullptr) {
        return true;
    }
    // The folder named is trusted as a TrustedFolder is, even when reached
    // through a link (a temporary folder moved to another drive, say): only
    // the file's own name must lead to the file itself.
    std::u16string expected;
    const std::u16string folder = FolderPartOf(path, kLongPathCapacity + 1);
    if (IsAbsolutePath(folder)) {
        expected = FinalFolderPath(folder);
        if (!expected.empty()) {
            expected += NameOf(path);
        }
    }
    if (expected.empty()) {
        expected = ExpectedFinalPath(path);
    }
    return !expected.empty() && SameFileName(FinalPathOf(file), expected);
}

} // namespace ozu
