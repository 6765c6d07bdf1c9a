// Reads the run log as docs/run-log.md defines it, independently of the
// program's own writer: a line is the time, a verb, then name=value fields;
// a value is bare, or quoted with its quotes doubled. Portable (no
// <windows.h>), so host tests use it too.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ozu::test {

struct LogRecordRead {
    std::string time;
    std::string verb;
    std::vector<std::pair<std::string, std::string>> fields;

    std::optional<std::string> Field(std::string_view name) const {
        for (const auto& [key, value] : fields) {
            if (key == name) {
                return value;
            }
        }
        return std::nullopt;
    }
};

inline bool IsWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

// A value as the log writes it.
inline std::string LogValue(std::string_view value) {
    if (!value.empty() && value.find_first_of(" \"") == std::string_view::npos) {
        return std::string(value);
    }
    std::string quoted = "\"";
    for (char c : value) {
        quoted += c;
        if (c == '"') {
            quoted += c;
        }
    }
    return quoted + "\"";
}

// One event (the line without its time); nothing when it breaks the grammar.
inline std::optional<LogRecordRead> ParseLogEvent(std::string_view event) {
    LogRecordRead record;
    size_t at = 0;
    while (at < event.size() && IsWordChar(event[at])) {
        ++at;
    }
    record.verb = std::string(event.substr(0, at));
    if (record.verb.empty()) {
        return std::nullopt;
    }
    while (at < event.size()) {
        if (event[at++] != ' ') {
            return std::nullopt;
        }
        const size_t nameStart = at;
        while (at < event.size() && IsWordChar(event[at])) {
            ++at;
        }
        if (at == nameStart || at >= event.size() || event[at] != '=') {
            return std::nullopt;
        }
        std::string name(event.substr(nameStart, at - nameStart));
        std::string value;
        if (++at < event.size() && event[at] == '"') {
            for (++at;; ++at) {
                if (at >= event.size()) {
                    return std::nullopt; // a quote that never closes
                }
                if (event[at] == '"') {
                    if (at + 1 < event.size() && event[at + 1] == '"') {
                        value += '"';
                        ++at;
                        continue;
                    }
                    ++at;
                    break;
                }
                value += event[at];
            }
        } else {
            while (at < event.size() && event[at] != ' ' && event[at] != '"') {
                value += event[at++];
            }
            if (value.empty()) {
                return std::nullopt;
            }
        }
        record.fields.emplace_back(std::move(name), std::move(value));
    }
    return record;
}

// A whole line: "YYYY-MM-DD hh:mm:ss " and the event.
inline std::optional<LogRecordRead> ParseLogLine(std::string_view line) {
    static constexpr std::string_view shape = "0000-00-00 00:00:00 ";
    if (line.size() <= shape.size()) {
        return std::nullopt;
    }
    for (size_t i = 0; i < shape.size(); ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if (shape[i] == '0' ? !digit : line[i] != shape[i]) {
            return std::nullopt;
        }
    }
    std::optional<LogRecordRead> record = ParseLogEvent(line.substr(shape.size()));
    if (record) {
        record->time = std::string(line.substr(0, shape.size() - 1));
    }
    return record;
}

// Every line of a log file's text (UTF-8, a byte-order mark at most at the
// start, CR LF after every line); nothing when a line breaks the grammar.
inline std::optional<std::vector<LogRecordRead>> ParseLog(std::string_view log) {
    std::vector<LogRecordRead> records;
    size_t begin = log.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    while (begin < log.size()) {
        const size_t end = log.find("\r\n", begin);
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        std::optional<LogRecordRead> record = ParseLogLine(log.substr(begin, end - begin));
        if (!record) {
            return std::nullopt;
        }
        records.push_back(std::move(*record));
        begin = end + 2;
    }
    return records;
}

} // namespace ozu::test
