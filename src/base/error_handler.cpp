#include "base/error_handler.h"

#include <cstdlib>
#include <utility>

namespace ozu {

void ErrorHandler::Exit(int code) {
    EndProgram(code);
}

void ErrorHandler::MemoryError() {
    Exit(OZU_EXIT_MEMORY_ERROR);
}

namespace {

// Plain values, never destroyed: they are read while the runtime destroys
// everything else.
FatalEndHook g_fatalEndHook = nullptr;
bool g_ending = false;   // exit has begun, or is about to
bool g_fatalEnd = false; // a fatal end is under way
int g_fatalExitCode = 0; // what it ends with

} // namespace

void SetFatalEndHook(FatalEndHook hook) {
    g_fatalEndHook = hook;
}

void MarkProgramEnding() {
    g_ending = true;
}

void EndProgram(int code) {
    if (std::exchange(g_fatalEnd, true)) {
        std::_Exit(g_fatalExitCode); // met in the report of the first one
    }
    g_fatalExitCode = code;
    if (g_fatalEndHook) {
        g_fatalEndHook(code, g_fatalExitCode);
    }
    if (std::exchange(g_ending, true)) {
        std::_Exit(g_fatalExitCode);
    }
    std::exit(g_fatalExitCode);
}

ErrorHandler& TheErrorHandler() {
    static ErrorHandler handler;
    return handler;
}

} // namespace ozu
