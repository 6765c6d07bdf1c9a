#include "control/uninstall.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <optional>
#include <string>
#include <vector>

#include "base/file_system.h"
#include "base/format.h"
#include "base/program_path.h"
#include "base/run_log.h"
#include "base/paths.h"
#include "base/system_text.h"
#include "base/text.h"
#include "base/win32_text.h"
#include "control/batch_script.h"
#include "control/switches.h"
#include "control/uninstall_list.h"
#include "dialogs/message_box.h"
#include "integration/integration.h"
#include "localization/localized_strings.h"
#include "res/resource.h"

namespace ozu {

namespace {

// The texts kept for the restart notice, which comes after the language
// library has been released.
constexpr size_t kSavedTextCapacity = 256;
// The list file's error names the list in a text of at most 199 characters.
constexpr size_t kListErrorCapacity = 200;

constexpr std::u16string_view kHelpIndexFiles[] = {u"mivora.gid", u"mivora.fts"};

bool SameNameNoCase(std::u16string_view a, std::u16string_view b) {
    return SystemCompareNoCase(a, b) == 0;
}

// The working values of one run.
struct UninstallRun {
    std::u16string programPath;
    std::u16string programFolder; // with its trailing backslash
    std::optional<TrustedFolder> installation;
    bool rebootPending = false;
    // Refusals and files in use are counted, logged and scheduled in the
    // first reading only; later readings meet the same entries again.
    bool firstReading = true;
    RunReport report;
};

// A file that can't be deleted now (in use) moves out of the way to a free
// temporary name, so that a new installation can put its own file there, and
// goes at the next restart. The running program and the list file are left
// to the batch file and to the end of the procedure. Only a file that really
// is scheduled is promised away in the restart notice.
void ScheduleLockedFile(const std::u16string& path, UninstallRun& run) {
    if (!run.firstReading) {
        return;
    }
    std::u16string_view name = NameOf(path);
    if (SameNameNoCase(name, NameOf(run.programPath))) {
        LogEvent(u"file kept for the batch file (the running program): %s", path);
        return;
    }
    if (SameNameNoCase(name, kListFileName)) {
        LogEvent(u"file kept until the end (the list file): %s", path);
        return;
    }
    std::u16string target = FindFreeTempName(path, PathExists);
    if (target.size() >= kPathCapacity || !MoveFileW(W(path), W(target))) {
        target = path;
    }
    if (MoveFileExW(W(target), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        run.rebootPending = true;
        ++run.report.scheduled;
        LogEvent(u"file in use, renamed to %s and scheduled for deletion at restart: %s", target,
                 path);
        return;
    }
    const DWORD error = GetLastError();
    if (target != path) {
        MoveFileW(W(target), W(path)); // it stays, under its own name
    }
    LogEvent(u"file kept: in use, and it could not be scheduled for deletion at restart (%u): %s",
             error, path);
}

void Refuse(std::u16string_view why, std::u16string_view entry, UninstallRun& run) {
    if (run.firstReading) {
        ++run.report.refused;
        LogEvent(u"entry refused (%s): %s", why, entry);
    }
}

// What an entry of the installation is on disk. A link, and anything reached
// through one, is left alone: it is not the installer's, and deleting it
// could reach what it points to.
DiskEntry InspectEntry(const UninstallRun& run, const std::u16string& path, uint32_t& attributes) {
    DiskEntry kind = run.installation->Inspect(path, &attributes);
    if (kind != DiskEntry::Missing && kind != DiskEntry::Link &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) {
        SetFileAttributesW(W(path), 0);
    }
    return kind;
}

// Deletes a plain file of the installation; false for anything else.
bool DeletePlainFile(const UninstallRun& run, const std::u16string& path) {
    uint32_t attributes;
    return InspectEntry(run, path, attributes) == DiskEntry::File && DeleteFileW(W(path));
}

// Removes one listed entry; true when something was removed.
bool RemoveListedEntry(const std::u16string& path, UninstallRun& run) {
    uint32_t attributes;
    switch (InspectEntry(run, path, attributes)) {
    case DiskEntry::Folder:
        // A folder goes only once it is empty; a later reading tries again.
        if (!RemoveDirectoryW(W(path))) {
            return false;
        }
        LogEvent(u"folder removed: %s", path);
        break;
    case DiskEntry::File:
        if (!DeleteFileW(W(path))) {
            ScheduleLockedFile(path, run);
            return false;
        }
        LogEvent(u"file deleted: %s", path);
        break;
    case DiskEntry::Link:
        Refuse(u"a link, or reached through one", path, run);
        return false;
    default:
        return false;
    }
    ++run.report.deleted;
    return true;
}

// One reading of the list file from its start; returns how many entries it
// removed. Entries that would lead outside the program folder are skipped
// like missing files: the list is plain text that anyone with access to the
// folder could have edited.
int RemoveListedEntries(std::FILE* list, UninstallRun& run) {
    int removed = 0;
    std::string entry;
    std::rewind(list);
    while (ReadListEntry(list, entry)) {
        std::u16string full = run.programFolder + AnsiToWide(entry);
        // Cut to the path capacity it would name something else.
        std::optional<std::u16string> path;
        if (full.size() < kPathCapacity) {
            path = ResolveInsideFolder(run.programFolder, full);
        }
        if (!path) {
            Refuse(u"not a plain path inside the installation", full, run);
        } else if (RemoveListedEntry(*path, run)) {
            ++removed;
        }
    }
    run.firstReading = false;
    return removed;
}

std::u16string SavedText(uint32_t id) {
    return Truncate(GetLocalizedString(id), kSavedTextCapacity);
}

bool ConvertsExactlyToConsole(std::u16string_view text) {
    std::string bytes;
    return WideToOemExactly(text, bytes);
}

std::optional<std::u16string> BatchFormOf(const std::u16string& path) {
    std::u16string shortForm;
    if (!IsPlainAscii(path)) {
        DWORD size = GetShortPathNameW(W(path), nullptr, 0);
        if (size != 0) {
            shortForm.assign(size, u'\0');
            DWORD length = GetShortPathNameW(W(path), W(shortForm.data()), size);
            shortForm.resize(length < size ? length : 0);
        }
    }
    return ChooseBatchForm(path, shortForm, ConvertsExactlyToConsole);
}

// Creates the batch file anew. A plain file or empty folder left at its
// path goes first; a link there stays (removing it could reach its target),
// and the creation then fails rather than write into anything that exists.
std::FILE* CreateBatchFile(const std::u16string& path) {
    uint32_t attributes;
    switch (TrustedFolder(FolderPartOf(path, kPathCapacity)).Inspect(path, &attributes)) {
    case DiskEntry::File:
        SetFileAttributesW(W(path), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(W(path));
        break;
    case DiskEntry::Folder:
        RemoveDirectoryW(W(path));
        break;
    default:
        break;
    }
    // CREATE_NEW fails on any name that exists, a link included.
    FileHandle file(CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return nullptr;
    }
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file.Get()), _O_WRONLY | _O_BINARY);
    if (descriptor == -1) {
        return nullptr;
    }
    file.Release(); // the descriptor owns it now
    std::FILE* stream = _fdopen(descriptor, "wb");
    if (stream == nullptr) {
        _close(descriptor);
    }
    return stream;
}

// Writes the batch file; false when it could not be created.
bool WriteBatchFile(const std::u16string& batchPath, const UninstallRun& run,
                    const std::u16string& folderText) {
    std::FILE* stream = CreateBatchFile(batchPath);
    if (stream == nullptr) {
        return false;
    }
    // The batch file's own short name exists only now that it is created.
    BatchPathForms forms{BatchFormOf(run.programPath), BatchFormOf(folderText),
                         BatchFormOf(batchPath)};
    for (const std::u16string& line : ComposeBatchLines(forms, TheSwitches().SilentMode)) {
        WriteBatchLine(stream, line);
    }
    std::fclose(stream);
    return true;
}

// Runs the batch file in a hidden command interpreter, from the program
// folder's parent so that the folder itself is not in use.
bool StartBatchFile(const std::u16string& batchPath) {
    std::u16string interpreter;
    {
        std::u16string buffer(kPathCapacity, u'\0');
        DWORD length = GetEnvironmentVariableW(L"COMSPEC", W(buffer.data()), kPathCapacity);
        if (length < kPathCapacity) {
            interpreter.assign(buffer, 0, length);
        }
    }
    // "/d" keeps an AutoRun command of the registry out of the run. The
    // interpreter strips the outer quotes of what follows "/c" when it holds
    // "&", "(", "^" and the like, so the quoted path gets a second pair.
    std::u16string command = interpreter + u" /d /c \"\"" + batchPath + u"\"\"";
    if (command.size() >= kBatchLineCapacity) {
        return false; // a cut command would run something else
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    SetCurrentDirectoryW(L"..");
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, W(command.data()), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    const KernelHandle thread(process.hThread);
    const KernelHandle child(process.hProcess);
    return true;
}

} // namespace

bool WriteBatchLine(std::FILE* stream, std::u16string_view line) {
    std::string bytes;
    if (!WideToOemExactly(line, bytes)) {
        return false;
    }
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
}

RunReport RunUninstall() {
    UninstallRun run;
    run.programPath = ProgramPath();
    if (run.programPath.find(u'\\') == std::u16string::npos) {
        return {RunOutcome::Failed};
    }
    run.programFolder = ProgramFolder();
    SetCurrentDirectoryW(W(run.programFolder));
    EnsureTrailingSeparator(run.programFolder);

    const bool silent = TheSwitches().SilentMode;
    if (!silent && ShowMessageBox(nullptr, GetLocalizedString(IDS_CONTINUEUNINSTALL),
                                  GetLocalizedString(IDS_UNINSTALLOZU),
                                  MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES) {
        return {RunOutcome::Cancelled};
    }

    FileStream list = OpenStream(kListFileName, u"rb");
    if (!list) {
        // Reported even when silent: without the list nothing can be removed.
        ShowMessageBox(
            nullptr,
            FormatText(kListErrorCapacity, GetLocalizedString(IDS_CANNOTOPENLIST), kListFileName),
            GetLocalizedString(IDS_UNINSTALLOZU), MB_ICONERROR | MB_SETFOREGROUND);
        return {RunOutcome::Failed};
    }

    const std::u16string rebootText = SavedText(IDS_REBOOTREQUIRED);
    const std::u16string caption = SavedText(IDS_UNINSTALLOZU);
    RemoveIntegration(TheSwitches().MsiMode);
    // Its file is one of those to delete.
    ReleaseLanguageLibrary();
    if (TheSwitches().MsiMode) {
        return {}; // the package installer removes the files it installed
    }

    run.installation.emplace(run.programFolder);
    for (std::u16string_view name : kHelpIndexFiles) {
        DeletePlainFile(run, run.programFolder + std::u16string(name));
    }
    // Folders go only when empty, so the list is read again as long as a
    // reading removes something; the order of the entries does not matter.
    while (RemoveListedEntries(list.get(), run) != 0) {
    }
    list.reset();
    DeletePlainFile(run, run.programFolder + std::u16string(kListFileName));

    const std::u16string folderText = CurrentFolder();
    if (run.rebootPending && !silent) {
        ShowMessageBox(nullptr, rebootText, caption, MB_ICONINFORMATION | MB_SETFOREGROUND);
        if (SameNameNoCase(NameOf(folderText), kProgramFolderName) &&
            MoveFileExW(W(folderText), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
            LogEvent(u"folder scheduled for removal at restart: %s", folderText);
        }
    }
    run.report.outcome = run.rebootPending ? RunOutcome::RestartNeeded : RunOutcome::Done;

    std::u16string tempFolder = UserTempFolder();
    const std::u16string batchPath = tempFolder + std::u16string(kBatchFileName);
    if (tempFolder.empty() || !WriteBatchFile(batchPath, run, folderText)) {
        LogEvent(u"the batch file could not be created: %s", batchPath);
        run.report.outcome = RunOutcome::Failed;
        return run.report;
    }
    LogEvent(u"batch file written: %s", batchPath);
    if (!StartBatchFile(batchPath)) {
        LogEvent(u"the command interpreter could not be started (%u)", GetLastError());
        run.report.outcome = RunOutcome::Failed;
        return run.report;
    }
    LogEvent(u"command interpreter started; it removes the program and its folder");
    return run.report;
}

} // namespace ozu
