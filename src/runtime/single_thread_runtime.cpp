// The static runtime of the posix-thread toolchain takes its locks, its
// one-time initialisation and its thread-local storage (the exception
// globals) from the winpthread library, which brings about 30 KiB of thread
// machinery into a program that never starts a thread: every window is a
// modal dialog or a message box on the one thread (see control/main.cpp).
// For the program only (the tests keep the real library), this file gives
// the runtime what it asks for in single-thread form: locks that are never
// contended, "once" that runs the function the first time, and thread-local
// keys on the system's own TLS slots.
//
// The win32-thread toolchain needs no winpthread, but its runtime takes real
// semaphore locks: linked that way the program was 5 KiB larger (266,240
// bytes against 261,120), beyond its 256 KiB.
#include <windows.h>

extern "C" {

using pthread_once_t = long;
using pthread_key_t = unsigned;
struct pthread_mutex_opaque;
using pthread_mutex_t = pthread_mutex_opaque*;
struct pthread_cond_opaque;
using pthread_cond_t = pthread_cond_opaque*;

int pthread_once(pthread_once_t* once, void (*function)()) {
    if (*once == 0) {
        *once = 1;
        function();
    }
    return 0;
}

int pthread_mutex_init(pthread_mutex_t*, const void*) {
    return 0;
}
int pthread_mutex_destroy(pthread_mutex_t*) {
    return 0;
}
int pthread_mutex_lock(pthread_mutex_t*) {
    return 0;
}
int pthread_mutex_trylock(pthread_mutex_t*) {
    return 0;
}
int pthread_mutex_unlock(pthread_mutex_t*) {
    return 0;
}

// A static local is never initialised by two threads at once here, so no one
// ever waits for another's initialisation.
int pthread_cond_broadcast(pthread_cond_t*) {
    return 0;
}
int pthread_cond_wait(pthread_cond_t*, pthread_mutex_t*) {
    return 0;
}

// The runtime's per-thread data lives as long as the one thread, that is,
// until the process ends; the destructor has nothing to do before that.
int pthread_key_create(pthread_key_t* key, void (*)(void*)) {
    const DWORD slot = TlsAlloc();
    if (slot == TLS_OUT_OF_INDEXES) {
        return 11; // EAGAIN
    }
    *key = slot;
    return 0;
}
int pthread_key_delete(pthread_key_t key) {
    TlsFree(key);
    return 0;
}
void* pthread_getspecific(pthread_key_t key) {
    return TlsGetValue(key);
}
int pthread_setspecific(pthread_key_t key, const void* value) {
    return TlsSetValue(key, const_cast<void*>(value)) ? 0 : 22; // EINVAL
}

} // extern "C"
