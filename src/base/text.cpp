#include "base/text.h"

#include <algorithm>

#include "base/system_text.h"

namespace ozu {

namespace {

template <typename Char> size_t LengthOf(const Char* text) {
    size_t n = 0;
    if (text != nullptr) {
        while (text[n] != 0) {
            ++n;
        }
    }
    return n;
}

template <typename Char> Char* Copy(Char* dst, const Char* src, size_t capacity) {
    if (capacity == 0) {
        return dst;
    }
    size_t i = 0;
    if (src != nullptr) {
        for (; i + 1 < capacity && src[i] != 0; ++i) {
            dst[i] = src[i];
        }
    }
    dst[i] = 0;
    return dst + i;
}

template <typename Char> Char* Append(Char* dst, const Char* src, size_t capacity) {
    // Only the first capacity characters are looked at: a destination that
    // fills its capacity need not be terminated inside it.
    size_t length = 0;
    while (length < capacity && dst[length] != 0) {
        ++length;
    }
    if (length >= capacity) {
        return dst + length;
    }
    return Copy(dst + length, src, capacity - length);
}

template <typename View> int64_t Parse(View text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    // Unsigned arithmetic wraps without undefined behaviour.
    uint64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    auto result = static_cast<int64_t>(value);
    if (negative && result >= 0) {
        result = static_cast<int64_t>(0 - value);
    }
    return result;
}

} // namespace

size_t TextLength(const char16_t* text) {
    return LengthOf(text);
}

size_t NarrowTextLength(const char* text) {
    return LengthOf(text);
}

char16_t* CopyText(char16_t* dst, const char16_t* src, size_t capacity) {
    return Copy(dst, src, capacity);
}

char16_t* AppendText(char16_t* dst, const char16_t* src, size_t capacity) {
    return Append(dst, src, capacity);
}

char* CopyNarrowText(char* dst, const char* src, size_t capacity) {
    return Copy(dst, src, capacity);
}

char* AppendNarrowText(char* dst, const char* src, size_t capacity) {
    return Append(dst, src, capacity);
}

void CopyText(std::u16string& dst, std::u16string_view src, size_t capacity) {
    dst.assign(src.substr(0, capacity == 0 ? 0 : capacity - 1));
}

void AppendText(std::u16string& dst, std::u16string_view src, size_t capacity) {
    if (dst.size() + 1 >= capacity) {
        return;
    }
    dst.append(src.substr(0, capacity - 1 - dst.size()));
}

std::u16string Truncate(std::u16string text, size_t capacity) {
    size_t keep = capacity == 0 ? 0 : capacity - 1;
    if (text.size() > keep) {
        text.resize(keep);
    }
    return text;
}

std::string TruncateNarrow(std::string text, size_t capacity) {
    size_t keep = capacity == 0 ? 0 : capacity - 1;
    if (text.size() > keep) {
        text.resize(keep);
    }
    return text;
}

int64_t ParseDecimal(std::u16string_view text) {
    return Parse(text);
}

int64_t ParseNarrowDecimal(std::string_view text) {
    return Parse(text);
}

std::u16string FormatDecimal(int64_t value, size_t capacity) {
    if (capacity <= 1) {
        return {};
    }
    const size_t room = capacity - 1;
    bool negative = value < 0;
    // The magnitude of INT64_MIN does not fit int64_t; work unsigned.
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    char16_t digits[24];
    size_t n = 0;
    do {
        digits[n++] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative) {
        digits[n++] = u'-';
    }
    // Produced from the least significant end: what does not fit is the most
    // significant part (and the sign).
    std::u16string result;
    size_t take = std::min(n, room);
    result.reserve(take);
    for (size_t i = take; i-- > 0;) {
        result.push_back(digits[i]);
    }
    return result;
}

char16_t UpperChar(char16_t c) {
    if (c == u'i') {
        return u'I';
    }
    return SystemUpperChar(c);
}

int CompareTextNoCase(std::u16string_view a, std::u16string_view b) {
    return SystemCompareNoCase(a, b);
}

int CompareTextNoCaseN(std::u16string_view a, std::u16string_view b, size_t n) {
    // Each side takes min(n, length + 1) characters counting its terminator;
    // the terminator adds nothing a comparison of the characters before it
    // would not decide, so the views are cut to min(n, length).
    return SystemCompareNoCase(a.substr(0, std::min(n, a.size())),
                               b.substr(0, std::min(n, b.size())));
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    return CompareTextNoCase(a, b) == 0;
}

} // namespace ozu
