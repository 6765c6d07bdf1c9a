// Odd, truncated and random inputs for the decoders, the line splitter, the
// formatter and the path functions. Buffers are allocated at their exact size
// so that the host build's AddressSanitizer catches any read past the end.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/encodings.h"
#include "base/format.h"
#include "base/paths.h"
#include "base/string_list.h"
#include "base/text.h"

namespace ozu {
namespace {

class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<uint32_t>(state_);
    }
    uint32_t Below(uint32_t n) { return Next() % n; }

private:
    uint64_t state_;
};

// Bytes biased towards what the decoders branch on.
std::vector<uint8_t> RandomBytes(Random& random, size_t size) {
    static const uint8_t interesting[] = {0x00, 0x0A, 0x0D, 0x20, 0x09, 0x80, 0xBF, 0xC3,
                                          0xE2, 0xF0, 0xF4, 0xF8, 0xFC, 0xFE, 0xFF, 'a'};
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes) {
        b = random.Below(2) ? interesting[random.Below(sizeof(interesting))]
                            : static_cast<uint8_t>(random.Next());
    }
    // Often start with a mark, to reach the UTF-8 and UTF-16 paths.
    static const std::string_view marks[] = {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF", ""};
    const std::string_view mark = marks[random.Below(4)];
    for (size_t i = 0; i < size && i < mark.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(mark[i]);
    }
    return bytes;
}

// A text of up to maxLength characters drawn from the pieces.
template <size_t N>
std::u16string RandomText(Random& random, const char16_t (&pieces)[N], uint32_t maxLength) {
    std::u16string text(random.Below(maxLength), u' ');
    for (char16_t& c : text) {
        c = pieces[random.Below(N - 1)];
    }
    return text;
}

// The most characters a result may have in a buffer of the given capacity.
size_t Room(size_t capacity) {
    return capacity == 0 ? 0 : capacity - 1;
}

void CheckLines(std::u16string_view text) {
    StringList list;
    SplitLines(text, list);
    std::u16string_view line;
    while (list.GetString(line)) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.find_first_of(u"\r\n"), std::u16string_view::npos);
        ASSERT_NE(line.back(), u' ');
        ASSERT_NE(line.back(), u'\t');
    }
}

TEST(EncodingRobustness, RandomBuffersOfEveryShortLength) {
    Random random(12345);
    for (int round = 0; round < 4000; ++round) {
        const size_t size = random.Below(40);
        std::vector<uint8_t> bytes = RandomBytes(random, size);
        // A private heap block of exactly the size (data() of an empty vector
        // may be null; the functions must not dereference it then).
        std::unique_ptr<uint8_t[]> exact(size ? new uint8_t[size] : nullptr);
        std::copy(bytes.begin(), bytes.end(), exact.get());

        DetectTextEncoding(exact.get(), size);
        IsTextUtf8(exact.get(), size);
        std::u16string text = DecodeText(exact.get(), size);
        ASSERT_EQ(text.find(u'\0'), std::u16string::npos);
        ASSERT_LE(text.size(), size);
        CheckLines(text);

        const size_t capacity = random.Below(50);
        std::u16string out;
        Utf8ToWide(std::string_view(reinterpret_cast<const char*>(exact.get()), size), out,
                   capacity);
        ASSERT_LE(out.size(), Room(capacity));
    }
}

TEST(EncodingRobustness, EveryTruncationOfMultiByteText) {
    const std::string full = "\xEF\xBB\xBF"
                             "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"
                             "\xF8\x88\x80\x80\x80\xFC\x84\x80\x80\x80\x80z";
    for (size_t cut = 0; cut <= full.size(); ++cut) {
        std::unique_ptr<uint8_t[]> exact(new uint8_t[cut + 1]);
        std::copy(full.begin(), full.begin() + static_cast<ptrdiff_t>(cut), exact.get());
        DecodeText(exact.get(), cut);
        std::u16string out;
        Utf8ToWide(
            std::string_view(reinterpret_cast<const char*>(exact.get()) + 3, cut > 3 ? cut - 3 : 0),
            out, cut + 1);
    }
}

TEST(FormatRobustness, RandomFormatsStayBoundedAndNeverMisreadArguments) {
    static const char16_t pieces[] = u"%%sdiuxXoc*.-+ #0123456789lhIzn6 4abc";
    Random random(777);
    for (int round = 0; round < 5000; ++round) {
        const std::u16string format = RandomText(random, pieces, 24);
        const size_t capacity = random.Below(80);
        std::u16string text;
        switch (random.Below(3)) {
        case 0:
            text = FormatText(capacity, format);
            break;
        case 1:
            text = FormatText(capacity, format, u"arg", -17);
            break;
        default:
            text = FormatText(capacity, format, INT64_MIN, 'c', "narrow", 3000000000u);
            break;
        }
        ASSERT_LE(text.size(), Room(capacity)) << std::string(format.begin(), format.end());
        std::string narrowFormat(format.begin(), format.end());
        std::string narrow = FormatNarrowText(capacity, narrowFormat, u"w", -1, 'q');
        ASSERT_LE(narrow.size(), Room(capacity));
    }
}

TEST(PathRobustness, RandomShortPaths) {
    static const char16_t pieces[] = u"\\/:.?*aC ";
    Random random(4242);
    for (int round = 0; round < 5000; ++round) {
        const std::u16string path = RandomText(random, pieces, 10);
        IsAbsolutePath(path);
        HasWildcards(path);
        ASSERT_LE(NamePartOf(path), path.size());
        std::u16string stripped = path;
        StripNamePart(stripped);
        ASSERT_LE(stripped.size(), path.size());
        const size_t capacity = random.Below(12);
        std::u16string replaced = path;
        ReplaceNamePart(replaced, u"name", capacity);
        ASSERT_LE(replaced.size(), Room(capacity));
        ASSERT_LE(FolderPartOf(path, capacity).size(), Room(capacity));
        ASSERT_LE(JoinPath(path, u"x", capacity).size(), Room(capacity));
        std::u16string out;
        if (ToExtendedLengthPath(path, u"D:\\w", out, capacity)) {
            ASSERT_LT(out.size(), capacity);
        }
        ParseDecimal(path);
    }
}

} // namespace
} // namespace ozu
