// The self-removal: the batch file that deletes the program and its folder
// once the program has ended, written and handed to the command interpreter.
#include "control/self_removal.h"

#include <windows.h>

#include <optional>
#include <string>

#include "base/change_sink.h"
#include "base/file_system.h"
#include "base/paths.h"
#include "base/run_log.h"
#include "base/system_text.h"
#include "base/trusted_folder.h"
#include "base/win32_text.h"
#include "control/batch_script.h"

namespace ozu {

namespace {

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

// The form the batch file names itself by. Its own short name would exist
// only once it is made, and its name is plain ASCII: its folder's form and
// its name say the same.
std::optional<std::u16string> BatchFileFormOf(const std::u16string& batchPath) {
    const std::u16string folder = FolderPartOf(batchPath, kPathCapacity);
    std::optional<std::u16string> folderForm = BatchFormOf(folder);
    if (!folderForm) {
        return std::nullopt;
    }
    std::u16string form = JoinPath(*folderForm, NameOf(batchPath), kPathCapacity);
    if (form.empty()) {
        return std::nullopt;
    }
    return form;
}

// Writes the batch file anew; false when it could not be made. A plain file
// or empty folder left at its path goes first, through the handle it was
// checked with; a link there stays (removing it could reach its target), and
// the creation then fails rather than write into anything that exists.
bool WriteBatchFile(const std::u16string& batchPath, const std::u16string& programPath,
                    const std::u16string& folderText, bool silent) {
    CheckedEntry existing = TrustedFolder(FolderPartOf(batchPath, kPathCapacity)).Open(batchPath);
    if (existing.Kind() == DiskEntry::File || existing.Kind() == DiskEntry::Folder) {
        Made({.kind = ChangeKind::DeleteChecked,
              .verb = existing.Kind() == DiskEntry::File ? "file-delete" : "folder-delete",
              .entry = &existing});
    }
    existing.Close();
    BatchPathForms forms{BatchFormOf(programPath), BatchFormOf(folderText),
                         BatchFileFormOf(batchPath)};
    std::string bytes;
    for (const std::u16string& line : ComposeBatchLines(forms, silent)) {
        AppendBatchLine(bytes, line);
    }
    return Made({.kind = ChangeKind::CreateFile,
                 .verb = "batch-file-create",
                 .path = batchPath,
                 .bytes = bytes});
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
    // The interpreter is named as the application, so that a path with a
    // blank is never searched for piece by piece ("C:\Program.exe"), and
    // quoted on its command line. "/d" keeps an AutoRun command of the
    // registry out of the run and "/v:off" a delayed expansion switched on
    // there, which would take a "!" in a path for a variable. The interpreter
    // strips the outer quotes of what follows "/c" when it holds "&", "(",
    // "^" and the like, so the quoted path gets a second pair.
    if (interpreter.empty() || interpreter.find(u'"') != std::u16string::npos) {
        SetLastError(ERROR_BAD_PATHNAME);
        return false;
    }
    std::u16string command = u"\"" + interpreter + u"\" /d /v:off /c \"\"" + batchPath + u"\"\"";
    if (command.size() >= kBatchLineCapacity) {
        return false; // a cut command would run something else
    }
    return Made({.kind = ChangeKind::StartInterpreter,
                 .verb = "interpreter-start",
                 .path = interpreter,
                 .target = batchPath,
                 .command = command});
}

} // namespace

bool AppendBatchLine(std::string& bytes, std::u16string_view line) {
    std::string converted;
    if (!WideToOemExactly(line, converted)) {
        return false;
    }
    bytes += converted;
    return true;
}

bool StartSelfRemoval(const std::u16string& programPath, const std::u16string& folderText,
                      bool silent) {
    const std::u16string tempFolder = UserTempFolder();
    const std::u16string batchPath = JoinPath(tempFolder, kBatchFileName, kPathCapacity);
    if (tempFolder.empty() || batchPath.empty()) {
        LogRecord("batch-file-create", {{"path", batchPath}, {"result", u"failed"}});
        return false;
    }
    return WriteBatchFile(batchPath, programPath, folderText, silent) && StartBatchFile(batchPath);
}

} // namespace ozu
