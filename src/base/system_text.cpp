// The ANSI code page conversions, with their one shortcut: the characters below
// 0x80 are the same bytes in every ANSI code page, the double-byte ones included
// (their lead bytes are all above 0x7F), so text of nothing else converts byte
// for character without asking the system. Most text the program converts
// (language keys, list entries) is such text.
#include "base/system_text.h"

#include "base/system_text_code_page.h"
#include "base/text_words.h"

namespace ozu {

size_t AnsiToWide(std::string_view text, char16_t* out) {
    // Widened on the chance that it is all ASCII, which a second look would
    // otherwise have to find out first.
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    return words::WidenAscii(in, text.size(), out) == text.size() ? text.size()
                                                                  : CodePageToWide(text, out);
}

std::u16string AnsiToWide(std::string_view text) {
    std::u16string wide(text.size(), u'\0');
    wide.resize(AnsiToWide(text, wide.data()));
    return wide;
}

void AppendWideToAnsi(std::u16string_view text, std::string& out) {
    // Narrowed on the chance that it is all ASCII.
    const size_t old = out.size();
    out.resize(old + text.size());
    if (words::NarrowAscii(text.data(), text.size(), out.data() + old) != text.size()) {
        out.resize(old);
        AppendWideToCodePage(text, out);
    }
}

std::string WideToAnsi(std::u16string_view text) {
    std::string ansi;
    AppendWideToAnsi(text, ansi);
    return ansi;
}

} // namespace ozu
