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

bool SingleRunLock::Acquire(DWORD timeoutMs) {
    // Tick differences stay right across the counter's wrap.
    const DWORD start = ::GetTickCount();
    for (;;) {
        mutex_ = CreateRunMutex();
        if (mutex_) {
            break;
        }
        // It exists, so a run holds it, but it cannot be opened: wait for
        // that run to end, when the mutex goes with it.
        if (::GetTickCount() - start >= timeoutMs) {
            return false;
        }
        ::Sleep(250);
    }
    const DWORD spent = ::GetTickCount() - start;
    const DWORD left = spent < timeoutMs ? timeoutMs - spent : 0;
    // An abandoned mutex belonged to a run that was killed: it is ours now.
    const DWORD waited = ::WaitForSingleObject(mutex_.Get(), left);
    owned_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    return owned_;
}

} // namespace ozu
