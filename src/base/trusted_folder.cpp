#include "base/trusted_folder.h"

#include "base/change_plan.h"
#include "base/file_system.h"
#include "base/paths.h"
#include "base/system_text.h"
#include "base/win32_text.h"

#include <cstddef>

namespace ozu {

namespace {

using GetInfoFn = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
using SetInfoFn = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

// The calls on an open handle that Windows has since Vista. Without them
// (XP) the entry is still opened and checked through its handle, but acted on
// by name, and the folders on the way are checked one by one.
struct HandleCalls {
    GetInfoFn getInfo;
    SetInfoFn setInfo;
    FinalPathFn finalPath;
};

template <typename Fn> Fn Lookup(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

const HandleCalls& Calls() {
    static const HandleCalls calls = [] {
        const HMODULE kernel = ::GetModuleHandleW(L"kernel32");
        return HandleCalls{Lookup<GetInfoFn>(kernel, "GetFileInformationByHandleEx"),
                           Lookup<SetInfoFn>(kernel, "SetFileInformationByHandle"),
                           Lookup<FinalPathFn>(kernel, "GetFinalPathNameByHandleW")};
    }();
    return calls;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A link at the end of the path is opened itself, not what it points to.
constexpr DWORD kNoFollow = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;
constexpr uint32_t kInTheWay =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
// The attributes that survive the clearing (the others cannot be set).
constexpr uint32_t kKept = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                           FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_TEMPORARY;

bool IsNothingThere(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_INVALID_NAME || error == ERROR_BAD_PATHNAME ||
           error == ERROR_FILENAME_EXCED_RANGE;
}

HANDLE OpenByName(std::u16string_view path, DWORD access, DWORD disposition, DWORD flags,
                  DWORD share = kShareAll) {
    return WithExtendedRetry(
        path,
        [&](const wchar_t* name) {
            return ::CreateFileW(name, access, share, nullptr, disposition, flags, nullptr);
        },
        [](HANDLE handle) { return handle == INVALID_HANDLE_VALUE; });
}

struct HandleFacts {
    uint32_t attributes = 0;
    uint32_t links = 1;
    uint64_t size = 0;
};

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
    } else if (!ToExtendedLengthPath(path, extended, kLongPathCapacity)) {
        return {};
    }
    extended[1] = u'?';
    extended[2] = u'?';
    return extended;
}

bool RenameByHandle(HANDLE handle, std::u16string_view target, bool replace = false) {
    const std::u16string name = NtFormOf(target);
    if (name.empty()) {
        return false;
    }
    // FILE_RENAME_INFO with the name in place of its one-character array,
    // built in a text buffer of whole characters.
    constexpr size_t kHeader = offsetof(FILE_RENAME_INFO, FileName) / sizeof(char16_t);
    std::u16string buffer(kHeader, u'\0');
    buffer += name;
    buffer += u'\0';
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(char16_t));
    return Calls().setInfo(handle, FileRenameInfo, info,
                           static_cast<DWORD>(buffer.size() * sizeof(char16_t))) != FALSE;
}

bool MoveByName(std::u16string_view from, std::u16string_view to) {
    const std::u16string plainFrom(from);
    const std::u16string plainTo(to);
    if (::MoveFileW(W(plainFrom), W(plainTo))) {
        return true;
    }
    std::u16string longFrom, longTo;
    return ToExtendedLengthPath(from, longFrom, kLongPathCapacity) &&
           ToExtendedLengthPath(to, longTo, kLongPathCapacity) &&
           ::MoveFileW(W(longFrom), W(longTo));
}

// The final path of the trusted folder itself, which may be reached through
// a link; with a trailing backslash, empty when it cannot be named.
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

// The full, long form of a path as the final path of its file would name it.
std::u16string ExpectedFinalPath(std::u16string_view path) {
    const std::u16string name(path);
    std::u16string full(kLongPathCapacity, u'\0');
    DWORD length = ::GetFullPathNameW(W(name), kLongPathCapacity, W(full.data()), nullptr);
    if (length == 0 || length >= kLongPathCapacity) {
        return {};
    }
    full.resize(length);
    std::u16string extended;
    if (!ToExtendedLengthPath(full, extended, kLongPathCapacity)) {
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

// The path of an open handle on its volume ("\\dir\\name", no drive); empty
// where the system cannot name it.
std::u16string VolumePathOf(HANDLE handle) {
    const GetInfoFn getInfo = Calls().getInfo;
    if (getInfo == nullptr) {
        return {};
    }
    std::u16string buffer(sizeof(FILE_NAME_INFO) / sizeof(char16_t) + kLongPathCapacity, u'\0');
    auto* info = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
    if (!getInfo(handle, FileNameInfo, info,
                 static_cast<DWORD>(buffer.size() * sizeof(char16_t)))) {
        return {};
    }
    return std::u16string(reinterpret_cast<const char16_t*>(info->FileName),
                          info->FileNameLength / sizeof(char16_t));
}

// Whether a folder holds nothing once the plan's removals are done, and the
// plan moved nothing into it.
bool PlannedEmpty(std::u16string_view folder) {
    if (PlanMakesSomethingBelow(folder)) {
        return false;
    }
    DirectoryScan scan;
    scan.SetMask(JoinPath(folder, u"*", kLongPathCapacity));
    FoundEntry entry;
    return !scan.Next(entry) && !entry.error;
}

// Sets the delete disposition of an open file and clears it again: whether
// the deletion would be taken, without deleting. The system's error when not.
bool ProbeDeletion(HANDLE handle) {
    const SetInfoFn setInfo = Calls().setInfo;
    if (setInfo == nullptr) {
        return true; // nothing to ask before Vista: the plan assumes it goes
    }
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (!setInfo(handle, FileDispositionInfo, &disposition, sizeof disposition)) {
        return false;
    }
    disposition.DeleteFile = FALSE;
    return setInfo(handle, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

DWORD VolumeSerialOf(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION information;
    return ::GetFileInformationByHandle(handle, &information) ? information.dwVolumeSerialNumber
                                                              : 0;
}

} // namespace

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

bool CheckedEntry::ClearAttributes() {
    if ((attributes_ & kInTheWay) == 0) {
        return true;
    }
    if (!handle_ || !canChange_ || links_ > 1) {
        return false;
    }
    const uint32_t wanted =
        (attributes_ & kKept) != 0 ? (attributes_ & kKept) : uint32_t{FILE_ATTRIBUTE_NORMAL};
    bool cleared;
    if (Planning()) {
        cleared = true; // the deletion that follows is planned, not made
    } else if (const SetInfoFn setInfo = Calls().setInfo) {
        FILE_BASIC_INFO basic{}; // times of zero stay as they are
        basic.FileAttributes = wanted;
        cleared = setInfo(handle_.Get(), FileBasicInfo, &basic, sizeof basic) != FALSE;
    } else {
        cleared = WithExtendedRetry(
            path_, [&](const wchar_t* name) { return ::SetFileAttributesW(name, wanted) != FALSE; },
            [](bool ok) { return !ok; });
    }
    if (cleared) {
        attributes_ = (attributes_ & ~kInTheWay) | (kind_ == DiskEntry::Folder ? 0 : wanted);
    }
    return cleared;
}

bool CheckedEntry::Delete() {
    if (!handle_ || !canChange_) {
        ::SetLastError(ERROR_SHARING_VIOLATION);
        return false;
    }
    // Hidden and system do not stand in the way; read-only does, and is
    // cleared only where no other name shares it.
    const bool readOnlyOnDisk = (attributes_ & FILE_ATTRIBUTE_READONLY) != 0;
    if (ReadOnlyWithOtherNames() ||
        (links_ == 1 && !ClearAttributes() && (attributes_ & FILE_ATTRIBUTE_READONLY) != 0)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    bool deleted;
    if (Planning()) {
        // A file that the system keeps from going (a library loaded by a
        // running program, say) refuses the deletion only when it is asked:
        // ask, and take the question back at once. A read-only file would
        // refuse for the attribute that the real run clears first.
        if (kind_ == DiskEntry::File && !readOnlyOnDisk && !ProbeDeletion(handle_.Get())) {
            return false;
        }
        // A folder goes only once it is empty, as the plan leaves it. Some
        // systems refuse to search a folder held open for deletion, so the
        // handle goes first: nothing is done through it while planning.
        handle_.Reset();
        deleted = kind_ != DiskEntry::Folder || PlannedEmpty(path_);
        if (deleted) {
            PlanGone(path_);
        } else {
            ::SetLastError(ERROR_DIR_NOT_EMPTY);
        }
    } else if (const SetInfoFn setInfo = Calls().setInfo) {
        FILE_DISPOSITION_INFO disposition{TRUE};
        deleted = setInfo(handle_.Get(), FileDispositionInfo, &disposition, sizeof disposition);
    } else {
        // Our handle shares deletion: the entry goes when it is closed.
        deleted = WithExtendedRetry(
            path_,
            [&](const wchar_t* name) {
                return (kind_ == DiskEntry::Folder ? ::RemoveDirectoryW(name)
                                                   : ::DeleteFileW(name)) != FALSE;
            },
            [](bool ok) { return !ok; });
    }
    if (!deleted) {
        return false;
    }
    handle_.Reset();
    kind_ = DiskEntry::Missing;
    return true;
}

bool CheckedEntry::RenameTo(std::u16string_view target) {
    if (!handle_ || !canChange_) {
        ::SetLastError(ERROR_SHARING_VIOLATION);
        return false;
    }
    if (Planning()) {
        PlanGone(path_);
        PlanMade(target, attributes_);
        path_ = target;
        return true;
    }
    const bool renamed = Calls().setInfo != nullptr ? RenameByHandle(handle_.Get(), target)
                                                    : MoveByName(path_, target);
    if (renamed) {
        path_ = target;
    }
    return renamed;
}

TrustedFolder::TrustedFolder(std::u16string_view folder) : folder_(folder) {
    EnsureTrailingSeparator(folder_, kLongPathCapacity);
    final_ = FinalFolderPath(folder_);
}

CheckedEntry TrustedFolder::Open(std::u16string_view path) const {
    return OpenWith(path, true);
}

std::optional<TrustedFolder> TrustedFolder::Hold(std::u16string_view path) const {
    CheckedEntry entry;
    entry.path_ = path;
    // Reading the attributes counts for no sharing: a search of the folder,
    // and the opening of its entries for deletion, still work.
    entry.handle_.Reset(OpenByName(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, kNoFollow,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE));
    if (!entry.handle_ || path.size() <= folder_.size() ||
        !SameFileName(path.substr(0, folder_.size()), folder_) || !Verify(entry) ||
        entry.kind_ != DiskEntry::Folder) {
        return std::nullopt;
    }
    TrustedFolder held;
    held.folder_ = path;
    EnsureTrailingSeparator(held.folder_, kLongPathCapacity);
    held.final_ = FinalPathOf(entry.handle_.Get());
    if (!held.final_.empty()) {
        EnsureTrailingSeparator(held.final_, kLongPathCapacity);
    } else if (!final_.empty()) {
        // Named by Verify only through its volume path: the same rest below
        // this folder's final path.
        held.final_ = final_ + std::u16string(path.substr(folder_.size()));
        EnsureTrailingSeparator(held.final_, kLongPathCapacity);
    }
    held.held_ = std::move(entry.handle_);
    return held;
}

DiskEntry TrustedFolder::Inspect(std::u16string_view path, uint32_t* attributes) const {
    const CheckedEntry entry = OpenWith(path, false);
    if (attributes) {
        *attributes = entry.Kind() == DiskEntry::Missing ? kInvalidAttributes : entry.Attributes();
    }
    return entry.Kind();
}

CheckedEntry TrustedFolder::OpenWith(std::u16string_view path, bool forChange) const {
    CheckedEntry entry;
    entry.path_ = path;
    entry.kind_ = DiskEntry::Link;
    if (path.size() <= folder_.size() || !SameFileName(path.substr(0, folder_.size()), folder_)) {
        return entry;
    }
    // What the plan removed or moved away is not there for the steps after.
    if (std::optional<uint32_t> planned = PlannedAttributes(path)) {
        if (*planned == kInvalidAttributes) {
            entry.kind_ = DiskEntry::Missing;
            return entry;
        }
    }
    if (forChange) {
        entry.handle_.Reset(OpenByName(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                       OPEN_EXISTING, kNoFollow));
        entry.canChange_ = entry.handle_.IsValid();
    }
    if (!entry.handle_) {
        // Held by a program that does not share its deletion, or only to be
        // looked at: reading the attributes is never refused for sharing.
        if (forChange && IsNothingThere(::GetLastError())) {
            entry.kind_ = DiskEntry::Missing;
            return entry;
        }
        entry.handle_.Reset(OpenByName(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, kNoFollow));
        if (!entry.handle_) {
            if (IsNothingThere(::GetLastError())) {
                entry.kind_ = DiskEntry::Missing;
            }
            return entry;
        }
    }
    if (!Verify(entry)) {
        entry.handle_.Reset();
        entry.canChange_ = false;
        entry.kind_ = DiskEntry::Link;
        return entry;
    }
    if (!forChange) {
        entry.handle_.Reset();
    }
    return entry;
}

bool TrustedFolder::Verify(CheckedEntry& entry) const {
    HandleFacts facts;
    if (!QueryFacts(entry.handle_.Get(), facts) || IsReparseAttr(facts.attributes)) {
        return false;
    }
    entry.attributes_ = facts.attributes;
    entry.links_ = facts.links;
    entry.size_ = facts.size;
    const std::u16string_view rest = std::u16string_view(entry.path_).substr(folder_.size());
    if (!final_.empty()) {
        // A link need not show a reparse attribute through its handle (under
        // Wine neither a file link nor a folder link does), but the system
        // names its target as the final path: the entry is plain when its
        // final path is the folder's with the same rest, which also rules out
        // a link anywhere in between.
        const std::u16string reached = ReachedPath(entry.handle_.Get());
        if (reached.size() != final_.size() + rest.size() ||
            !SameFileName(std::u16string_view(reached).substr(0, final_.size()), final_) ||
            !SameFileName(std::u16string_view(reached).substr(final_.size()), rest)) {
            return false;
        }
    } else {
        for (size_t slash = rest.find(u'\\'); slash != std::u16string_view::npos;
             slash = rest.find(u'\\', slash + 1)) {
            const uint32_t between =
                QueryAttributes(folder_ + std::u16string(rest.substr(0, slash)));
            if (between == kInvalidAttributes || IsReparseAttr(between)) {
                return false;
            }
        }
    }
    entry.kind_ = IsDirectoryAttr(facts.attributes) ? DiskEntry::Folder : DiskEntry::File;
    return true;
}

std::u16string TrustedFolder::ReachedPath(HANDLE handle) const {
    std::u16string reached = FinalPathOf(handle);
    if (!reached.empty()) {
        return reached;
    }
    // Some systems (Wine) name no final path beyond MAX_PATH. The handle's
    // path on its volume, on the folder's own volume, says the same.
    if (!volumeKnown_) {
        volumeKnown_ = true;
        FileHandle folder(
            OpenByName(folder_, FILE_READ_ATTRIBUTES, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
        std::u16string own = folder ? VolumePathOf(folder.Get()) : std::u16string();
        if (!own.empty()) {
            EnsureTrailingSeparator(own, kLongPathCapacity);
        }
        if (!own.empty() && final_.size() > own.size() &&
            SameFileName(std::u16string_view(final_).substr(final_.size() - own.size()), own)) {
            volumeRoot_ = final_.substr(0, final_.size() - own.size());
            volumeSerial_ = VolumeSerialOf(folder.Get());
        }
    }
    const std::u16string onVolume = VolumePathOf(handle);
    if (volumeRoot_.empty() || onVolume.empty() || VolumeSerialOf(handle) != volumeSerial_) {
        return {};
    }
    return volumeRoot_ + onVolume;
}

namespace {

// A file opened or made at `path` is the plain file of that one name: no link
// at it or on the way, and no second name that would carry the writing into
// another file.
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

// A file this run made goes again through its own handle (it is gone once
// the handle is closed).
void DeleteThroughHandle(HANDLE file) {
    if (Calls().setInfo != nullptr) {
        FILE_DISPOSITION_INFO disposition{TRUE};
        Calls().setInfo(file, FileDispositionInfo, &disposition, sizeof disposition);
    }
}

} // namespace

FileHandle CreatePlainNewFile(std::u16string_view path, DWORD access, DWORD share) {
    // CREATE_NEW fails on any name that exists, a link among them; a link on
    // the way (or a dangling one the system followed) shows in the check.
    FileHandle file(OpenByName(path, access | DELETE | FILE_READ_ATTRIBUTES, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, share));
    if (!file) {
        return {};
    }
    if (!IsPlainFileAt(file.Get(), path)) {
        DeleteThroughHandle(file.Get());
        ::SetLastError(ERROR_ACCESS_DENIED);
        return {};
    }
    return file;
}

void DiscardNewFile(FileHandle file, std::u16string_view path) {
    if (Calls().setInfo != nullptr) {
        DeleteThroughHandle(file.Get());
        return;
    }
    // Before Vista there is no deletion through a handle: the file made and
    // checked a moment ago goes by name once it is closed.
    file.Reset();
    WithExtendedRetry(
        path, [](const wchar_t* name) { return ::DeleteFileW(name) != FALSE; },
        [](bool ok) { return !ok; });
}

bool PutNewFileInPlace(FileHandle file, std::u16string_view path, std::u16string_view target,
                       uint32_t attributes) {
    bool placed;
    if (const SetInfoFn setInfo = Calls().setInfo) {
        FILE_BASIC_INFO basic{}; // times of zero stay as they are
        basic.FileAttributes = attributes;
        placed = (attributes == 0 || setInfo(file.Get(), FileBasicInfo, &basic, sizeof basic)) &&
                 RenameByHandle(file.Get(), target, true);
    } else {
        file.Reset();
        const std::u16string from(path);
        const std::u16string to(target);
        constexpr DWORD kFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
        placed = (attributes == 0 || ::SetFileAttributesW(W(from), attributes)) &&
                 ::MoveFileExW(W(from), W(to), kFlags);
    }
    if (!placed) {
        const DWORD error = ::GetLastError();
        DiscardNewFile(std::move(file), path);
        ::SetLastError(error);
    }
    return placed;
}

FileHandle OpenPlainFileForAppend(std::u16string_view path) {
    constexpr DWORD kShareReading = FILE_SHARE_READ | FILE_SHARE_WRITE;
    for (int attempt = 0; attempt < 2; ++attempt) {
        FileHandle file(OpenByName(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT, kShareReading));
        if (file) {
            return IsPlainFileAt(file.Get(), path) ? std::move(file) : FileHandle();
        }
        if (!IsNothingThere(::GetLastError())) {
            return {};
        }
        file = CreatePlainNewFile(path, FILE_APPEND_DATA, kShareReading);
        if (file || ::GetLastError() != ERROR_FILE_EXISTS) {
            return file;
        }
        // Made by someone else in between: look at it again.
    }
    return {};
}

} // namespace ozu
