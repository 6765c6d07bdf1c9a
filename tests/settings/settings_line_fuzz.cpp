// libFuzzer target: any bytes, taken as UTF-16 text, split into lines as the
// text file reader splits them and parsed as settings lines; the parser must
// never read out of bounds, and every entry it accepts must come back with the
// same name, kind and value when the saved file is read and parsed again.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "base/encodings.h"
#include "base/string_list.h"
#include "settings/settings_file.h"

namespace {

std::vector<ozu::SettingsEntry> ParseText(std::u16string_view text) {
    ozu::StringList lines;
    ozu::SplitLines(text, lines);
    std::vector<ozu::SettingsEntry> entries;
    std::u16string_view line;
    while (lines.GetString(line)) {
        if (auto entry = ozu::ParseSettingsLine(line)) {
            entries.push_back(std::move(*entry));
        }
    }
    // The save sorts by name; equal names keep no order.
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return std::tie(a.name, a.kind, a.value) < std::tie(b.name, b.kind, b.value);
    });
    return entries;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    }
    const std::vector<ozu::SettingsEntry> entries = ParseText(text);
    ozu::SettingsEntryList list;
    for (const ozu::SettingsEntry& entry : entries) {
        list.Append(entry);
    }
    const std::string saved = list.Serialize();
    const std::vector<ozu::SettingsEntry> reloaded =
        ParseText(ozu::DecodeText(reinterpret_cast<const uint8_t*>(saved.data()), saved.size()));
    const bool same =
        std::equal(entries.begin(), entries.end(), reloaded.begin(), reloaded.end(),
                   [](const auto& a, const auto& b) {
                       return a.name == b.name && a.kind == b.kind && a.value == b.value;
                   });
    if (!same) {
        std::abort();
    }
    return 0;
}
