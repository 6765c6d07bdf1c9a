// One setup or uninstall at a time on the whole machine. Two runs at once
// could record our own class as a previous owner, or write over an owner the
// other has just given back; so each holds a named mutex for its whole run,
// in the global namespace, where another user's session sees it too.
#pragma once

#include <windows.h>

#include "base/scoped_handle.h"

namespace ozu {

inline constexpr wchar_t kSingleRunMutexName[] = L"Global\\Mivora-setup-and-uninstall";
// How long a second run waits for the first to end.
inline constexpr DWORD kSingleRunWaitMs = 30000;

// How a run came by the lock.
enum class LockWait {
    Free,            // nobody held it
    AfterAnotherRun, // another run held it, and has ended
    Busy,            // another run still holds it: not ours
};

class SingleRunLock {
public:
    SingleRunLock() = default;
    SingleRunLock(const SingleRunLock&) = delete;
    SingleRunLock& operator=(const SingleRunLock&) = delete;
    ~SingleRunLock();

    // Waits up to `timeoutMs` for every other run to end, then holds the lock
    // until destroyed.
    LockWait Acquire(DWORD timeoutMs);

private:
    KernelHandle mutex_;
    bool owned_ = false;
};

} // namespace ozu
