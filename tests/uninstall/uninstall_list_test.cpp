// The list file reading and the rules for which entries may be touched.
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "control/uninstall_list.h"

namespace ozu {
namespace {

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

FilePtr ListWith(const std::string& bytes) {
    FilePtr file(std::tmpfile(), &std::fclose);
    std::fwrite(bytes.data(), 1, bytes.size(), file.get());
    std::rewind(file.get());
    return file;
}

std::vector<std::string> AllEntries(std::FILE* list) {
    std::vector<std::string> entries;
    std::string entry;
    while (ReadListEntry(list, entry)) {
        entries.push_back(entry);
    }
    return entries;
}

TEST(ListFile, EntriesAreTrimmedAtTheEndOnlyAndEmptyLinesSkipped) {
    FilePtr list = ListWith("Mivora.exe\r\n\r\n  lead.txt \t\r\n \t \nlast");
    EXPECT_EQ(AllEntries(list.get()),
              (std::vector<std::string>{"Mivora.exe", "  lead.txt", "last"}));
}

TEST(ListFile, ALongLineIsSeveralEntriesRewindingReadsAgainAndAnEmptyFileHasNone) {
    std::string longName(kListLineBytes + 10, 'a');
    FilePtr list = ListWith(longName + "\nx\n");
    EXPECT_EQ(AllEntries(list.get()),
              (std::vector<std::string>{std::string(kListLineBytes, 'a'), "aaaaaaaaaa", "x"}));
    std::rewind(list.get());
    EXPECT_EQ(AllEntries(list.get()).size(), 3u);
    EXPECT_TRUE(AllEntries(ListWith("").get()).empty());
}

const std::u16string kFolder = u"C:\\Program Files\\Mivora\\";

std::optional<std::u16string> Resolve(std::u16string_view entry) {
    return ResolveInsideFolder(kFolder, kFolder + std::u16string(entry));
}

TEST(InsideFolder, EntriesInsideTheFolderResolve) {
    EXPECT_EQ(Resolve(u"Mivora.exe"), kFolder + u"Mivora.exe");
    EXPECT_EQ(Resolve(u"Formats\\x.fmt"), kFolder + u"Formats\\x.fmt");
    EXPECT_EQ(Resolve(u"Formats/x.fmt"), kFolder + u"Formats\\x.fmt");
    EXPECT_EQ(Resolve(u"Formats\\"), kFolder + u"Formats");
    EXPECT_EQ(Resolve(u".\\a\\..\\b\\.\\c"), kFolder + u"b\\c");
    EXPECT_EQ(Resolve(u"  lead name"), kFolder + u"  lead name");
    EXPECT_EQ(Resolve(u"..name"), kFolder + u"..name");
    EXPECT_EQ(Resolve(u"Lang\\\u00e9t\u00e9.lng"), kFolder + u"Lang\\\u00e9t\u00e9.lng");
    EXPECT_EQ(Resolve(u"console.txt"), kFolder + u"console.txt");
}

TEST(InsideFolder, EntriesThatLeaveOrAreNotPlainNamesAreRefused) {
    for (std::u16string_view entry :
         {// Leaving the folder, also to come back in.
          u"..\\..\\Users\\Me\\Documents\\x", u"..\\Mivora2\\x", u"a\\..\\..\\x", u"..",
          u"a\\..\\..\\Mivora\\x",
          // Absolute, rooted and special forms.
          u"C:\\Windows\\y", u"C:x", u"\\x", u"/x", u"\\\\server\\share\\x",
          u"\\\\?\\C:\\Windows\\y", u"\\\\.\\C:\\y", u"\\??\\C:\\y", u"file.txt:stream",
          u"file.txt::$DATA", u"*.dll", u"a?.dll", u"a\\\\b", u"a\"b", u"a<b", u"a|b", u"a\tb",
          // Names Windows would read differently: dots that are not "." or
          // "..", trailing dots and spaces, device names.
          u"...\\x", u".. \\x", u"..\x20", u"a.\\..\\..\\x", u"x.", u"x ", u"NUL", u"sub\\nul.txt",
          u"CON", u"aux .log", u"com1", u"LPT9.dat", u"COM\u00b9", u"CONOUT$",
          // The folder itself is not inside it.
          u".", u"a\\..", u""}) {
        EXPECT_FALSE(Resolve(entry)) << testing::PrintToString(std::u16string(entry));
    }
}

TEST(InsideFolder, ComparesTheFolderWithoutRegardToCaseAndNeedsItsBackslash) {
    EXPECT_EQ(ResolveInsideFolder(kFolder, u"c:\\PROGRAM FILES\\mivora\\x.dll"),
              kFolder + u"x.dll");
    EXPECT_FALSE(ResolveInsideFolder(kFolder, u"C:\\Program Files\\Mivora2\\x.dll"));
    EXPECT_FALSE(ResolveInsideFolder(u"C:\\Program Files\\Mivora", kFolder + u"x.dll"));
    EXPECT_EQ(ResolveInsideFolder(u"D:\\", u"D:\\x\\y"), u"D:\\x\\y");
    EXPECT_EQ(ResolveInsideFolder(u"\\\\srv\\share\\M\\", u"\\\\srv\\share\\M\\a\\..\\b"),
              u"\\\\srv\\share\\M\\b");
}

TEST(TempName, FirstFreeNumberIsTakenAndTheLastIsTheFallback) {
    std::set<std::u16string> existing;
    auto exists = [&](const std::u16string& name) { return existing.count(name) != 0; };
    EXPECT_EQ(FindFreeTempName(u"C:\\M\\ozuext.dll", exists), u"C:\\M\\ozuext.dll.0.tmp");
    existing.insert(u"C:\\M\\ozuext.dll.0.tmp");
    EXPECT_EQ(FindFreeTempName(u"C:\\M\\ozuext.dll", exists), u"C:\\M\\ozuext.dll.1.tmp");
    for (unsigned n = 0; n < 1000; ++n) {
        existing.insert(TempNameFor(u"C:\\M\\ozuext.dll", n));
    }
    int asked = 0;
    auto counting = [&](const std::u16string& name) {
        ++asked;
        return exists(name);
    };
    EXPECT_EQ(FindFreeTempName(u"C:\\M\\ozuext.dll", counting), u"C:\\M\\ozuext.dll.999.tmp");
    EXPECT_LE(asked, 1000);
    EXPECT_EQ(TempNameFor(u"a", 42), u"a.42.tmp");
}

} // namespace
} // namespace ozu
