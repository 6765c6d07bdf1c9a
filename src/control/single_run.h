// One setup or uninstall at a time on the whole machine. Two runs at once
// could record our own class as a previous owner, or write over an owner the
// other has just given back; so each holds a mutex for its whole run.
//
// The machine-wide lock is for administrators alone: were it open to everyone,
// any process (a standard user's, one of low integrity) could hold it, or
// make its name first as an object of another kind, and every setup and
// uninstall would end with 1618. An elevated run takes a mutex in a private
// namespace that only a member of the Administrators group can enter, with
// rights for administrators and the system account only. A run without
// elevation changes nothing machine-wide and takes its own session's lock.
#pragma once

#include <windows.h>

#include "base/scoped_handle.h"

namespace ozu {

// How long a second run waits for the first to end.
inline constexpr DWORD kSingleRunWaitMs = 30000;

// How a run came by the lock.
enum class LockWait {
    Free,            // nobody held it
    AfterAnotherRun, // another run held it, and has ended
    Busy,            // another run still holds it: not ours
    Unavailable,     // it could not be made (Error() says why): the run goes on without
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
    // The system's error when the lock was unavailable.
    DWORD Error() const { return error_; }

private:
    bool Create();

    KernelHandle namespace_; // closed after the mutex, which lives in it
    KernelHandle mutex_;
    bool owned_ = false;
    DWORD error_ = 0;
};

} // namespace ozu
