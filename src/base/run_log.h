// The run log that an administrator asks for with /log: what the program
// changed and what it decided, one line per event, each beginning with the
// local time to the second. The file is UTF-8 (with a byte-order mark when the
// program creates it) and is appended to; every line is written at once, so a
// run that ends abruptly loses nothing it logged. A log that cannot be opened
// or written never changes the run.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/format.h"
#include "base/log_fields.h"

namespace ozu {

// Lines are cut to this many characters; long registry data is shortened
// before that (see LogData).
inline constexpr size_t kLogLineCapacity = 1024;

// Opens the log file for appending; false (and no log) when it cannot.
bool OpenRunLog(std::u16string_view path);
void CloseRunLog();
bool RunLogActive();

// Writes one line; nothing while no log is open.
void LogLine(std::u16string_view text);

// Writes one record: a fixed verb, then its fields (see log_fields.h).
// Nothing while no log is open.
void LogRecord(std::string_view verb, std::initializer_list<LogField> fields = {});

} // namespace ozu
