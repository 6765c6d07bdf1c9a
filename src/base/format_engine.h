// The formatting engine behind FormatWide and FormatNarrow, for both widths.
// Each of the two lives in a file of its own, so that a program that formats
// only wide text links no narrow copy of the engine.
#pragma once

#include <algorithm>

#include "base/format.h"

namespace ozu::format_detail::engine {

// Collects the output and drops everything past capacity - 1 characters, so
// that a huge width from a translated format cannot grow the text without end.
template <typename Char> class Output {
public:
    explicit Output(size_t capacity) : room_(capacity == 0 ? 0 : capacity - 1) {}

    void Put(Char c) {
        if (text_.size() < room_) {
            text_.push_back(c);
        }
    }
    void Put(size_t count, Char c) { text_.append(std::min(count, room_ - text_.size()), c); }
    bool Full() const { return text_.size() >= room_; }
    std::basic_string<Char> Take() { return std::move(text_); }

private:
    size_t room_;
    std::basic_string<Char> text_;
};

struct Directive {
    bool left = false;
    bool plus = false;
    bool space = false;
    bool alternate = false;
    bool zero = false;
    size_t width = 0;
    bool hasPrecision = false;
    size_t precision = 0;
};

// Widths and precisions beyond this are treated as this; the output is bounded
// by its capacity anyway.
constexpr size_t kMaxWidth = 1u << 20;

template <typename Char> class Formatter {
public:
    Formatter(size_t capacity, std::basic_string_view<Char> format, const Arg* args, size_t count)
        : out_(capacity), format_(format), args_(args), count_(count) {}

    std::basic_string<Char> Run() {
        while (pos_ < format_.size() && !out_.Full()) {
            Char c = format_[pos_++];
            if (c != '%') {
                out_.Put(c);
                continue;
            }
            Conversion();
        }
        return out_.Take();
    }

private:
    // The argument in the next place, or null when the caller passed fewer.
    const Arg* NextArg() {
        const Arg* arg = next_ < count_ ? &args_[next_] : nullptr;
        ++next_;
        return arg;
    }

    bool AtEnd() const { return pos_ >= format_.size(); }
    Char Peek() const { return format_[pos_]; }

    // An integer argument for "*"; anything else counts as absent.
    bool StarValue(int64_t& value) {
        const Arg* arg = NextArg();
        if (arg == nullptr) {
            return false;
        }
        if (arg->kind == Arg::Kind::Signed) {
            value = arg->sval;
            return true;
        }
        if (arg->kind == Arg::Kind::Unsigned) {
            value = static_cast<int64_t>(std::min<uint64_t>(arg->uval, kMaxWidth));
            return true;
        }
        return false;
    }

    size_t Number() {
        size_t value = 0;
        while (!AtEnd() && Peek() >= '0' && Peek() <= '9') {
            value = std::min(value * 10 + static_cast<size_t>(Peek() - '0'), kMaxWidth);
            ++pos_;
        }
        return value;
    }

    void Conversion() {
        Directive conv;
        ParseFlags(conv);
        ParseWidthAndPrecision(conv);
        SkipLengthModifiers();
        if (AtEnd()) {
            return;
        }
        Emit(format_[pos_++], conv);
    }

    // The flags "-+ #0" of a directive.
    void ParseFlags(Directive& conv) {
        for (; !AtEnd(); ++pos_) {
            Char c = Peek();
            if (c == '-') {
                conv.left = true;
            } else if (c == '+') {
                conv.plus = true;
            } else if (c == ' ') {
                conv.space = true;
            } else if (c == '#') {
                conv.alternate = true;
            } else if (c == '0') {
                conv.zero = true;
            } else {
                break;
            }
        }
    }

    // The width and the precision, each a number or "*" (taken from the
    // arguments; a negative width means left-aligned).
    void ParseWidthAndPrecision(Directive& conv) {
        if (!AtEnd() && Peek() == '*') {
            ++pos_;
            int64_t value = 0;
            if (StarValue(value)) {
                if (value < 0) {
                    conv.left = true;
                    value = value == INT64_MIN ? INT64_MAX : -value;
                }
                conv.width = static_cast<size_t>(std::min<int64_t>(value, kMaxWidth));
            }
        } else {
            conv.width = Number();
        }
        if (!AtEnd() && Peek() == '.') {
            ++pos_;
            conv.hasPrecision = true;
            if (!AtEnd() && Peek() == '*') {
                ++pos_;
                int64_t value = 0;
                if (!StarValue(value) || value < 0) {
                    conv.hasPrecision = false;
                } else {
                    conv.precision = static_cast<size_t>(std::min<int64_t>(value, kMaxWidth));
                }
            } else {
                conv.precision = Number();
            }
        }
    }

    // Renders one conversion of the parsed directive.
    void Emit(Char conversion, const Directive& conv) {
        switch (conversion) {
        case '%':
            out_.Put('%');
            break;
        case 'd':
        case 'i':
            Integer(conv, NextArg(), 10, true, false);
            break;
        case 'u':
            Integer(conv, NextArg(), 10, false, false);
            break;
        case 'x':
            Integer(conv, NextArg(), 16, false, false);
            break;
        case 'X':
            Integer(conv, NextArg(), 16, false, true);
            break;
        case 'o':
            Integer(conv, NextArg(), 8, false, false);
            break;
        case 'c':
        case 'C':
            Character(conv, NextArg());
            break;
        case 's':
        case 'S':
            Text(conv, NextArg());
            break;
        case 'n': // never writes anywhere; its argument place is used up
        case 'p':
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            NextArg();
            break;
        default:
            // Not a conversion: the sequence renders as nothing.
            break;
        }
    }

    void SkipLengthModifiers() {
        while (!AtEnd()) {
            Char c = Peek();
            if (c == 'h' || c == 'l' || c == 'L' || c == 'q' || c == 'j' || c == 'z' || c == 't' ||
                c == 'w') {
                ++pos_;
            } else if (c == 'I') {
                ++pos_;
                if (pos_ + 1 < format_.size() &&
                    ((format_[pos_] == '6' && format_[pos_ + 1] == '4') ||
                     (format_[pos_] == '3' && format_[pos_ + 1] == '2'))) {
                    pos_ += 2;
                }
            } else {
                break;
            }
        }
    }

    void Pad(const Directive& conv, size_t length, bool before) {
        if (conv.width > length && conv.left != before) {
            out_.Put(conv.width - length, ' ');
        }
    }

    void Integer(const Directive& conv, const Arg* arg, unsigned base, bool isSigned, bool upper) {
        if (arg == nullptr) {
            return;
        }
        bool negative = false;
        uint64_t magnitude = 0;
        switch (arg->kind) {
        case Arg::Kind::Signed:
            if (isSigned) {
                negative = arg->sval < 0;
                magnitude = negative ? 0 - static_cast<uint64_t>(arg->sval)
                                     : static_cast<uint64_t>(arg->sval);
            } else {
                // As printf shows a negative value for %u and %x: the bits of
                // the argument's own width.
                magnitude = static_cast<uint64_t>(arg->sval);
                if (arg->bytes < 8) {
                    magnitude &= (uint64_t{1} << (arg->bytes * 8)) - 1;
                }
            }
            break;
        case Arg::Kind::Unsigned:
        case Arg::Kind::Char:
            magnitude = arg->uval;
            break;
        default:
            return; // text for a number: nothing
        }

        Char digits[24];
        size_t n = 0;
        const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
        for (uint64_t v = magnitude; v != 0; v /= base) {
            digits[n++] = static_cast<Char>(set[v % base]);
        }
        const size_t minimum = conv.hasPrecision ? conv.precision : 1;
        size_t zeros = minimum > n ? minimum - n : 0;
        if (base == 8 && conv.alternate && zeros == 0 && (n == 0 || digits[n - 1] != '0')) {
            zeros = 1;
        }

        Char prefix[2];
        size_t prefixLength = 0;
        if (negative) {
            prefix[prefixLength++] = '-';
        } else if (isSigned && conv.plus) {
            prefix[prefixLength++] = '+';
        } else if (isSigned && conv.space) {
            prefix[prefixLength++] = ' ';
        } else if (base == 16 && conv.alternate && magnitude != 0) {
            prefix[prefixLength++] = '0';
            prefix[prefixLength++] = upper ? 'X' : 'x';
        }

        size_t length = prefixLength + zeros + n;
        if (conv.zero && !conv.left && !conv.hasPrecision && conv.width > length) {
            zeros += conv.width - length;
            length = conv.width;
        }
        Pad(conv, length, true);
        for (size_t i = 0; i < prefixLength; ++i) {
            out_.Put(prefix[i]);
        }
        out_.Put(zeros, '0');
        while (n > 0) {
            out_.Put(digits[--n]);
        }
        Pad(conv, length, false);
    }

    void Character(const Directive& conv, const Arg* arg) {
        if (arg == nullptr) {
            return;
        }
        uint64_t value = 0;
        switch (arg->kind) {
        case Arg::Kind::Char:
        case Arg::Kind::Unsigned:
            value = arg->uval;
            break;
        case Arg::Kind::Signed:
            value = static_cast<uint64_t>(arg->sval);
            break;
        default:
            return;
        }
        Pad(conv, 1, true);
        out_.Put(ToChar(static_cast<char16_t>(value & 0xFFFF)));
        Pad(conv, 1, false);
    }

    void Text(const Directive& conv, const Arg* arg) {
        if (arg == nullptr) {
            return;
        }
        if (arg->kind == Arg::Kind::Wide) {
            PutText(conv, arg->wide);
        } else if (arg->kind == Arg::Kind::Narrow) {
            PutText(conv, arg->narrow);
        }
    }

    template <typename Source>
    void PutText(const Directive& conv, std::basic_string_view<Source> text) {
        size_t length = text.size();
        if (conv.hasPrecision && conv.precision < length) {
            length = conv.precision;
        }
        Pad(conv, length, true);
        for (size_t i = 0; i < length && !out_.Full(); ++i) {
            out_.Put(ToChar(text[i]));
        }
        Pad(conv, length, false);
    }

    // Text of the other width is taken character by character: 8-bit text
    // widens as Latin-1, wide characters beyond 8 bits become '?'.
    static Char ToChar(char16_t c) {
        if constexpr (sizeof(Char) == 1) {
            return c > 0xFF ? '?' : static_cast<Char>(c);
        } else {
            return c;
        }
    }
    static Char ToChar(char c) {
        if constexpr (sizeof(Char) == 1) {
            return c;
        } else {
            return static_cast<Char>(static_cast<unsigned char>(c));
        }
    }

    Output<Char> out_;
    std::basic_string_view<Char> format_;
    const Arg* args_;
    size_t count_;
    size_t pos_ = 0;
    size_t next_ = 0;
};

} // namespace ozu::format_detail::engine
