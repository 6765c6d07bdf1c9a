#pragma once
// printf-style formatting that cannot be misused by a format text from a
// translation: every conversion is checked against the type of the argument
// in its place, and a conversion without a matching argument renders as
// nothing (it never reads memory that was not passed). "%n" writes nothing.
//
// Conversions: %s (text of the same width as the format), %d %i %u %x %X %o
// (integers), %c (a character or an integer), %% ; flags "-0+ #", a width and a
// precision (either may be "*", taken from an integer argument), and the usual
// length modifiers (h, l, ll, I64, z, ...) which are accepted and ignored.
// The result is cut to capacity - 1 characters.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace ozu {

namespace format_detail {

struct Arg {
    enum class Kind : uint8_t { Wide, Narrow, Signed, Unsigned, Char };
    explicit Arg(Kind k) : kind(k) {}
    Kind kind;
    uint8_t bytes = 0; // size of the integer type, for %u/%x of negative values
    std::u16string_view wide;
    std::string_view narrow;
    int64_t sval = 0;
    uint64_t uval = 0;
};

inline Arg MakeArg(std::u16string_view s) {
    Arg a(Arg::Kind::Wide);
    a.wide = s;
    return a;
}
inline Arg MakeArg(const std::u16string& s) {
    return MakeArg(std::u16string_view(s));
}
inline Arg MakeArg(const char16_t* s) {
    return MakeArg(s ? std::u16string_view(s) : std::u16string_view());
}
inline Arg MakeArg(char16_t* s) {
    return MakeArg(static_cast<const char16_t*>(s));
}
inline Arg MakeArg(std::string_view s) {
    Arg a(Arg::Kind::Narrow);
    a.narrow = s;
    return a;
}
inline Arg MakeArg(const std::string& s) {
    return MakeArg(std::string_view(s));
}
inline Arg MakeArg(const char* s) {
    return MakeArg(s ? std::string_view(s) : std::string_view());
}
inline Arg MakeArg(char* s) {
    return MakeArg(static_cast<const char*>(s));
}
// Windows' wchar_t is UTF-16 as well.
inline Arg MakeArg(const wchar_t* s) {
    if constexpr (sizeof(wchar_t) == 2) {
        return MakeArg(reinterpret_cast<const char16_t*>(s));
    } else {
        return Arg(Arg::Kind::Wide);
    }
}
inline Arg MakeArg(wchar_t* s) {
    return MakeArg(static_cast<const wchar_t*>(s));
}
inline Arg MakeArg(const std::wstring& s) {
    if constexpr (sizeof(wchar_t) == 2) {
        return MakeArg(std::u16string_view(reinterpret_cast<const char16_t*>(s.data()), s.size()));
    } else {
        return Arg(Arg::Kind::Wide);
    }
}
inline Arg MakeArg(char16_t c) {
    Arg a(Arg::Kind::Char);
    a.uval = c;
    return a;
}
inline Arg MakeArg(char c) {
    Arg a(Arg::Kind::Char);
    a.uval = static_cast<unsigned char>(c);
    return a;
}
inline Arg MakeArg(wchar_t c) {
    Arg a(Arg::Kind::Char);
    a.uval = static_cast<uint16_t>(c);
    return a;
}
template <typename T>
requires(std::is_integral_v<T> || std::is_enum_v<T>) Arg MakeArg(T value) {
    if constexpr (std::is_enum_v<T>) {
        return MakeArg(static_cast<std::underlying_type_t<T>>(value));
    } else if constexpr (std::is_same_v<T, bool>) {
        return MakeArg(static_cast<int>(value));
    } else if constexpr (std::is_signed_v<T>) {
        Arg a(Arg::Kind::Signed);
        a.bytes = sizeof(T);
        a.sval = value;
        return a;
    } else {
        Arg a(Arg::Kind::Unsigned);
        a.bytes = sizeof(T);
        a.uval = value;
        return a;
    }
}

std::u16string FormatWide(size_t capacity, std::u16string_view format, const Arg* args,
                          size_t count);
std::string FormatNarrow(size_t capacity, std::string_view format, const Arg* args, size_t count);

} // namespace format_detail

template <typename... Args>
std::u16string FormatText(size_t capacity, std::u16string_view format, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        return format_detail::FormatWide(capacity, format, nullptr, 0);
    } else {
        const format_detail::Arg list[] = {format_detail::MakeArg(args)...};
        return format_detail::FormatWide(capacity, format, list, sizeof...(Args));
    }
}

template <typename... Args>
std::string FormatNarrowText(size_t capacity, std::string_view format, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        return format_detail::FormatNarrow(capacity, format, nullptr, 0);
    } else {
        const format_detail::Arg list[] = {format_detail::MakeArg(args)...};
        return format_detail::FormatNarrow(capacity, format, list, sizeof...(Args));
    }
}

} // namespace ozu
