// libFuzzer target: any bytes, taken as UTF-16 lines, through the settings
// line parser and back out through a save; the parser must never read out of
// bounds, and whatever it accepts must survive a save and a reload.

#include "settings/settings_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    }
    ozu::SettingsEntryList list;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(u"\r\n", start);
        if (end == std::u16string::npos) {
            end = text.size();
        }
        if (auto entry =
                ozu::ParseSettingsLine(std::u16string_view(text).substr(start, end - start))) {
            list.Append(std::move(*entry));
        }
        start = end + 1;
    }
    std::string saved = list.Serialize();
    if (saved.size() < 2 || (saved.size() & 1) != 0) {
        std::abort();
    }
    return 0;
}
