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
#include "base/text_words.h"

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

// Where the first character of code 0 is (the size when there is none),
// looked for four characters at a time.
size_t FirstZeroChar(const std::vector<char16_t>& text) {
    size_t i = 0;
    for (; text.size() - i >= 4; i += 4) {
        if (words::AnyCharBelow(words::Load(text.data() + i), 1)) {
            break;
        }
    }
    while (i < text.size() && text[i] != 0) {
        ++i;
    }
    return i;
}

// A hash of the key's bytes for the table of distinct keys, eight at a time
// (a multiply and a shift mix each word in).
uint32_t KeyHash(std::string_view key) {
    constexpr uint64_t kMix = 0x9E3779B97F4A7C15;
    uint64_t hash = key.size();
    size_t i = 0;
    for (; key.size() - i >= 8; i += 8) {
        hash = (hash ^ words::Load(key.data() + i)) * kMix;
        hash ^= hash >> 29;
    }
    uint64_t last = 0;
    std::memcpy(&last, key.data() + i, key.size() - i);
    hash = (hash ^ last) * kMix;
    return static_cast<uint32_t>(hash ^ hash >> 32);
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

std::vector<char16_t> DecodeLanguageText(std::string_view bytes, LanguageEncoding encoding) {
    std::vector<char16_t> text;
    if (encoding == LanguageEncoding::Utf16) {
        // A little-endian machine holds the characters as the file does.
        text.resize(std::min(bytes.size() / 2, kMaxTextChars));
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(text.data(), bytes.data(), text.size() * sizeof(char16_t));
        } else {
            const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
            for (size_t i = 0; i < text.size(); ++i) {
                text[i] = static_cast<char16_t>(in[2 * i] | in[2 * i + 1] << 8);
            }
        }
        text.resize(FirstZeroChar(text));
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

std::string_view LanguageKeyStore::Add(std::string_view key) {
    if (blocks_.empty() || kKeyBlockBytes - used_ < key.size()) {
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(kKeyBlockBytes));
        used_ = 0;
    }
    char* at = blocks_.back().get() + used_;
    std::copy(key.begin(), key.end(), at);
    used_ += key.size();
    return {at, key.size()};
}

void LanguageKeyStore::Clear() {
    blocks_.clear();
    blocks_.shrink_to_fit();
    used_ = kKeyBlockBytes;
}

void LanguageTable::Clear() {
    text_.clear();
    text_.shrink_to_fit();
    keys_.Clear();
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
    text_ = DecodeLanguageText(std::string_view(bytes.get(), total), encoding);
    Parse();
    return true;
}

void LanguageTable::LoadText(std::u16string_view text) {
    Clear();
    text = text.substr(0, std::min(text.size(), kMaxTextChars));
    text_.assign(text.begin(), text.end());
    Parse();
}

void LanguageTable::Parse() {
    ParseLanguageText(text_.data(), text_.size(), keys_, entries_, rightToLeft_);
    BuildEntryIndex();
}

void LanguageTable::BuildEntryIndex() {
    // The index orders the entries by key bytes as std::sort ordering them by
    // their keys does, equal keys included (a lookup finds the first of
    // them). Comparing keys is what costs, so each entry's key is first given
    // a rank, the same for equal keys and in the keys' order; std::sort over
    // the ranks then makes the very same comparisons with the very same
    // answers, and so the very same order.
    const size_t count = entries_.size();
    // The distinct keys, numbered as they first come, found through a table
    // of at least twice as many slots as entries (open addressing).
    std::vector<std::string_view> keys;
    std::vector<uint32_t> rankOf(count); // by entry: its key's number, then its rank
    size_t slotCount = 16;
    while (slotCount < 2 * count) {
        slotCount *= 2;
    }
    constexpr uint32_t kFree = std::numeric_limits<uint32_t>::max();
    std::vector<uint32_t> slots(slotCount, kFree);
    for (size_t i = 0; i < count; ++i) {
        const std::string_view key = entries_[i].key;
        size_t slot = KeyHash(key) & (slotCount - 1);
        while (slots[slot] != kFree && keys[slots[slot]] != key) {
            slot = (slot + 1) & (slotCount - 1);
        }
        if (slots[slot] == kFree) {
            slots[slot] = static_cast<uint32_t>(keys.size());
            keys.push_back(key);
        }
        rankOf[i] = slots[slot];
    }
    // Distinct keys have no ties: any sort gives their one order.
    std::vector<uint32_t> order(keys.size());
    std::iota(order.begin(), order.end(), uint32_t{0});
    std::sort(order.begin(), order.end(),
              [&keys](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });
    std::vector<uint32_t> rank(keys.size());
    for (size_t r = 0; r < order.size(); ++r) {
        rank[order[r]] = static_cast<uint32_t>(r);
    }
    for (uint32_t& item : rankOf) {
        item = rank[item];
    }
    entryIndex_.resize(count);
    std::iota(entryIndex_.begin(), entryIndex_.end(), uint32_t{0});
    std::sort(entryIndex_.begin(), entryIndex_.end(),
              [&rankOf](uint32_t a, uint32_t b) { return rankOf[a] < rankOf[b]; });
}

bool LanguageTable::FindText(std::string_view key, std::u16string& out, size_t capacity) const {
    const auto it = std::lower_bound(
        entryIndex_.begin(), entryIndex_.end(), key,
        [this](uint32_t entry, std::string_view k) { return entries_[entry].key < k; });
    if (it == entryIndex_.end() || entries_[*it].key != key) {
        return false;
    }
    const std::u16string_view text = entries_[*it].text;
    out.assign(text.data(), capacity == 0 ? 0 : std::min(text.size(), capacity - 1));
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
