#include "control/single_run.h"

#include <sddl.h>

namespace ozu {

namespace {

// Everyone may wait for the mutex: a run as the system account must not lock
// a user's later run out of even seeing it.
KernelHandle CreateRunMutex() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:(A;;0x001F0001;;;WD)", SDDL_REVISION_1, &descriptor, nullptr)) {
        attributes.lpSecurityDescriptor = descriptor;
    }
    KernelHandle mutex(::CreateMutexW(&attributes, FALSE, kSingleRunMutexName));
    if (!mutex && ::GetLastError() == ERROR_ACCESS_DENIED) {
        // Made by an earlier version's run with the default rights.
        mutex.Reset(::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kSingleRunMutexName));
    }
    if (descriptor) {
        ::LocalFree(descriptor);
    }
    return mutex;
}

} // namespace

SingleRunLock::~SingleRunLock() {
    if (owned_) {
        ::ReleaseMutex(mutex_.Get());
    }
}

LockWait SingleRunLock::Acquire(DWORD timeoutMs) {
    // Tick differences stay right across the counter's wrap.
    const DWORD start = ::GetTickCount();
    bool waited = false;
    for (;; waited = true) {
        mutex_ = CreateRunMutex();
        if (mutex_) {
            break;
        }
        // It exists, so a run holds it, but it cannot be opened: wait for
        // that run to end, when the mutex goes with it.
        if (::GetTickCount() - start >= timeoutMs) {
            return LockWait::Busy;
        }
        ::Sleep(250);
    }
    // An abandoned mutex belonged to a run that was killed: it is ours now.
    DWORD result = ::WaitForSingleObject(mutex_.Get(), 0);
    if (result == WAIT_TIMEOUT) {
        waited = true;
        const DWORD spent = ::GetTickCount() - start;
        result = ::WaitForSingleObject(mutex_.Get(), spent < timeoutMs ? timeoutMs - spent : 0);
    }
    owned_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    return !owned_ ? LockWait::Busy : waited ? LockWait::AfterAnotherRun : LockWait::Free;
}

} // namespace ozu
