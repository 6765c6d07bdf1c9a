// The language file format: parsing, limits, the marker search over blocks of
// the file, both encodings, and the lookups by key and by id.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "localization/language_table.h"

namespace ozu {
namespace {

const std::u16string kMarkerLine = u"***messages***\r\n";

// A table loaded from the given lines after a marker line.
LanguageTable Parse(std::u16string_view body) {
    LanguageTable table;
    table.LoadText(kMarkerLine + std::u16string(body));
    return table;
}

std::u16string Text(const LanguageTable& table, std::string_view key) {
    std::u16string out = u"<absent>";
    table.FindText(key, out);
    return out;
}

// 8-bit and UTF-16 little-endian bytes of ASCII text.
std::string Ansi(std::u16string_view text) {
    return std::string(text.begin(), text.end());
}
std::string Utf16(std::u16string_view text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

bool LoadBytes(LanguageTable& table, const std::string& bytes) {
    MemoryByteSource source(bytes);
    return table.LoadFrom(source);
}

TEST(LanguageFileTest, SectionDirectivesSetThePrefixOfLaterKeys) {
    const LanguageTable table = Parse(u"IDS_A first\r\n"
                                      u":DIALOG SETUPDLG\r\n"
                                      u"CAPTION Title\r\n"
                                      u":MENU\tMAIN  trailing words\r\n"
                                      u"ITEM Open\r\n"
                                      u":DIALOGX OTHER\r\n"
                                      u"ITEM2 still menu\r\n"
                                      u":SOMETHING\r\n"
                                      u":STRINGS\r\n"
                                      u"IDS_B second\n"
                                      u":DIALOG\n"
                                      u"X empty argument");
    EXPECT_EQ(Text(table, "s:IDS_A"), u"first");
    EXPECT_EQ(Text(table, "$SETUPDLG:CAPTION"), u"Title");
    EXPECT_EQ(Text(table, "@MAIN:ITEM"), u"Open");
    EXPECT_EQ(Text(table, "@MAIN:ITEM2"), u"still menu");
    EXPECT_EQ(Text(table, "s:IDS_B"), u"second");
    EXPECT_EQ(Text(table, "$:X"), u"empty argument");
    EXPECT_EQ(table.Entries().size(), 6u);
}

TEST(LanguageFileTest, DirectionLineSetsAndClearsRightToLeft) {
    EXPECT_TRUE(Parse(u":DIRECTION RTL\r\n").IsRightToLeft());
    EXPECT_TRUE(Parse(u":DIRECTION \t RTL").IsRightToLeft());
    EXPECT_FALSE(Parse(u":DIRECTION rtl\r\n").IsRightToLeft());
    EXPECT_FALSE(Parse(u":DIRECTION RTLX\r\n").IsRightToLeft());
    EXPECT_FALSE(Parse(u":DIRECTION RTL\r\n:DIRECTION LTR\r\n").IsRightToLeft());
    // The direction does not change the section.
    EXPECT_EQ(Text(Parse(u":DIALOG D\n:DIRECTION RTL\nK v"), "$D:K"), u"v");
}

TEST(LanguageFileTest, KeyLinesAndComments) {
    const LanguageTable table = Parse(u"IDS_A text\r\n"
                                      u"IDS_EMPTY \r\n"
                                      u"IDS_TAB\t \tvalue\r\n"
                                      u"IDS_X , text\r\n"
                                      u"IDS_C,comma\r\n"
                                      u" IDS_D indented\r\n"
                                      u";IDS_E comment\r\n"
                                      u"1IDS_F digit\r\n"
                                      u"_IDS_G symbol\r\n");
    EXPECT_EQ(Text(table, "s:IDS_A"), u"text");
    EXPECT_EQ(Text(table, "s:IDS_EMPTY"), u"");
    EXPECT_EQ(Text(table, "s:IDS_TAB"), u"value");
    EXPECT_EQ(Text(table, "s:IDS_X"), u", text");
    EXPECT_EQ(Text(table, "s:IDS_C"), u"comma");
    EXPECT_EQ(table.Entries().size(), 5u);
}

TEST(LanguageFileTest, KeyWordWithoutSeparatorRunsOnIntoTheNextLine) {
    const LanguageTable table = Parse(u"IDS_A\r\nIDS_B text\r\nIDS_C after");
    ASSERT_EQ(table.Entries().size(), 2u);
    EXPECT_EQ(table.Entries()[0].key, "s:IDS_A\r\nIDS_B");
    EXPECT_EQ(table.Entries()[0].text, u"text");
    EXPECT_EQ(Text(table, "s:IDS_A"), u"<absent>");
    EXPECT_EQ(Text(table, "s:IDS_B"), u"<absent>");
    EXPECT_EQ(Text(table, "s:IDS_C"), u"after");
    // No separator within 99 characters: the line is a comment.
    const LanguageTable none = Parse(u"IDS_A\r\n" + std::u16string(120, u'x') + u" v\r\nIDS_B ok");
    ASSERT_EQ(none.Entries().size(), 1u);
    EXPECT_EQ(Text(none, "s:IDS_B"), u"ok");
}

TEST(LanguageFileTest, ValueEscapesQuotesAndTrimming) {
    const LanguageTable table = Parse(u"E1 a\\\"b\\\\c\\nd\\re\\tf\r\n"
                                      u"E2 keep \\x and end\\\r\n"
                                      u"E3   lost blanks  \t \r\n"
                                      u"E4 \"  kept  \"  \r\n"
                                      u"E5 \"\r\n"
                                      u"E6 \"open\r\n"
                                      u"E7 close\"\r\n"
                                      u"E8 \\\"quoted\\\"");
    EXPECT_EQ(Text(table, "s:E1"), u"a\"b\\c\nd\re\tf");
    EXPECT_EQ(Text(table, "s:E2"), u"keep \\x and end\\");
    EXPECT_EQ(Text(table, "s:E3"), u"lost blanks");
    EXPECT_EQ(Text(table, "s:E4"), u"  kept  ");
    EXPECT_EQ(Text(table, "s:E5"), u"");
    EXPECT_EQ(Text(table, "s:E6"), u"open");
    EXPECT_EQ(Text(table, "s:E7"), u"close");
    EXPECT_EQ(Text(table, "s:E8"), u"quoted");
}

TEST(LanguageFileTest, OverlongPartsAreCut) {
    const std::u16string longArgument(500, u'D');
    const std::u16string longKey = u"K" + std::u16string(59, u'k');
    const LanguageTable table =
        Parse(longKey + u" cut key\r\n" +                         // 62 characters with prefix
              u"LONG " + std::u16string(100000, u'v') + u"\r\n" + // 100,000-character value
              u"K" + std::u16string(499, u'k') + u" v\r\n" +      // 500-character key: comment
              u":DIALOG " + longArgument + u"\r\nITEM under long prefix\r\n");
    ASSERT_EQ(table.Entries().size(), 3u);
    const std::string cutKey = "s:K" + std::string(46, 'k');
    EXPECT_EQ(table.Entries()[0].key, cutKey);
    EXPECT_EQ(Text(table, cutKey), u"cut key");
    EXPECT_EQ(Text(table, "s:" + std::string(longKey.begin(), longKey.end())), u"<absent>");
    EXPECT_EQ(Text(table, "s:LONG"), std::u16string(kMaxValueChars, u'v'));
    // The prefix keeps 99 characters (its colon is lost); the key keeps 49.
    EXPECT_EQ(table.Entries()[2].key, "$" + std::string(48, 'D'));
}

TEST(LanguageFileTest, TextEndsAtZeroCharacterAndAtItsLimit) {
    const LanguageTable zero = Parse(std::u16string(u"IDS_A one\r\nIDS_B two", 20) +
                                     std::u16string(1, u'\0') + u"\r\nIDS_C three");
    EXPECT_EQ(Text(zero, "s:IDS_B"), u"two");
    EXPECT_EQ(Text(zero, "s:IDS_C"), u"<absent>");

    // The limit cuts the last line within its value: it is stored as cut.
    std::u16string text = kMarkerLine;
    text += std::u16string(kMaxTextChars - text.size() - 10, u';') + u"\nIDS_A 12345678";
    text += u"\nIDS_B beyond";
    LanguageTable limited;
    limited.LoadText(text);
    EXPECT_EQ(Text(limited, "s:IDS_A"), u"123");
    EXPECT_EQ(Text(limited, "s:IDS_B"), u"<absent>");
}

TEST(LanguageFileTest, MarkerLineNeverYieldsAnEntry) {
    LanguageTable table;
    table.LoadText(u"***messages*** IDS_A not read\nIDS_B read");
    ASSERT_EQ(table.Entries().size(), 1u);
    EXPECT_EQ(Text(table, "s:IDS_B"), u"read");
}

TEST(LanguageFileTest, ManyEntriesAndDuplicatesAreAllStoredAndFound) {
    std::u16string body;
    for (int i = 0; i < 100000; ++i) {
        const std::u16string n = [&] {
            std::string s = std::to_string(i);
            return std::u16string(s.begin(), s.end());
        }();
        body += u"K" + n + u" " + n.back() + u"\n"; // 100,000 lines within the text limit
    }
    body += u"K7 duplicate\n";
    const LanguageTable table = Parse(body);
    EXPECT_EQ(table.Entries().size(), 100001u);
    EXPECT_EQ(Text(table, "s:K0"), u"0");
    EXPECT_EQ(Text(table, "s:K99999"), u"9");
    EXPECT_EQ(Text(table, "s:K54321"), u"1");
    const std::u16string duplicate = Text(table, "s:K7");
    EXPECT_TRUE(duplicate == u"7" || duplicate == u"duplicate");
}

TEST(LanguageFileTest, LookupsByKeyAndById) {
    const LanguageTable table = Parse(u"IDS_UNINSTTITLE Title\r\n"
                                      u"IDS_MIVORAARC 0123456789abc\r\n"
                                      u":DIALOG SETUPDLG\r\nIDC_ASSOCOZU Ozu files\r\n");
    std::u16string out = u"untouched";
    EXPECT_FALSE(table.FindText("s:IDS_MISSING", out));
    EXPECT_EQ(out, u"untouched");
    EXPECT_TRUE(table.FindText("s:IDS_MIVORAARC", out, 10));
    EXPECT_EQ(out, u"012345678");
    // 5101 is a string and a control of two dialogs.
    EXPECT_TRUE(table.FindTextById(5101, kStringsSection, out));
    EXPECT_EQ(out, u"Title");
    EXPECT_TRUE(table.FindTextById(5101, "$SETUPDLG:", out));
    EXPECT_EQ(out, u"Ozu files");
    EXPECT_TRUE(table.FindTextById(5101, LanguageSection::Dialog, u"SETUPDLG", out));
    EXPECT_EQ(out, u"Ozu files");
    EXPECT_FALSE(table.FindTextById(5101, LanguageSection::Dialog, u"DONEDLG", out));
    EXPECT_FALSE(table.FindTextById(5102, kStringsSection, out));
    EXPECT_FALSE(table.FindTextById(4242, kStringsSection, out));
    EXPECT_FALSE(LanguageTable().FindTextById(5101, kStringsSection, out));
}

TEST(LanguageKeyTableTest, KeysAreUniqueAndIdsUniqueWithinASection) {
    std::set<std::string_view> keys;
    std::set<std::pair<std::string_view, uint32_t>> sectionIds;
    for (const LanguageKeyRow& row : LanguageKeyTable) {
        EXPECT_TRUE(keys.insert(row.key).second) << row.key;
        const std::string_view section = row.key.substr(0, row.key.find(':'));
        if (row.id != 0) {
            EXPECT_TRUE(sectionIds.insert({section, row.id}).second) << row.key;
        }
        ASSERT_EQ(FindLanguageKeyRow(row.key), &row);
    }
    EXPECT_EQ(FindLanguageKeyRow("s:IDS_NONE"), nullptr);
    EXPECT_EQ(FindLanguageKeyRow("s:IDS_MIVORAARC")->id, 5111u);
    EXPECT_EQ(FindLanguageKeyRow("$SETUPCONTEXTITEMS:IDC_CONTEXTALWAYSARCTITLE")->id, 125u);
}

TEST(LanguageMarkerTest, MarkerIsSearchedInOverlappingBlocksUpToTheLimit) {
    const std::string entry = "***messages***\r\nIDS_A found";
    LanguageTable table;
    EXPECT_FALSE(LoadBytes(table, std::string(50000, 'x')));
    EXPECT_FALSE(LoadBytes(table, ""));
    // 256 blocks of 8192 bytes, each advancing by 8160: the last one tests
    // the 8-bit form up to 255 * 8160 + 8176.
    EXPECT_TRUE(LoadBytes(table, std::string(2088976, '*') + entry)); // asterisks before it, too
    EXPECT_EQ(Text(table, "s:IDS_A"), u"found");
    EXPECT_FALSE(LoadBytes(table, std::string(2088977, 'x') + entry));
    EXPECT_TRUE(table.Entries().empty());
}

// Where a block has no room left to test a form, the next block, which
// shares its last 32 bytes, tests it.
TEST(LanguageMarkerTest, BothFormsAreFoundAtEveryOffsetAroundBlockBoundaries) {
    const std::u16string entry = u"***messages***\r\nIDS_A found";
    LanguageTable table;
    for (const std::string& marked : {Ansi(entry), Utf16(entry)}) {
        for (size_t boundary : {8192u, 8160u + 8192u}) {
            for (size_t start = boundary - 48; start <= boundary + 8; ++start) {
                table.Clear();
                EXPECT_TRUE(LoadBytes(table, std::string(start, 'x') + marked))
                    << start << " in a form of " << marked.size() << " bytes";
                EXPECT_EQ(Text(table, "s:IDS_A"), u"found") << start;
            }
        }
    }
}

TEST(LanguageMarkerTest, MarkerNeedsSixteenBytesFromItsStart) {
    LanguageTable table;
    EXPECT_FALSE(LoadBytes(table, "xx***messages**"));
    EXPECT_FALSE(LoadBytes(table, "***messages***\n"));
    EXPECT_TRUE(LoadBytes(table, "***messages**\nA "));
    EXPECT_EQ(Text(table, "s:A"), u"");
}

TEST(LanguageMarkerTest, Utf16AndAnsiFormsGiveTheSameEntries) {
    const std::u16string body = u"***messages***\r\n:DIALOG SETUPDLG\r\nCAPTION \"Set up \"\r\n"
                                u":STRINGS\r\nIDS_A one\\ttwo\r\n";
    LanguageTable ansi;
    LanguageTable utf16;
    ASSERT_TRUE(LoadBytes(ansi, "junk IDS_X before\r\n" + Ansi(body)));
    ASSERT_TRUE(LoadBytes(utf16, "\xFF\xFE" + Utf16(u"IDS_X before\r\n" + body)));
    ASSERT_EQ(ansi.Entries().size(), 2u);
    ASSERT_EQ(utf16.Entries().size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(ansi.Entries()[i].key, utf16.Entries()[i].key);
        EXPECT_EQ(ansi.Entries()[i].text, utf16.Entries()[i].text);
    }
    EXPECT_EQ(Text(utf16, "$SETUPDLG:CAPTION"), u"Set up ");
    // At an odd offset, cut off in the middle of a character, with a zero
    // character, and with 8-bit bytes that are no letters of the code page.
    LanguageTable table;
    ASSERT_TRUE(LoadBytes(table, "x" + Utf16(u"***messages***\nIDS_A odd\nIDS_B cut") + "\x41"));
    EXPECT_EQ(Text(table, "s:IDS_A"), u"odd");
    EXPECT_EQ(Text(table, "s:IDS_B"), u"cut");
    ASSERT_TRUE(LoadBytes(table, Utf16(std::u16string(u"***messages***\nIDS_A a\0\nIDS_B b", 31))));
    EXPECT_EQ(table.Entries().size(), 1u);
    ASSERT_TRUE(LoadBytes(table, "***messages***\nIDS_A \x81\x8D\xFF\x90 x\nIDS_B b"));
    EXPECT_EQ(Text(table, "s:IDS_B"), u"b");
    EXPECT_EQ(Text(table, "s:IDS_A").size(), 6u);
}

TEST(LanguageMarkerTest, AtMostTwoMebibytesAreReadFromTheMarkerOn) {
    // In UTF-16 the data limit and the character limit coincide.
    std::u16string body = u"***messages***\nIDS_A first\n";
    body += std::u16string(kMaxLanguageFileBytes / 2 - body.size() - 8, u';');
    body += u"\nIDS_B 12345678\nIDS_C beyond";
    LanguageTable table;
    ASSERT_TRUE(LoadBytes(table, Utf16(body)));
    EXPECT_EQ(Text(table, "s:IDS_A"), u"first");
    EXPECT_EQ(Text(table, "s:IDS_B"), u"1");
    EXPECT_EQ(Text(table, "s:IDS_C"), u"<absent>");
}

} // namespace
} // namespace ozu
