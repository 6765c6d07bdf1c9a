#pragma once
// The process-wide fatal end: ends the process on fatal errors (memory
// exhaustion) with their code.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/format.h"

namespace ozu {

enum OZU_EXIT_CODE : int {
    OZU_EXIT_SUCCESS = 0,
    OZU_EXIT_WARNING = 1,      // recorded only while the code is 0
    OZU_EXIT_CLOSE_ERROR = 2,  // a file could not be closed; only while 0 or 1
    OZU_EXIT_MINOR_ERROR = 3,  // recorded unless the code is 11
    OZU_EXIT_OPEN_ERROR = 6,   // a file could not be opened
    OZU_EXIT_MEMORY_ERROR = 8, // memory exhausted or an array above its maximum
    OZU_EXIT_SEVERE_ERROR = 11,
    OZU_EXIT_READ_ERROR = 12, // a read failed
    OZU_EXIT_BREAK = 255,     // recorded only while the code is 0
};

// Ends the process with `code` at once. The program is built without
// exceptions (they cost a fifth of its size), so a fatal condition (memory
// exhausted, an array above its maximum, a programming fault) unwinds
// nothing: the process-wide objects are still destroyed as at a normal end
// (the portable settings are saved, the run log is closed), and the system
// closes every handle and releases the single-run mutex. A fatal condition
// met while they are destroyed (in the save at exit, say, also after a normal
// end) ends the process without a second round of destructors.
[[noreturn]] void EndProgram(int code);

// What the program does at a fatal end before the process ends, registered
// at start-up by the layer that knows the run (this one must not depend on
// it): it sets `exitCode` (the fatal code when called) to the code the
// process ends with, then reports the end (the run log's last line). Called
// once; a fatal condition inside it ends the process at once with the
// `exitCode` set by then.
using FatalEndHook = void (*)(int code, int& exitCode);
void SetFatalEndHook(FatalEndHook hook);

// The normal end: the program has returned, and the runtime destroys the
// process-wide objects from here on. A fatal condition among them must not
// call exit again from inside exit.
void MarkProgramEnding();

// The fatal ends that the file object, the growable array and the string
// list reach. Nothing reads an error record: a failed close or seek, and a
// read error (the rest of the file reads as its end), are the caller's to
// see in what the call returns.
class ErrorHandler {
public:
    [[noreturn]] void Exit(int code);
    // Memory exhausted, or an array above its maximum.
    [[noreturn]] void MemoryError();
};

ErrorHandler& TheErrorHandler();

} // namespace ozu
