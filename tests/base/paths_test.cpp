#include <string>

#include <gtest/gtest.h>

#include "base/paths.h"

namespace ozu {
namespace {

std::string Show(std::u16string_view text) {
    return testing::PrintToString(std::u16string(text));
}

void ExpectEach(bool (*predicate)(std::u16string_view), bool expected,
                std::initializer_list<std::u16string_view> paths) {
    for (std::u16string_view path : paths) {
        EXPECT_EQ(predicate(path), expected) << Show(path);
    }
}

TEST(PathTests, DriveAbsoluteAndWildcardPredicates) {
    ExpectEach(IsDriveSpec, true, {u"c:", u"Z:\\x", u"C:dir"});
    ExpectEach(IsDriveSpec, false, {u"1:", u"c", u"", u"\u00e9:", u"\\\\server\\share"});
    ExpectEach(IsAbsolutePath, true, {u"C:\\dir", u"C:/dir", u"\\\\server\\share"});
    // Two backslashes only make a network path.
    ExpectEach(IsAbsolutePath, false, {u"C:dir", u"C:", u"\\dir", u"//server/share", u"dir\\file"});
    ExpectEach(HasWildcards, true, {u"C:\\dir\\*", u"a?.txt", u"\\\\?\\C:\\dir\\*.dll"});
    // The "?" of the extended-length prefix is no wildcard.
    ExpectEach(HasWildcards, false, {u"", u"\\\\?\\C:\\dir\\file"});
}

// Each path's name, the path with its name stripped, and its folder part.
TEST(PathTests, NamesStrippedPathsAndFolders) {
    const struct {
        std::u16string_view path, name, stripped, folder;
    } cases[] = {
        {u"C:\\dir\\file", u"file", u"C:\\dir", u"C:\\dir\\"},
        {u"C:\\file", u"file", u"C:\\", u"C:\\"}, // a drive root keeps its backslash
        {u"C:file", u"file", u"C:", u"C:"},
        {u"\\file", u"file", u"\\", u"\\"},
        {u"\\\\server\\share\\file", u"file", u"\\\\server\\share", u"\\\\server\\share\\"},
        {u"file", u"file", u"", u""},
        {u"", u"", u"", u""},
        {u"a\\b", u"b", u"a", u"a\\"},
        {u"C:\\dir\\", u"", u"C:\\dir", u"C:\\dir\\"},
        {u"dir/file", u"file", u"dir", u"dir/"},
        {u"C:\\dir\\file.txt", u"file.txt", u"C:\\dir", u"C:\\dir\\"},
        {u"a/b\\c", u"c", u"a/b", u"a/b\\"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Show(c.path));
        EXPECT_EQ(NameOf(c.path), c.name);
        EXPECT_EQ(NamePartOf(c.path), c.path.size() - c.name.size());
        std::u16string stripped(c.path);
        StripNamePart(stripped);
        EXPECT_EQ(stripped, c.stripped);
        EXPECT_EQ(FolderPartOf(c.path), c.folder);
    }
    EXPECT_EQ(LastCharOf(u"abc"), 2u);
    EXPECT_EQ(LastCharOf(u""), 0u);
    EXPECT_EQ(FolderPartOf(u"C:\\dir\\file", 4), u"C:\\");
    EXPECT_EQ(FolderPartOf(u"C:\\dir\\file", 0), u"");
}

std::u16string Replaced(std::u16string path, std::u16string_view name,
                        size_t capacity = kPathCapacity) {
    ReplaceNamePart(path, name, capacity);
    return path;
}

std::u16string WithSeparator(std::u16string path, size_t capacity = kPathCapacity) {
    EnsureTrailingSeparator(path, capacity);
    return path;
}

TEST(PathTests, ReplaceSeparatorAndJoinAreBounded) {
    EXPECT_EQ(Replaced(u"C:\\Program Files\\Mivora\\uninstall.exe", u"ozulng.dll"),
              u"C:\\Program Files\\Mivora\\ozulng.dll");
    EXPECT_EQ(Replaced(u"C:\\d\\old", u"newname", 9), u"C:\\d\\new");
    // A folder part longer than the capacity must not underflow the room left.
    EXPECT_EQ(Replaced(u"C:\\longfolder\\x", u"name", 5), u"C:\\l");
    EXPECT_EQ(Replaced(u"bare", u"other"), u"other");

    EXPECT_EQ(WithSeparator(u"C:"), u"C:\\");
    EXPECT_EQ(WithSeparator(u"C:\\"), u"C:\\");
    EXPECT_EQ(WithSeparator(u""), u"");
    EXPECT_EQ(WithSeparator(u"C:/dir/"), u"C:/dir/\\"); // a slash still gets a backslash
    EXPECT_EQ(WithSeparator(u"abc", 5), u"abc\\");      // capacity = length + 2
    EXPECT_EQ(WithSeparator(u"abc", 4), u"abc");        // capacity = length + 1

    EXPECT_EQ(JoinPath(u"C:\\Windows\\system32", u"riched20.dll"),
              u"C:\\Windows\\system32\\riched20.dll");
    EXPECT_EQ(JoinPath(u"C:\\", u"x"), u"C:\\x");
    EXPECT_EQ(JoinPath(u"", u"x"), u"x");
    // One that does not fit is refused, never cut to another name.
    EXPECT_EQ(JoinPath(u"C:\\dir", u"name", 12), u"C:\\dir\\name");
    EXPECT_EQ(JoinPath(u"C:\\dir", u"name", 11), u"");
    // The capacity given is the one honoured: a long folder's entries keep
    // their whole names (a cut mask once named the folder it searched).
    EXPECT_EQ(JoinPath(std::u16string(3000, u'a'), u"*", 5000),
              std::u16string(3000, u'a') + u"\\*");
}

std::u16string Extended(std::u16string_view path, std::u16string_view current = u"D:\\w",
                        size_t capacity = kPathCapacity) {
    std::u16string out = u"unchanged";
    if (!ToExtendedLengthPath(path, current, out, capacity)) {
        EXPECT_EQ(out, u"unchanged");
        return u"<false>";
    }
    return out;
}

TEST(ExtendedLengthPath, AbsoluteRelativeAndNetworkForms) {
    EXPECT_EQ(Extended(u"C:\\a"), u"\\\\?\\C:\\a");
    EXPECT_EQ(Extended(u"\\\\srv\\sh\\a"), u"\\\\?\\UNC\\srv\\sh\\a");
    EXPECT_EQ(Extended(u"x\\y"), u"\\\\?\\D:\\w\\x\\y");
    EXPECT_EQ(Extended(u".\\x"), u"\\\\?\\D:\\w\\x");
    EXPECT_EQ(Extended(u"./x"), u"\\\\?\\D:\\w\\x");
    EXPECT_EQ(Extended(u"\\x"), u"\\\\?\\D:\\x");
    EXPECT_EQ(Extended(u"x", u"D:\\"), u"\\\\?\\D:\\x");
    EXPECT_EQ(Extended(u"..\\x"), u"\\\\?\\D:\\w\\..\\x"); // not resolved
    // A network current folder keeps the UNC form.
    const std::u16string_view share = u"\\\\srv\\sh\\w";
    EXPECT_EQ(Extended(u"x", share), u"\\\\?\\UNC\\srv\\sh\\w\\x");
    EXPECT_EQ(Extended(u".\\x", share), u"\\\\?\\UNC\\srv\\sh\\w\\x");
    EXPECT_EQ(Extended(u"\\x", share), u"\\\\?\\UNC\\srv\\sh\\x");
    EXPECT_EQ(Extended(u"\\x", u"\\\\srv\\sh"), u"\\\\?\\UNC\\srv\\sh\\x");
    // A path that names a drive is resolved only on that drive.
    EXPECT_EQ(Extended(u"d:x"), u"\\\\?\\D:\\w\\x");
    EXPECT_EQ(Extended(u"D:"), u"\\\\?\\D:\\w\\");
    // No form: empty, no or an overlong current folder, another drive, already
    // extended, a device.
    for (auto [path, current] : {std::pair{u"", u"D:\\w"},
                                 {u"x", u""},
                                 {u"C:x", u"D:\\w"},
                                 {u"C:x", share.data()},
                                 {u"\\\\?\\C:\\a", u"D:\\w"},
                                 {u"\\\\.\\pipe\\x", u"D:\\w"}}) {
        EXPECT_EQ(Extended(path, current), u"<false>") << Show(path) << " in " << Show(current);
    }
    EXPECT_EQ(Extended(u"x", std::u16string(2048, u'a')), u"<false>");
}

TEST(ExtendedLengthPath, CapacityLimits) {
    // "C:\a" has n = 4: the capacity must exceed n + 4.
    EXPECT_EQ(Extended(u"C:\\a", u"", 9), u"\\\\?\\C:\\a");
    EXPECT_EQ(Extended(u"C:\\a", u"", 8), u"<false>");
    // "\\s\a" has n = 5: the capacity must exceed n + 6.
    EXPECT_EQ(Extended(u"\\\\s\\a", u"", 12), u"\\\\?\\UNC\\s\\a");
    EXPECT_EQ(Extended(u"\\\\s\\a", u"", 11), u"<false>");
    // "\x" from the root of the current drive: n + 6.
    EXPECT_EQ(Extended(u"\\x", u"D:\\w", 9), u"\\\\?\\D:\\x");
    EXPECT_EQ(Extended(u"\\x", u"D:\\w", 8), u"<false>");
    // "x" with folder "D:\w\": folder length + n + 4.
    EXPECT_EQ(Extended(u"x", u"D:\\w", 11), u"\\\\?\\D:\\w\\x");
    EXPECT_EQ(Extended(u"x", u"D:\\w", 10), u"<false>");
}

} // namespace
} // namespace ozu
