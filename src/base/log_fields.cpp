#include "base/log_fields.h"

#include "base/format.h"

namespace ozu {
namespace {

constexpr size_t kLogDataLength = 200;
// The 20 digits of the largest 64-bit number, and a terminator.
constexpr size_t kLogNumberCapacity = 21;

// A line break would end the record early: every control character becomes
// a blank, wherever the value came from.
void AppendValue(std::u16string& line, std::u16string_view raw) {
    std::u16string value(raw);
    for (char16_t& c : value) {
        if (c < 0x20) {
            c = u' ';
        }
    }
    const bool quoted = value.empty() || value.find_first_of(u" \"") != std::u16string_view::npos;
    if (!quoted) {
        line += value;
        return;
    }
    line += u'"';
    for (char16_t c : value) {
        line += c;
        if (c == u'"') {
            line += c; // a doubled quote stands for one, so the value ends at its lone quote
        }
    }
    line += u'"';
}

} // namespace

std::u16string ComposeLogRecord(std::string_view verb, std::initializer_list<LogField> fields) {
    std::u16string line(verb.begin(), verb.end());
    for (const LogField& field : fields) {
        if (field.value.data() == nullptr) {
            continue;
        }
        line += u' ';
        line.append(field.name.begin(), field.name.end());
        line += u'=';
        AppendValue(line, field.value);
    }
    return line;
}

std::u16string LogData(std::u16string_view data) {
    std::u16string shown(data.substr(0, kLogDataLength));
    if (data.size() > kLogDataLength) {
        shown += u"...";
    }
    return shown;
}

std::u16string LogNumber(uint64_t value) {
    return FormatText(kLogNumberCapacity, u"%u", value);
}

} // namespace ozu
