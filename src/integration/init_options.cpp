#include "integration/init_options.h"

#include "base/text.h"

namespace ozu {

void ApplyInitOptionsText(IntegrationOptions& options, std::u16string_view text) {
    size_t pos = 0;
    // A letter with nothing after it ends the reading.
    while (pos + 1 < text.size()) {
        // Upper-cased like the silent switch's letter, with the user's locale.
        const char16_t letter = UpperChar(text[pos++]);
        if (letter == u'A') {
            // Each digit is the choice of the next archive type; reading goes on
            // at the first character that is not a digit.
            for (size_t i = 0; i < kAssocCount && pos < text.size() && IsAsciiDigit(text[pos]);
                 ++i, ++pos) {
                options.assoc[i] = text[pos] == u'1';
            }
            continue;
        }
        const bool on = text[pos++] == u'1';
        switch (letter) {
        case u'C':
            options.cascadedMenu = on;
            break;
        case u'D':
            options.desktop = on;
            break;
        case u'I':
            options.menuIcons = on;
            break;
        case u'M':
            options.startMenu = on;
            break;
        case u'P':
            options.programs = on;
            break;
        case u'S':
            options.shellExt = on;
            break;
        default: // an unknown letter: its value is skipped with it
            break;
        }
    }
}

} // namespace ozu
