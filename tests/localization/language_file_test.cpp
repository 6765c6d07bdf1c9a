// The language file format: parsing, limits, the marker search over blocks of
// the file, both encodings, and the lookups by key and by id.
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "localization/language_table.h"
#include "support/bytes.h"

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

// 8-bit bytes of ASCII text.
std::string Ansi(std::u16string_view text) {
    return std::string(text.begin(), text.end());
}

bool LoadBytes(LanguageTable& table, const std::string& bytes) {
    MemoryByteSource source(bytes);
    return table.LoadFrom(source);
}

// Every entry of a table as "key=text", in order, separated by "|".
std::string Dump(const LanguageTable& table) {
    std::string out;
    for (const LanguageEntry& e : table.Entries()) {
        out += (out.empty() ? "" : "|") + std::string(e.key) + "=" +
               std::string(e.text.begin(), e.text.end());
    }
    return out;
}

TEST(LanguageFileTest, LinesGiveTheseEntries) {
    const struct {
        std::u16string body;
        std::string entries;
    } cases[] = {
        // Section directives set the prefix of later keys; an unknown one
        // leaves it, an empty argument is an empty name.
        {u"IDS_A first\r\n:DIALOG SETUPDLG\r\nCAPTION Title\r\n:MENU\tMAIN  trailing words\r\n"
         u"ITEM Open\r\n:DIALOGX OTHER\r\nITEM2 still menu\r\n:SOMETHING\r\n:STRINGS\r\n"
         u"IDS_B second\n:DIALOG\nX empty argument",
         "s:IDS_A=first|$SETUPDLG:CAPTION=Title|@MAIN:ITEM=Open|@MAIN:ITEM2=still menu|"
         "s:IDS_B=second|$:X=empty argument"},
        // The direction does not change the section.
        {u":DIALOG D\n:DIRECTION RTL\nK v", "$D:K=v"},
        // Key lines: the key ends at a blank, tab or comma; a line that does
        // not begin with a letter is a comment.
        {u"IDS_A text\r\nIDS_EMPTY \r\nIDS_TAB\t \tvalue\r\nIDS_X , text\r\nIDS_C,comma\r\n",
         "s:IDS_A=text|s:IDS_EMPTY=|s:IDS_TAB=value|s:IDS_X=, text|s:IDS_C=comma"},
        {u" IDS_D indented\r\n;IDS_E comment\r\n1IDS_F digit\r\n_IDS_G symbol\r\n", ""},
        // A key word without a separator runs on into the next line; without a
        // separator within 99 characters the line is a comment.
        {u"IDS_A\r\nIDS_B text\r\nIDS_C after", "s:IDS_A\r\nIDS_B=text|s:IDS_C=after"},
        {u"IDS_A\r\n" + std::u16string(120, u'x') + u" v\r\nIDS_B ok", "s:IDS_B=ok"},
        // Escapes, quotes and trimming of values.
        {u"E1 a\\\"b\\\\c\\nd\\re\\tf\r\n", "s:E1=a\"b\\c\nd\re\tf"},
        {u"E2 keep \\x and end\\\r\n", "s:E2=keep \\x and end\\"},
        {u"E3   lost blanks  \t \r\n", "s:E3=lost blanks"},
        {u"E4 \"  kept  \"  \r\n", "s:E4=  kept  "},
        {u"E5 \"\r\nE6 \"open\r\nE7 close\"\r\nE8 \\\"quoted\\\"",
         "s:E5=|s:E6=open|s:E7=close|s:E8=quoted"},
        // A value shortened by its escapes leaves the lines after it whole.
        {u"E9 a\\nb\\\\\r\nE10 \"c\\td\r\nE11 plain", "s:E9=a\nb\\|s:E10=c\td|s:E11=plain"},
        // A zero character ends the text.
        {std::u16string(u"IDS_A one\r\nIDS_B two\0\r\nIDS_C three", 34), "s:IDS_A=one|s:IDS_B=two"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Dump(Parse(c.body)), c.entries) << testing::PrintToString(c.body);
    }
    EXPECT_EQ(Text(Parse(u"IDS_A\r\nIDS_B text"), "s:IDS_A"), u"<absent>");
}

TEST(LanguageFileTest, DirectionLineSetsAndClearsRightToLeft) {
    EXPECT_TRUE(Parse(u":DIRECTION RTL\r\n").IsRightToLeft());
    EXPECT_TRUE(Parse(u":DIRECTION \t RTL").IsRightToLeft());
    EXPECT_FALSE(Parse(u":DIRECTION rtl\r\n").IsRightToLeft());
    EXPECT_FALSE(Parse(u":DIRECTION RTLX\r\n").IsRightToLeft());
    EXPECT_FALSE(Parse(u":DIRECTION RTL\r\n:DIRECTION LTR\r\n").IsRightToLeft());
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

TEST(LanguageFileTest, TextEndsAtItsLimitAndTheMarkerLineGivesNoEntry) {
    // The limit cuts the last line within its value: it is stored as cut.
    std::u16string text = kMarkerLine;
    text += std::u16string(kMaxTextChars - text.size() - 10, u';') + u"\nIDS_A 12345678";
    text += u"\nIDS_B beyond";
    LanguageTable limited;
    limited.LoadText(text);
    EXPECT_EQ(Dump(limited), "s:IDS_A=123");
    // The marker line never yields an entry.
    limited.LoadText(u"***messages*** IDS_A not read\nIDS_B read");
    EXPECT_EQ(Dump(limited), "s:IDS_B=read");
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
    LanguageTable loaded = Parse(u"IDS_UNINSTTITLE Title\r\n"
                                 u"IDS_MIVORAARC 0123456789abc\r\n"
                                 u":DIALOG SETUPDLG\r\nIDC_ASSOCOZU Ozu files\r\n");
    // The entries point into the table, whose storage a move takes along.
    const LanguageTable table(std::move(loaded));
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
}

// The ids of the resource script by name, read from res/resource.h itself,
// with the system's own button ids.
std::map<std::string, uint32_t> ResourceIds() {
    std::map<std::string, uint32_t> ids{{"IDOK", 1}, {"IDCANCEL", 2}, {"IDHELP", 9}};
    std::ifstream header(OZU_RESOURCE_HEADER);
    std::string line;
    while (std::getline(header, line)) {
        std::istringstream words(line);
        std::string define, name;
        uint32_t id = 0;
        if (words >> define >> name >> id && define == "#define") {
            ids[name] = id;
        }
    }
    return ids;
}

// A language file names a text by key and the program asks for it by id: a
// row with another id than the resources gives a control someone else's text.
TEST(LanguageKeyTableTest, EveryKeyHasTheIdOfItsResource) {
    const std::map<std::string, uint32_t> ids = ResourceIds();
    ASSERT_GT(ids.size(), 3u) << "resource.h was not read";
    for (const LanguageKeyRow& row : LanguageKeyTable) {
        const std::string name(row.key.substr(row.key.find(':') + 1));
        if (name == "SIZE" || name == "CAPTION") {
            EXPECT_EQ(row.id, 0u) << row.key; // the dialog's own, not a control's
            continue;
        }
        const auto found = ids.find(name);
        ASSERT_NE(found, ids.end()) << row.key << " names no resource";
        EXPECT_EQ(row.id, found->second) << row.key;
    }
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
    for (const std::string& marked : {Ansi(entry), test::Utf16Le(entry)}) {
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
    ASSERT_TRUE(LoadBytes(utf16, test::Utf16LeWithMark(u"IDS_X before\r\n" + body)));
    EXPECT_EQ(Dump(utf16), "$SETUPDLG:CAPTION=Set up |s:IDS_A=one\ttwo");
    EXPECT_EQ(Dump(ansi), Dump(utf16));
    // At an odd offset, cut off in the middle of a character, with a zero
    // character, and with 8-bit bytes that are no letters of the code page.
    LanguageTable table;
    ASSERT_TRUE(
        LoadBytes(table, "x" + test::Utf16Le(u"***messages***\nIDS_A odd\nIDS_B cut") + "\x41"));
    EXPECT_EQ(Dump(table), "s:IDS_A=odd|s:IDS_B=cut");
    ASSERT_TRUE(
        LoadBytes(table, test::Utf16Le(std::u16string(u"***messages***\nIDS_A a\0\nIDS_B b", 31))));
    EXPECT_EQ(Dump(table), "s:IDS_A=a");
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
    ASSERT_TRUE(LoadBytes(table, test::Utf16Le(body)));
    EXPECT_EQ(Dump(table), "s:IDS_A=first|s:IDS_B=1");
}

} // namespace
} // namespace ozu
