// The language file parser: one pass over the decoded text, character by
// character, without allocation per line or per entry: a value is written
// back into the text where it was read (its escapes resolved, which only
// shortens it) and stored as a view there, a key as a view into the table's
// key store.
#include <algorithm>
#include <cstdint>

#include "base/system_text.h"
#include "base/text_words.h"
#include "localization/language_table.h"

namespace ozu {
namespace {

constexpr bool IsLineEnd(char16_t c) {
    return c == u'\r' || c == u'\n';
}

constexpr bool IsBlankChar(char16_t c) {
    return c == u' ' || c == u'\t';
}

// Key words are letters and digits, all above the comma.
constexpr bool IsKeySeparator(char16_t c) {
    return c <= u',' && (c == u' ' || c == u'\t' || c == u',');
}

// The plain characters of a value are nearly all above the carriage return,
// so most are told by two comparisons.
constexpr bool IsSpecial(char16_t c) {
    return c == u'\\' || (c <= u'\r' && (c == u'\r' || c == u'\n' || c == 0));
}

// Whether any of four characters is special: one below 14 (code 0 and both
// line ends among them) or a backslash.
constexpr bool HasSpecial(uint64_t word) {
    return words::AnyCharBelow(word, 14) || words::AnyCharEqual(word, u'\\');
}

// Whether any of four characters may end a key word: one up to the comma (the
// separators and code 0 among them).
constexpr bool HasKeyEnd(uint64_t word) {
    return words::AnyCharBelow(word, u',' + 1);
}

constexpr bool IsLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

class Parser {
public:
    Parser(char16_t* text, size_t size, LanguageKeyStore& keys, std::vector<LanguageEntry>& entries,
           bool& rightToLeft)
        : text_(text, size), out_(text), keys_(keys), entries_(entries), rightToLeft_(rightToLeft) {
        key_.reserve(kMaxKeyChars);
    }

    void Run() {
        const size_t n = text_.size();
        while (e_ < n) {
            if (e_ > 0 && IsLineEnd(text_[e_ - 1])) {
                BeginLine();
                if (e_ >= n) {
                    break;
                }
            }
            const char16_t c = text_[e_];
            if (c == 0) {
                break;
            }
            if (c == u'\\') {
                ReadEscape();
            } else if (IsLineEnd(c)) {
                StoreEntry();
                key_.clear();
                valueSize_ = 0;
                ++e_;
            } else {
                // A run of plain characters goes into the value in one step:
                // only a backslash, a line end or code 0 needs attention.
                const size_t end = PlainRunEnd(e_ + 1);
                AppendRun(end - e_);
                e_ = end;
            }
        }
        StoreEntry();
    }

private:
    // The first special character at or after `i`, or the end. Runs are
    // long, so they are searched four characters at a time.
    size_t PlainRunEnd(size_t i) const {
        const size_t n = text_.size();
        for (; n - i >= 4; i += 4) {
            if (HasSpecial(words::Load(text_.data() + i))) {
                break;
            }
        }
        while (i < n && !IsSpecial(text_[i])) {
            ++i;
        }
        return i;
    }

    // Characters past the end read as code 0, which stops every search.
    char16_t At(size_t i) const { return i < text_.size() ? text_[i] : char16_t{0}; }

    void BeginLine() {
        const char16_t c = text_[e_];
        if (c == u':') {
            ReadDirective();
        } else if (IsLetter(c)) {
            ReadKey();
        }
    }

    // The directive word must follow the colon at once and end at a character
    // of code 32 or less; anything else makes the line a comment.
    bool MatchWord(size_t at, std::u16string_view word) const {
        if (text_.size() - at < word.size() || text_.substr(at, word.size()) != word) {
            return false;
        }
        return At(at + word.size()) <= 32;
    }

    void ReadDirective() {
        const size_t word = e_ + 1;
        if (MatchWord(word, u"STRINGS")) {
            prefix_ = "s:";
            e_ = word + 7;
            return;
        }
        char kind = 0;
        size_t p = word;
        if (MatchWord(word, u"DIALOG")) {
            kind = '$';
            p += 6;
        } else if (MatchWord(word, u"MENU")) {
            kind = '@';
            p += 4;
        } else if (MatchWord(word, u"DIRECTION")) {
            p += 9;
        } else {
            return;
        }
        while (IsBlankChar(At(p))) {
            ++p;
        }
        const size_t start = p;
        while (At(p) > 32) {
            ++p;
        }
        // The rest of the line (and argument characters past the 99th) is read
        // as the value of a line without key, which stores nothing.
        e_ = p;
        const std::u16string_view argument =
            text_.substr(start, std::min(p - start, kMaxPrefixChars));
        if (kind == 0) {
            rightToLeft_ = argument == u"RTL";
            return;
        }
        prefix_.clear();
        prefix_.push_back(kind);
        AppendWideToAnsi(argument, prefix_);
        prefix_.push_back(':');
        if (prefix_.size() > kMaxPrefixChars) {
            prefix_.resize(kMaxPrefixChars);
        }
    }

    // A key line needs a separator among the 99 characters from the line's
    // start; line ends do not stop the search, so a key word without one on
    // its own line runs on into the next line.
    void ReadKey() {
        const size_t stop = std::min(e_ + kMaxKeyChars, text_.size());
        size_t s = e_;
        for (; stop - s >= 4; s += 4) {
            if (HasKeyEnd(words::Load(text_.data() + s))) {
                break;
            }
        }
        while (s < stop && !IsKeySeparator(text_[s]) && text_[s] != 0) {
            ++s;
        }
        if (s == stop || text_[s] == 0) {
            return; // a comment
        }
        key_ = prefix_;
        AppendWideToAnsi(text_.substr(e_, s - e_), key_);
        if (key_.size() > kMaxKeyChars) {
            key_.resize(kMaxKeyChars);
        }
        // Only the first separator is consumed; blanks after it are skipped.
        size_t p = s + 1;
        while (IsBlankChar(At(p))) {
            ++p;
        }
        e_ = p;
    }

    void ReadEscape() {
        char16_t stored = 0;
        switch (At(e_ + 1)) {
        case u'"':
            stored = u'"';
            break;
        case u'\\':
            stored = u'\\';
            break;
        case u'n':
            stored = u'\n';
            break;
        case u'r':
            stored = u'\r';
            break;
        case u't':
            stored = u'\t';
            break;
        default:
            // Not an escape: the backslash stays and the next character is
            // read normally.
            Append(u'\\');
            ++e_;
            return;
        }
        Append(stored);
        e_ += 2;
    }

    // The value is written over the characters it was read from: it starts
    // where its first character was read and takes at most as many characters
    // as were read, so it ends at or before the reading position, and what
    // lies ahead (and the line end just read) is never overwritten.
    void BeginValue() {
        if (valueSize_ == 0) {
            valueStart_ = e_;
        }
    }

    void Append(char16_t c) {
        BeginValue();
        if (valueSize_ < kMaxValueChars) {
            out_[valueStart_ + valueSize_++] = c;
        }
    }

    // The `count` characters from the reading position on.
    void AppendRun(size_t count) {
        BeginValue();
        const size_t n = std::min(count, kMaxValueChars - valueSize_);
        char16_t* to = out_ + valueStart_ + valueSize_;
        if (to != out_ + e_) {
            std::copy_n(out_ + e_, n, to); // to the left: a forward copy
        }
        valueSize_ += n;
    }

    void StoreEntry() {
        if (key_.empty()) {
            return;
        }
        std::u16string_view value(out_ + valueStart_, valueSize_);
        while (!value.empty() && IsBlankChar(value.back())) {
            value.remove_suffix(1);
        }
        // Quotes keep leading and trailing blanks; they need not be paired.
        if (!value.empty() && value.back() == u'"') {
            value.remove_suffix(1);
        }
        if (!value.empty() && value.front() == u'"') {
            value.remove_prefix(1);
        }
        static_assert(kMaxStoredKeyChars <= LanguageKeyStore::kKeyBlockBytes);
        const std::string_view key(key_.data(), std::min(key_.size(), kMaxStoredKeyChars));
        entries_.push_back(LanguageEntry{keys_.Add(key), value});
    }

    std::u16string_view text_; // read ahead of the value written into it
    char16_t* out_;
    LanguageKeyStore& keys_;
    std::vector<LanguageEntry>& entries_;
    bool& rightToLeft_;
    std::string prefix_ = "s:";
    std::string key_;
    size_t valueStart_ = 0;
    size_t valueSize_ = 0;
    size_t e_ = 0;
};

} // namespace

void ParseLanguageText(char16_t* text, size_t size, LanguageKeyStore& keys,
                       std::vector<LanguageEntry>& entries, bool& rightToLeft) {
    // The text ends at its first character of code 0 and after the limit.
    // The parser takes a character of code 0 for the end wherever it reads
    // one, so only the limit needs cutting here.
    Parser(text, std::min(size, kMaxTextChars), keys, entries, rightToLeft).Run();
}

} // namespace ozu
