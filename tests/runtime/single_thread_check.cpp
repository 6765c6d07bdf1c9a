// Linked the way uninstall.exe is linked, with the single-thread stand-ins
// for the thread library (a GoogleTest program needs the real one): exceptions
// in flight, whose globals live in thread-local storage, a static local's
// one-time initialisation, and an exception thrown while another is handled.
// Exits with 0 when everything behaved; the failed check's number otherwise.
#include <exception>
#include <new>

namespace {

struct Fault {
    int code;
};

int CountedInitialisations() {
    static int calls = 0;
    static const int once = ++calls;
    return once + calls * 10;
}

int NestedExceptions() {
    try {
        try {
            throw Fault{3};
        } catch (const Fault& inner) {
            if (std::uncaught_exceptions() != 0) {
                return -1;
            }
            try {
                throw std::bad_alloc();
            } catch (const std::bad_alloc&) {
                throw Fault{inner.code + 1};
            }
        }
    } catch (const Fault& outer) {
        return outer.code;
    }
    return 0;
}

} // namespace

int main() {
    if (CountedInitialisations() != 11 || CountedInitialisations() != 11) {
        return 1;
    }
    for (int round = 0; round < 3; ++round) {
        if (NestedExceptions() != 4) {
            return 2;
        }
    }
    try {
        throw 7;
    } catch (...) {
        if (std::current_exception() == nullptr) {
            return 3;
        }
    }
    return 0;
}
