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

void EndProgram(int code) {
    // A fatal condition met while ending (in the save at exit, say) ends
    // without a second round of destructors.
    static bool ending = false;
    if (std::exchange(ending, true)) {
        std::_Exit(code);
    }
    std::exit(code);
}

ErrorHandler& TheErrorHandler() {
    static ErrorHandler handler;
    return handler;
}

} // namespace ozu
