#include "control/single_run.h"

#include <aclapi.h>
#include <sddl.h>

#include "base/system_info.h"

namespace ozu {

namespace {

// The private namespace: its boundary, the prefix that names it in this
// process, and the mutex in it.
constexpr wchar_t kBoundaryName[] = L"Mivora-setup-and-uninstall";
constexpr wchar_t kNamespacePrefix[] = L"Mivora";
constexpr wchar_t kNamespacedName[] = L"Mivora\\setup-and-uninstall";
// Without private namespaces: the machine-wide name. And the session's lock
// of a run without elevation.
constexpr wchar_t kGlobalName[] = L"Global\\Mivora-setup-and-uninstall";
constexpr wchar_t kSessionName[] = L"Local\\Mivora-setup-and-uninstall";

// Full access for administrators and the system account, nobody else; owned
// by the Administrators group, which no other account can give an object.
constexpr wchar_t kAdministratorsOnly[] = L"O:BAD:(A;;GA;;;BA)(A;;GA;;;SY)";

// The private-namespace calls exist from Windows Vista on (Wine has not all
// of them); looked up, so that the program starts where they are missing.
struct NamespaceCalls {
    decltype(&::CreateBoundaryDescriptorW) createBoundary;
    decltype(&::AddSIDToBoundaryDescriptor) addSid;
    decltype(&::DeleteBoundaryDescriptor) deleteBoundary;
    decltype(&::CreatePrivateNamespaceW) createNamespace;
    decltype(&::OpenPrivateNamespaceW) openNamespace;

    bool Complete() const {
        return createBoundary && addSid && deleteBoundary && createNamespace && openNamespace;
    }
};

template <typename Fn> void Lookup(HMODULE kernel, const char* name, Fn& function) {
    function = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(kernel, name)));
}

const NamespaceCalls& Calls() {
    static const NamespaceCalls calls = [] {
        const HMODULE kernel = ::GetModuleHandleW(L"kernel32");
        NamespaceCalls found{};
        Lookup(kernel, "CreateBoundaryDescriptorW", found.createBoundary);
        Lookup(kernel, "AddSIDToBoundaryDescriptor", found.addSid);
        Lookup(kernel, "DeleteBoundaryDescriptor", found.deleteBoundary);
        Lookup(kernel, "CreatePrivateNamespaceW", found.createNamespace);
        Lookup(kernel, "OpenPrivateNamespaceW", found.openNamespace);
        return found;
    }();
    return calls;
}

struct AdministratorsSid {
    AdministratorsSid() {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                        DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &sid)) {
            sid = nullptr;
        }
    }
    ~AdministratorsSid() {
        if (sid) {
            ::FreeSid(sid);
        }
    }
    AdministratorsSid(const AdministratorsSid&) = delete;
    AdministratorsSid& operator=(const AdministratorsSid&) = delete;

    PSID sid = nullptr;
};

struct AdministratorsOnly {
    AdministratorsOnly() {
        if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                kAdministratorsOnly, SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr)) {
            return;
        }
        attributes.lpSecurityDescriptor = nullptr;
    }
    ~AdministratorsOnly() { ::LocalFree(attributes.lpSecurityDescriptor); }
    AdministratorsOnly(const AdministratorsOnly&) = delete;
    AdministratorsOnly& operator=(const AdministratorsOnly&) = delete;

    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
};

// An elevated run; on Windows XP, which knows no elevation, a run of an
// administrator.
bool RunsAsAdministrator(PSID administrators) {
    bool known = false;
    const bool elevated = IsElevated(known);
    BOOL member = FALSE;
    return known ? elevated : ::CheckTokenMembership(nullptr, administrators, &member) && member;
}

// Opens the administrators' private namespace, making it where no run has.
// Closing the handle is all that ClosePrivateNamespace does without its flag.
KernelHandle OpenAdministratorsNamespace(PSID administrators, SECURITY_ATTRIBUTES& attributes) {
    const NamespaceCalls& calls = Calls();
    HANDLE boundary = calls.createBoundary(kBoundaryName, 0);
    if (!boundary) {
        return {};
    }
    KernelHandle space;
    if (calls.addSid(&boundary, administrators)) {
        // Another run's namespace can go with that run's end between the
        // failed creation and the opening.
        for (int attempt = 0; attempt < 3 && !space; ++attempt) {
            space.Reset(calls.createNamespace(&attributes, boundary, kNamespacePrefix));
            if (space || ::GetLastError() != ERROR_ALREADY_EXISTS) {
                break;
            }
            space.Reset(calls.openNamespace(boundary, kNamespacePrefix));
        }
    }
    const DWORD error = ::GetLastError();
    calls.deleteBoundary(boundary);
    ::SetLastError(error);
    return space;
}

// Only administrators and the system account can own an object by the
// Administrators group or the system account.
bool OwnedByAdministrators(HANDLE object) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                          nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const bool theirs = owner && (::IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
                                  ::IsWellKnownSid(owner, WinLocalSystemSid));
    ::LocalFree(descriptor);
    return theirs;
}

} // namespace

bool SingleRunLock::Create() {
    const AdministratorsSid administrators;
    if (!administrators.sid) {
        error_ = ::GetLastError();
        return false;
    }
    if (!RunsAsAdministrator(administrators.sid)) {
        mutex_.Reset(::CreateMutexW(nullptr, FALSE, kSessionName));
        error_ = ::GetLastError();
        return mutex_.IsValid();
    }
    AdministratorsOnly security;
    if (!security.attributes.lpSecurityDescriptor) {
        error_ = ::GetLastError();
        return false;
    }
    const bool privateNamespace = Calls().Complete();
    if (privateNamespace) {
        namespace_ = OpenAdministratorsNamespace(administrators.sid, security.attributes);
        if (!namespace_) {
            error_ = ::GetLastError();
            return false;
        }
    }
    // A name of another kind of object fails here (ERROR_INVALID_HANDLE).
    mutex_.Reset(::CreateMutexW(&security.attributes, FALSE,
                                privateNamespace ? kNamespacedName : kGlobalName));
    error_ = ::GetLastError();
    // The machine-wide name is anyone's to make first, as a mutex of their
    // own that they then hold: only one that an administrator made counts.
    if (mutex_ && error_ == ERROR_ALREADY_EXISTS && !privateNamespace &&
        !OwnedByAdministrators(mutex_.Get())) {
        mutex_.Reset();
        error_ = ERROR_INVALID_OWNER;
    }
    return mutex_.IsValid();
}

SingleRunLock::~SingleRunLock() {
    if (owned_) {
        ::ReleaseMutex(mutex_.Get());
    }
}

LockWait SingleRunLock::Acquire(DWORD timeoutMs) {
    if (!Create()) {
        return LockWait::Unavailable;
    }
    // An abandoned mutex belonged to a run that was killed: it is ours now.
    bool waited = false;
    DWORD result = ::WaitForSingleObject(mutex_.Get(), 0);
    if (result == WAIT_TIMEOUT) {
        waited = true;
        result = ::WaitForSingleObject(mutex_.Get(), timeoutMs);
    }
    if (result == WAIT_FAILED) {
        error_ = ::GetLastError();
        return LockWait::Unavailable;
    }
    owned_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    return !owned_ ? LockWait::Busy : waited ? LockWait::AfterAnotherRun : LockWait::Free;
}

} // namespace ozu
