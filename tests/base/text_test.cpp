#include <cstdint>

#include <gtest/gtest.h>

#include "base/system_text.h"
#include "base/text.h"

namespace ozu {
namespace {

TEST(BoundedCopy, CapacityZeroWritesNothingAndOneWritesOnlyTerminator) {
    char16_t buffer[4] = {u'x', u'x', u'x', u'x'};
    EXPECT_EQ(CopyText(buffer, u"abc", 0), buffer);
    EXPECT_EQ(buffer[0], u'x');

    EXPECT_EQ(CopyText(buffer, u"abc", 1), buffer);
    EXPECT_EQ(buffer[0], u'\0');
    EXPECT_EQ(buffer[1], u'x');
}

TEST(BoundedCopy, CutsAtCapacityAndReturnsTerminatorPosition) {
    char16_t buffer[8];
    buffer[4] = u'#';
    char16_t* end = CopyText(buffer, u"abcdefgh", 4);
    EXPECT_EQ(end, buffer + 3);
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_EQ(buffer[4], u'#'); // nothing beyond the capacity

    end = CopyText(buffer, u"ab", 8);
    EXPECT_EQ(end, buffer + 2);
    EXPECT_EQ(std::u16string(buffer), u"ab");
}

TEST(BoundedCopy, AppendStopsAtCapacityAndLeavesAFullDestinationAlone) {
    char16_t buffer[6];
    CopyText(buffer, u"ab", 6);
    AppendText(buffer, u"cdefg", 6);
    EXPECT_EQ(std::u16string(buffer), u"abcde");

    // Destination length equals the capacity: the text is not terminated
    // within the capacity, so nothing may be touched.
    char16_t full[4] = {u'w', u'x', u'y', u'z'};
    AppendText(full, u"q", 4);
    EXPECT_EQ(std::u16string_view(full, 4), u"wxyz");
}

TEST(BoundedCopy, NarrowFormsBehaveTheSame) {
    char buffer[5] = "zzzz";
    CopyNarrowText(buffer, "hello", 3);
    EXPECT_STREQ(buffer, "he");
    EXPECT_EQ(buffer[3], 'z');
    AppendNarrowText(buffer, "llo", 5);
    EXPECT_STREQ(buffer, "hell");
    AppendNarrowText(buffer, "o", 5);
    EXPECT_STREQ(buffer, "hell");
}

TEST(BoundedCopy, StringFormsKeepCapacityMinusOne) {
    std::u16string s;
    CopyText(s, u"abcdef", 4);
    EXPECT_EQ(s, u"abc");
    AppendText(s, u"xyz", 6);
    EXPECT_EQ(s, u"abcxy");
    AppendText(s, u"more", 6);
    EXPECT_EQ(s, u"abcxy");
    EXPECT_EQ(Truncate(u"abcdef", 3), u"ab");
    EXPECT_EQ(Truncate(u"abc", 0), u"");
    EXPECT_EQ(Truncate(u"ab", 10), u"ab");
}

TEST(ParseDecimal, DigitsUpToFirstOtherCharacter) {
    EXPECT_EQ(ParseDecimal(u"-12abc"), -12);
    EXPECT_EQ(ParseDecimal(u"42"), 42);
    EXPECT_EQ(ParseDecimal(u"007x9"), 7);
    EXPECT_EQ(ParseDecimal(u""), 0);
    EXPECT_EQ(ParseDecimal(u"-"), 0);
    EXPECT_EQ(ParseDecimal(u"abc"), 0);
    EXPECT_EQ(ParseDecimal(u" 5"), 0); // no blanks skipped
    EXPECT_EQ(ParseDecimal(u"--5"), 0);
    EXPECT_EQ(ParseNarrowDecimal("-7,"), -7);
}

TEST(ParseDecimal, OverflowWrapsWithoutUndefinedBehaviour) {
    EXPECT_EQ(ParseDecimal(u"9223372036854775807"), INT64_MAX);
    // 2^63 wraps to INT64_MIN; being negative already, the sign is not applied.
    EXPECT_EQ(ParseDecimal(u"9223372036854775808"), INT64_MIN);
    EXPECT_EQ(ParseDecimal(u"-9223372036854775808"), INT64_MIN);
    // 2^64 + 5 wraps to 5.
    EXPECT_EQ(ParseDecimal(u"18446744073709551621"), 5);
    EXPECT_EQ(ParseDecimal(u"-18446744073709551621"), -5);
    // A very long run of digits only wraps.
    ParseDecimal(std::u16string(5000, u'9'));
}

TEST(FormatDecimal, KeepsLowestDigitsWhenCut) {
    EXPECT_EQ(FormatDecimal(4294967295, 20), u"4294967295");
    EXPECT_EQ(FormatDecimal(123456, 4), u"456");
    EXPECT_EQ(FormatDecimal(-12, 10), u"-12");
    EXPECT_EQ(FormatDecimal(-12, 3), u"12"); // the sign is the most significant part
    EXPECT_EQ(FormatDecimal(0, 2), u"0");
    EXPECT_EQ(FormatDecimal(5, 1), u"");
    EXPECT_EQ(FormatDecimal(5, 0), u"");
    EXPECT_EQ(FormatDecimal(INT64_MIN, 32), u"-9223372036854775808");
    EXPECT_EQ(FormatDecimal(INT64_MAX, 32), u"9223372036854775807");
}

TEST(CharacterClasses, UpperBlankLetterDigit) {
    // The dotted i is always the plain capital I.
    for (auto [c, upper] : {std::pair{u'i', u'I'},
                            {u'a', u'A'},
                            {u'Z', u'Z'},
                            {u'1', u'1'},
                            {u'\u00e9', u'\u00c9'},
                            {u'\u0436', u'\u0416'}}) {
        EXPECT_EQ(UpperChar(c), upper) << static_cast<int>(c);
    }
    EXPECT_TRUE(IsBlank(u' ') && IsBlank(u'\t'));
    EXPECT_FALSE(IsBlank(u'\n') || IsBlank(u'\u00a0'));
    EXPECT_TRUE(IsAsciiLetter(u'q') && IsAsciiLetter(u'Q'));
    EXPECT_FALSE(IsAsciiLetter(u'\u00e9') || IsAsciiLetter(u'['));
    EXPECT_TRUE(IsAsciiDigit(u'0'));
    EXPECT_FALSE(IsAsciiDigit(u'\u0660')); // Arabic-Indic zero
}

// File names: same length, each character through the upper-case table, no
// language rules (which would also ignore marks such as a soft hyphen).
TEST(SameFileName, ComparesAsTheFileSystemDoes) {
    struct Case {
        std::u16string_view a, b;
        bool same;
    };
    for (const Case& c : {Case{u"UNINSTALL.EXE", u"uninstall.exe", true},
                          Case{u"\u00e9t\u00e9", u"\u00c9T\u00c9", true}, Case{u"", u"", true},
                          Case{u"setup", u"setu", false}, Case{u"a\u00adb", u"ab\u00ad", false},
                          Case{u"C:\\Mivora\\x", u"C:/Mivora/x", false}}) {
        EXPECT_EQ(SameFileName(c.a, c.b), c.same);
        EXPECT_EQ(SameFileName(c.b, c.a), c.same);
    }
}

TEST(CompareNoCase, WholeAndCountedComparisons) {
    EXPECT_EQ(CompareTextNoCase(u"Mivora", u"MIVORA"), 0);
    EXPECT_LT(CompareTextNoCase(u"abc", u"ABD"), 0);
    EXPECT_GT(CompareTextNoCase(u"abd", u"ABC"), 0);
    EXPECT_LT(CompareTextNoCase(u"ab", u"abc"), 0);
    EXPECT_EQ(CompareTextNoCase(u"", u""), 0);
    EXPECT_TRUE(EqualsNoCase(u"\u00e9t\u00e9", u"\u00c9T\u00c9"));
    EXPECT_FALSE(EqualsNoCase(u"setup", u"setu"));
    // A counted comparison includes the terminator: six characters of "setup"
    // are its five and its terminator.
    EXPECT_EQ(CompareTextNoCaseN(u"SETUPX", u"setup", 5), 0);
    EXPECT_NE(CompareTextNoCaseN(u"SETUPX", u"setup", 6), 0);
    EXPECT_EQ(CompareTextNoCaseN(u"setup", u"SETUP", 100), 0);
    EXPECT_NE(CompareTextNoCaseN(u"set", u"setup", 100), 0);
    EXPECT_EQ(CompareTextNoCaseN(u"abc", u"xyz", 0), 0);
}

} // namespace
} // namespace ozu
