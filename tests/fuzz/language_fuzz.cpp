// Fuzz target for the language file: arbitrary bytes go through the marker
// search, decoding and parsing exactly as a file on disk would, and once more
// straight into the parser as UTF-16 text. The sanitizers catch out-of-bounds
// access; the checks below catch stored entries that break the stated limits
// or cannot be found again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "localization/language_table.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void CheckTable(const ozu::LanguageTable& table) {
    std::u16string out;
    size_t checked = 0;
    for (const ozu::LanguageEntry& entry : table.Entries()) {
        Check(!entry.key.empty() && entry.key.size() <= ozu::kMaxStoredKeyChars);
        Check(entry.text.size() <= ozu::kMaxValueChars);
        if (checked++ < 64) {
            Check(table.FindText(entry.key, out, 10) && out.size() <= 9);
        }
    }
    for (const ozu::LanguageKeyRow& row : ozu::LanguageKeyTable) {
        const bool byKey = table.FindText(row.key, out);
        if (row.id != 0) {
            const std::string_view section = row.key.substr(0, row.key.find(':'));
            Check(table.FindTextById(row.id, section, out) == byKey);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    ozu::LanguageTable table;
    ozu::MemoryByteSource source(bytes);
    table.LoadFrom(source);
    CheckTable(table);

    std::u16string text(size / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    }
    table.LoadText(text);
    CheckTable(table);
    return 0;
}
