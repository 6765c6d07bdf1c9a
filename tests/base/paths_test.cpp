#include "base/paths.h"

#include <gtest/gtest.h>

#include <string>

namespace ozu {
namespace {

TEST(PathTests, DriveSpecAndAbsolutePaths) {
    EXPECT_TRUE(IsDriveSpec(u"c:"));
    EXPECT_TRUE(IsDriveSpec(u"Z:\\x"));
    EXPECT_FALSE(IsDriveSpec(u"1:"));
    EXPECT_FALSE(IsDriveSpec(u"c"));
    EXPECT_FALSE(IsDriveSpec(u""));
    EXPECT_FALSE(IsDriveSpec(u"\u00e9:"));

    EXPECT_TRUE(IsAbsolutePath(u"C:\\dir"));
    EXPECT_TRUE(IsAbsolutePath(u"C:/dir"));
    EXPECT_TRUE(IsAbsolutePath(u"\\\\server\\share"));
    EXPECT_FALSE(IsAbsolutePath(u"C:dir"));
    EXPECT_FALSE(IsAbsolutePath(u"C:"));
    EXPECT_FALSE(IsAbsolutePath(u"\\dir"));
    EXPECT_FALSE(IsAbsolutePath(u"//server/share")); // two backslashes only
    EXPECT_FALSE(IsAbsolutePath(u"dir\\file"));
}

TEST(PathTests, Wildcards) {
    EXPECT_FALSE(HasWildcards(u""));
    EXPECT_TRUE(HasWildcards(u"C:\\dir\\*"));
    EXPECT_TRUE(HasWildcards(u"a?.txt"));
    EXPECT_FALSE(HasWildcards(u"\\\\?\\C:\\dir\\file")); // the prefix's "?" does not count
    EXPECT_TRUE(HasWildcards(u"\\\\?\\C:\\dir\\*.dll"));
}

TEST(PathTests, NamePart) {
    EXPECT_EQ(LastCharOf(u"abc"), 2u);
    EXPECT_EQ(LastCharOf(u""), 0u);
    EXPECT_EQ(NameOf(u"C:\\dir\\"), u"");
    EXPECT_EQ(NamePartOf(u"C:\\dir\\"), 7u);
    EXPECT_EQ(NameOf(u"dir/file"), u"file");
    EXPECT_EQ(NameOf(u"C:file"), u"file");
    EXPECT_EQ(NameOf(u"C:\\dir\\file.txt"), u"file.txt");
    EXPECT_EQ(NameOf(u"file"), u"file");
    EXPECT_EQ(NameOf(u""), u"");
    EXPECT_EQ(NameOf(u"a/b\\c"), u"c");
}

std::u16string Stripped(std::u16string path) {
    StripNamePart(path);
    return path;
}

TEST(PathTests, StripNamePartKeepsDriveRoots) {
    EXPECT_EQ(Stripped(u"C:\\dir\\file"), u"C:\\dir");
    EXPECT_EQ(Stripped(u"C:\\file"), u"C:\\");
    EXPECT_EQ(Stripped(u"C:file"), u"C:");
    EXPECT_EQ(Stripped(u"\\file"), u"\\");
    EXPECT_EQ(Stripped(u"\\\\server\\share\\file"), u"\\\\server\\share");
    EXPECT_EQ(Stripped(u"file"), u"");
    EXPECT_EQ(Stripped(u""), u"");
    EXPECT_EQ(Stripped(u"a\\b"), u"a");
    EXPECT_EQ(Stripped(u"C:\\dir\\"), u"C:\\dir");
}

TEST(PathTests, ReplaceNamePartIsBounded) {
    std::u16string path = u"C:\\Program Files\\Mivora\\uninstall.exe";
    ReplaceNamePart(path, u"ozulng.dll");
    EXPECT_EQ(path, u"C:\\Program Files\\Mivora\\ozulng.dll");

    path = u"C:\\d\\old";
    ReplaceNamePart(path, u"newname", 9);
    EXPECT_EQ(path, u"C:\\d\\new");

    // A folder part longer than the capacity must not underflow the room left.
    path = u"C:\\longfolder\\x";
    ReplaceNamePart(path, u"name", 5);
    EXPECT_EQ(path, u"C:\\l");

    path = u"bare";
    ReplaceNamePart(path, u"other");
    EXPECT_EQ(path, u"other");
}

TEST(PathTests, FolderPart) {
    EXPECT_EQ(FolderPartOf(u"C:\\dir\\file"), u"C:\\dir\\");
    EXPECT_EQ(FolderPartOf(u"file"), u"");
    EXPECT_EQ(FolderPartOf(u"C:file"), u"C:");
    EXPECT_EQ(FolderPartOf(u"C:\\dir\\file", 4), u"C:\\");
    EXPECT_EQ(FolderPartOf(u"C:\\dir\\file", 0), u"");
}

std::u16string WithSeparator(std::u16string path, size_t capacity = kPathCapacity) {
    EnsureTrailingSeparator(path, capacity);
    return path;
}

TEST(PathTests, EnsureTrailingSeparator) {
    EXPECT_EQ(WithSeparator(u"C:"), u"C:\\");
    EXPECT_EQ(WithSeparator(u"C:\\"), u"C:\\");
    EXPECT_EQ(WithSeparator(u""), u"");
    EXPECT_EQ(WithSeparator(u"C:/dir/"), u"C:/dir/\\"); // a slash still gets a backslash
    EXPECT_EQ(WithSeparator(u"abc", 5), u"abc\\");      // capacity = length + 2
    EXPECT_EQ(WithSeparator(u"abc", 4), u"abc");        // capacity = length + 1
}

TEST(PathTests, JoinPath) {
    EXPECT_EQ(JoinPath(u"C:\\Windows\\system32", u"riched20.dll"),
              u"C:\\Windows\\system32\\riched20.dll");
    EXPECT_EQ(JoinPath(u"C:\\", u"x"), u"C:\\x");
    EXPECT_EQ(JoinPath(u"", u"x"), u"x");
    EXPECT_EQ(JoinPath(u"C:\\dir", u"name", 8), u"C:\\dir\\");
    // The working buffer holds 2048 characters.
    std::u16string longFolder(3000, u'a');
    EXPECT_EQ(JoinPath(longFolder, u"x", 5000).size(), kPathCapacity - 1);
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

TEST(ExtendedLengthPath, AbsoluteAndNetworkPaths) {
    EXPECT_EQ(Extended(u"C:\\a"), u"\\\\?\\C:\\a");
    EXPECT_EQ(Extended(u"\\\\srv\\sh\\a"), u"\\\\?\\UNC\\srv\\sh\\a");
    EXPECT_EQ(Extended(u""), u"<false>");
}

TEST(ExtendedLengthPath, RelativePathsUseTheCurrentFolder) {
    EXPECT_EQ(Extended(u"x\\y"), u"\\\\?\\D:\\w\\x\\y");
    EXPECT_EQ(Extended(u".\\x"), u"\\\\?\\D:\\w\\x");
    EXPECT_EQ(Extended(u"./x"), u"\\\\?\\D:\\w\\x");
    EXPECT_EQ(Extended(u"\\x"), u"\\\\?\\D:\\x");
    EXPECT_EQ(Extended(u"x", u"D:\\"), u"\\\\?\\D:\\x");
    EXPECT_EQ(Extended(u"..\\x"), u"\\\\?\\D:\\w\\..\\x"); // not resolved
    EXPECT_EQ(Extended(u"x", u""), u"<false>");            // no current folder
    EXPECT_EQ(Extended(u"x", std::u16string(2048, u'a')), u"<false>");
}

// A network folder as the current folder keeps the UNC form, and a path that
// names a drive is resolved only on that drive.
TEST(ExtendedLengthPath, NetworkCurrentFolderAndDriveRelativePaths) {
    const std::u16string_view share = u"\\\\srv\\sh\\w";
    EXPECT_EQ(Extended(u"x", share), u"\\\\?\\UNC\\srv\\sh\\w\\x");
    EXPECT_EQ(Extended(u".\\x", share), u"\\\\?\\UNC\\srv\\sh\\w\\x");
    EXPECT_EQ(Extended(u"\\x", share), u"\\\\?\\UNC\\srv\\sh\\x");
    EXPECT_EQ(Extended(u"\\x", u"\\\\srv\\sh"), u"\\\\?\\UNC\\srv\\sh\\x");
    EXPECT_EQ(Extended(u"d:x"), u"\\\\?\\D:\\w\\x");
    EXPECT_EQ(Extended(u"D:"), u"\\\\?\\D:\\w\\");
    EXPECT_EQ(Extended(u"C:x"), u"<false>");
    EXPECT_EQ(Extended(u"C:x", share), u"<false>");
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

TEST(ExtendedLengthPath, AlreadyExtendedOrDevicePathsHaveNoOtherForm) {
    EXPECT_EQ(Extended(u"\\\\?\\C:\\a"), u"<false>");
    EXPECT_EQ(Extended(u"\\\\.\\pipe\\x"), u"<false>");
}

} // namespace
} // namespace ozu
