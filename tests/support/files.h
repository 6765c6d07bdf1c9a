// Real files for the tests, in private folders of the Wine prefix; child
// processes; the restart schedule; the staged installations that stand in
// for the archiver's folder. Paths are wide text, as Win32 takes them.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/text.h"

namespace ozu::test {

// The user's temporary folder, with its final backslash.
std::wstring TempPath();
// A Unix path of the build tree as Wine sees it (through its root drive Z:).
std::wstring WinePath(std::string_view unixPath);

std::wstring JoinW(const std::wstring& folder, const std::wstring& name);
bool FileExists(const std::wstring& path);
void MakeFolder(const std::wstring& path); // with all its parents
bool MakeFile(const std::wstring& path, std::string_view bytes = "x");
std::optional<std::string> ReadFileBytes(const std::wstring& path);
inline std::string ReadBytes(const std::wstring& path) { // empty when missing
    return ReadFileBytes(path).value_or(std::string());
}
// Removes a file, or a folder and everything in it, also beyond MAX_PATH; a
// folder link goes without what it points to. (Wine shows a link to a file as
// a plain file: a test removes those itself, with RemoveLink.)
void RemoveTree(const std::wstring& path);
// A fresh, empty folder below the user's temporary folder.
std::wstring FreshFolder(const std::wstring& name);
// Waits until the path no longer exists; false on time-out.
bool WaitUntilGone(const std::wstring& path, DWORD timeoutMs);

// A private folder below the temporary folder, removed with everything in it
// when the test ends. Paths in the program's own wide type.
class TempFolder {
public:
    TempFolder();
    ~TempFolder() { RemoveTree(AsWide(path_)); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::u16string& Path() const { return path_; } // without a final backslash
    std::u16string operator/(std::u16string_view name) const {
        return path_ + u"\\" + std::u16string(name);
    }

private:
    std::u16string path_;
};
inline bool FileExists(const std::u16string& path) {
    return FileExists(AsWide(path));
}
inline bool MakeFile(const std::u16string& path, std::string_view bytes = "x") {
    return MakeFile(AsWide(path), bytes);
}

// "Uninstall.lst" in ANSI bytes, one entry per line.
void WriteList(const std::wstring& folder, const std::vector<std::string>& entries);

// The archiver's own files, as the installer lists them.
extern const std::vector<std::string> kArchiverFiles;

// A fresh installation folder with the built program and placeholders of the
// entries, listed in that order in "Uninstall.lst": names without a dot are
// folders, listed before what they hold; "uninstall.exe" is the built program;
// the list itself and the templates that setup creates are not made.
struct Installation {
    std::wstring folder;

    std::wstring Program() const { return folder + L"\\uninstall.exe"; }
    std::wstring File(const std::wstring& name) const { return folder + L"\\" + name; }
    // The program's command line for the UI driver's "launch".
    std::wstring Launch(const std::wstring& arguments) const {
        return L"launch \"" + Program() + L"\" " + arguments;
    }
    // Below the temporary folder's "ozu-e2e" unless `folder` is a full path.
    static Installation Stage(const std::wstring& folder,
                              const std::vector<std::string>& entries = kArchiverFiles);
};

// A private folder that stands in for the program's own folder in-process:
// the program's path points into it while the object lives.
class StagedProgram {
public:
    StagedProgram();
    ~StagedProgram();
    StagedProgram(const StagedProgram&) = delete;
    StagedProgram& operator=(const StagedProgram&) = delete;
    const std::u16string& Folder() const { return folder_; }
    std::u16string PathOf(std::u16string_view name) const;
    void PutFile(std::u16string_view name, std::string_view bytes = {}) const;
    std::optional<std::string> ReadFile(std::u16string_view name) const;

private:
    std::u16string folder_;
};

// A text of the built program's own string table.
std::wstring ProgramString(UINT id);

// Runs a command line and waits for it; its exit code, or -1 when it did not
// start or run out of time. stdout is captured into *output when given,
// until every process that inherited it has closed it or the time is up.
int RunAndWait(const std::wstring& commandLine, DWORD timeoutMs, std::string* output = nullptr);
// Starts a child without waiting for it; its process handle (invalid when it
// could not start).
HANDLE StartProcess(const std::wstring& commandLine);

// Keeps a file in use through the lock helper until destroyed: mode "load"
// loads it as a library, "noshare" holds it open without sharing; "runlock"
// (path "-") holds the program's lock of one setup or uninstall at a time.
// Not `elevated`: the helper runs with the limited token of the test's
// administrator (not held where there is none).
class LockHolder {
public:
    LockHolder(const char* mode, const std::wstring& path, bool elevated = true);
    ~LockHolder();
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;
    bool held() const { return held_; }

private:
    PROCESS_INFORMATION process_{};
    bool held_ = false;
};

// The paths in "PendingFileRenameOperations" (pairs of source and target; an
// empty target means deletion at restart), without the "\??\" prefix.
struct PendingOperation {
    std::wstring source;
    std::wstring target;
};
std::vector<PendingOperation> PendingRenames();
void ClearPendingRenames();
bool IsScheduledForDeletion(const std::wstring& path);

} // namespace ozu::test
