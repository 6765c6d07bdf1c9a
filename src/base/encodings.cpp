#include "base/encodings.h"

#include "base/string_list.h"
#include "base/system_text.h"
#include "base/text_words.h"

namespace ozu {

namespace {

unsigned LeadingOnes(uint8_t byte) {
    unsigned count = 0;
    for (uint8_t mask = 0x80; mask != 0 && (byte & mask) != 0; mask >>= 1) {
        ++count;
    }
    return count;
}

bool IsContinuation(uint8_t byte) {
    return (byte & 0xC0) == 0x80;
}

std::u16string_view UpToZero(std::u16string_view text) {
    size_t end = text.find(u'\0');
    return end == std::u16string_view::npos ? text : text.substr(0, end);
}

} // namespace

bool IsTextUtf8(const uint8_t* bytes, size_t size) {
    size_t i = 0;
    while (i < size) {
        unsigned count = LeadingOnes(bytes[i]);
        if (count == 1 || count > 6) {
            return false;
        }
        if (count > 1) {
            if (size - i < count) {
                return false;
            }
            for (unsigned k = 1; k < count; ++k) {
                if (!IsContinuation(bytes[i + k])) {
                    return false;
                }
            }
            i += count;
        } else {
            ++i;
        }
    }
    return true;
}

TextEncoding DetectTextEncoding(const uint8_t* bytes, size_t size) {
    if (size > 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF &&
        IsTextUtf8(bytes + 3, size - 3)) {
        return TextEncoding::Utf8;
    }
    if (size <= 2) {
        return TextEncoding::Default;
    }
    size_t first;
    if (bytes[0] == 0xFF && bytes[1] == 0xFE) {
        first = 3; // little-endian: the high byte follows the low one
    } else if (bytes[0] == 0xFE && bytes[1] == 0xFF) {
        first = 2;
    } else {
        return TextEncoding::Default;
    }
    // A mark alone is not enough: some character must have a high byte that
    // plain 8-bit text would not hold (every character below U+0100 does).
    for (size_t i = first; i < size; i += 2) {
        uint8_t high = bytes[i];
        if (high < 0x20 && high != 0x0D && high != 0x0A) {
            return TextEncoding::Utf16;
        }
    }
    return TextEncoding::Default;
}

bool Utf8ToWide(std::string_view text, std::u16string& out, size_t capacity) {
    out.clear();
    size_t room = capacity == 0 ? 0 : capacity - 1;
    bool result = true;
    size_t i = 0;
    auto byteAt = [&](size_t k) -> uint8_t {
        return k < text.size() ? static_cast<uint8_t>(text[k]) : 0;
    };
    while (i < text.size() && byteAt(i) != 0) {
        uint8_t lead = byteAt(i);
        uint32_t value;
        unsigned extra;
        if (lead < 0x80) {
            value = lead;
            extra = 0;
        } else if ((lead & 0xE0) == 0xC0) {
            value = lead & 0x1Fu;
            extra = 1;
        } else if ((lead & 0xF0) == 0xE0) {
            value = lead & 0x0Fu;
            extra = 2;
        } else if ((lead & 0xF8) == 0xF0) {
            value = lead & 0x07u;
            extra = 3;
        } else {
            return false; // a lone continuation byte or a lead byte 11111xxx
        }
        for (unsigned k = 1; k <= extra; ++k) {
            uint8_t next = byteAt(i + k);
            if (!IsContinuation(next)) {
                return false; // also at the end of the text
            }
            value = (value << 6) | (next & 0x3Fu);
        }
        i += 1 + extra;

        if (room == 0) {
            break;
        }
        --room;
        if (value < 0x10000) {
            out.push_back(static_cast<char16_t>(value));
            continue;
        }
        if (room == 0) {
            break;
        }
        --room;
        if (value > 0x10FFFF) {
            result = false;
            continue;
        }
        out.push_back(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
    }
    return result;
}

std::string WideToUtf8(std::u16string_view text) {
    std::string out(text.size(), '\0');
    // Most of what is written is ASCII, which is the same bytes in UTF-8.
    size_t i = words::NarrowAscii(text.data(), text.size(), out.data());
    out.resize(i);
    auto put = [&out](uint32_t bits) { out.push_back(static_cast<char>(bits)); };
    for (; i < text.size(); ++i) {
        uint32_t value = text[i];
        if (value >= 0xD800 && value < 0xE000) {
            const bool paired = value < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                                text[i + 1] < 0xE000;
            value = paired ? 0x10000 + ((value - 0xD800) << 10) + (text[++i] - 0xDC00u) : 0xFFFD;
        }
        if (value < 0x80) {
            put(value);
        } else if (value < 0x800) {
            put(0xC0 | value >> 6);
            put(0x80 | (value & 0x3F));
        } else if (value < 0x10000) {
            put(0xE0 | value >> 12);
            put(0x80 | (value >> 6 & 0x3F));
            put(0x80 | (value & 0x3F));
        } else {
            put(0xF0 | value >> 18);
            put(0x80 | (value >> 12 & 0x3F));
            put(0x80 | (value >> 6 & 0x3F));
            put(0x80 | (value & 0x3F));
        }
    }
    return out;
}

std::u16string DecodeText(const uint8_t* bytes, size_t size, bool* whole) {
    std::u16string text;
    const TextEncoding encoding = DetectTextEncoding(bytes, size);
    if (encoding == TextEncoding::Utf16) {
        const bool littleEndian = bytes[0] == 0xFF;
        const size_t end = size & ~size_t{1}; // a last odd byte is ignored
        text.reserve(size / 2);
        for (size_t i = 2; i < end; i += 2) {
            char16_t c = littleEndian ? static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8))
                                      : static_cast<char16_t>((bytes[i] << 8) | bytes[i + 1]);
            if (c == 0) {
                break;
            }
            text.push_back(c);
        }
        return text;
    }
    if (encoding == TextEncoding::Utf8) {
        // A sequence that the detection accepted but the decoder does not (five
        // and six bytes) ends the text there; one beyond U+10FFFF is left out.
        if (!Utf8ToWide(std::string_view(reinterpret_cast<const char*>(bytes) + 3, size - 3), text,
                        size + 1) &&
            whole != nullptr) {
            *whole = false;
        }
        return text;
    }
    // A byte-order mark is never text, also where the bytes after it are
    // read as ANSI text after all: its characters would spoil the first line.
    size_t mark = 0;
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        mark = 3;
    } else if (size >= 2 &&
               ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
        mark = 2;
    }
    std::string_view ansi(reinterpret_cast<const char*>(bytes) + mark, size - mark);
    size_t zero = ansi.find('\0');
    if (zero != std::string_view::npos) {
        ansi = ansi.substr(0, zero);
    }
    return AnsiToWide(ansi);
}

void SplitLines(std::u16string_view text, StringList& list) {
    text = UpToZero(text);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of(u"\r\n", pos);
        if (end == std::u16string_view::npos) {
            end = text.size();
        }
        size_t last = end;
        while (last > pos && (text[last - 1] == u' ' || text[last - 1] == u'\t')) {
            --last;
        }
        if (last > pos) {
            list.AddString(text.substr(pos, last - pos));
        }
        pos = text.find_first_not_of(u"\r\n", end);
        if (pos == std::u16string_view::npos) {
            break;
        }
    }
}

} // namespace ozu
