#include "control/uninstall.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "base/change_sink.h"
#include "base/file_system.h"
#include "base/format.h"
#include "base/paths.h"
#include "base/program_path.h"
#include "base/run_log.h"
#include "base/system_text.h"
#include "base/text.h"
#include "base/trusted_folder.h"
#include "base/win32_text.h"
#include "control/self_removal.h"
#include "control/switches.h"
#include "control/uninstall_list.h"
#include "dialogs/message_box.h"
#include "integration/app_registration.h"
#include "integration/integration.h"
#include "localization/localized_strings.h"
#include "res/resource.h"
#include "settings/settings_store.h"

namespace ozu {

namespace {

// The texts kept for the restart notice, which comes after the language
// library has been released.
constexpr size_t kSavedTextCapacity = 256;
// The list file's error names the list in a text of at most 199 characters.
constexpr size_t kListErrorCapacity = 200;

constexpr std::u16string_view kHelpIndexFiles[] = {u"mivora.gid", u"mivora.fts"};

// The working values of one run.
struct UninstallRun {
    std::u16string programPath;
    std::u16string programFolder; // with its trailing backslash
    std::optional<TrustedFolder> installation;
    bool listNeeded = false;                    // a listed entry stays that a later run can remove
    std::vector<std::u16string> scheduledFiles; // go at the next restart
    bool rebootPending = false;
    RunReport report;
};

// A file that can't be deleted now (in use) moves out of the way to a free
// temporary name, so that a new installation can put its own file there, and
// goes at the next restart. The running program and the list file are left
// to the batch file and to the end of the procedure. Only a file that really
// is scheduled is promised away in the restart notice.
void ScheduleLockedFile(CheckedEntry& entry, DWORD deleteError, UninstallRun& run) {
    const std::u16string path = entry.Path();
    std::u16string_view name = NameOf(path);
    if (SameFileName(name, NameOf(run.programPath))) {
        LogRecord("file-kept", {{"path", path}, {"reason", u"running-program"}});
        return;
    }
    if (SameFileName(name, kListFileName)) {
        LogRecord("file-kept", {{"path", path}, {"reason", u"list-file"}});
        return;
    }
    // Renamed through the handle it was checked with, never over a name that
    // exists; a file held without shared deletion cannot be renamed at all.
    // The schedule's record tells how the rename went.
    const std::u16string target = FindFreeTempName(path, PathExists);
    const DWORD renameError = Changes().Make({.kind = ChangeKind::RenameChecked,
                                              .entry = &entry,
                                              .path = path,
                                              .target = target,
                                              .attempt = true});
    const bool renamed = renameError == ERROR_SUCCESS;
    const std::u16string renameErrorText = LogNumber(renameError);
    const std::u16string deleteErrorText = LogNumber(deleteError);
    // Its failure is told as the file left.
    const DWORD error = Changes().Make(
        {.kind = ChangeKind::ScheduleDeletion,
         .verb = "file-schedule",
         .path = path,
         .target = entry.Path(),
         .attempt = true,
         .extra = {{"reason", u"in-use"},
                   {"delete-error", deleteErrorText},
                   {"renamed-to", renamed ? std::u16string_view(target) : std::u16string_view()},
                   {"rename-error", renamed ? std::u16string_view() : renameErrorText}}});
    if (error == ERROR_SUCCESS) {
        run.rebootPending = true;
        ++run.report.scheduled;
        run.scheduledFiles.push_back(entry.Path());
        return;
    }
    if (renamed) {
        // It stays, under its own name.
        Made({.kind = ChangeKind::RenameChecked,
              .entry = &entry,
              .path = target,
              .target = path,
              .attempt = true});
    }
    ++run.report.left;
    LogRecord("file-left",
              {{"path", path}, {"reason", u"in-use-not-scheduled"}, {"error", LogNumber(error)}});
}

void Refuse(std::u16string_view why, std::u16string_view entry, UninstallRun& run) {
    ++run.report.refused;
    LogRecord("entry-refused", {{"path", entry}, {"reason", why}});
}

// Deletes a plain file of the installation through its checked handle.
void DeletePlainFile(const UninstallRun& run, const std::u16string& path) {
    CheckedEntry entry = run.installation->Open(path);
    if (entry.Kind() == DiskEntry::File) {
        Made({.kind = ChangeKind::DeleteChecked, .verb = "file-delete", .entry = &entry});
    }
}

// What became of one listed entry in one reading.
enum class EntryState {
    Removed, // deleted or removed now
    Pending, // a folder that is not empty yet: the next reading tries again
    Settled, // missing, refused, scheduled or left: no later reading changes it
};

// Removes one listed entry. A link, and anything reached through one, is
// left alone: it is not the installer's, and deleting it could reach what it
// points to. Everything is done through the one handle the entry was checked
// with, so nothing swapped in meanwhile is followed.
// A folder that stays pending gets its deletion's error in `folderError`.
EntryState RemoveListedEntry(const std::u16string& path, UninstallRun& run, DWORD& folderError) {
    CheckedEntry entry = run.installation->Open(path);
    switch (entry.Kind()) {
    case DiskEntry::Folder:
        // A folder goes only once it is empty; a later reading tries again.
        if (const DWORD error = Changes().Make({.kind = ChangeKind::DeleteChecked,
                                                .verb = "folder-delete",
                                                .entry = &entry,
                                                .attempt = true});
            error != ERROR_SUCCESS) {
            folderError = error;
            return EntryState::Pending;
        }
        break;
    case DiskEntry::File:
        if (SameFileName(path, run.programPath)) {
            // The running program cannot go while it runs: the batch file
            // deletes it once it has ended.
            LogRecord("file-kept", {{"path", path}, {"reason", u"running-program"}});
            return EntryState::Settled;
        }
        if (entry.ReadOnlyWithOtherNames()) {
            // Its attribute belongs to every name of the file alike.
            ++run.report.left;
            LogRecord("file-left", {{"path", path}, {"reason", u"read-only-with-other-names"}});
            return EntryState::Settled;
        }
        // One in use is scheduled instead.
        if (const DWORD error = Changes().Make({.kind = ChangeKind::DeleteChecked,
                                                .verb = "file-delete",
                                                .entry = &entry,
                                                .attempt = true});
            error != ERROR_SUCCESS) {
            ScheduleLockedFile(entry, error, run);
            return EntryState::Settled;
        }
        break;
    case DiskEntry::Link:
        Refuse(u"link", path, run);
        return EntryState::Settled;
    default:
        return EntryState::Settled;
    }
    ++run.report.deleted;
    return EntryState::Removed;
}

// The list's entries as full paths. Entries that would lead outside the
// program folder are refused like missing files: the list is plain text that
// anyone with access to the folder could have edited.
std::vector<std::u16string> ReadListedPaths(std::FILE* list, UninstallRun& run) {
    std::vector<std::u16string> paths;
    std::string entry;
    while (ReadListEntry(list, entry)) {
        const std::u16string relative = AnsiToWide(entry);
        const std::u16string full = JoinPath(run.programFolder, relative, kLongPathCapacity);
        if (full.empty()) {
            Refuse(u"too-long", relative, run);
            continue;
        }
        std::optional<std::u16string> path = ResolveInsideFolder(run.programFolder, full);
        if (path) {
            paths.push_back(std::move(*path));
        } else {
            Refuse(u"outside-installation", full, run);
        }
    }
    return paths;
}

// Whether one of `paths` lies inside `folder`.
bool HoldsAny(std::u16string_view folder, const std::vector<std::u16string>& paths) {
    for (const std::u16string& path : paths) {
        if (path.size() > folder.size() + 1 && path[folder.size()] == u'\\' &&
            SameFileName(std::u16string_view(path).substr(0, folder.size()), folder)) {
            return true;
        }
    }
    return false;
}

// Deletes the listed entries in readings of the list. Folders go only when
// empty, so the list is worked through again as long as a reading removes
// something; the order of the entries does not matter. An entry that no
// later reading can change is not looked at again: a list of ten thousand
// files costs one reading of them, and later readings meet only the folders.
void RemoveListedEntries(std::vector<std::u16string> pending, UninstallRun& run) {
    std::vector<DWORD> errors; // of the pending folders, in their order
    for (bool removedSome = true; removedSome && !pending.empty();) {
        removedSome = false;
        std::vector<std::u16string> folders;
        errors.clear();
        for (std::u16string& path : pending) {
            DWORD error = ERROR_SUCCESS;
            switch (RemoveListedEntry(path, run, error)) {
            case EntryState::Removed:
                removedSome = true;
                break;
            case EntryState::Pending:
                folders.push_back(std::move(path));
                errors.push_back(error);
                break;
            default:
                break;
            }
        }
        pending = std::move(folders);
    }
    // A folder that stays for what it holds is by design (files of the user,
    // or what goes at the restart). One that could not go for another reason
    // failed: it is told, and the list stays for the next uninstall.
    std::vector<std::u16string> emptiedAtRestart;
    for (size_t i = 0; i < pending.size(); ++i) {
        if (errors[i] != ERROR_DIR_NOT_EMPTY) {
            ++run.report.left;
            run.listNeeded = true;
            LogRecord("folder-left", {{"path", pending[i]}, {"error", LogNumber(errors[i])}});
        } else if (HoldsAny(pending[i], run.scheduledFiles)) {
            emptiedAtRestart.push_back(std::move(pending[i]));
        }
    }
    // One that holds a file scheduled for the restart goes at the restart
    // too, after it (deepest first); with anything else still in it, the
    // system leaves it.
    while (!emptiedAtRestart.empty()) {
        size_t deepest = 0;
        for (size_t i = 1; i < emptiedAtRestart.size(); ++i) {
            if (emptiedAtRestart[i].size() > emptiedAtRestart[deepest].size()) {
                deepest = i;
            }
        }
        Made({.kind = ChangeKind::ScheduleDeletion,
              .verb = "folder-schedule",
              .path = emptiedAtRestart[deepest],
              .attempt = true});
        emptiedAtRestart.erase(emptiedAtRestart.begin() + static_cast<ptrdiff_t>(deepest));
    }
}

std::u16string SavedText(uint32_t id) {
    return Truncate(GetLocalizedString(id), kSavedTextCapacity);
}

// The installed files: the help index files, every entry of the list, and
// the list itself once it has been read.
void RemoveInstalledFiles(UninstallRun& run, FileStream& list) {
    run.installation.emplace(run.programFolder);
    for (std::u16string_view name : kHelpIndexFiles) {
        DeletePlainFile(run, JoinPath(run.programFolder, name, kLongPathCapacity));
    }
    RemoveListedEntries(ReadListedPaths(list.get(), run), run);
    list.reset();
    const std::u16string listPath = JoinPath(run.programFolder, kListFileName, kLongPathCapacity);
    if (run.listNeeded) {
        LogRecord("file-kept", {{"path", listPath}, {"reason", u"entries-left"}});
        return;
    }
    DeletePlainFile(run, listPath);
}

// A second uninstall started together with the first (a deployment tool that
// tried twice) waits for it to end, and then finds the list gone and the
// uninstall entry removed or naming another copy. There is nothing left to
// do; a box or a failure would only be noise, and the longer the program
// runs, the likelier the first run's batch file fails to delete it.
bool RemovedByAnotherRun(const std::u16string& folder) {
    return !PathExists(JoinPath(folder, kListFileName, kLongPathCapacity)) &&
           !UninstallEntryNamesThisInstallation();
}

} // namespace

RunReport RunUninstall(bool afterAnotherRun) {
    UninstallRun run;
    run.programPath = ProgramPath();
    if (run.programPath.find(u'\\') == std::u16string::npos) {
        return {RunOutcome::Failed};
    }
    const std::u16string folder = ProgramFolder();
    run.programFolder = folder;
    EnsureTrailingSeparator(run.programFolder);
    if (afterAnotherRun && RemovedByAnotherRun(run.programFolder)) {
        LogRecord("already-removed", {{"folder", folder}});
        return {RunOutcome::Done};
    }
    SetCurrentDirectoryW(W(folder));

    const bool silent = TheSwitches().SilentMode;
    if (!silent && ShowMessageBox(nullptr, GetLocalizedString(IDS_CONTINUEUNINSTALL),
                                  GetLocalizedString(IDS_UNINSTALLOZU),
                                  MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES) {
        return {RunOutcome::Cancelled};
    }

    FileStream list = OpenReadStream(kListFileName);
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
    // A program group that stays counts as left, as a listed file would.
    run.report.left += RemoveIntegration(TheSwitches().MsiMode);
    // A refused change leaves part of the integration behind: the removal
    // goes on, and ends as failed.
    const bool refused = FailedChanges() != 0 || run.report.left != 0;
    // Its file is one of those to delete.
    ReleaseLanguageLibrary();
    if (TheSwitches().MsiMode) {
        // The package installer removes the files it installed.
        return {refused ? RunOutcome::Failed : RunOutcome::Done};
    }

    RemoveInstalledFiles(run, list);

    const std::u16string folderText = CurrentFolder();
    if (run.rebootPending) {
        if (!silent) {
            ShowMessageBox(nullptr, rebootText, caption, MB_ICONINFORMATION | MB_SETFOREGROUND);
        }
        // Silent or not: the folder that the restart empties goes with it.
        if (SameFileName(NameOf(folderText), kProgramFolderName)) {
            Made({.kind = ChangeKind::ScheduleDeletion,
                  .verb = "folder-schedule",
                  .path = folderText,
                  .attempt = true});
        }
    }
    run.report.outcome = refused || run.report.left != 0 || FailedChanges() != 0
                             ? RunOutcome::Failed
                         : run.rebootPending ? RunOutcome::RestartNeeded
                                             : RunOutcome::Done;

    if (!StartSelfRemoval(run.programPath, folderText, TheSwitches().SilentMode)) {
        run.report.outcome = RunOutcome::Failed;
    }
    return run.report;
}

} // namespace ozu
