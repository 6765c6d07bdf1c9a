#pragma once
// The run log's line form, which tools read: a fixed verb, then name=value
// fields. A value is written as it is unless it is empty or holds a blank or
// a quote; then it is quoted, and a quote inside it is doubled. Portable, so
// that the host build checks it under the sanitizers.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace ozu {

struct LogField {
    std::string_view name;
    std::u16string_view value;
};

// verb, then " name=value" for each field. A field without a value (a view
// that refers to nothing, as a default-constructed one) is left out; an empty
// text is a value and is written as "".
std::u16string ComposeLogRecord(std::string_view verb, std::initializer_list<LogField> fields);

// Data as it appears in a field: at most 200 characters, longer data cut
// with "...", control characters (line breaks) shown as blanks.
std::u16string LogData(std::u16string_view data);

// A number as a field's value.
std::u16string LogNumber(uint64_t value);

} // namespace ozu
