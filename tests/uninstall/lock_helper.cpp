// lock_helper: keeps a file in use for the uninstall tests, the way a running
// program does, until it is terminated.
//   lock_helper.exe load PATH EVENT     loads PATH as a library (like a shell
//                                       extension in use: it can be renamed,
//                                       not deleted)
//   lock_helper.exe noshare PATH EVENT  holds PATH open without any sharing
//   lock_helper.exe runlock - EVENT     holds the lock of one setup or
//                                       uninstall at a time, taken as the
//                                       program takes it
// EVENT is a named event set once the file (or the lock) is held.
#include <windows.h>

#include <cwchar>

#include "control/single_run.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        return 2;
    }
    ozu::SingleRunLock lock;
    if (std::wcscmp(argv[1], L"runlock") == 0) {
        if (lock.Acquire(0) != ozu::LockWait::Free) {
            return 3;
        }
    } else if (std::wcscmp(argv[1], L"load") == 0) {
        if (LoadLibraryExW(argv[2], nullptr, DONT_RESOLVE_DLL_REFERENCES) == nullptr) {
            return 3;
        }
    } else if (CreateFileW(argv[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr) ==
               INVALID_HANDLE_VALUE) {
        return 3;
    }
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]);
    if (ready == nullptr) {
        return 4;
    }
    SetEvent(ready);
    Sleep(120000);
    return 0;
}
