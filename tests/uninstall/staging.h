// Helpers of the uninstall tests: real files in a private folder of the Wine
// prefix, the restart schedule, child processes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ozu::testing {

std::wstring JoinW(const std::wstring& folder, const std::wstring& name);
bool FileExists(const std::wstring& path);
void MakeFolder(const std::wstring& path); // with all its parents
void MakeFile(const std::wstring& path, const std::string& bytes = "x");
std::string ReadBytes(const std::wstring& path); // empty when missing
void RemoveTree(const std::wstring& path);       // best effort, for clean-up
// A fresh, empty folder below the user's temporary folder.
std::wstring FreshFolder(const std::wstring& name);

// "Uninstall.lst" in ANSI bytes, one entry per line.
void WriteList(const std::wstring& folder, const std::vector<std::string>& entries);

// The paths in "PendingFileRenameOperations" (pairs of source and target;
// an empty target means deletion at restart), without the "\??\" prefix.
struct PendingOperation {
    std::wstring source;
    std::wstring target;
};
std::vector<PendingOperation> PendingRenames();
void ClearPendingRenames();
bool IsScheduledForDeletion(const std::wstring& path);

// Windows path of a file of the build tree (a Unix path, seen through Wine's
// Z: drive).
std::wstring BuildTreePath(const char* unixPath);

// Runs a command line and waits for it; its exit code, or -1 when it did not
// start or run out of time. stdout is captured into *output when given.
int RunAndWait(const std::wstring& commandLine, DWORD timeoutMs, std::string* output = nullptr);

// Keeps a file in use through the lock helper (OZU_LOCK_HELPER) until
// destroyed: mode "load" loads it as a library, "noshare" holds it open
// without sharing.
class LockHolder {
public:
    LockHolder(const char* mode, const std::wstring& path);
    ~LockHolder();
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;
    bool held() const { return held_; }

private:
    PROCESS_INFORMATION process_{};
    bool held_ = false;
};

// Waits until the path no longer exists; false on time-out.
bool WaitUntilGone(const std::wstring& path, DWORD timeoutMs);

} // namespace ozu::testing

namespace ozu::testing {

// Every key and value below HKEY_LOCAL_MACHINE\Software in both registry
// views and below HKEY_CURRENT_USER\Software, one sorted line each, for
// comparing the registry before setup with the registry after uninstall.
std::vector<std::string> RegistrySnapshot();
// Lines in one snapshot and not in the other, marked "-" (gone) and "+" (new).
std::vector<std::string> SnapshotDifferences(const std::vector<std::string>& before,
                                             const std::vector<std::string>& after);

// The default value of a key below HKEY_CLASSES_ROOT, or "<none>".
std::wstring ClassOf(const std::wstring& key);
void SetClass(const std::wstring& key, const std::wstring& value);

} // namespace ozu::testing
