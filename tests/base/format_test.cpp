#include <cstdint>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "base/format.h"
#include "base/log_fields.h"
#include "support/run_log_reader.h"

namespace ozu {
namespace {

TEST(FormatText, CommonConversions) {
    EXPECT_EQ(FormatText(1024, u"%s /c \"%s\"", u"cmd.exe", std::u16string(u"C:\\t\\b.bat")),
              u"cmd.exe /c \"C:\\t\\b.bat\"");
    EXPECT_EQ(FormatText(1024, u"%d|%u|%x|%X|%c|%%", -5, 7u, 255, 255, u'Q'), u"-5|7|ff|FF|Q|%");
    EXPECT_EQ(FormatText(1024, u"%i %o", 42, 8), u"42 10");
    EXPECT_EQ(FormatText(1024, u"no conversions"), u"no conversions");
}

TEST(FormatText, FlagsWidthAndPrecision) {
    EXPECT_EQ(FormatText(64, u"%02u:%02u", 3u, 45u), u"03:45");
    EXPECT_EQ(FormatText(64, u"%.2d", 7), u"07");
    EXPECT_EQ(FormatText(64, u"[%5d]", 42), u"[   42]");
    EXPECT_EQ(FormatText(64, u"[%-5d]", 42), u"[42   ]");
    EXPECT_EQ(FormatText(64, u"[%05d]", -42), u"[-0042]");
    EXPECT_EQ(FormatText(64, u"[%+d][% d]", 3, 3), u"[+3][ 3]");
    EXPECT_EQ(FormatText(64, u"[%#x][%#o]", 255, 8), u"[0xff][010]");
    EXPECT_EQ(FormatText(64, u"[%.3s]", u"abcdef"), u"[abc]");
    EXPECT_EQ(FormatText(64, u"[%6s]", u"ab"), u"[    ab]");
    EXPECT_EQ(FormatText(64, u"[%-4s]", u"ab"), u"[ab  ]");
    EXPECT_EQ(FormatText(64, u"[%*d]", 4, 7), u"[   7]");
    EXPECT_EQ(FormatText(64, u"[%-*d]", 3, 7), u"[7  ]");
    EXPECT_EQ(FormatText(64, u"[%.*s]", 2, u"xyz"), u"[xy]");
    EXPECT_EQ(FormatText(64, u"[%.0d]", 0), u"[]");
    EXPECT_EQ(FormatText(64, u"[%3c]", u'z'), u"[  z]");
}

TEST(FormatText, LengthModifiersAreAcceptedAndIgnored) {
    EXPECT_EQ(FormatText(64, u"%ld %lu %I64d %lld %hs %ls %zu", 1L, 2UL, int64_t{-3}, 4LL, u"x",
                         u"y", size_t{5}),
              u"1 2 -3 4 x y 5");
    EXPECT_EQ(FormatText(64, u"%I64u", UINT64_MAX), u"18446744073709551615");
}

TEST(FormatText, NegativeValueForUnsignedConversionUsesArgumentWidth) {
    EXPECT_EQ(FormatText(64, u"%u", -1), u"4294967295");
    EXPECT_EQ(FormatText(64, u"%x", int16_t{-1}), u"ffff");
    EXPECT_EQ(FormatText(64, u"%x", int64_t{-1}), u"ffffffffffffffff");
    EXPECT_EQ(FormatText(64, u"%d", INT64_MIN), u"-9223372036854775808");
}

TEST(FormatText, ResultIsCutToCapacityMinusOne) {
    EXPECT_EQ(FormatText(5, u"%s", u"abcdefgh"), u"abcd");
    EXPECT_EQ(FormatText(1, u"%s", u"abc"), u"");
    EXPECT_EQ(FormatText(0, u"abc"), u"");
    EXPECT_EQ(FormatText(4, u"%d", 123456), u"123");
}

// Formats come from translations: a wrong or missing argument must never be
// read as something else.
TEST(FormatText, UntrustedFormatsNeverReadMissingOrMismatchedArguments) {
    EXPECT_EQ(FormatText(256, u"Delete %s and %s now", u"a.exe"), u"Delete a.exe and  now");
    EXPECT_EQ(FormatText(256, u"%s%s%s%s%s%s%s%s%d%x%c"), u"");
    EXPECT_EQ(FormatText(256, u"[%d]", u"text"), u"[]");
    EXPECT_EQ(FormatText(256, u"[%s]", 42), u"[]");
    EXPECT_EQ(FormatText(256, u"[%c]", u"text"), u"[]");
    // %n writes nothing and takes its place in the argument list.
    int target = 7;
    EXPECT_EQ(FormatText(256, u"ab%ncd%s", target, u"!"), u"abcd!");
    EXPECT_EQ(target, 7);
    // Floating and pointer conversions are not supported: their place is used
    // up and nothing shows.
    EXPECT_EQ(FormatText(256, u"%f|%p|%s", 1, 2, u"z"), u"||z");
    // An unknown conversion and a lone trailing percent render as nothing.
    EXPECT_EQ(FormatText(256, u"a%yb%"), u"ab");
    // A width argument that is not an integer is ignored.
    EXPECT_EQ(FormatText(256, u"[%*d]", u"w", 5), u"[5]");
}

TEST(FormatText, HugeWidthsStayWithinCapacity) {
    std::u16string text = FormatText(64, u"%999999999999999999999d|", 1);
    EXPECT_EQ(text.size(), 63u);
    text = FormatText(32, u"%*s", INT32_MIN, u"x");
    EXPECT_EQ(text.size(), 31u);
    EXPECT_EQ(text[0], u'x');
    text = FormatText(32, u"%.*d", 1 << 30, 1);
    EXPECT_EQ(text, std::u16string(31, u'0'));
}

TEST(FormatText, TextOfTheOtherWidthIsWidenedOrReplaced) {
    EXPECT_EQ(FormatText(64, u"%s", "narrow"), u"narrow");
    EXPECT_EQ(FormatNarrowText(64, "%s", u"wide\u00e9\u0416"), "wide\xe9?");
    EXPECT_EQ(FormatText(64, u"%s", static_cast<const char16_t*>(nullptr)), u"");
}

TEST(FormatNarrowText, SectionPrefixes) {
    EXPECT_EQ(FormatNarrowText(100, "$%s:", "SETUPDLG"), "$SETUPDLG:");
    EXPECT_EQ(FormatNarrowText(100, "%s%u", std::string("IDS_"), 5101u), "IDS_5101");
    EXPECT_EQ(FormatNarrowText(4, "%s", "abcdef"), "abc");
    EXPECT_EQ(FormatNarrowText(100, "%c%c", 'o', 107), "ok");
}

} // namespace
} // namespace ozu

namespace ozu {
namespace {

std::string Narrow(std::u16string_view text) {
    return std::string(text.begin(), text.end()); // the cases are ASCII
}

// Whatever a value holds, the record the program writes reads back by the
// documented grammar with the same fields; a field without a value is left
// out, and control characters never break the line.
TEST(LogRecord, ReadsBackByTheDocumentedGrammar) {
    const struct {
        std::u16string_view value;
        const char* read; // nullptr: the field is left out
    } cases[] = {
        {u"plain", "plain"},
        {u"", ""},
        {u"two words", "two words"},
        {u"\"C:\\Program Files\\uninstall.exe\" /S", "\"C:\\Program Files\\uninstall.exe\" /S"},
        {u"\"", "\""},
        {u"a\"b", "a\"b"},
        {u"line\r\nbreak", "line  break"},
        {u"tab\tonly", "tab only"},
        {u"key=value", "key=value"},
        {std::u16string_view(), nullptr},
    };
    for (const auto& c : cases) {
        const std::u16string line =
            ComposeLogRecord("registry-set", {{"root", u"HKCR"}, {"data", c.value}, {"end", u"x"}});
        SCOPED_TRACE(Narrow(line));
        const std::optional<test::LogRecordRead> read = test::ParseLogEvent(Narrow(line));
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->verb, "registry-set");
        EXPECT_EQ(read->Field("root"), "HKCR");
        EXPECT_EQ(read->Field("end"), "x");
        if (c.read == nullptr) {
            EXPECT_EQ(read->fields.size(), 2u);
        } else {
            EXPECT_EQ(read->Field("data"), std::string(c.read));
        }
    }
    EXPECT_EQ(LogNumber(0), u"0");
    EXPECT_EQ(LogNumber(4294967295u), u"4294967295");
    EXPECT_EQ(LogNumber(UINT64_MAX), u"18446744073709551615");
    EXPECT_EQ(LogData(std::u16string(250, u'x')), std::u16string(200, u'x') + u"...");
}

} // namespace
} // namespace ozu
