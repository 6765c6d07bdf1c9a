// The language table: reading the file's bytes from the marker on, decoding
// them and the lookups by key and by id.
#include "localization/language_table.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <numeric>

#include "base/system_text.h"

namespace ozu {
namespace {

// The marker is recognised on two asterisks followed by the first eleven
// characters of "*messages***".
constexpr char kMarkerTail[] = "*messages**";
constexpr size_t kMarkerTailChars = 11;
static_assert(sizeof(kMarkerTail) == kMarkerTailChars + 1);

bool IsAnsiMarkerAt(const uint8_t* p) {
    return p[0] == '*' && p[1] == '*' && std::memcmp(p + 2, kMarkerTail, kMarkerTailChars) == 0;
}

bool IsUtf16MarkerAt(const uint8_t* p) {
    if (p[0] != '*' || p[1] != 0 || p[2] != '*' || p[3] != 0) {
        return false;
    }
    for (size_t k = 0; k < kMarkerTailChars; ++k) {
        if (p[4 + 2 * k] != static_cast<uint8_t>(kMarkerTail[k]) || p[5 + 2 * k] != 0) {
            return false;
        }
    }
    return true;
}

std::string_view SectionOf(std::string_view key) {
    return key.substr(0, key.find(':'));
}

// Key-table row numbers in the two orders the lookups search: by key bytes,
// and by section (the key's part before its colon) then id.
struct KeyTableIndexes {
    std::array<uint16_t, kLanguageKeyCount> byKey;
    std::array<uint16_t, kLanguageKeyCount> bySectionAndId;

    KeyTableIndexes() {
        std::iota(byKey.begin(), byKey.end(), uint16_t{0});
        std::iota(bySectionAndId.begin(), bySectionAndId.end(), uint16_t{0});
        std::sort(byKey.begin(), byKey.end(), [](uint16_t a, uint16_t b) {
            return LanguageKeyTable[a].key < LanguageKeyTable[b].key;
        });
        std::sort(bySectionAndId.begin(), bySectionAndId.end(), [](uint16_t a, uint16_t b) {
            return Less(SectionOf(LanguageKeyTable[a].key), LanguageKeyTable[a].id,
                        SectionOf(LanguageKeyTable[b].key), LanguageKeyTable[b].id);
        });
    }

    static bool Less(std::string_view sectionA, uint32_t idA, std::string_view sectionB,
                     uint32_t idB) {
        const int order = sectionA.compare(sectionB);
        return order != 0 ? order < 0 : idA < idB;
    }
};

const KeyTableIndexes& Indexes() {
    static const KeyTableIndexes indexes;
    return indexes;
}

// The bytes at..at+7 of `key` (zero bytes past its end) as a number in which
// the first byte weighs most.
uint64_t BigEndianBytes(std::string_view key, size_t at) {
    if constexpr (std::endian::native == std::endian::little) {
        if (key.size() >= at + 8) {
            uint64_t value;
            std::memcpy(&value, key.data() + at, sizeof value);
            return __builtin_bswap64(value);
        }
    }
    uint64_t value = 0;
    for (size_t i = at; i < at + 8; ++i) {
        value = value << 8 | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
    }
    return value;
}

// 8-bit text is converted a chunk at a time. A chunk ends just after a line
// feed, which is a character of its own, or ends the two-byte character
// before it, in every ANSI code page: converting the chunks one by one gives
// the text that converting the whole would.
constexpr size_t kAnsiChunkBytes = 4096;

std::string_view AnsiChunk(std::string_view bytes, size_t at) {
    if (bytes.size() - at <= kAnsiChunkBytes) {
        return bytes.substr(at);
    }
    const size_t lineFeed = bytes.find('\n', at + kAnsiChunkBytes - 1);
    return bytes.substr(at, lineFeed == std::string_view::npos ? lineFeed : lineFeed + 1 - at);
}

// The section name of a lookup by id is converted to 8-bit text of at most
// 79 characters.
constexpr size_t kMaxSectionNameChars = 79;

} // namespace

size_t FindMarkerInBlock(const uint8_t* data, size_t size, LanguageEncoding& encoding) {
    for (size_t i = 0; i + kAnsiMarkerWindow <= size; ++i) {
        if (IsAnsiMarkerAt(data + i)) {
            encoding = LanguageEncoding::Ansi;
            return i;
        }
        if (i + kUtf16MarkerWindow <= size && IsUtf16MarkerAt(data + i)) {
            encoding = LanguageEncoding::Utf16;
            return i;
        }
    }
    return kNoMarker;
}

std::u16string DecodeLanguageText(std::string_view bytes, LanguageEncoding encoding) {
    std::u16string text;
    if (encoding == LanguageEncoding::Utf16) {
        // One pass, which ends at the first character of code 0.
        text.resize(std::min(bytes.size() / 2, kMaxTextChars));
        const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
        char16_t* out = text.data();
        size_t i = 0;
        for (; i < text.size(); ++i) {
            const auto c = static_cast<char16_t>(in[2 * i] | in[2 * i + 1] << 8);
            if (c == 0) {
                break;
            }
            out[i] = c;
        }
        text.resize(i);
        return text;
    }
    // 8-bit text is converted up to its first zero byte, and no further than
    // the limit needs: a file may hold twice as many bytes as are parsed
    // (the parser would take a character of code 0, should a code page make
    // one of other bytes, for the end as well). A chunk at a time, so that a
    // byte outside ASCII sends only its own chunk through the code page.
    bytes = bytes.substr(0, bytes.find('\0'));
    text.resize(std::min(bytes.size(), kMaxTextChars));
    size_t used = 0;
    for (size_t at = 0; at < bytes.size() && used < kMaxTextChars;) {
        const std::string_view chunk = AnsiChunk(bytes, at);
        at += chunk.size();
        if (text.size() < used + chunk.size()) {
            text.resize(used + chunk.size());
        }
        used += AnsiToWide(chunk, text.data() + used);
    }
    text.resize(std::min(used, kMaxTextChars));
    return text;
}

size_t MemoryByteSource::Read(void* buffer, size_t count) {
    const size_t n = std::min(count, bytes_.size() - position_);
    if (n > 0) {
        std::memcpy(buffer, bytes_.data() + position_, n);
    }
    position_ += n;
    return n;
}

bool MemoryByteSource::Seek(int64_t position) {
    if (position < 0 || static_cast<uint64_t>(position) > bytes_.size()) {
        return false;
    }
    position_ = static_cast<size_t>(position);
    return true;
}

LanguageTable& LanguageTable::Instance() {
    static LanguageTable table;
    return table;
}

LanguageTable::LanguageTable() = default;

void LanguageTable::Clear() {
    entries_.clear();
    entries_.shrink_to_fit();
    entryIndex_.clear();
    entryIndex_.shrink_to_fit();
    rightToLeft_ = false;
}

bool LanguageTable::LoadFrom(LanguageByteSource& source) {
    Clear();
    int64_t markerPosition = -1;
    LanguageEncoding encoding = LanguageEncoding::Ansi;
    {
        std::vector<uint8_t> block(kMarkerBlockBytes);
        int64_t position = 0;
        if (!source.Seek(0)) {
            return false;
        }
        for (size_t blocks = 0; blocks < kMaxMarkerBlocks; ++blocks) {
            const size_t n = source.Read(block.data(), block.size());
            if (const size_t at = FindMarkerInBlock(block.data(), n, encoding); at != kNoMarker) {
                markerPosition = position + static_cast<int64_t>(at);
                break;
            }
            // A short block reached the end of the data: the bytes from its
            // last tested offset on were all that was left, so no later block
            // could hold the marker.
            if (n < block.size()) {
                return false;
            }
            // Consecutive blocks overlap, so that both forms are tested at
            // every offset.
            position += static_cast<int64_t>(n - kMarkerBlockOverlap);
            if (!source.Seek(position)) {
                return false;
            }
        }
    }
    if (markerPosition < 0 || !source.Seek(markerPosition)) {
        return false;
    }
    // Up to 2 MiB from the marker on, in one buffer; its pages beyond what
    // is read are never touched.
    // The one large block of the program: without it the built-in texts stay
    // in force, and the run goes on.
    const std::unique_ptr<char[]> bytes(new (std::nothrow) char[kMaxLanguageFileBytes]);
    if (!bytes) {
        return false;
    }
    size_t total = 0;
    while (total < kMaxLanguageFileBytes) {
        const size_t n = source.Read(bytes.get() + total, kMaxLanguageFileBytes - total);
        if (n == 0) {
            break;
        }
        total += n;
    }
    const std::u16string text = DecodeLanguageText(std::string_view(bytes.get(), total), encoding);
    LoadText(text);
    return true;
}

void LanguageTable::LoadText(std::u16string_view text) {
    Clear();
    ParseLanguageText(text, entries_, rightToLeft_);
    BuildEntryIndex();
}

void LanguageTable::BuildEntryIndex() {
    // The sort compares keys many times over. Each key's first 16 bytes, held
    // side by side as numbers that compare as the bytes do, settle most
    // comparisons without reaching the entries; every answer is the one
    // comparing the keys themselves gives, so the order is the same.
    struct SortKey {
        uint64_t head;
        uint64_t next;
        std::string_view key;
    };
    std::vector<SortKey> sortKeys(entries_.size());
    for (size_t i = 0; i < entries_.size(); ++i) {
        const std::string_view key = entries_[i].key;
        sortKeys[i] = {BigEndianBytes(key, 0), BigEndianBytes(key, 8), key};
    }
    entryIndex_.resize(entries_.size());
    std::iota(entryIndex_.begin(), entryIndex_.end(), uint32_t{0});
    std::sort(entryIndex_.begin(), entryIndex_.end(), [&sortKeys](uint32_t a, uint32_t b) {
        const SortKey& x = sortKeys[a];
        const SortKey& y = sortKeys[b];
        if (x.head != y.head) {
            return x.head < y.head;
        }
        if (x.next != y.next) {
            return x.next < y.next;
        }
        // Equal first 16 bytes (a short key counts as padded with zero bytes):
        // a key of at most 16 bytes is then the start of the other one.
        if (x.key.size() <= 16 || y.key.size() <= 16) {
            return x.key.size() < y.key.size();
        }
        return x.key.substr(16) < y.key.substr(16);
    });
}

bool LanguageTable::FindText(std::string_view key, std::u16string& out, size_t capacity) const {
    const auto it = std::lower_bound(
        entryIndex_.begin(), entryIndex_.end(), key,
        [this](uint32_t entry, std::string_view k) { return entries_[entry].key < k; });
    if (it == entryIndex_.end() || entries_[*it].key != key) {
        return false;
    }
    const std::u16string& text = entries_[*it].text;
    out.assign(text, 0, capacity == 0 ? 0 : std::min(text.size(), capacity - 1));
    return true;
}

bool LanguageTable::FindTextById(uint32_t id, std::string_view section, std::u16string& out,
                                 size_t capacity) const {
    if (entries_.empty()) {
        return false;
    }
    if (!section.empty() && section.back() == ':') {
        section.remove_suffix(1);
    }
    const auto& index = Indexes().bySectionAndId;
    const auto it = std::lower_bound(index.begin(), index.end(), 0, [&](uint16_t row, int) {
        return KeyTableIndexes::Less(SectionOf(LanguageKeyTable[row].key), LanguageKeyTable[row].id,
                                     section, id);
    });
    if (it == index.end() || LanguageKeyTable[*it].id != id ||
        SectionOf(LanguageKeyTable[*it].key) != section) {
        return false;
    }
    return FindText(LanguageKeyTable[*it].key, out, capacity);
}

bool LanguageTable::FindTextById(uint32_t id, LanguageSection kind, std::u16string_view name,
                                 std::u16string& out, size_t capacity) const {
    if (kind == LanguageSection::Strings) {
        return FindTextById(id, kStringsSection, out, capacity);
    }
    std::string section(1, kind == LanguageSection::Dialog ? '$' : '@');
    std::string name8 = WideToAnsi(name);
    name8.resize(std::min(name8.size(), kMaxSectionNameChars));
    section += name8;
    return FindTextById(id, section, out, capacity);
}

const LanguageKeyRow* FindLanguageKeyRow(std::string_view key) {
    const auto& index = Indexes().byKey;
    const auto it =
        std::lower_bound(index.begin(), index.end(), key, [](uint16_t row, std::string_view k) {
            return LanguageKeyTable[row].key < k;
        });
    if (it == index.end() || LanguageKeyTable[*it].key != key) {
        return nullptr;
    }
    return &LanguageKeyTable[*it];
}

} // namespace ozu
