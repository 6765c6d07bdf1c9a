// uninstall.exe travels inside every installer of the archiver, so its size
// matters. This file replaces two parts of the static C++ runtime, for the
// program only (the tests keep the standard ones):
//
// - The verbose terminate handler prints the type of an uncaught exception to
//   the standard error stream, which a windowed program does not have, and
//   pulls in the whole C++ symbol demangler (about 75 KiB).
// - The functions through which the standard library raises its exceptions
//   construct std::logic_error and its kin, which pull in a second, reference
//   counted string implementation (about 85 KiB).
//
// Behaviour stays the same where it matters: running out of memory, or a size
// beyond what can ever be allocated, is still std::bad_alloc, which callers
// catch and start-up turns into the memory-error exit code. The other errors
// are programming faults (an index out of range, a bad cast); they remain
// exceptions, so a guard that catches everything still catches them, and
// uncaught they end the program with the severe-error exit code instead of a
// crash.
#include <cstdlib>
#include <new>

#include "base/error_handler.h"

namespace {

[[noreturn]] void ThrowProgrammingFault() {
    throw ozu::OZU_EXIT{ozu::OZU_EXIT_SEVERE_ERROR};
}

} // namespace

namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() {
    throw std::bad_alloc();
}
void __throw_bad_array_new_length() {
    throw std::bad_alloc();
}
void __throw_length_error(const char*) {
    throw std::bad_alloc();
}
void __throw_bad_cast() {
    ThrowProgrammingFault();
}
void __throw_bad_typeid() {
    ThrowProgrammingFault();
}
void __throw_bad_exception() {
    ThrowProgrammingFault();
}
void __throw_logic_error(const char*) {
    ThrowProgrammingFault();
}
void __throw_domain_error(const char*) {
    ThrowProgrammingFault();
}
void __throw_invalid_argument(const char*) {
    ThrowProgrammingFault();
}
void __throw_out_of_range(const char*) {
    ThrowProgrammingFault();
}
void __throw_out_of_range_fmt(const char*, ...) {
    ThrowProgrammingFault();
}
void __throw_runtime_error(const char*) {
    ThrowProgrammingFault();
}
void __throw_range_error(const char*) {
    ThrowProgrammingFault();
}
void __throw_overflow_error(const char*) {
    ThrowProgrammingFault();
}
void __throw_underflow_error(const char*) {
    ThrowProgrammingFault();
}
} // namespace std
