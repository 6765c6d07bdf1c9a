#include <string>

#include <gtest/gtest.h>

#include "integration/init_options.h"

namespace ozu {
namespace {

// The options as the twenty association digits, then the letters of the flags
// that are on.
std::string Shown(const IntegrationOptions& o) {
    std::string text;
    for (bool on : o.assoc) {
        text += on ? '1' : '0';
    }
    const std::pair<bool, char> flags[] = {{o.cascadedMenu, 'C'}, {o.desktop, 'D'},
                                           {o.menuIcons, 'I'},    {o.startMenu, 'M'},
                                           {o.programs, 'P'},     {o.shellExt, 'S'}};
    text += ' ';
    for (const auto& [on, letter] : flags) {
        text += on ? std::string(1, letter) : "";
    }
    return text;
}

TEST(InitOptionsText, ChangesOnlyWhatItNames) {
    const struct {
        std::u16string_view start, text;
        std::string options;
    } cases[] = {
        // Association digits set types in row order; only 1 means on.
        {u"P1", u"A1101D1P0", "11010000000000000000 D"},
        {u"A11111111111111111111", u"A1290", "10001111111111111111 "},
        // Twenty digits at most; the 21st is read as an unknown letter,
        // which takes "S" as its value.
        {u"", u"A111111111111111111111SD1", "11111111111111111111 D"},
        // Every flag letter in either case; a letter without a value ends the reading.
        {u"", u"c1d1i1m1p1s1", "00000000000000000000 CDIMPS"},
        {u"c1d1i1m1p1s1", u"CxD0I2M P-S", "00000000000000000000 S"},
        // An unknown letter skips its value; "A" without digits reads on at the
        // next character.
        {u"", u"XDP1", "00000000000000000000 P"},
        {u"", u"ZZ??", "00000000000000000000 "},
        {u"", u"AD1", "00000000000000000000 D"},
        {u"", u"", "00000000000000000000 "},
        {u"", u"A", "00000000000000000000 "},
    };
    for (const auto& c : cases) {
        IntegrationOptions options;
        ApplyInitOptionsText(options, c.start);
        ApplyInitOptionsText(options, c.text);
        EXPECT_EQ(Shown(options), c.options) << std::string(c.text.begin(), c.text.end());
    }
}

} // namespace
} // namespace ozu
