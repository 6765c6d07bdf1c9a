#include "base/run_log.h"

#include <windows.h>

#include "base/encodings.h"
#include "base/new_file.h"
#include "base/scoped_handle.h"
#include "base/win32_text.h"

namespace ozu {
namespace {

FileHandle& LogFile() {
    static FileHandle file;
    return file;
}

} // namespace

bool OpenRunLog(std::u16string_view path) {
    FileHandle& log = LogFile();
    // Appended to by every run; others may read it meanwhile. A link or a
    // second name planted at the log's path would carry the writing into a
    // file that is not the log, so such a log is dropped.
    log = OpenPlainFileForAppend(path);
    if (!log) {
        return false;
    }
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(log.Get(), &size) && size.QuadPart == 0) {
        WriteAll(log.Get(), "\xEF\xBB\xBF");
    }
    return true;
}

void CloseRunLog() {
    LogFile().Reset();
}

bool RunLogActive() {
    return LogFile().IsValid();
}

void LogLine(std::u16string_view text) {
    FileHandle& log = LogFile();
    if (!log) {
        return;
    }
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    std::u16string line = FormatText(32, u"%04u-%02u-%02u %02u:%02u:%02u ", now.wYear, now.wMonth,
                                     now.wDay, now.wHour, now.wMinute, now.wSecond);
    line.append(text);
    line += u"\r\n";
    if (!WriteAll(log.Get(), WideToUtf8(line))) {
        log.Reset(); // a full or failing disk: the run goes on without its log
    }
}

void LogRecord(std::string_view verb, std::initializer_list<LogField> fields) {
    if (RunLogActive()) {
        LogLine(ComposeLogRecord(verb, fields));
    }
}

} // namespace ozu
