#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/encodings.h"
#include "base/string_list.h"

namespace ozu {
namespace {

using Bytes = std::vector<uint8_t>;

TextEncoding Detect(const Bytes& bytes) {
    return DetectTextEncoding(bytes.data(), bytes.size());
}

TEST(DetectTextEncoding, Utf8NeedsMarkAndWellFormedRest) {
    EXPECT_EQ(Detect({0xEF, 0xBB, 0xBF, 'a'}), TextEncoding::Utf8);
    EXPECT_EQ(Detect({0xEF, 0xBB, 0xBF, 0xC3, 0xA9}), TextEncoding::Utf8);
    EXPECT_EQ(Detect({0xEF, 0xBB, 0xBF}), TextEncoding::Default); // size must exceed 3
    EXPECT_EQ(Detect({0xEF, 0xBB, 0xBF, 0xC3}), TextEncoding::Default);
    EXPECT_EQ(Detect({0xEF, 0xBB, 0xBF, 0x80}), TextEncoding::Default);
    EXPECT_EQ(Detect({'a', 0xC3, 0xA9}), TextEncoding::Default); // no mark
}

TEST(DetectTextEncoding, Utf16NeedsAControlHighByte) {
    EXPECT_EQ(Detect({0xFF, 0xFE, 'a', 0}), TextEncoding::Utf16);
    EXPECT_EQ(Detect({0xFE, 0xFF, 0, 'a'}), TextEncoding::Utf16);
    // Two bytes are only a mark.
    EXPECT_EQ(Detect({0xFF, 0xFE}), TextEncoding::Default);
    // Odd length: the lone last byte is a high byte position too.
    EXPECT_EQ(Detect({0xFF, 0xFE, 'a'}), TextEncoding::Default);
    // High bytes of 0x20 or more, or CR and LF, do not count.
    EXPECT_EQ(Detect({0xFF, 0xFE, 'a', 0x41, 'b', 0x0D, 'c', 0x0A}), TextEncoding::Default);
    EXPECT_EQ(Detect({0xFE, 0xFF, 0x30, 'a', 0x0A, 'b'}), TextEncoding::Default);
    // One character with a zero high byte suffices, wherever it is.
    EXPECT_EQ(Detect({0xFF, 0xFE, 'a', 0x41, 'b', 0x41, 'c', 0x1F}), TextEncoding::Utf16);
    // Little-endian looks at odd indexes only: a zero at an even index is a
    // low byte.
    EXPECT_EQ(Detect({0xFF, 0xFE, 0, 0x41}), TextEncoding::Default);
    EXPECT_EQ(Detect({'a', 'b', 0, 0}), TextEncoding::Default);
}

TEST(IsTextUtf8, LeadBytesUpToSixBytesAndContinuations) {
    auto ok = [](const Bytes& b) { return IsTextUtf8(b.data(), b.size()); };
    EXPECT_TRUE(ok({}));
    EXPECT_TRUE(ok({'a', 'b'}));
    EXPECT_TRUE(ok({0xF0, 0x9F, 0x98, 0x80}));
    EXPECT_TRUE(ok({0xF8, 0x88, 0x80, 0x80, 0x80}));       // five bytes accepted here
    EXPECT_TRUE(ok({0xFC, 0x84, 0x80, 0x80, 0x80, 0x80})); // and six
    EXPECT_TRUE(ok({0xC0, 0x80}));                         // no overlong check
    EXPECT_FALSE(ok({0x80}));
    EXPECT_FALSE(ok({0xFE, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80}));
    EXPECT_FALSE(ok({0xFF}));
    EXPECT_FALSE(ok({0xE2, 0x82}));      // truncated at the end
    EXPECT_FALSE(ok({0xE2, 'a', 0xAC})); // continuation missing
}

TEST(Utf8ToWide, DecodesWithinCapacityAndStopsAtMalformedSequences) {
    const struct {
        std::string_view text;
        size_t capacity;
        std::u16string text16;
        bool ok;
    } cases[] = {
        {"a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", 100, u"a\u00e9\u20ac\U0001F600", true},
        {"ab\0cd", 100, u"ab", true},
        {std::string_view("ab\0cd", 5), 100, u"ab", true},
        {"abc", 1, u"", true},
        {"abc", 0, u"", true},
        {"abc", 3, u"ab", true},
        // A four-byte sequence needs two places; with one left it is not written.
        {"a\xF0\x9F\x98\x80", 3, u"a", true},
        {"a\xF0\x9F\x98\x80", 4, u"a\U0001F600", true},
        {"ab\x80zz", 100, u"ab", false},
        {"ab\xF8\x88\x80\x80\x80z", 100, u"ab", false}, // five bytes
        {"ab\xE2\x82", 100, u"ab", false},              // truncated at the end
        {"ab\xC3", 100, u"ab", false},
        {"a\xF4\x90\x80\x80z", 100, u"az", false}, // U+110000 is skipped
        // Overlong forms and surrogates are decoded arithmetically.
        {"\xC1\x81", 10, u"A", true},
        {"\xED\xA0\x80", 10, std::u16string(1, char16_t(0xD800)), true},
    };
    for (const auto& c : cases) {
        std::u16string out;
        const bool ok = Utf8ToWide(c.text, out, c.capacity);
        SCOPED_TRACE(testing::PrintToString(std::string(c.text)) + " capacity " +
                     std::to_string(c.capacity));
        EXPECT_EQ(out, c.text16);
        EXPECT_EQ(ok, c.ok);
    }
}

// What the run log writes: ASCII through the word loop, then each length of
// sequence, and a surrogate without its partner as U+FFFD wherever it stands.
TEST(WideToUtf8, EncodesEveryLengthAndReplacesLoneSurrogates) {
    const std::u16string lone_high(1, char16_t(0xD83D));
    const std::u16string lone_low(1, char16_t(0xDE00));
    const struct {
        std::u16string text;
        std::string utf8;
    } cases[] = {
        {u"", ""},
        {u"C:\\Program Files\\Mivora", "C:\\Program Files\\Mivora"},
        {u"abcde\u00e9fghij", "abcde\xC3\xA9"
                              "fghij"},
        {u"\u20ac\U0001F600\u007f\u0080\u07ff\u0800\uffff",
         "\xE2\x82\xAC\xF0\x9F\x98\x80\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
        {u"ab" + lone_high, "ab\xEF\xBF\xBD"},
        {lone_high + u"x", "\xEF\xBF\xBDx"},
        {lone_low + lone_high + lone_low, "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.utf8));
        EXPECT_EQ(WideToUtf8(c.text), c.utf8);
    }
}

// Text that is not what its mark says is read in the ANSI code page (1252
// here), without the mark: its characters would begin the first line, and
// that line would no longer be a settings entry.
TEST(DecodeText, ByMarkAndContent) {
    const struct {
        Bytes bytes;
        std::u16string text;
        std::optional<bool> whole = std::nullopt; // told by UTF-8 after its mark only
    } cases[] = {
        {{0xFF, 0xFE, 'h', 0, 'i', 0}, u"hi"},
        {{0xFE, 0xFF, 0, 'h', 0, 'i'}, u"hi"},
        {{0xFF, 0xFE, 0x16, 0x04, 'x', 0}, u"\u0416x"},
        {{0xFF, 0xFE, 'h', 0, 'i', 0, 'j'}, u"hi"}, // a last odd byte is ignored
        {{0xFF, 0xFE, 'h', 0, 0, 0, 'i', 0}, u"h"}, // a zero character ends the text
        {{'h', 0, 'i', 0}, u"h"},                   // without a mark: ANSI
        {{'a', 'b', 'c'}, u"abc"},
        {{}, u""},
        {{0xEF, 0xBB, 0xBF, 'a', 0xF0, 0x9F, 0x98, 0x80}, u"a\U0001F600", true},
        // Accepted by the detection, refused by the decoder: the text ends there.
        {{0xEF, 0xBB, 0xBF, 'a', 0xF8, 0x88, 0x80, 0x80, 0x80, 'b'}, u"a", false},
        {{0xEF, 0xBB, 0xBF, 'a', 0xF4, 0x90, 0x80, 0x80, 'z'}, u"az", false}, // U+110000
        {{0xEF, 0xBB, 0xBF, 'A', '=', 0xC3, '\n'}, u"A=\u00c3\n"},            // broken sequence
        {{0xFF, 0xFE, 'A', '=', 'b'}, u"A=b"}, // no control high byte
        {{0xFE, 0xFF, 'A', '=', 'b', '\n'}, u"A=b\n"},
        {{0xFF, 0xFE}, u""},
        {{0xEF, 0xBB, 0xBF}, u""},
    };
    for (const auto& c : cases) {
        bool whole = true;
        EXPECT_EQ(DecodeText(c.bytes.data(), c.bytes.size(), &whole), c.text)
            << testing::PrintToString(c.bytes);
        if (c.whole) {
            EXPECT_EQ(whole, *c.whole) << testing::PrintToString(c.bytes);
        }
    }
}

std::vector<std::u16string> Lines(std::u16string_view text) {
    StringList list;
    SplitLines(text, list);
    std::vector<std::u16string> lines;
    std::u16string_view line;
    while (list.GetString(line)) {
        lines.emplace_back(line);
    }
    EXPECT_EQ(list.Count(), lines.size());
    return lines;
}

using LineVector = std::vector<std::u16string>;

TEST(SplitLines, EveryKindOfLineBreakTrailingBlanksAndTheZeroCharacter) {
    EXPECT_EQ(Lines(u"a\r\n\r\nb"), (LineVector{u"a", u"b"}));
    EXPECT_EQ(Lines(u"a\rb"), (LineVector{u"a", u"b"}));
    EXPECT_EQ(Lines(u"a\nb"), (LineVector{u"a", u"b"}));
    EXPECT_EQ(Lines(u"a\n\r\n\r\rb\n"), (LineVector{u"a", u"b"}));
    EXPECT_EQ(Lines(u"\r\n\n"), LineVector{});
    EXPECT_EQ(Lines(u""), LineVector{});
    // Trailing blanks go, leading blanks stay; only space and tab are blanks.
    EXPECT_EQ(Lines(u"  a b \t \r\n\t\t\r\n \tc"), (LineVector{u"  a b", u" \tc"}));
    EXPECT_EQ(Lines(u" \t \n \t"), LineVector{});
    EXPECT_EQ(Lines(u"a\u00a0"), LineVector{u"a\u00a0"});
    EXPECT_EQ(Lines(std::u16string_view(u"ab\0cd\nef", 8)), LineVector{u"ab"});
}

} // namespace
} // namespace ozu
