#include "base/error_handler.h"

#include <cstdlib>
#include <utility>

namespace ozu {

void ErrorHandler::SetErrorCode(int code) {
    switch (code) {
    case OZU_EXIT_WARNING:
    case OZU_EXIT_BREAK:
        if (code_ == OZU_EXIT_SUCCESS) {
            code_ = code;
        }
        break;
    case OZU_EXIT_CLOSE_ERROR:
        if (code_ == OZU_EXIT_SUCCESS || code_ == OZU_EXIT_WARNING) {
            code_ = code;
        }
        break;
    case OZU_EXIT_MINOR_ERROR:
        if (code_ != OZU_EXIT_SEVERE_ERROR) {
            code_ = code;
        }
        break;
    default:
        code_ = code;
        break;
    }
    ++count_;
}

void ErrorHandler::Exit(int code) {
    SetErrorCode(code);
    EndProgram(code);
}

void ErrorHandler::MemoryError() {
    MemoryErrorReport();
    Exit(OZU_EXIT_MEMORY_ERROR);
}

void ErrorHandler::MemoryErrorReport() {
    Notify(kMessageMemory);
    SetErrorCode(OZU_EXIT_MEMORY_ERROR);
}

void ErrorHandler::CloseErrorReport(std::u16string_view fileName) {
    Notify(kMessageClose, std::u16string(fileName));
    SetErrorCode(OZU_EXIT_CLOSE_ERROR);
}

void ErrorHandler::SeekErrorReport(std::u16string_view fileName) {
    Notify(kMessageSeek, std::u16string(fileName));
}

bool ErrorHandler::ReadErrorQuery(std::u16string_view) {
    SetErrorCode(OZU_EXIT_READ_ERROR);
    return true;
}

bool ErrorHandler::WriteErrorQuery(std::u16string_view) {
    return false;
}

void ErrorHandler::WriteCrossing4GiBReport(std::u16string_view fileName) {
    Notify(kMessageWriteCrossing4GiB, std::u16string(fileName));
}

void ErrorHandler::SetMessageSink(MessageSink sink) {
    sink_ = std::move(sink);
}

void ErrorHandler::Clear() {
    code_ = OZU_EXIT_SUCCESS;
    count_ = 0;
    sink_ = nullptr;
}

void ErrorHandler::Notify(int code, const std::u16string& param) {
    if (sink_) {
        sink_(code, &param, 1);
    }
}

void ErrorHandler::Notify(int code) {
    if (sink_) {
        sink_(code, nullptr, 0);
    }
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
