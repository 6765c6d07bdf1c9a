// The language file "uninstall.lng": the fixed key table that ties the file's
// keys to string and control ids, and the table of texts read from the file.
// Portable: the parser and every lookup build without <windows.h>; only
// LanguageTable::Load (which opens the file beside the program) is Windows code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ozu {

// One row of the key table: the full key as a language file line produces it
// (section prefix + key word) and the string id or dialog control id it names
// (0 for dialog-wide items such as SIZE and CAPTION).
struct LanguageKeyRow {
    uint32_t id;
    std::string_view key;
};

inline constexpr size_t kLanguageKeyCount = 101;
// A declaration, defined with constant data in language_table.cpp; clang 14
// takes it for a header's dynamically initialised variable.
// NOLINTNEXTLINE(bugprone-dynamic-static-initializers)
extern const std::array<LanguageKeyRow, kLanguageKeyCount> LanguageKeyTable;

// One translated text read from the file, held by the table that read it: a
// view of its key and of its text, valid until the table is loaded again,
// cleared or destroyed.
struct LanguageEntry {
    std::string_view key;     // full key, at most kMaxStoredKeyChars bytes
    std::u16string_view text; // at most kMaxValueChars characters
};

// Limits of the file format. They change what is stored, so they are kept.
inline constexpr size_t kMaxPrefixChars = 99;            // section prefixes, directive arguments
inline constexpr size_t kMaxKeyChars = 99;               // full key while parsing; key-word search
inline constexpr size_t kMaxStoredKeyChars = 49;         // key as stored in an entry
inline constexpr size_t kMaxValueChars = 65536;          // one value
inline constexpr size_t kMaxTextChars = 1048576;         // decoded text that is parsed
inline constexpr size_t kMaxLanguageFileBytes = 2097152; // file data read after the marker
inline constexpr size_t kMarkerBlockBytes = 8192;        // marker search block
inline constexpr size_t kAnsiMarkerWindow = 16;  // bytes from an offset to test the 8-bit form
inline constexpr size_t kUtf16MarkerWindow = 32; // ... and the UTF-16 form
// Consecutive blocks overlap by the larger window, so that each form is tested
// at every offset of the file: the offsets a block leaves untested for lack of
// room are tested again at the start of the next one.
inline constexpr size_t kMarkerBlockOverlap = kUtf16MarkerWindow;
inline constexpr size_t kMaxMarkerBlocks = 256; // blocks searched for the marker

inline constexpr size_t kNoCapacityLimit = std::numeric_limits<size_t>::max();

// Kinds of section a text can be looked up in by id.
enum class LanguageSection { Strings, Dialog, Menu };

// Section name of the string table, as used by FindTextById.
inline constexpr std::string_view kStringsSection = "s";

// The encoding decided by the form in which the marker was found.
enum class LanguageEncoding { Ansi, Utf16 };

// Where the bytes of a language file come from: the file object in the
// program, a memory buffer in tests, the fuzzer and the benchmark.
class LanguageByteSource {
public:
    virtual ~LanguageByteSource() = default;
    // Reads up to `count` bytes at the current position; returns the number read
    // (0 at the end or after an error).
    virtual size_t Read(void* buffer, size_t count) = 0;
    // Moves to an absolute position; false when that is not possible.
    virtual bool Seek(int64_t position) = 0;
};

// A language file held in memory.
class MemoryByteSource : public LanguageByteSource {
public:
    explicit MemoryByteSource(std::string_view bytes) : bytes_(bytes) {}
    size_t Read(void* buffer, size_t count) override;
    bool Seek(int64_t position) override;

private:
    std::string_view bytes_;
    size_t position_ = 0;
};

// The key-table row with exactly this key, or null.
const LanguageKeyRow* FindLanguageKeyRow(std::string_view key);

// The bytes of the entries' keys, kept in blocks that never move once made,
// so that the views of them stay valid while more keys are added.
class LanguageKeyStore {
public:
    // A copy of `key` (at most kKeyBlockBytes bytes).
    std::string_view Add(std::string_view key);
    void Clear();

    static constexpr size_t kKeyBlockBytes = 16384;

private:
    std::vector<std::unique_ptr<char[]>> blocks_;
    size_t used_ = kKeyBlockBytes; // bytes taken of the last block
};

class LanguageTable {
public:
    // The process-wide table, filled at start-up and read-only afterwards.
    static LanguageTable& Instance();

    LanguageTable();
    // The entries point into the table's own storage, which a move keeps
    // where it is and a copy would not.
    LanguageTable(const LanguageTable&) = delete;
    LanguageTable& operator=(const LanguageTable&) = delete;
    LanguageTable(LanguageTable&&) = default;
    LanguageTable& operator=(LanguageTable&&) = default;

    // Reads the language file. A name without a backslash is taken from the
    // program's folder. Replaces whatever was loaded before; true when the
    // file was opened and its marker found. A missing or unusable file leaves
    // the table empty, so that every lookup fails. (Windows only.)
    bool Load(std::u16string_view fileName);

    // The portable part of Load: searches the marker in `source`, reads and
    // decodes the text after it and parses it. True when the marker was found.
    bool LoadFrom(LanguageByteSource& source);

    // Parses decoded text that begins at the marker (the first line is never
    // read as an entry). Replaces whatever was loaded before.
    void LoadText(std::u16string_view text);

    // The text stored under exactly `key` (byte comparison), cut to
    // capacity - 1 characters. False, with `out` untouched, when absent.
    bool FindText(std::string_view key, std::u16string& out,
                  size_t capacity = kNoCapacityLimit) const;

    // The text of the key-table row in `section` (the part of the key before
    // its colon: "s" for strings, "$SETUPDLG", "@MENU"; a trailing colon is
    // allowed) whose id is `id`.
    bool FindTextById(uint32_t id, std::string_view section, std::u16string& out,
                      size_t capacity = kNoCapacityLimit) const;
    // The same with the section given by kind and name ("$" + name for
    // dialogs, "@" + name for menus; the name is ignored for strings).
    bool FindTextById(uint32_t id, LanguageSection kind, std::u16string_view name,
                      std::u16string& out, size_t capacity = kNoCapacityLimit) const;

    bool IsRightToLeft() const { return rightToLeft_; }
    void SetRightToLeft(bool rightToLeft) { rightToLeft_ = rightToLeft; }

    // Empties the table and clears the right-to-left flag (tests, reloading).
    void Clear();

    // The entries in file order (tests, diagnostics).
    const std::vector<LanguageEntry>& Entries() const { return entries_; }

private:
    void Parse();
    void BuildEntryIndex();

    // The decoded text as parsed: the entries' texts lie in it, their escapes
    // resolved in place. (A vector: a move keeps its characters where they are.)
    std::vector<char16_t> text_;
    LanguageKeyStore keys_;
    std::vector<LanguageEntry> entries_;
    std::vector<uint32_t> entryIndex_; // entry numbers ordered by key bytes
    bool rightToLeft_ = false;
};

// The parser: reads `text` (decoded, beginning at the marker) and appends
// one entry per key line to `entries`; a DIRECTION line sets `rightToLeft`.
// Stops at the first character of code 0 and after kMaxTextChars characters.
// Each entry's text is a view into `text`, whose values it rewrites in place
// as it reads them (an escape takes more characters than it stands for), and
// its key a view into `keys`.
void ParseLanguageText(char16_t* text, size_t size, LanguageKeyStore& keys,
                       std::vector<LanguageEntry>& entries, bool& rightToLeft);

// Searches one block of bytes for the marker (two asterisks and the first
// eleven characters of "*messages***") in 8-bit form where 16 bytes remain and
// in UTF-16 little-endian form where 32 bytes remain; returns the offset and
// sets `encoding`, or returns npos.
inline constexpr size_t kNoMarker = std::numeric_limits<size_t>::max();
size_t FindMarkerInBlock(const uint8_t* data, size_t size, LanguageEncoding& encoding);

// Decodes the bytes read from the marker on: UTF-16 little-endian (an odd last
// byte is dropped) or 8-bit text in the ANSI code page. The result ends at the
// first character of code 0 (8-bit text: before its first zero byte) and holds
// at most kMaxTextChars characters.
std::vector<char16_t> DecodeLanguageText(std::string_view bytes, LanguageEncoding encoding);

} // namespace ozu
