#include "base/encodings.h"
#include "base/string_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

std::u16string Decode(std::string_view text, size_t capacity, bool* result = nullptr) {
    std::u16string out;
    bool ok = Utf8ToWide(text, out, capacity);
    if (result != nullptr) {
        *result = ok;
    }
    return out;
}

TEST(Utf8ToWide, DecodesAllLengthsAndSurrogatePairs) {
    bool ok = false;
    EXPECT_EQ(Decode("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", 100, &ok),
              u"a\u00e9\u20ac\U0001F600");
    EXPECT_TRUE(ok);
    EXPECT_EQ(Decode("ab\0cd", 100), u"ab");
    EXPECT_EQ(Decode(std::string_view("ab\0cd", 5), 100), u"ab");
}

TEST(Utf8ToWide, CapacityLimits) {
    bool ok = false;
    EXPECT_EQ(Decode("abc", 1, &ok), u"");
    EXPECT_TRUE(ok);
    EXPECT_EQ(Decode("abc", 0), u"");
    EXPECT_EQ(Decode("abc", 3), u"ab");
    // A four-byte sequence needs two places; with one left it is not written.
    EXPECT_EQ(Decode("a\xF0\x9F\x98\x80", 3, &ok), u"a");
    EXPECT_TRUE(ok);
    EXPECT_EQ(Decode("a\xF0\x9F\x98\x80", 4), u"a\U0001F600");
}

TEST(Utf8ToWide, MalformedSequencesStopWithFalse) {
    bool ok = true;
    EXPECT_EQ(Decode("ab\x80zz", 100, &ok), u"ab");
    EXPECT_FALSE(ok);
    EXPECT_EQ(Decode("ab\xF8\x88\x80\x80\x80z", 100, &ok), u"ab"); // five bytes
    EXPECT_FALSE(ok);
    EXPECT_EQ(Decode("ab\xE2\x82", 100, &ok), u"ab"); // truncated at the end
    EXPECT_FALSE(ok);
    EXPECT_EQ(Decode("ab\xC3", 100, &ok), u"ab");
    EXPECT_FALSE(ok);
}

TEST(Utf8ToWide, AboveU10FFFFIsSkippedWithFalse) {
    bool ok = true;
    // F4 90 80 80 is U+110000.
    EXPECT_EQ(Decode("a\xF4\x90\x80\x80z", 100, &ok), u"az");
    EXPECT_FALSE(ok);
}

TEST(Utf8ToWide, OverlongFormsAndSurrogatesAreDecodedArithmetically) {
    EXPECT_EQ(Decode("\xC1\x81", 10), u"A");
    EXPECT_EQ(Decode("\xED\xA0\x80", 10), std::u16string(1, char16_t(0xD800)));
}

std::u16string DecodeBytes(const Bytes& bytes) {
    return DecodeText(bytes.data(), bytes.size());
}

TEST(DecodeText, Utf16BothByteOrders) {
    EXPECT_EQ(DecodeBytes({0xFF, 0xFE, 'h', 0, 'i', 0}), u"hi");
    EXPECT_EQ(DecodeBytes({0xFE, 0xFF, 0, 'h', 0, 'i'}), u"hi");
    EXPECT_EQ(DecodeBytes({0xFF, 0xFE, 0x16, 0x04, 'x', 0}), u"\u0416x");
    // A last odd byte is ignored.
    EXPECT_EQ(DecodeBytes({0xFF, 0xFE, 'h', 0, 'i', 0, 'j'}), u"hi");
    // A zero character ends the text.
    EXPECT_EQ(DecodeBytes({0xFF, 0xFE, 'h', 0, 0, 0, 'i', 0}), u"h");
}

TEST(DecodeText, WithoutMarkIsAnsiEndingAtFirstZero) {
    EXPECT_EQ(DecodeBytes({'h', 0, 'i', 0}), u"h");
    EXPECT_EQ(DecodeBytes({'a', 'b', 'c'}), u"abc");
    EXPECT_EQ(DecodeBytes({}), u"");
}

TEST(DecodeText, Utf8AfterMarkTellsWhetherAllOfItDecoded) {
    const struct {
        Bytes bytes;
        std::u16string text;
        bool whole;
    } cases[] = {
        {{0xEF, 0xBB, 0xBF, 'a', 0xF0, 0x9F, 0x98, 0x80}, u"a\U0001F600", true},
        // Accepted by the detection, refused by the decoder: the text ends there.
        {{0xEF, 0xBB, 0xBF, 'a', 0xF8, 0x88, 0x80, 0x80, 0x80, 'b'}, u"a", false},
        {{0xEF, 0xBB, 0xBF, 'a', 0xF4, 0x90, 0x80, 0x80, 'z'}, u"az", false}, // U+110000
    };
    for (const auto& c : cases) {
        bool whole = true;
        EXPECT_EQ(DecodeText(c.bytes.data(), c.bytes.size(), &whole), c.text);
        EXPECT_EQ(whole, c.whole) << c.bytes.size() << " bytes";
    }
}

// Text that is not what its mark says is read in the ANSI code page (1252
// here), without the mark: its characters would begin the first line, and
// that line would no longer be a settings entry.
TEST(DecodeText, MarkNeverBecomesTextWhenTheRestIsAnsi) {
    const struct {
        Bytes bytes;
        std::u16string text;
    } cases[] = {
        {{0xEF, 0xBB, 0xBF, 'A', '=', 0xC3, '\n'}, u"A=\u00c3\n"}, // broken sequence
        {{0xFF, 0xFE, 'A', '=', 'b'}, u"A=b"},                     // no control high byte
        {{0xFE, 0xFF, 'A', '=', 'b', '\n'}, u"A=b\n"},
        {{0xFF, 0xFE}, u""},
        {{0xEF, 0xBB, 0xBF}, u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeBytes(c.bytes), c.text) << c.bytes.size() << " bytes";
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

TEST(SplitLines, EveryKindOfLineBreak) {
    EXPECT_EQ(Lines(u"a\r\n\r\nb"), (LineVector{u"a", u"b"}));
    EXPECT_EQ(Lines(u"a\rb"), (LineVector{u"a", u"b"}));
    EXPECT_EQ(Lines(u"a\nb"), (LineVector{u"a", u"b"}));
    EXPECT_EQ(Lines(u"a\n\r\n\r\rb\n"), (LineVector{u"a", u"b"}));
    EXPECT_EQ(Lines(u"\r\n\n"), LineVector{});
    EXPECT_EQ(Lines(u""), LineVector{});
}

TEST(SplitLines, TrailingBlanksGoLeadingBlanksStay) {
    EXPECT_EQ(Lines(u"  a b \t \r\n\t\t\r\n \tc"), (LineVector{u"  a b", u" \tc"}));
    EXPECT_EQ(Lines(u" \t \n \t"), LineVector{});
    EXPECT_EQ(Lines(u"a\u00a0"), LineVector{u"a\u00a0"}); // only space and tab are blanks
}

TEST(SplitLines, ZeroCharacterEndsTheText) {
    EXPECT_EQ(Lines(std::u16string_view(u"ab\0cd\nef", 8)), LineVector{u"ab"});
}

} // namespace
} // namespace ozu
