// The settings file's content without any file: line parsing, entry names,
// the entry list and the bytes written on save.

#include <random>

#include <gtest/gtest.h>

#include "settings/settings_file.h"
#include "support/bytes.h"

namespace ozu {
namespace {

// A parsed line as "kind:name=value", or "none".
std::string Parsed(std::u16string_view line) {
    const std::optional<SettingsEntry> e = ParseSettingsLine(line);
    if (!e) {
        return "none";
    }
    const char* kind = e->kind == EntryKind::Plain    ? "plain:"
                       : e->kind == EntryKind::Quoted ? "quoted:"
                                                      : "binary:";
    return kind + std::string(e->name.begin(), e->name.end()) + "=" +
           std::string(e->value.begin(), e->value.end());
}

TEST(SettingsLine, LinesThatDoNotStartWithALetterOrLackEqualsAreIgnored) {
    for (std::u16string_view line : {u" a=1", u"\ta=1", u"[Section]", u";a=1", u"#a=1", u"1a=2",
                                     u"=1", u"_a=1", u"", u"\u00e9t\u00e9=1", u"abc", u"a b c"}) {
        EXPECT_EQ(Parsed(line), "none") << std::string(line.begin(), line.end());
    }
}

TEST(SettingsLine, NameUpToTheFirstEqualsThenAPlainQuotedOrBinaryValue) {
    const struct {
        std::u16string_view line;
        std::string entry;
    } cases[] = {
        {u"a = b", "plain:a = b"},
        {u"HKCU\\Setup\\.zip\\Set=x=y", "plain:HKCU\\Setup\\.zip\\Set=x=y"},
        {u"Z=", "plain:Z="},
        // Quoted values lose only the opening and one final quote.
        {u"a=\"text\"", "quoted:a=text"},
        {u"a=\"unterminated", "quoted:a=unterminated"},
        {u"a=\"in\"side\"", "quoted:a=in\"side"},
        {u"a=\"\"", "quoted:a="},
        {u"a=\"", "quoted:a="},
        {u"a=\"\"\"", "quoted:a=\""},
        {u"a=\"bin:00\"", "quoted:a=bin:00"},
        {u"a=x\"", "plain:a=x\""}, // a quote that does not open the value is text
        // Only the lower-case prefix makes a binary value.
        {u"a=bin:0a1B", "binary:a=0a1B"},
        {u"a=bin:", "binary:a="},
        {u"a=BIN:0a", "plain:a=BIN:0a"},
        {u"a=bin", "plain:a=bin"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Parsed(c.line), c.entry);
    }
}

TEST(SettingsLine, RandomLinesKeepTheInvariants) {
    // Run under the sanitizers in the host build: no line may crash the
    // parser, and every entry it gives obeys the rules of the format.
    std::mt19937 random(12345);
    const char16_t alphabet[] = u"aZ=\"bin: \t\\[;0\u00e9\xd800\xdc00\r\n";
    std::uniform_int_distribution<size_t> pick(0, std::size(alphabet) - 2);
    std::uniform_int_distribution<size_t> length(0, 24);
    for (int i = 0; i < 20000; ++i) {
        std::u16string line;
        for (size_t n = length(random); n > 0; --n) {
            line.push_back(alphabet[pick(random)]);
        }
        std::optional<SettingsEntry> e = ParseSettingsLine(line);
        if (!e) {
            continue;
        }
        ASSERT_FALSE(e->name.empty());
        ASSERT_TRUE((e->name[0] >= u'a' && e->name[0] <= u'z') ||
                    (e->name[0] >= u'A' && e->name[0] <= u'Z'));
        ASSERT_EQ(e->name.find(u'='), std::u16string::npos);
        ASSERT_LE(e->name.size() + 1 + e->value.size(), line.size());
    }
}

TEST(SettingsEntryName, RootKeyBackslashAndValueName) {
    EXPECT_EQ(MakeSettingsEntryName(SettingsRoot::CurrentUser, u"Setup\\MenuItems", u"AlwaysArc"),
              u"HKCU\\Setup\\MenuItems\\AlwaysArc");
    EXPECT_EQ(MakeSettingsEntryName(SettingsRoot::LocalMachine, u"Setup\\.zip", u"Set"),
              u"HKLM\\Setup\\.zip\\Set");
    EXPECT_EQ(MakeSettingsEntryName(SettingsRoot::None, u"Global", u"Integration"),
              u"Global\\Integration");
    // The whole key: the name ends in a backslash.
    EXPECT_EQ(MakeSettingsEntryName(SettingsRoot::CurrentUser, u"Setup\\MenuItems", u""),
              u"HKCU\\Setup\\MenuItems\\");
    // No doubled backslash, none after an empty text.
    EXPECT_EQ(MakeSettingsEntryName(SettingsRoot::CurrentUser, u"", u"X"), u"HKCU\\X");
    EXPECT_EQ(MakeSettingsEntryName(SettingsRoot::CurrentUser, u"Setup\\", u"X"),
              u"HKCU\\Setup\\X");
    EXPECT_EQ(MakeSettingsEntryName(SettingsRoot::None, u"", u"X"), u"X");
    EXPECT_EQ(MakeSettingsEntryName(SettingsRoot::None, u"", u""), u"");
}

TEST(SettingsEntryName, LongNamesAreCutTo1023Characters) {
    std::u16string key(1500, u'k');
    std::u16string name = MakeSettingsEntryName(SettingsRoot::CurrentUser, key, u"Value");
    EXPECT_EQ(name.size(), 1023u);
    EXPECT_EQ(name.substr(0, 5), u"HKCU\\");
    EXPECT_EQ(MakeSettingsEntryName(SettingsRoot::None, std::u16string(1017, u'k'), u"Value"),
              std::u16string(1017, u'k') + u"\\Value");
}

class SettingsList : public testing::Test {
protected:
    void Add(std::u16string_view name, std::u16string_view value,
             EntryKind kind = EntryKind::Plain) {
        list_.Append(SettingsEntry{std::u16string(name), std::u16string(value), kind});
    }
    SettingsEntryList list_;
};

TEST_F(SettingsList, DuplicateNamesReadAndWriteTheFirstAndRemoveAllAndNewNamesAreAppended) {
    Add(u"a", u"first");
    Add(u"b", u"other");
    Add(u"a", u"second");
    EXPECT_EQ(list_.Find(u"a"), u"first");
    EXPECT_FALSE(list_.Find(u"A").has_value()); // names are case-sensitive

    list_.Set(u"a", u"changed", EntryKind::Quoted);
    ASSERT_EQ(list_.Count(), 3u);
    EXPECT_EQ(list_.Entries()[0].value, u"changed");
    EXPECT_EQ(list_.Entries()[0].kind, EntryKind::Quoted);
    EXPECT_EQ(list_.Entries()[2].value, u"second");

    EXPECT_EQ(list_.RemoveName(u"a"), 2u);
    EXPECT_FALSE(list_.Find(u"a").has_value());
    EXPECT_EQ(list_.Count(), 1u);

    // New names go at the end.
    list_.Set(u"z", u"2", EntryKind::Binary);
    list_.Set(u"a", u"3", EntryKind::Plain);
    ASSERT_EQ(list_.Count(), 3u);
    EXPECT_EQ(list_.Entries()[1].name, u"z");
    EXPECT_EQ(list_.Entries()[1].kind, EntryKind::Binary);
    EXPECT_EQ(list_.Entries()[2].name, u"a");
}

TEST_F(SettingsList, PrefixRemovalTakesTheKeyAndItsSubkeysOnly) {
    Add(u"HKCU\\Setup\\A", u"1");
    Add(u"HKCU\\SetupX\\C", u"2");
    Add(u"HKCU\\Setup\\Sub\\B", u"3");
    Add(u"HKLM\\Setup\\A", u"4");
    Add(u"HKCU\\Setup\\", u"default");
    EXPECT_TRUE(list_.ContainsPrefix(u"HKCU\\Setup\\"));
    EXPECT_FALSE(list_.ContainsPrefix(u"HKCU\\Other\\"));
    EXPECT_FALSE(list_.ContainsName(u"HKCU\\Setup"));

    EXPECT_EQ(list_.RemovePrefix(u"HKCU\\Setup\\"), 3u);
    ASSERT_EQ(list_.Count(), 2u);
    EXPECT_EQ(list_.Entries()[0].name, u"HKCU\\SetupX\\C");
    EXPECT_EQ(list_.Entries()[1].name, u"HKLM\\Setup\\A");
    EXPECT_FALSE(list_.ContainsPrefix(u"HKCU\\Setup\\"));
}

TEST_F(SettingsList, SerializeWritesUtf16WithMarkSortedOrdinallyAndUnescaped) {
    Add(u"b", u"x\"=y", EntryKind::Quoted);
    Add(u"a", u"0A1B", EntryKind::Binary);
    Add(u"\u00e4", u"umlaut");
    Add(u"B", u"upper");
    Add(u"a\u20ac", u"euro");
    Add(u"a\xd800\xdc00", u"pair"); // U+10000 sorts before U+20AC by code unit
    Add(u"q", u"");

    const std::string expected = test::Utf16LeWithMark(u"B=upper\r\n"
                                                       u"a=bin:0A1B\r\n"
                                                       u"a\u20ac=euro\r\n"
                                                       u"a\xd800\xdc00=pair\r\n"
                                                       u"b=\"x\"=y\"\r\n"
                                                       u"q=\r\n"
                                                       u"\u00e4=umlaut\r\n");
    EXPECT_EQ(list_.Serialize(), expected);
    EXPECT_EQ(SettingsEntryList().Serialize(), std::string("\xFF\xFE")); // nothing: the mark alone
}

TEST_F(SettingsList, SavedLinesParseBackToTheSameEntries) {
    // Whatever a save writes must load as the same entries (values that end
    // in blanks excepted: the reader trims line ends before parsing).
    Add(u"HKCU\\Setup\\Plain", u"v a l");
    Add(u"HKCU\\Setup\\Quoted", u"\"in\" side ", EntryKind::Quoted);
    Add(u"HKCU\\Setup\\Empty", u"", EntryKind::Quoted);
    Add(u"HKCU\\Setup\\Bin", u"00ff", EntryKind::Binary);
    Add(u"Global\\Integration", u"0");
    std::string bytes = list_.Serialize();

    std::u16string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    SettingsEntryList back;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(u"\r\n", start);
        ASSERT_NE(end, std::u16string::npos);
        std::optional<SettingsEntry> e = ParseSettingsLine(text.substr(start, end - start));
        ASSERT_TRUE(e.has_value());
        back.Append(std::move(*e));
        start = end + 2;
    }
    ASSERT_EQ(back.Count(), list_.Count());
    for (const SettingsEntry& original : list_.Entries()) {
        std::optional<std::u16string> value = back.Find(original.name);
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(*value, original.value);
    }
}

} // namespace
} // namespace ozu
