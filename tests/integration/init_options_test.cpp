#include "integration/init_options.h"

#include <gtest/gtest.h>

namespace ozu {
namespace {

IntegrationOptions Apply(std::u16string_view text, IntegrationOptions options = {}) {
    ApplyInitOptionsText(options, text);
    return options;
}

TEST(InitOptionsText, AssociationDigitsSetTypesInRowOrder) {
    const IntegrationOptions o = Apply(u"A1101D1P0", [] {
        IntegrationOptions start;
        start.programs = true;
        return start;
    }());
    EXPECT_TRUE(o.assoc[0]);
    EXPECT_TRUE(o.assoc[1]);
    EXPECT_FALSE(o.assoc[2]);
    EXPECT_TRUE(o.assoc[3]);
    EXPECT_TRUE(o.desktop);
    EXPECT_FALSE(o.programs);
}

TEST(InitOptionsText, OnlyOneMeansOnAndOtherDigitsClear) {
    IntegrationOptions all;
    all.assoc.fill(true);
    const IntegrationOptions o = Apply(u"A1290", all);
    EXPECT_TRUE(o.assoc[0]);
    EXPECT_FALSE(o.assoc[1]);
    EXPECT_FALSE(o.assoc[2]);
    EXPECT_FALSE(o.assoc[3]);
    EXPECT_TRUE(o.assoc[4]); // untouched beyond the digits given
}

TEST(InitOptionsText, TwentyDigitsAtMostThenReadingGoesOn) {
    // 21 digits: the 21st is read as a letter (unknown, skipped with "S").
    const IntegrationOptions o = Apply(u"A111111111111111111111SD1");
    for (size_t i = 0; i < kAssocCount; ++i)
        EXPECT_TRUE(o.assoc[i]) << i;
    EXPECT_FALSE(o.shellExt);
    EXPECT_TRUE(o.desktop);
}

TEST(InitOptionsText, EveryFlagLetterInEitherCase) {
    const IntegrationOptions on = Apply(u"c1d1i1m1p1s1");
    EXPECT_TRUE(on.cascadedMenu && on.desktop && on.menuIcons && on.startMenu && on.programs &&
                on.shellExt);
    const IntegrationOptions off = Apply(u"CxD0I2M P-S", on);
    EXPECT_FALSE(off.cascadedMenu || off.desktop || off.menuIcons || off.startMenu || off.programs);
    EXPECT_TRUE(off.shellExt) << "a letter without a value ends the reading";
}

TEST(InitOptionsText, UnknownLettersSkipTheirValue) {
    // "X" takes "D" as its value.
    const IntegrationOptions o = Apply(u"XDP1");
    EXPECT_FALSE(o.desktop);
    EXPECT_TRUE(o.programs);
    EXPECT_EQ(Apply(u"ZZ??"), IntegrationOptions{});
}

TEST(InitOptionsText, AssocWithoutDigitsReadsOnAtTheNextCharacter) {
    const IntegrationOptions o = Apply(u"AD1");
    EXPECT_TRUE(o.desktop);
    EXPECT_FALSE(o.assoc[0]);
    EXPECT_EQ(Apply(u""), IntegrationOptions{});
    EXPECT_EQ(Apply(u"A"), IntegrationOptions{});
}

} // namespace
} // namespace ozu
