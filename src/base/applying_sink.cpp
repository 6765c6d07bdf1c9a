// The applying sink: the system's work of every change (the registry's in
// applying_registry.cpp). The sinks' files are the only code of the program
// that changes the machine.
#include <windows.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstddef>

#include "base/change_sink.h"
#include "base/com_ptr.h"
#include "base/file_system.h"
#include "base/format.h"
#include "base/handle_info.h"
#include "base/new_file.h"
#include "base/paths.h"
#include "base/sink_work.h"
#include "base/text.h"
#include "base/win32_text.h"

namespace ozu {
namespace {

constexpr uint32_t kInTheWay =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
// The attributes that survive the clearing (the others cannot be set).
constexpr uint32_t kKept = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                           FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_TEMPORARY;

std::u16string Terminated(std::u16string_view text) {
    return std::u16string(text);
}

DWORD LastErrorOr(bool ok) {
    if (ok) {
        return ERROR_SUCCESS;
    }
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

bool RenameByHandle(HANDLE handle, std::u16string_view target, bool replace) {
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
    const size_t nameBytes = name.size() * sizeof(char16_t);
    const size_t bufferBytes = buffer.size() * sizeof(char16_t);
    info->FileNameLength = static_cast<DWORD>(nameBytes);
    return Calls().setInfo(handle, FileRenameInfo, info, static_cast<DWORD>(bufferBytes)) != FALSE;
}

bool MoveByName(std::u16string_view from, std::u16string_view to) {
    if (::MoveFileW(W(Terminated(from)), W(Terminated(to)))) {
        return true;
    }
    std::u16string longFrom, longTo;
    return ToExtendedLengthPath(from, longFrom) && ToExtendedLengthPath(to, longTo) &&
           ::MoveFileW(W(longFrom), W(longTo));
}

bool DeleteByName(std::u16string_view path, bool folder) {
    return WithExtendedRetry(
        path,
        [&](const wchar_t* name) {
            return (folder ? ::RemoveDirectoryW(name) : ::DeleteFileW(name)) != FALSE;
        },
        [](bool ok) { return !ok; });
}

// A file this run made and did not finish goes again, through its handle
// where the system can (it is gone once the handle is closed).
void DiscardNewFile(FileHandle file, std::u16string_view path) {
    if (Calls().setInfo != nullptr) {
        FILE_DISPOSITION_INFO disposition{TRUE};
        Calls().setInfo(file.Get(), FileDispositionInfo, &disposition, sizeof disposition);
        return;
    }
    // Before Vista there is no deletion through a handle: the file made and
    // checked a moment ago goes by name once it is closed.
    file.Reset();
    DeleteByName(path, false);
}

// Puts the new file at `path` in place of `target` (in the same folder)
// through its handle, with these attributes (0: as it is), replacing what
// stands there: a link at `target` is replaced itself, never written
// through. On failure the new file goes again.
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

// The names tried for the new file beside the replaced one: this process's
// own, so that two saves at once never meet, and a few more where something
// already stands at one (nothing that stands there is ever opened).
constexpr unsigned kTemporaryNames = 8;
// Numbers are written into 20 characters.
constexpr size_t kNumberCapacity = 20;

FileHandle CreateTemporaryBeside(std::u16string_view path, std::u16string& temporary) {
    constexpr DWORD kAccess = GENERIC_WRITE | FILE_WRITE_ATTRIBUTES;
    for (unsigned attempt = 0; attempt < kTemporaryNames; ++attempt) {
        temporary = std::u16string(path) + u"." +
                    FormatDecimal(::GetCurrentProcessId(), kNumberCapacity) + u"." +
                    FormatDecimal(attempt, kNumberCapacity) + u".tmp";
        FileHandle file = CreatePlainNewFile(temporary, kAccess, FILE_SHARE_READ);
        if (file) {
            return file;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS &&
            error != ERROR_ACCESS_DENIED) {
            return {};
        }
    }
    return {};
}

// Replaces the file at `path` by `bytes` so that it is never seen half
// written: the content goes to a new file of a name of its own beside it,
// made and checked through its handle (no link, one name, where it was
// named), which then takes the old file's place through that same handle.
// Nothing that stands at any name is written through or moved. On any
// failure the new file goes again and the old file is left as it was.
bool ReplaceFileContent(std::u16string_view path, std::string_view bytes) {
    // A read-only file is not to be changed (the system would refuse to
    // replace it, but not every system checks that on a rename).
    const uint32_t attributes = QueryAttributes(path);
    if (attributes != kInvalidAttributes && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    std::u16string temporary;
    FileHandle file = CreateTemporaryBeside(path, temporary);
    if (!file) {
        return false;
    }
    if (!WriteAll(file.Get(), bytes) || !::FlushFileBuffers(file.Get())) {
        const DWORD error = ::GetLastError();
        DiscardNewFile(std::move(file), temporary);
        ::SetLastError(error);
        return false;
    }
    // Keep a hidden or system file hidden or system.
    const uint32_t kept = attributes == kInvalidAttributes
                              ? 0
                              : attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    return PutNewFileInPlace(std::move(file), temporary, path, kept);
}

// A new file of these bytes, made through a checked handle; one that could
// not be written whole goes again.
bool CreateNewFile(std::u16string_view path, std::string_view bytes) {
    FileHandle file = CreatePlainNewFile(path, GENERIC_WRITE);
    if (!file) {
        return false;
    }
    if (!WriteAll(file.Get(), bytes)) {
        const DWORD error = ::GetLastError();
        DiscardNewFile(std::move(file), path);
        ::SetLastError(error);
        return false;
    }
    return true;
}

// Writes a shell link through the shell-link object. With ExistingLink::Keep
// an existing shortcut is loaded first, so properties not set here survive.
DWORD SaveShortcut(const ShortcutFacts& facts) {
    ComPtr<IShellLinkW> link;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, link.PutVoid());
    ComPtr<IPersistFile> file;
    if (SUCCEEDED(result)) {
        result = link.As(file);
    }
    if (FAILED(result)) {
        return static_cast<DWORD>(result);
    }
    const std::u16string path = Terminated(facts.path);
    if (facts.existing == ExistingLink::Keep) {
        file->Load(W(path), STGM_READWRITE);
    }
    link->SetPath(W(Terminated(facts.target)));
    if (facts.description) {
        link->SetDescription(W(Terminated(*facts.description)));
    }
    link->SetIconLocation(W(Terminated(facts.iconFile)), 0);
    if (facts.arguments) {
        link->SetArguments(W(Terminated(*facts.arguments)));
    }
    if (facts.workingFolder) {
        link->SetWorkingDirectory(W(Terminated(*facts.workingFolder)));
    }
    result = file->Save(W(path), TRUE);
    return SUCCEEDED(result) ? ERROR_SUCCESS : static_cast<DWORD>(result);
}

// Runs the interpreter hidden, from the current folder's parent so that the
// folder itself is not in use.
bool StartInterpreter(const Change& change) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    ::SetCurrentDirectoryW(L"..");
    std::u16string command(change.command);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(W(Terminated(change.path)), W(command.data()), nullptr, nullptr, TRUE, 0,
                          nullptr, nullptr, &startup, &process)) {
        return false;
    }
    const KernelHandle thread(process.hThread);
    const KernelHandle child(process.hProcess);
    return true;
}

DWORD ApplyFile(const Change& change) {
    switch (change.kind) {
    case ChangeKind::ReplaceFile:
        return LastErrorOr(ReplaceFileContent(change.path, change.bytes));
    case ChangeKind::DeleteChecked:
        return CheckedEntryChanges::Delete(*change.entry);
    case ChangeKind::RenameChecked:
        return CheckedEntryChanges::Rename(*change.entry, change.target);
    case ChangeKind::ScheduleDeletion:
        return LastErrorOr(WithExtendedRetry(
            change.target.data() != nullptr ? change.target : change.path,
            [](const wchar_t* name) {
                return ::MoveFileExW(name, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
            },
            [](bool ok) { return !ok; }));
    case ChangeKind::CreateFolder:
        return LastErrorOr(WithExtendedRetry(
            change.path,
            [](const wchar_t* name) { return ::CreateDirectoryW(name, nullptr) != FALSE; },
            [](bool ok) { return !ok; }));
    case ChangeKind::CreateFile:
        return LastErrorOr(CreateNewFile(change.path, change.bytes));
    case ChangeKind::SaveShortcut:
        return SaveShortcut(*change.shortcut);
    case ChangeKind::StartInterpreter:
        return LastErrorOr(StartInterpreter(change));
    case ChangeKind::OpenFolder:
        // The shell's answer above 32 is success.
        return reinterpret_cast<INT_PTR>(::ShellExecuteW(
                   nullptr, L"open", W(Terminated(change.path)), nullptr, L"", SW_SHOWNORMAL)) > 32
                   ? ERROR_SUCCESS
                   : ERROR_GEN_FAILURE;
    default:
        return ERROR_SUCCESS; // the portable file's entries change in memory
    }
}

bool IsRegistryKind(ChangeKind kind) {
    return kind <= ChangeKind::DeleteTree;
}

class Applying final : public ChangeSink {
public:
    DWORD Make(const Change& change) override {
        const DWORD error = ApplyChange(change);
        RecordChange(change, error, MadeWord());
        ::SetLastError(error);
        return error;
    }
    std::u16string_view MadeWord() const override { return u"done"; }
};

} // namespace

DWORD CheckedEntryChanges::Refusal(const CheckedEntry& entry) {
    if (!entry.handle_ || !entry.canChange_) {
        return ERROR_SHARING_VIOLATION;
    }
    // Hidden and system do not stand in the way; read-only does, and is
    // cleared only where no other name shares it.
    return entry.ReadOnlyWithOtherNames() ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

DWORD CheckedEntryChanges::Delete(CheckedEntry& entry) {
    if (const DWORD refused = Refusal(entry)) {
        return refused;
    }
    if ((entry.attributes_ & kInTheWay) != 0 && entry.links_ == 1) {
        const uint32_t wanted = (entry.attributes_ & kKept) != 0 ? (entry.attributes_ & kKept)
                                                                 : uint32_t{FILE_ATTRIBUTE_NORMAL};
        bool cleared;
        if (const SetInfoFn setInfo = Calls().setInfo) {
            FILE_BASIC_INFO basic{}; // times of zero stay as they are
            basic.FileAttributes = wanted;
            cleared = setInfo(entry.handle_.Get(), FileBasicInfo, &basic, sizeof basic) != FALSE;
        } else {
            cleared = WithExtendedRetry(
                entry.path_,
                [&](const wchar_t* name) { return ::SetFileAttributesW(name, wanted) != FALSE; },
                [](bool ok) { return !ok; });
        }
        if (cleared) {
            entry.attributes_ =
                (entry.attributes_ & ~kInTheWay) | (entry.kind_ == DiskEntry::Folder ? 0 : wanted);
        } else if ((entry.attributes_ & FILE_ATTRIBUTE_READONLY) != 0) {
            return ERROR_ACCESS_DENIED;
        }
    }
    bool deleted;
    if (const SetInfoFn setInfo = Calls().setInfo) {
        FILE_DISPOSITION_INFO disposition{TRUE};
        deleted = setInfo(entry.handle_.Get(), FileDispositionInfo, &disposition,
                          sizeof disposition) != FALSE;
    } else {
        // Our handle shares deletion: the entry goes when it is closed.
        deleted = DeleteByName(entry.path_, entry.kind_ == DiskEntry::Folder);
    }
    if (!deleted) {
        return LastErrorOr(false);
    }
    entry.handle_.Reset();
    entry.kind_ = DiskEntry::Missing;
    return ERROR_SUCCESS;
}

DWORD CheckedEntryChanges::Rename(CheckedEntry& entry, std::u16string_view target) {
    if (!entry.handle_ || !entry.canChange_) {
        return ERROR_SHARING_VIOLATION;
    }
    const bool renamed = Calls().setInfo != nullptr
                             ? RenameByHandle(entry.handle_.Get(), target, false)
                             : MoveByName(entry.path_, target);
    if (!renamed) {
        return LastErrorOr(false);
    }
    entry.path_ = target;
    return ERROR_SUCCESS;
}

DWORD ApplyChange(const Change& change) {
    return IsRegistryKind(change.kind) ? static_cast<DWORD>(ApplyRegistryChange(change))
                                       : ApplyFile(change);
}

ChangeSink& ApplyingSink() {
    static Applying sink;
    return sink;
}

} // namespace ozu
