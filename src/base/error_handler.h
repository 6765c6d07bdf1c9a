#pragma once
// The process-wide error record: keeps an exit code under precedence rules,
// counts errors, passes messages to a sink, and ends the process on fatal
// errors (memory exhaustion). The recorded code is not the process exit code.

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

// Message codes sent to the sink.
enum ErrorMessage : int {
    kMessageGeneral = 1,
    kMessageMemory = 7,
    kMessageClose = 10,
    kMessageSeek = 11,
    kMessageWriteCrossing4GiB = 73,
};

class ErrorHandler {
public:
    // A sink receives a message code and up to eight text parameters.
    using MessageSink = std::function<void(int code, const std::u16string* params, size_t count)>;

    void SetErrorCode(int code);
    [[noreturn]] void Exit(int code);
    [[noreturn]] void MemoryError();
    void MemoryErrorReport();

    template <typename... Args>
    void GeneralMessage(std::u16string_view format, const Args&... args) {
        Notify(kMessageGeneral, FormatText(1024, format, args...));
    }

    void CloseErrorReport(std::u16string_view fileName);
    void SeekErrorReport(std::u16string_view fileName);
    // Records the read error; true means "ignore" (the answer is always ignore).
    bool ReadErrorQuery(std::u16string_view fileName);
    // True means "retry" (the answer is always do not retry).
    bool WriteErrorQuery(std::u16string_view fileName);
    void WriteCrossing4GiBReport(std::u16string_view fileName);

    int ErrorCode() const { return code_; }
    uint32_t ErrorCount() const { return count_; }

    // The sink discards everything unless one is set (tests watch messages).
    void SetMessageSink(MessageSink sink);
    // Back to the initial state: code 0, count 0, no sink.
    void Clear();

private:
    void Notify(int code, const std::u16string& param);
    void Notify(int code);

    int code_ = OZU_EXIT_SUCCESS;
    uint32_t count_ = 0;
    MessageSink sink_;
};

ErrorHandler& TheErrorHandler();

} // namespace ozu
