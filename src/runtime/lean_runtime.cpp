// uninstall.exe travels inside every installer of the archiver, so its size
// matters. It is built without exceptions, and this file replaces the parts
// of the static C++ runtime that would raise or report them, for the program
// only (the tests keep the standard ones):
//
// - The verbose terminate handler prints the type of an uncaught exception to
//   the standard error stream, which a windowed program does not have, and
//   pulls in the whole C++ symbol demangler (about 75 KiB).
// - The functions through which the standard library raises its exceptions
//   construct std::logic_error and its kin, which pull in a second, reference
//   counted string implementation (about 85 KiB), and the unwinder.
//
// Running out of memory, or a size beyond what can ever be allocated, ends
// the program with the memory-error exit code; the other errors are
// programming faults (an index out of range, a bad cast) and end it with the
// severe-error code instead of a crash.
#include <cstdlib>
#include <new>

#include "base/error_handler.h"

namespace {

[[noreturn]] void EndOnMemoryError() {
    ozu::EndProgram(ozu::OZU_EXIT_MEMORY_ERROR);
}

[[noreturn]] void EndOnProgrammingFault() {
    ozu::EndProgram(ozu::OZU_EXIT_SEVERE_ERROR);
}

} // namespace

// The runtime's own operator new raises std::bad_alloc, which nothing here
// could catch. Array new and the sized forms come through this one.
void* operator new(std::size_t size) {
    if (void* block = std::malloc(size != 0 ? size : 1)) {
        return block;
    }
    EndOnMemoryError();
}

// The runtime's nothrow forms catch the exception of the throwing ones, which
// brings the whole unwinder back; these answer null as they would.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size != 0 ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size != 0 ? size : 1);
}

// The runtime's own names, which this file replaces on purpose.
namespace __gnu_cxx {
void __verbose_terminate_handler() { // NOLINT(bugprone-reserved-identifier)
    std::abort();
}
} // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() {
    EndOnMemoryError();
}
void __throw_bad_array_new_length() {
    EndOnMemoryError();
}
void __throw_length_error(const char*) {
    EndOnMemoryError();
}
void __throw_bad_cast() {
    EndOnProgrammingFault();
}
void __throw_bad_typeid() {
    EndOnProgrammingFault();
}
void __throw_bad_exception() {
    EndOnProgrammingFault();
}
void __throw_logic_error(const char*) {
    EndOnProgrammingFault();
}
void __throw_domain_error(const char*) {
    EndOnProgrammingFault();
}
void __throw_invalid_argument(const char*) {
    EndOnProgrammingFault();
}
void __throw_out_of_range(const char*) {
    EndOnProgrammingFault();
}
void __throw_out_of_range_fmt(const char*, ...) {
    EndOnProgrammingFault();
}
void __throw_runtime_error(const char*) {
    EndOnProgrammingFault();
}
void __throw_range_error(const char*) {
    EndOnProgrammingFault();
}
void __throw_overflow_error(const char*) {
    EndOnProgrammingFault();
}
void __throw_underflow_error(const char*) {
    EndOnProgrammingFault();
}
} // namespace std
